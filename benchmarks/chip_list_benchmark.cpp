// Start-up's reading of the chip definitions: the target list and the first
// chip's definition from a generated CHIPDEF.INI of 10, 250 and 2000 sections,
// as the main window reads them. Each iteration is one start-up's reads.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "target/chip_definition.h"

namespace mirelle {
namespace {

std::string ChipDefWithSections(int sections) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("mirelle-bench-chipdef-" + std::to_string(sections) + ".ini"))
                                 .string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (int i = 0; i < sections; ++i)
        out << "[CHIP" << i << "]\r\nDownloadFile=DownLoad/chip.bin\r\nLoadAddress=0x1000\r\n"
            << "StartAddress=0x80000\r\nEndAddress=0xFFFFF\r\nFlashSize=512\r\n"
            << "Clock=10MHz,12MHz,16MHz\r\nBaud=9600,9600,19200\r\n\r\n";
    out.close();
    // An installed file, not one being edited this second: files changed in
    // the last two seconds are parsed on every read.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    return path;
}

void BM_StartUpChipList(benchmark::State& state) {
    const std::string path = ChipDefWithSections(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const auto targets = target::ListTargets(path);
        benchmark::DoNotOptimize(target::ReadChipDefinition(path, targets.front()));
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_StartUpChipList)->Arg(10)->Arg(250)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace mirelle
