#include "hexfile/elf_file.h"

#include <algorithm>
#include <iterator>
#include <optional>

namespace mirelle::hexfile {
namespace {

constexpr std::uint8_t kMagic[] = {0x7F, 'E', 'L', 'F'};
constexpr std::uint8_t kClass32 = 1, kClass64 = 2;
constexpr std::uint8_t kLittle = 1, kBig = 2;
constexpr std::uint16_t kTypeRelocatable = 1, kTypeExecutable = 2, kTypeShared = 3;
constexpr std::uint32_t kLoad = 1;
constexpr std::uint16_t kManySegments = 0xFFFF;  // PN_XNUM: the count lives elsewhere

// Reads unsigned numbers of the file's byte order; a read past the end
// yields none.
class Reader {
public:
    Reader(std::span<const std::uint8_t> bytes, bool big) : bytes_(bytes), big_(big) {}

    std::optional<std::uint64_t> Get(std::uint64_t offset, unsigned size) const {
        if (offset > bytes_.size() || bytes_.size() - offset < size) return std::nullopt;
        std::uint64_t value = 0;
        for (unsigned i = 0; i < size; ++i) {
            const std::uint64_t byte = bytes_[static_cast<std::size_t>(offset) + (big_ ? i : size - 1 - i)];
            value = value << 8 | byte;
        }
        return value;
    }

private:
    std::span<const std::uint8_t> bytes_;
    bool big_;
};

ElfContents Failed(ElfError error, int segment = 0) {
    ElfContents contents;
    contents.error = error;
    contents.segment = segment;
    return contents;
}

// Field offsets and sizes of the two classes.
struct Layout {
    unsigned header_size, word;
    unsigned phoff, phentsize, phnum;
    unsigned ph_size, p_offset, p_paddr, p_filesz;
};
constexpr Layout kLayout32{52, 4, 28, 42, 44, 32, 4, 12, 16};
constexpr Layout kLayout64{64, 8, 32, 54, 56, 56, 8, 24, 32};

}  // namespace

bool HasElfMagic(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= sizeof kMagic && std::equal(std::begin(kMagic), std::end(kMagic), bytes.begin());
}

ElfContents ReadElf(std::span<const std::uint8_t> bytes) {
    if (!HasElfMagic(bytes) || bytes.size() < 16) return Failed(ElfError::kMalformed);
    const std::uint8_t elf_class = bytes[4], data = bytes[5], version = bytes[6];
    if ((elf_class != kClass32 && elf_class != kClass64) || (data != kLittle && data != kBig) || version != 1)
        return Failed(ElfError::kMalformed);
    const bool is64 = elf_class == kClass64;
    const Layout& l = is64 ? kLayout64 : kLayout32;
    if (bytes.size() < l.header_size) return Failed(ElfError::kMalformed);
    const Reader r(bytes, data == kBig);

    const std::uint64_t type = *r.Get(16, 2);
    if (type == kTypeRelocatable) return Failed(ElfError::kRelocatable);
    if (type != kTypeExecutable && type != kTypeShared) return Failed(ElfError::kMalformed);

    const std::uint64_t phoff = *r.Get(l.phoff, l.word);
    const std::uint64_t phentsize = *r.Get(l.phentsize, 2);
    const std::uint64_t phnum = *r.Get(l.phnum, 2);
    if (phnum == 0) return Failed(ElfError::kNoLoadableSegment);
    if (phnum == kManySegments || phentsize < l.ph_size) return Failed(ElfError::kMalformed);
    // phnum < 2^16 and phentsize < 2^16: the table's size cannot overflow.
    const std::uint64_t table_size = phnum * phentsize;
    if (phoff > bytes.size() || bytes.size() - phoff < table_size) return Failed(ElfError::kHeaderTableOutside);

    ElfContents contents;
    contents.is64 = is64;
    contents.big_endian = data == kBig;
    for (std::uint64_t i = 0; i < phnum; ++i) {
        const std::uint64_t at = phoff + i * phentsize;
        const int index = static_cast<int>(i) + 1;
        if (*r.Get(at, 4) != kLoad) continue;
        const std::uint64_t offset = *r.Get(at + l.p_offset, l.word);
        const std::uint64_t paddr = *r.Get(at + l.p_paddr, l.word);
        const std::uint64_t filesz = *r.Get(at + l.p_filesz, l.word);
        if (filesz == 0) continue;
        if (offset > bytes.size() || bytes.size() - offset < filesz) return Failed(ElfError::kSegmentPastEnd, index);
        contents.segments.push_back(
            {index, paddr, bytes.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(filesz))});
    }
    if (contents.segments.empty()) return Failed(ElfError::kNoLoadableSegment);
    return contents;
}

}  // namespace mirelle::hexfile
