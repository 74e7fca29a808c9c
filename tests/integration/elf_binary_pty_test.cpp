// ELF and raw binary program files through both front ends against
// mirelle-sim: mirelle-cli program and the window's unattended run, the chip's
// flash compared byte for byte with the file's loadable bytes.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/elf_writer.h"
#include "support/unattended_run.h"

namespace mirelle::testing {
namespace {

class ElfBinaryPty : public FullOperationPty {
protected:
    int Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {std::string(MIRELLE_BIN_DIR) + "/mirelle-cli", "--home", home_.string(),
                                   "--target", "TQ4A01", "-p", "COM1"});
        const int status = Wait(Spawn(args, {}, home_ / "cli.out", home_ / "cli.err"), 60);
        out_ = Slurp(home_ / "cli.out") + Slurp(home_ / "cli.err");
        return status;
    }
    static Bytes Run(std::uint32_t from, std::uint32_t size) {
        Bytes b;
        for (const auto& [address, byte] : Pattern(from, size)) b.push_back(byte);
        return b;
    }
    fs::path Save(const std::string& name, const Bytes& bytes) {
        std::ofstream(home_ / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return home_ / name;
    }
    // The flash of TQ4A01 (0x80000..0xFFFFF) equals `expected` (address ->
    // byte) and is erased everywhere else.
    void ExpectFlash(const std::map<std::uint32_t, std::uint8_t>& expected) {
        StopSim();
        const Bytes flash = Flash();
        ASSERT_EQ(flash.size(), 0x80000u);
        for (std::uint32_t a = 0; a < flash.size(); ++a) {
            const auto it = expected.find(0x80000 + a);
            ASSERT_EQ(flash[a], it == expected.end() ? 0xFF : it->second) << std::hex << 0x80000 + a;
        }
    }
    // Firmware as a linker lays it out: code at the flash's start, initialised
    // data linked for RAM but stored after the code, and .bss.
    fs::path Firmware(std::map<std::uint32_t, std::uint8_t>& expected) {
        const Bytes code = Run(0x80000, 0x1800), data = Run(0x3000, 0x100);
        for (std::uint32_t i = 0; i < code.size(); ++i) expected[0x80000 + i] = code[i];
        for (std::uint32_t i = 0; i < data.size(); ++i) expected[0x81800 + i] = data[i];
        return Save("firmware.elf", WriteElf({false, false, 2,
                                              {{0x80000, 0x80000, code}, {0x81800, 0x20000000, data, 0x800}}}));
    }
    std::string out_;
};

TEST_F(ElfBinaryPty, CliProgramsAnElfFileAndRefusesABinaryWithoutItsAddress) {
    StartSim("TQ4A01", 0, {"--no-line-time"});
    const fs::path bin = Save("boot.bin", Run(0x80000, 0x200));
    EXPECT_EQ(Cli({"program", bin.string()}), 3) << out_;
    EXPECT_NE(out_.find("this binary file needs a start address; nothing is sent"), std::string::npos) << out_;
    std::map<std::uint32_t, std::uint8_t> expected;
    EXPECT_EQ(Cli({"program", Firmware(expected).string(), "--json"}), 0) << out_;
    EXPECT_NE(out_.find(R"("format":"ELF")"), std::string::npos) << out_;
    ExpectFlash(expected);
}

TEST_F(ElfBinaryPty, UnattendedRunProgramsAnElfFile) {
    StartSim("TQ4A01", 0, {"--no-line-time"});
    std::map<std::uint32_t, std::uint8_t> expected;
    EXPECT_EQ(RunMirelle({Firmware(expected).string(), "com1", "no_dialog"}), 0) << Errors();
    EXPECT_EQ(Log(), "OK");
    EXPECT_NE(Errors().find("firmware.elf read as ELF"), std::string::npos) << Errors();
    ExpectFlash(expected);
}

TEST_F(ElfBinaryPty, UnattendedRunPlacesABinaryAtItsOffset) {
    StartSim("TQ4A01", 0, {"--no-line-time"});
    const fs::path bin = Save("app.BIN", Run(0x90000, 0x1000));
    // A word that names no address stops the run before the port.
    EXPECT_EQ(RunMirelle({bin.string(), "com1", "no_dialog", "offset=0x9000G"}), 2) << Errors();
    EXPECT_NE(Log().find("Usage error: offset=0x9000G names no start address"), std::string::npos) << Log();
    EXPECT_EQ(RunMirelle({bin.string(), "com1", "no_dialog", "offset=0x90000"}), 0) << Errors();
    EXPECT_EQ(Log(), "OK");
    ExpectFlash(Pattern(0x90000, 0x1000));
}

}  // namespace
}  // namespace mirelle::testing
