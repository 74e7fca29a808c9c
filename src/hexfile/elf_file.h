// The loadable contents of an ELF file, as a linker writes them: 32- or
// 64-bit, either byte order. Only the program headers are read: each PT_LOAD
// header with a non-zero file size gives p_filesz bytes of the file, to be
// placed at its physical address p_paddr (the rest of p_memsz is zero-filled
// RAM, never flash data). Section headers, symbols and debug data are not
// looked at.
//
// Pure: bytes in, segments or a failure out. Every offset and size is checked
// against the file before it is used, so a broken file is refused and never
// read past its end.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace mirelle::hexfile {

// Why an ELF file cannot be loaded (codes as the loader reports them).
enum class ElfError {
    kNone = 0,
    kMalformed = 1,           // a header that is cut short or holds values no ELF file has
    kRelocatable = 2,         // an object file (ET_REL): not linked, no addresses yet
    kHeaderTableOutside = 3,  // the program header table lies (partly) outside the file
    kSegmentPastEnd = 4,      // a loadable segment's bytes reach past the end of the file
    kNoLoadableSegment = 5,   // no PT_LOAD header with file bytes
    kAddress = 6,             // a segment's bytes do not fit the image (the loader's refusal)
};

struct ElfSegment {
    int index = 0;              // its program header's position, from 1
    std::uint64_t address = 0;  // p_paddr
    std::span<const std::uint8_t> data;  // p_filesz bytes of the file
};

struct ElfContents {
    ElfError error = ElfError::kNone;
    int segment = 0;  // the program header at fault (from 1), for kSegmentPastEnd
    bool is64 = false, big_endian = false;
    std::vector<ElfSegment> segments;  // in program header order
};

// True when `bytes` begin with the ELF magic 0x7F 'E' 'L' 'F'.
bool HasElfMagic(std::span<const std::uint8_t> bytes);

// The loadable segments of the ELF file `bytes`; the spans point into `bytes`.
ElfContents ReadElf(std::span<const std::uint8_t> bytes);

}  // namespace mirelle::hexfile
