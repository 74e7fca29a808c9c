// Reads arbitrary bytes as an ELF file, then loads them into an image as the
// loader does. Every segment the reader returns must lie inside the input;
// address sanitizer catches any read past it and any write outside the image.
#include "hexfile/elf_file.h"
#include "hexfile/program_file.h"

#include "engine/load_outcome.h"
#include "texts/program_load_texts.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static mirelle::hexfile::FlashImage image;
    const std::span<const std::uint8_t> bytes(data, size);
    const mirelle::hexfile::ElfContents elf = mirelle::hexfile::ReadElf(bytes);
    if (elf.error == mirelle::hexfile::ElfError::kNone && elf.segments.empty()) std::abort();
    for (const mirelle::hexfile::ElfSegment& s : elf.segments) {
        if (s.data.empty() || s.data.data() < data || s.data.data() + s.data.size() > data + size) std::abort();
    }
    // The low window from the first segment's page, so that loads succeed often.
    mirelle::hexfile::ImageTarget target;
    if (!elf.segments.empty()) target.start_address = static_cast<std::uint32_t>(elf.segments[0].address) & 0xFFFFF000u;
    const mirelle::hexfile::LoadResult r = mirelle::hexfile::LoadProgram(
        bytes, {.image = image, .target = target, .format = mirelle::hexfile::ProgramFormat::kElf});
    if (!r.ok() && mirelle::texts::LoadMessage(mirelle::engine::DescribeLoad(r)).empty()) std::abort();
    if (r.ok() != (elf.error == mirelle::hexfile::ElfError::kNone) && r.status != mirelle::hexfile::LoadStatus::kElfError &&
        r.status != mirelle::hexfile::LoadStatus::kEmptyFile)
        std::abort();
    return 0;
}
