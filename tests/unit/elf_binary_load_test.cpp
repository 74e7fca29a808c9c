// ELF and raw binary program files: the ELF reader against binutils (the
// image equals the one decoded from `objcopy -O srec` of the same file), its
// refusals, and a binary's placement by its start address.
#include "engine/load_outcome.h"
#include "hexfile/elf_file.h"
#include "hexfile/program_file.h"
#include "support/elf_writer.h"
#include "texts/program_load_texts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace mirelle {

using namespace mirelle::hexfile;
using testing::ElfSegmentPlan;
using testing::ElfPlan;
using testing::WriteElf;
namespace fs = std::filesystem;
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Pattern(std::size_t n, unsigned seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + seed + (i >> 8));
    return b;
}

fs::path TempPath(const std::string& name) {
    return fs::temp_directory_path() / ("mirelle-elf-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                        "-" + name);
}

void Save(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

bool SameImage(const FlashImage& a, const FlashImage& b) {
    for (const ImageWindow w : {ImageWindow::kLow, ImageWindow::kMid, ImageWindow::kHigh}) {
        const auto x = a.Window(w), y = b.Window(w);
        if (!std::equal(x.begin(), x.end(), y.begin())) return false;
    }
    return true;
}

// Runs a binutils command; its exit status.
int RunTool(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

// The ELF file `elf` loaded by our reader and, as S-records written by
// objcopy, by our S-record decoder: both images must be equal.
void ExpectAsObjcopy(const std::string& name, const fs::path& elf) {
    const fs::path srec = elf.string() + ".srec";
    ASSERT_EQ(RunTool("objcopy -O srec " + elf.string() + " " + srec.string()), 0) << name;
    static FlashImage ours, theirs;
    const LoadResult a = LoadProgram(elf.string(), {ours, {}});
    const LoadResult b = LoadProgram(srec.string(), {theirs, {}});
    ASSERT_TRUE(a.ok()) << name << ": " << texts::LoadMessage(engine::DescribeLoad(a));
    ASSERT_TRUE(b.ok()) << name;
    EXPECT_EQ(a.format, ProgramFormat::kElf);
    EXPECT_TRUE(SameImage(ours, theirs)) << name;
    fs::remove(srec);
}

TEST(ElfFile, ImagesEqualObjcopysSRecords) {
#ifdef _WIN32
    GTEST_SKIP() << "binutils run on the build host";
#endif
    const Bytes code = Pattern(300, 1), data = Pattern(40, 9);
    struct Case {
        const char* name;
        ElfPlan plan;
        std::vector<std::pair<std::uint32_t, std::uint8_t>> expect;  // address -> byte, in the low window
    } cases[] = {
        {"32-bit little endian", {false, false, 2, {{0x1000, 0x1000, code}}}, {{0x1000, code[0]}, {0x112B, code[299]}}},
        {"64-bit little endian", {true, false, 2, {{0x1000, 0x1000, code}}}, {{0x1000, code[0]}}},
        {"32-bit big endian", {false, true, 2, {{0x1000, 0x1000, code}}}, {{0x1001, code[1]}}},
        {"64-bit big endian", {true, true, 2, {{0x1000, 0x1000, code}}}, {{0x1002, code[2]}}},
        {"two segments with a gap", {false, false, 2, {{0x0, 0x0, code}, {0x8000, 0x8000, data}}},
         {{0x12B, code[299]}, {0x12C, 0xFF}, {0x8027, data[39]}}},
        // Initialised data: linked for RAM, stored in flash after the code.
        {"p_paddr differs from p_vaddr", {false, false, 2, {{0x0, 0x0, code}, {0x130, 0x20000000, data}}},
         {{0x130, data[0]}}},
        // .bss: the rest of p_memsz is not flash data; a segment of no file bytes neither.
        {".bss-like segment", {true, false, 2, {{0x2000, 0x2000, data, 0x400}, {0x3000, 0x3000, {}, 0x100}}},
         {{0x2028, 0xFF}, {0x3000, 0xFF}}},
        {"note segment not loaded", {false, false, 3, {{0x4000, 0x4000, data, 0, 4}, {0x5000, 0x5000, data}}},
         {{0x4000, 0xFF}, {0x5000, data[0]}}},
    };
    for (const Case& c : cases) {
        const fs::path path = TempPath("case.elf");
        Save(path, WriteElf(c.plan));
        ExpectAsObjcopy(c.name, path);
        FlashImage image;
        ASSERT_TRUE(LoadProgram(path.string(), {image, {}}).ok()) << c.name;
        for (const auto& [address, byte] : c.expect)
            EXPECT_EQ(image.Window(ImageWindow::kLow)[address], byte) << c.name << " at " << address;
        fs::remove(path);
    }
}

// A real linker's output: code at 0x1000, initialised data linked at
// 0x20000000 and placed after the code (AT), .bss behind it.
TEST(ElfFile, LinkedByLdEqualsObjcopy) {
#ifdef _WIN32
    GTEST_SKIP() << "binutils run on the build host";
#endif
    const fs::path dir = TempPath("ld");
    fs::create_directories(dir);
    std::ofstream(dir / "a.s") << ".section .text\n.globl _start\n_start:\n.byte 1,2,3,4,5,6,7,8,9\n"
                                  ".section .data\n.long 0x11223344, 0x55667788\n.section .bss\n.space 64\n";
    std::ofstream(dir / "a.ld") << "SECTIONS {\n . = 0x1000;\n .text : { *(.text) }\n"
                                   " .data 0x20000000 : AT(0x1100) { *(.data) }\n .bss : { *(.bss) }\n}\n";
    const std::string d = dir.string();
    ASSERT_EQ(RunTool("as --32 -o " + d + "/a.o " + d + "/a.s"), 0);
    ASSERT_EQ(RunTool("ld -m elf_i386 -T " + d + "/a.ld -o " + d + "/a.elf " + d + "/a.o"), 0);
    ExpectAsObjcopy("ld", dir / "a.elf");
    FlashImage image;
    ASSERT_TRUE(LoadProgram(d + "/a.elf", {image, {}}).ok());
    EXPECT_EQ(image.Window(ImageWindow::kLow)[0x1008], 9);
    EXPECT_EQ(image.Window(ImageWindow::kLow)[0x1100], 0x44);
    EXPECT_EQ(image.Window(ImageWindow::kHigh)[0], 0xFF);  // the RAM address holds nothing
    // The assembler's object file is not linked: refused as such.
    const LoadResult object = LoadProgram(d + "/a.o", {image, {}});
    EXPECT_EQ(object.status, LoadStatus::kElfError);
    EXPECT_EQ(object.decoder_error, static_cast<int>(ElfError::kRelocatable));
    fs::remove_all(dir);
}

TEST(ElfFile, BrokenFilesAreRefusedWithTheirReason) {
    const ElfPlan good{false, false, 2, {{0x1000, 0x1000, Pattern(64, 3)}}};
    const testing::ElfLayout l = testing::LayoutOf(false);
    auto with = [&](auto change) {
        Bytes b = WriteElf(good);
        change(b);
        return b;
    };
    struct Case {
        const char* name;
        Bytes bytes;
        ElfError error;
        const char* message;
    } cases[] = {
        {"no loadable segment", WriteElf({false, false, 2, {{0x1000, 0x1000, Pattern(8, 1), 0, 4}}}),
         ElfError::kNoLoadableSegment, "this ELF file has no loadable segment"},
        {"no program header", with([&](Bytes& b) { testing::PutNumber(b, l.e_phnum, 0, 2, false); }),
         ElfError::kNoLoadableSegment, "this ELF file has no loadable segment"},
        {"segment past the end",
         with([&](Bytes& b) { testing::PutNumber(b, l.phoff + l.p_filesz, b.size(), 4, false); }),
         ElfError::kSegmentPastEnd,
         "segment 1 of this ELF file reaches past the end of the file"},
        {"segment offset past the end",
         with([&](Bytes& b) { testing::PutNumber(b, l.phoff + l.p_offset, 0xFFFFFFF0, 4, false); }),
         ElfError::kSegmentPastEnd, "segment 1 of this ELF file reaches past the end of the file"},
        {"header table outside", with([&](Bytes& b) { testing::PutNumber(b, l.e_phoff, 0xFFFFFF00, 4, false); }),
         ElfError::kHeaderTableOutside, "the program header table of this ELF file lies outside the file"},
        {"header table cut short", with([&](Bytes& b) { testing::PutNumber(b, l.e_phnum, 200, 2, false); }),
         ElfError::kHeaderTableOutside, "the program header table of this ELF file lies outside the file"},
        {"relocatable", with([](Bytes& b) { b[16] = 1; }), ElfError::kRelocatable,
         "this ELF file is a relocatable object, not a linked program"},
        {"core file", with([](Bytes& b) { b[16] = 4; }), ElfError::kMalformed, "this ELF file is malformed"},
        {"class 3", with([](Bytes& b) { b[4] = 3; }), ElfError::kMalformed, "this ELF file is malformed"},
        {"byte order 0", with([](Bytes& b) { b[5] = 0; }), ElfError::kMalformed, "this ELF file is malformed"},
        {"header cut short", with([](Bytes& b) { b.resize(40); }), ElfError::kMalformed, "this ELF file is malformed"},
        {"program header too small",
         with([&](Bytes& b) { testing::PutNumber(b, l.e_phentsize, 16, 2, false); }), ElfError::kMalformed,
         "this ELF file is malformed"},
    };
    FlashImage image;
    for (const Case& c : cases) {
        const LoadResult r = LoadProgram(std::span<const std::uint8_t>(c.bytes), {image, {}});
        EXPECT_EQ(r.status, LoadStatus::kElfError) << c.name;
        EXPECT_EQ(r.decoder_error, static_cast<int>(c.error)) << c.name;
        EXPECT_EQ(texts::LoadMessage(engine::DescribeLoad(r)), c.message) << c.name;
        EXPECT_EQ(texts::LoadCaption(engine::DescribeLoad(r).failure), "ELF decoder") << c.name;
    }
    // Every prefix of a good file is refused or read, never read past its
    // end (the sanitizer builds watch the reads).
    const Bytes whole = WriteElf({true, true, 2, {{0x10, 0x10, Pattern(20, 1)}, {0x40, 0x40, Pattern(20, 2)}}});
    const ElfContents all = ReadElf(whole);
    ASSERT_EQ(all.segments.size(), 2u);
    const std::size_t data_end = static_cast<std::size_t>(all.segments[1].data.data() + 20 - whole.data());
    for (std::size_t n = 0; n < whole.size(); ++n) {
        const ElfContents cut = ReadElf(std::span(whole).first(n));
        EXPECT_EQ(cut.error == ElfError::kNone, n >= data_end) << n;
    }
}

TEST(ElfFile, SegmentsOutsideTheImageAreAnAddressError) {
    FlashImage image;
    const ImageTarget target{0x1000, std::nullopt};
    struct Case {
        const char* name;
        std::uint64_t paddr;
        Refusal refusal;
    } cases[] = {
        {"below the first area", 0x800, Refusal::kBelowStart},
        {"past the low window", 0x1000 + FlashImage::kLowSize - 4, Refusal::kOutsideImage},
        {"beyond 32 bits", 0x100000000, Refusal::kOutsideImage},
    };
    for (const Case& c : cases) {
        const Bytes elf = WriteElf({true, false, 2, {{c.paddr, c.paddr, Pattern(16, 0)}}});
        const LoadResult r = LoadProgram(std::span<const std::uint8_t>(elf), {image, target});
        EXPECT_EQ(r.status, LoadStatus::kElfError) << c.name;
        EXPECT_EQ(r.decoder_error, static_cast<int>(ElfError::kAddress)) << c.name;
        EXPECT_EQ(r.refusal, c.refusal) << c.name;
        EXPECT_EQ(texts::LoadMessage(engine::DescribeLoad(r)), "address error in segment 1") << c.name;
    }
    // A segment that spans two windows goes to both.
    const Bytes across = WriteElf({false, false, 2, {{FlashImage::kMidBase - 2, 0, Pattern(4, 5)}}});
    ASSERT_TRUE(LoadProgram(std::span<const std::uint8_t>(across), {image, {FlashImage::kMidBase - 0x100}}).ok());
    EXPECT_EQ(image.Window(ImageWindow::kLow)[0xFE], Pattern(4, 5)[0]);
    EXPECT_EQ(image.Window(ImageWindow::kMid)[1], Pattern(4, 5)[3]);
}

TEST(BinaryFile, PlacedAtItsStartAddressAndCountedByArea) {
    // Two flash areas of 4 KiB, one after the other, as the load step gives them.
    const ImageTarget target{0x10000, std::nullopt, {{0x10000, 0x10FFF, 0x10FFF}, {0x11000, 0x11FFF, 0x11FFF}}};
    struct Case {
        const char* name;
        std::uint32_t start;
        std::size_t size;
        std::uint64_t in_flash, outside;
    } cases[] = {
        {"at an area's start", 0x10000, 0x100, 0x100, 0},
        {"inside an area", 0x10800, 0x100, 0x100, 0},
        {"crossing into the second area", 0x10F80, 0x100, 0x100, 0},
        {"running past the last area", 0x11F80, 0x100, 0x80, 0x80},
        {"beyond every area", 0x20000, 0x100, 0, 0x100},
    };
    const fs::path path = TempPath("image.BIN");
    for (const Case& c : cases) {
        const Bytes data = Pattern(c.size, 4);
        Save(path, data);
        FlashImage image;
        const LoadResult r = LoadProgram(path.string(), {.image = image, .target = target, .binary_start = c.start});
        ASSERT_TRUE(r.ok()) << c.name;
        EXPECT_EQ(r.format, ProgramFormat::kBinary);
        EXPECT_EQ(r.bytes_in_flash, c.in_flash) << c.name;
        EXPECT_EQ(r.bytes_outside, c.outside) << c.name;
        const auto low = image.Window(ImageWindow::kLow);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), low.begin() + (c.start - 0x10000))) << c.name;
        EXPECT_EQ(low[c.start - 0x10000 + c.size], 0xFF) << c.name;
    }
    fs::remove(path);
}

TEST(BinaryFile, ChosenByNameNeverByContent) {
    FlashImage image;
    // S-record text and an ELF file named *.bin are raw bytes.
    const std::string srec = "S1040000AA51\n";
    const Bytes elf = WriteElf({false, false, 2, {{0x0, 0x0, Pattern(8, 1)}}});
    const fs::path bin = TempPath("data.Bin"), mot = TempPath("data.mot");
    Save(bin, Bytes(srec.begin(), srec.end()));
    ASSERT_TRUE(LoadProgram(bin.string(), {.image = image, .binary_start = 0}).ok());
    EXPECT_EQ(image.Window(ImageWindow::kLow)[0], 'S');
    Save(bin, elf);
    ASSERT_TRUE(LoadProgram(bin.string(), {.image = image, .binary_start = 0}).ok());
    EXPECT_EQ(image.Window(ImageWindow::kLow)[0], 0x7F);
    // Bytes not named *.bin are told by their content, unless a format is given.
    Save(mot, Bytes(srec.begin(), srec.end()));
    EXPECT_EQ(LoadProgram(mot.string(), {.image = image}).format, ProgramFormat::kSRecord);
    EXPECT_EQ(image.Window(ImageWindow::kLow)[0], 0xAA);
    ASSERT_TRUE(LoadProgram(mot.string(), {.image = image, .format = ProgramFormat::kBinary, .binary_start = 0}).ok());
    EXPECT_EQ(image.Window(ImageWindow::kLow)[0], 'S');
    // Without a start address a binary is refused, and nothing lies in the image.
    const LoadResult none = LoadProgram(bin.string(), {.image = image, .fill = 0x00});
    EXPECT_EQ(none.status, LoadStatus::kBinaryError);
    EXPECT_EQ(texts::LoadMessage(engine::DescribeLoad(none)), "this binary file needs a start address; nothing is sent");
    EXPECT_EQ(image.Window(ImageWindow::kLow)[0], 0x00);
    for (const char* name : {"a.bin", "A.BIN", "dir.bin/x.Bin"}) EXPECT_TRUE(IsBinaryFileName(name)) << name;
    for (const char* name : {"bin", "a.bin.mot", "a.elf", ".bi"}) EXPECT_FALSE(IsBinaryFileName(name)) << name;
    fs::remove(bin);
    fs::remove(mot);
}

TEST(BinaryFile, StartAddressText) {
    struct Case {
        const char* text;
        std::optional<std::uint32_t> value;
    } cases[] = {
        {"0x8000", 0x8000},         {"0X0800abCD", 0x0800ABCD}, {"32768", 32768},  {"0xFFFFFFFF", 0xFFFFFFFF},
        {"4294967295", 0xFFFFFFFF}, {"0x100000000", std::nullopt}, {"4294967296", std::nullopt},
        {"", std::nullopt},         {"0x", std::nullopt},       {"8000h", std::nullopt}, {"-1", std::nullopt},
        {"0x 10", std::nullopt},    {"12ab", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseStartAddress(c.text), c.value) << c.text;
}

}  // namespace
}  // namespace mirelle
