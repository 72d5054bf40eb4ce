// Fuzzes CString with arbitrary sequences of construction, assignment, copies and buffer
// use on four strings, each shadowed by a std::string that says what it must hold. After
// every step each string's length, bytes and terminating NUL are checked against its model.
//
// Input: a sequence of steps, each an operation byte followed by its operands; a step
// that runs out of input takes zeros.
#include "platform/CString.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool Done() const { return m_pos >= m_size; }
    std::uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    int Word()
    {
        const int low = Byte();
        return low | Byte() << 8;
    }

    std::string Bytes(std::size_t count)
    {
        std::string bytes;
        for (std::size_t k = 0; k < count; ++k)
            bytes += static_cast<char>(Byte());
        return bytes;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "CString broken: %s\n", what);
        std::abort();
    }
}

std::string UpToNul(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

const int kSlots = 4;
// Large enough to move buffers between the allocator's size classes, small enough to keep
// the runs fast.
const int kMaxBuffer = 4096;

struct Slot {
    std::unique_ptr<CString> string = std::make_unique<CString>();
    std::string model;
};

void Check(const Slot& slot)
{
    const CString& s = *slot.string;
    const char* bytes = s;
    Require(bytes != nullptr, "null data");
    Require(s.GetLength() == static_cast<int>(slot.model.size()), "length differs from the model");
    Require(s.IsEmpty() == slot.model.empty(), "IsEmpty differs from the model");
    Require(std::memcmp(bytes, slot.model.data(), slot.model.size()) == 0, "bytes differ from the model");
    Require(bytes[slot.model.size()] == '\0', "no NUL at the stored length");
}

// GetBuffer keeps the content and gives room for minLength bytes and a NUL; what is
// written there counts up to its first NUL once the buffer is released.
void UseBuffer(Slot& slot, Input& input)
{
    const int minLength = input.Word() % (kMaxBuffer + 3) - 2;
    const int mode = input.Byte() % 3;
    const int length = static_cast<int>(slot.model.size());
    const int room = minLength > length ? minLength : length;

    char* buffer = slot.string->GetBuffer(minLength);
    Require(std::memcmp(buffer, slot.model.data(), slot.model.size()) == 0, "GetBuffer lost the content");
    Require(buffer[length] == '\0', "GetBuffer lost the NUL");
    switch (mode) {
    case 0: // released untouched
        slot.string->ReleaseBuffer();
        slot.model = UpToNul(slot.model);
        break;
    case 1: { // filled to some length within the room, as a platform call would
        const int count = input.Word() % (room + 1);
        const std::string written = input.Bytes(count);
        std::memcpy(buffer, written.data(), written.size());
        buffer[count] = '\0';
        slot.string->ReleaseBuffer();
        slot.model = UpToNul(written);
        break;
    }
    default: // only looked at: the string stays as it was
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input input(data, size);
    Slot slots[kSlots];
    while (!input.Done()) {
        const int operation = input.Byte() % 8;
        Slot& a = slots[input.Byte() % kSlots];
        const Slot& b = slots[input.Byte() % kSlots]; // may be a itself
        switch (operation) {
        case 0:
            a.string = std::make_unique<CString>();
            a.model.clear();
            break;
        case 1: { // from a C string: up to its first NUL
            const std::string text = input.Bytes(input.Byte());
            a.string = std::make_unique<CString>(text.c_str());
            a.model = UpToNul(text);
            break;
        }
        case 2: { // from bytes and a length, NULs included; a length of 0 or less is empty
            const std::string bytes = input.Bytes(input.Byte());
            const int length = input.Byte() % (bytes.size() + 3) - 2;
            a.string = std::make_unique<CString>(bytes.data(), length);
            a.model = length > 0 ? bytes.substr(0, length) : std::string();
            break;
        }
        case 3: {
            auto copy = std::make_unique<CString>(*b.string);
            const std::string model = b.model;
            a.string = std::move(copy);
            a.model = model;
            break;
        }
        case 4:
            *a.string = *b.string;
            a.model = b.model;
            break;
        case 5: { // from a pointer into a string's own bytes, possibly the target's
            const std::size_t offset = input.Byte() % (b.model.size() + 1);
            const std::string model = UpToNul(b.model.substr(offset));
            *a.string = static_cast<const char*>(*b.string) + offset;
            a.model = model;
            break;
        }
        case 6:
            UseBuffer(a, input);
            break;
        default: // released without a GetBuffer: the length up to the first NUL
            a.string->ReleaseBuffer();
            a.model = UpToNul(a.model);
            break;
        }
        for (const Slot& slot : slots)
            Check(slot);
    }
    return 0;
}
