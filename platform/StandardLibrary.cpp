// What the standard library's strings and containers need in the executables, which throw
// nothing. Its own copies are built to throw: its string code catches and rethrows, and its
// helpers throw for a length error or exhausted memory, which links the whole exception
// machinery (unwinder, demangler, formatted printing) into every program. Here the strings are
// instantiated without exceptions and every such helper ends the program, as an uncaught
// exception would. The test suites, which catch, keep the library's own.
#include <cstdlib>
#include <string>

template class std::basic_string<char>;
template class std::basic_string<wchar_t>;

namespace std {

void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
void __throw_bad_function_call() { std::abort(); }

} // namespace std
