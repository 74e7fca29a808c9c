// Decoding speed of the program file loader: a generated 6 MiB image (the
// three windows filled completely) in S-record and in Intel HEX form, read
// from a file as the program reads it. Reports the file bytes per second.
#include "hexfile/program_file.h"

#include "engine/load_outcome.h"
#include "texts/program_load_texts.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace mirelle {

using namespace mirelle::hexfile;
namespace {

void AppendByte(std::string& out, unsigned value, unsigned& sum) {
    static const char kDigits[] = "0123456789ABCDEF";
    out += kDigits[(value >> 4) & 0xF];
    out += kDigits[value & 0xF];
    sum += value;
}

std::uint8_t PatternByte(std::uint32_t address) { return static_cast<std::uint8_t>(address * 31 + (address >> 9)); }

struct Window {
    std::uint32_t base;
    std::uint32_t size;
};
constexpr Window kWindows[] = {{0, FlashImage::kLowSize},
                               {FlashImage::kMidBase, FlashImage::kMidSize},
                               {FlashImage::kHighBase, FlashImage::kHighSize}};
constexpr std::uint32_t kRecordData = 32;

std::string SRecordImage() {
    std::string text = "S00600004844521B\r\n";
    for (const Window& w : kWindows) {
        for (std::uint32_t a = w.base; a < w.base + w.size; a += kRecordData) {
            unsigned sum = 0;
            text += "S3";
            AppendByte(text, kRecordData + 5, sum);
            for (int shift = 24; shift >= 0; shift -= 8) AppendByte(text, (a >> shift) & 0xFF, sum);
            for (std::uint32_t i = 0; i < kRecordData; ++i) AppendByte(text, PatternByte(a + i), sum);
            unsigned ignored = 0;
            AppendByte(text, 0xFF - (sum & 0xFF), ignored);
            text += "\r\n";
        }
    }
    return text + "S70500000000FA\r\n";
}

std::string IntelHexImage() {
    std::string text;
    std::uint32_t upper = 0xFFFFFFFF;
    for (const Window& w : kWindows) {
        for (std::uint32_t a = w.base; a < w.base + w.size; a += kRecordData) {
            unsigned sum = 0;
            unsigned ignored = 0;
            if (a >> 16 != upper) {
                upper = a >> 16;
                text += ':';
                for (const unsigned b : {2u, 0u, 0u, 4u, upper >> 8, upper & 0xFF}) AppendByte(text, b, sum);
                AppendByte(text, (0x100 - (sum & 0xFF)) & 0xFF, ignored);
                text += "\r\n";
                sum = 0;
            }
            text += ':';
            AppendByte(text, kRecordData, sum);
            AppendByte(text, (a >> 8) & 0xFF, sum);
            AppendByte(text, a & 0xFF, sum);
            AppendByte(text, 0, sum);
            for (std::uint32_t i = 0; i < kRecordData; ++i) AppendByte(text, PatternByte(a + i), sum);
            AppendByte(text, (0x100 - (sum & 0xFF)) & 0xFF, ignored);
            text += "\r\n";
        }
    }
    return text + ":00000001FF\r\n";
}

std::string WriteTemp(const std::string& name, const std::string& text) {
    const std::string path = (std::filesystem::temp_directory_path() / name).string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    return path;
}

void DecodeFile(benchmark::State& state, const std::string& text, const char* name) {
    const std::string path = WriteTemp(name, text);
    FlashImage image;
    const ImageTarget target{0, std::nullopt};
    for (auto _ : state) {
        const LoadResult result = LoadProgram(path, {image, target});
        if (!result.ok()) {
            const std::string message = texts::LoadMessage(engine::DescribeLoad(result));
            state.SkipWithError(message.c_str());
            break;
        }
        benchmark::DoNotOptimize(image.Window(ImageWindow::kHigh).data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
    state.counters["file_MiB"] = static_cast<double>(text.size()) / (1 << 20);
    std::filesystem::remove(path);
}

void BM_DecodeSRecordImage(benchmark::State& state) {
    static const std::string text = SRecordImage();
    DecodeFile(state, text, "mirelle_bench_image.mot");
}
BENCHMARK(BM_DecodeSRecordImage)->Unit(benchmark::kMillisecond);

void BM_DecodeIntelHexImage(benchmark::State& state) {
    static const std::string text = IntelHexImage();
    DecodeFile(state, text, "mirelle_bench_image.hex");
}
BENCHMARK(BM_DecodeIntelHexImage)->Unit(benchmark::kMillisecond);

// The decoders alone, on lines held in memory.
void BM_DecodeSRecordLinesInMemory(benchmark::State& state) {
    static const std::string text = SRecordImage();
    FlashImage image;
    for (auto _ : state) {
        TextLineSource lines(text);
        const LoadResult result = LoadProgram(lines, {image, {0, std::nullopt}});
        benchmark::DoNotOptimize(result.status);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_DecodeSRecordLinesInMemory)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace mirelle
