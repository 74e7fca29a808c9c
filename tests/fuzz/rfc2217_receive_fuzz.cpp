// Feeds arbitrary bytes to the RFC 2217 receive side, whole and cut in two at
// a point the input chooses, and checks that the cut changes nothing, that
// subnegotiations stay bounded and that data bytes never outnumber the input.
#include "serial/rfc2217_codec.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using mirelle::serial::rfc2217::Command;
using mirelle::serial::rfc2217::Decoder;

bool Same(const std::vector<Command>& a, const std::vector<Command>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].kind != b[i].kind || a[i].verb != b[i].verb || a[i].option != b[i].option || a[i].payload != b[i].payload)
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t cut = data[0] % size;
    ++data, --size;

    Decoder whole;
    std::vector<std::uint8_t> bytes_whole;
    std::vector<Command> commands_whole;
    whole.Feed(data, size, bytes_whole, commands_whole);

    Decoder split;
    std::vector<std::uint8_t> bytes_split;
    std::vector<Command> commands_split;
    const std::size_t first = cut > size ? size : cut;
    split.Feed(data, first, bytes_split, commands_split);
    split.Feed(data + first, size - first, bytes_split, commands_split);

    if (bytes_whole != bytes_split || !Same(commands_whole, commands_split)) std::abort();
    if (bytes_whole.size() > size) std::abort();
    for (const Command& c : commands_whole)
        if (c.payload.size() > Decoder::kMaxPayload) std::abort();
    return 0;
}
