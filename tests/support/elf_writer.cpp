#include "support/elf_writer.h"

#include <string>

namespace mirelle::testing {

ElfLayout LayoutOf(bool is64) {
    if (is64) return {64, 64, 56, 8, 32, 32, 54, 56};
    return {52, 52, 32, 4, 16, 28, 42, 44};
}

void PutNumber(std::vector<std::uint8_t>& bytes, std::uint64_t at, std::uint64_t value, unsigned size, bool big_endian) {
    if (bytes.size() < at + size) bytes.resize(at + size);
    for (unsigned i = 0; i < size; ++i)
        bytes[at + (big_endian ? size - 1 - i : i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::vector<std::uint8_t> WriteElf(const ElfPlan& plan) {
    const ElfLayout l = LayoutOf(plan.is64);
    const unsigned word = plan.is64 ? 8 : 4;
    const bool be = plan.big_endian;
    std::vector<std::uint8_t> out(l.header_size, 0);
    const std::uint8_t ident[] = {0x7F, 'E', 'L', 'F', static_cast<std::uint8_t>(plan.is64 ? 2 : 1),
                                  static_cast<std::uint8_t>(be ? 2 : 1), 1};
    std::copy(std::begin(ident), std::end(ident), out.begin());
    PutNumber(out, 16, plan.type, 2, be);
    PutNumber(out, 18, plan.is64 ? 62 : 40, 2, be);  // a machine; loaders do not look at it
    PutNumber(out, 20, 1, 4, be);                    // e_version
    PutNumber(out, l.e_phoff, l.phoff, word, be);
    PutNumber(out, plan.is64 ? 52 : 40, l.header_size, 2, be);  // e_ehsize
    PutNumber(out, l.e_phentsize, l.ph_size, 2, be);
    PutNumber(out, l.e_phnum, plan.segments.size(), 2, be);
    std::uint64_t data_at = l.phoff + l.ph_size * plan.segments.size();
    std::vector<std::uint64_t> offsets;
    for (std::size_t i = 0; i < plan.segments.size(); ++i) {
        const ElfSegmentPlan& s = plan.segments[i];
        data_at = (data_at + 15) & ~std::uint64_t{15};
        const std::uint64_t ph = l.phoff + l.ph_size * i;
        const std::uint64_t memsz = s.memsz ? s.memsz : s.data.size();
        PutNumber(out, ph, s.type, 4, be);
        if (plan.is64) {
            PutNumber(out, ph + 4, 5, 4, be);  // p_flags: R X
            PutNumber(out, ph + 8, data_at, 8, be);
            PutNumber(out, ph + 16, s.vaddr, 8, be);
            PutNumber(out, ph + 24, s.paddr, 8, be);
            PutNumber(out, ph + 32, s.data.size(), 8, be);
            PutNumber(out, ph + 40, memsz, 8, be);
            PutNumber(out, ph + 48, 16, 8, be);
        } else {
            PutNumber(out, ph + 4, data_at, 4, be);
            PutNumber(out, ph + 8, s.vaddr, 4, be);
            PutNumber(out, ph + 12, s.paddr, 4, be);
            PutNumber(out, ph + 16, s.data.size(), 4, be);
            PutNumber(out, ph + 20, memsz, 4, be);
            PutNumber(out, ph + 24, 5, 4, be);
            PutNumber(out, ph + 28, 16, 4, be);
        }
        if (out.size() < data_at) out.resize(data_at);
        offsets.push_back(data_at);
        out.insert(out.end(), s.data.begin(), s.data.end());
        data_at = out.size();
    }
    // Section headers as a linker writes them (binutils reads none without):
    // a PROGBITS section over each segment's bytes, a NOBITS one over the
    // rest of its memory size, and the name table.
    struct Section {
        std::uint32_t type, flags;
        std::uint64_t addr, offset, size;
    };
    std::vector<Section> sections{{0, 0, 0, 0, 0}};
    for (std::size_t i = 0; i < plan.segments.size(); ++i) {
        const ElfSegmentPlan& s = plan.segments[i];
        const std::uint32_t alloc = s.type == 1 ? 2u : 0u;  // SHF_ALLOC for loaded segments
        const std::uint64_t memsz = s.memsz ? s.memsz : s.data.size();
        if (!s.data.empty()) sections.push_back({s.type == 1 ? 1u : 7u, alloc | 4u, s.vaddr, offsets[i], s.data.size()});
        if (memsz > s.data.size())
            sections.push_back({8, alloc | 1u, s.vaddr + s.data.size(), offsets[i] + s.data.size(), memsz - s.data.size()});
    }
    const std::uint64_t names_at = out.size();
    out.push_back(0);
    for (std::size_t i = 1; i < sections.size(); ++i) {
        const std::string name = ".s" + std::to_string(i);
        out.insert(out.end(), name.begin(), name.end());
        out.push_back(0);
    }
    const std::string shstrtab = ".shstrtab";
    const std::uint64_t shstrtab_name = out.size() - names_at;
    out.insert(out.end(), shstrtab.begin(), shstrtab.end());
    out.push_back(0);
    sections.push_back({3, 0, 0, names_at, out.size() - names_at});
    const std::uint64_t shoff = (out.size() + 7) & ~std::uint64_t{7};
    const std::uint64_t shentsize = plan.is64 ? 64 : 40;
    out.resize(shoff + shentsize * sections.size());
    std::uint64_t name = 1;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const Section& x = sections[i];
        const std::uint64_t at = shoff + shentsize * i;
        const std::uint64_t sh_name = i == 0 ? 0 : i + 1 == sections.size() ? shstrtab_name : name;
        if (i != 0 && i + 1 != sections.size()) name += 3 + std::to_string(i).size();
        PutNumber(out, at, sh_name, 4, be);
        PutNumber(out, at + 4, x.type, 4, be);
        PutNumber(out, at + 8, x.flags, word, be);
        PutNumber(out, at + 8 + word, x.addr, word, be);
        PutNumber(out, at + 8 + 2 * word, x.offset, word, be);
        PutNumber(out, at + 8 + 3 * word, x.size, word, be);
    }
    PutNumber(out, plan.is64 ? 40 : 32, shoff, word, be);
    PutNumber(out, plan.is64 ? 58 : 46, shentsize, 2, be);
    PutNumber(out, plan.is64 ? 60 : 48, sections.size(), 2, be);
    PutNumber(out, plan.is64 ? 62 : 50, sections.size() - 1, 2, be);
    return out;
}

}  // namespace mirelle::testing
