// Loads arbitrary bytes as a whole program file (lines split as a text file
// is read) into one image, with a start address and skip halfword taken from
// the input. Address sanitizer catches any access outside the windows.
#include "hexfile/program_file.h"

#include "engine/load_outcome.h"
#include "texts/program_load_texts.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static mirelle::hexfile::FlashImage image;
    if (size < 5) return 0;
    mirelle::hexfile::ImageTarget target;
    target.start_address = std::uint32_t{data[0]} << 16 | std::uint32_t{data[1]} << 8;
    if (data[2] & 1) target.skip_halfword = (std::uint32_t{data[2]} << 12 | data[3]) & ~1u;
    const std::uint8_t fill = data[4];
    const std::string_view text(reinterpret_cast<const char*>(data + 5), size - 5);
    mirelle::hexfile::TextLineSource lines(text);
    const mirelle::hexfile::LoadResult r = mirelle::hexfile::LoadProgram(lines, {image, target, fill});
    const mirelle::texts::LoadOutcome outcome = mirelle::engine::DescribeLoad(r);
    if (!r.ok() && mirelle::texts::LoadMessage(outcome).empty()) std::abort();
    if (target.skip_halfword) {
        const auto low = image.Window(mirelle::hexfile::ImageWindow::kLow);
        if (low[*target.skip_halfword] != fill || low[*target.skip_halfword + 1] != fill) std::abort();
    }
    // A block read anywhere stays inside the buffers (ASan) and reads the fill
    // past its window's end.
    const std::uint32_t at = std::uint32_t{data[0]} << 24 | std::uint32_t{data[1]} << 16 |
                             std::uint32_t{data[2]} << 8 | data[3];
    std::array<std::uint8_t, 512> block;
    image.ReadBlock(at, target.start_address, block);
    const mirelle::hexfile::ImageLocation where = mirelle::hexfile::FlashImage::Locate(at, target.start_address);
    const std::uint64_t window_size = mirelle::hexfile::FlashImage::WindowSize(where.window);
    for (std::size_t i = 0; i < block.size(); ++i) {
        const std::uint32_t offset = where.offset + static_cast<std::uint32_t>(i);
        if (offset >= window_size && block[i] != fill) std::abort();
        if (offset < window_size && block[i] != image.Window(where.window)[offset]) std::abort();
    }
    const mirelle::texts::LoadReport report = mirelle::texts::PlanLoadReport(outcome, data[0] & 1, data[1] & 1);
    if (!r.ok() && !report.show_box && !report.write_log && (data[0] & 1)) std::abort();
    return 0;
}
