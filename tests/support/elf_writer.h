// Linked ELF files made from known bytes, for the tests: the ELF header, one
// program header per segment, the segments' bytes, and section headers over
// them as a linker writes them (binutils reads a file by its sections).
#pragma once

#include <cstdint>
#include <iterator>
#include <vector>

namespace mirelle::testing {

struct ElfSegmentPlan {
    std::uint64_t paddr = 0;
    std::uint64_t vaddr = 0;
    std::vector<std::uint8_t> data;  // p_filesz bytes
    std::uint64_t memsz = 0;         // 0: as many as data
    std::uint32_t type = 1;          // PT_LOAD
};

struct ElfPlan {
    bool is64 = false;
    bool big_endian = false;
    std::uint16_t type = 2;  // ET_EXEC
    std::vector<ElfSegmentPlan> segments;
};

std::vector<std::uint8_t> WriteElf(const ElfPlan& plan);

// Where the fields of the headers lie, for tests that break them.
struct ElfLayout {
    std::uint64_t header_size, phoff, ph_size;
    std::uint64_t p_offset, p_filesz;  // within one program header
    std::uint64_t e_phoff, e_phentsize, e_phnum;
};
ElfLayout LayoutOf(bool is64);

// Writes `value` in `size` bytes at `at`, in the file's byte order.
void PutNumber(std::vector<std::uint8_t>& bytes, std::uint64_t at, std::uint64_t value, unsigned size, bool big_endian);

}  // namespace mirelle::testing
