// Decoding speed of the program file loader: a generated 6 MiB image (the
// three windows filled completely) in S-record, Intel HEX and ELF form, read
// from a file as the program reads it. The ELF file holds the image as three
// loadable segments and 10 MiB that are not loaded (as debug data is), 16 MiB
// in all. Reports the file bytes per second.
#include "hexfile/program_file.h"

#include "engine/load_outcome.h"
#include "texts/program_load_texts.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <utility>
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

void Put(std::string& out, std::size_t at, std::uint32_t value, unsigned size) {
    for (unsigned i = 0; i < size; ++i) out[at + i] = static_cast<char>(value >> (8 * i));
}

// A 32-bit little-endian ELF executable: one PT_LOAD per window, then bytes
// that no segment loads, up to 16 MiB.
std::string ElfImage() {
    constexpr std::size_t kHeader = 52, kPh = 32, kTotal = std::size_t{16} << 20;
    std::string out(kHeader + 3 * kPh, '\0');
    out.replace(0, 7, "\x7F" "ELF\x01\x01\x01");
    Put(out, 16, 2, 2);   // ET_EXEC
    Put(out, 18, 40, 2);  // a machine
    Put(out, 20, 1, 4);
    Put(out, 28, kHeader, 4);
    Put(out, 40, kHeader, 2);
    Put(out, 42, kPh, 2);
    Put(out, 44, 3, 2);
    for (std::size_t i = 0; i < 3; ++i) {
        const Window& w = kWindows[i];
        const std::size_t ph = kHeader + i * kPh, at = out.size();
        Put(out, ph, 1, 4);
        Put(out, ph + 4, static_cast<std::uint32_t>(at), 4);
        Put(out, ph + 8, w.base, 4);
        Put(out, ph + 12, w.base, 4);
        Put(out, ph + 16, w.size, 4);
        Put(out, ph + 20, w.size, 4);
        for (std::uint32_t a = w.base; a < w.base + w.size; ++a) out += static_cast<char>(PatternByte(a));
    }
    out.resize(kTotal, '\x5A');
    return out;
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

void BM_DecodeElfImage(benchmark::State& state) {
    static const std::string bytes = ElfImage();
    DecodeFile(state, bytes, "mirelle_bench_image.elf");
}
BENCHMARK(BM_DecodeElfImage)->Unit(benchmark::kMillisecond);

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

// MIRELLE_BENCH_KEEP=DIR keeps the S-record and ELF images there, to time
// other tools' reading of the same data.
[[maybe_unused]] const bool kKept = [] {
    if (const char* dir = std::getenv("MIRELLE_BENCH_KEEP")) {
        for (const auto& [name, text] : {std::pair<const char*, std::string>{"image.srec", SRecordImage()},
                                         std::pair<const char*, std::string>{"image.elf", ElfImage()}}) {
            std::FILE* f = std::fopen((std::string(dir) + "/" + name).c_str(), "wb");
            if (!f) continue;
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        }
    }
    return true;
}();

}  // namespace
}  // namespace mirelle
