// Fuzzes the NetBIOS readers under the sanitizers: every input goes to the datagram, the
// mailslot-write and the name-service reader. What a reader takes, its builder writes back:
// the very bytes for a datagram and a name-service packet; for a mailslot write, whose
// receiver ignores most fields, a request that reads back to the same name and data and is
// itself written back byte for byte.
#include "wire/NetBios.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

bool Same(wire::ByteView view, const wire::Bytes& bytes)
{
    return view.size == bytes.size() && std::equal(bytes.begin(), bytes.end(), view.data);
}

void CheckMailslotWrite(wire::ByteView in)
{
    const auto write = wire::ReadMailslotWrite(in);
    if (!write)
        return;
    const wire::Bytes rebuilt = wire::BuildMailslotWrite(write->name, write->data);
    const auto again = wire::ReadMailslotWrite(wire::View(rebuilt));
    Require(again && again->name == write->name);
    Require(Same(again->data, wire::Bytes(write->data.data, write->data.data + write->data.size)));
    // What the builder writes is the canonical form: read and built again, the same bytes.
    Require(wire::BuildMailslotWrite(again->name, again->data) == rebuilt);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const wire::ByteView in{data, size};
    if (const auto datagram = wire::ReadDatagram(in)) {
        Require(Same(in, wire::BuildDatagram(*datagram)));
        CheckMailslotWrite(datagram->userData);
    }
    CheckMailslotWrite(in);
    if (const auto packet = wire::ReadNameService(in))
        Require(Same(in, wire::BuildNameService(*packet)));
    return 0;
}
