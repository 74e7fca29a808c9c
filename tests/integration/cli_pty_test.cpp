// mirelle-cli against mirelle-sim on pseudo-terminals: every command, the
// exit status of each kind of failure, --json, a gang with a silent chip, and
// runs that must end with their cause without touching the chip or a log
// that is not theirs.
#include <sys/file.h>
#include <sys/ioctl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/unattended_run.h"

namespace mirelle::testing {
namespace {

// The top-level members of one JSON object (strings unescaped, other values
// as written); false when `line` is not exactly one object.
bool ParseJsonObject(const std::string& line, std::map<std::string, std::string>& out) {
    std::size_t i = 0;
    auto ws = [&] { while (i < line.size() && line[i] == ' ') ++i; };
    auto str = [&](std::string& s) {
        if (i >= line.size() || line[i] != '"') return false;
        for (++i; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && ++i < line.size()) {
                const char c = line[i];
                if (c == 'u') { s += '?'; i += 4; } else s += c == 'n' ? '\n' : c == 't' ? '\t' : c;
            } else {
                s += line[i];
            }
        }
        return i++ < line.size();
    };
    std::function<bool(std::string&)> value = [&](std::string& v) {
        ws();
        if (i < line.size() && line[i] == '"') return str(v);
        const char open = i < line.size() ? line[i] : 0;
        if (open == '[' || open == '{') {
            const std::size_t from = i++;
            for (ws(); i < line.size() && line[i] != (open == '[' ? ']' : '}');) {
                std::string k, x;
                if (open == '{' && (!str(k) || (ws(), line[i++] != ':'))) return false;
                if (!value(x)) return false;
                ws();
                if (i < line.size() && line[i] == ',') ++i, ws();
            }
            if (i >= line.size()) return false;
            v = line.substr(from, ++i - from);
            return true;
        }
        const std::size_t from = i;
        while (i < line.size() && std::string("-+.0123456789eEtruefalsn").find(line[i]) != std::string::npos) ++i;
        v = line.substr(from, i - from);
        return !v.empty();
    };
    std::string whole;
    if (line.empty() || line[0] != '{' || !value(whole) || i != line.size()) return false;
    for (i = 1; line[i] != '}';) {
        std::string k, v;
        ws();
        str(k);
        ws();
        ++i;
        value(v);
        out[k] = v;
        ws();
        if (line[i] == ',') ++i;
    }
    return true;
}

// The bytes of a TQ4A01 area (0x80000..0xFFFFF) as an S-record or Intel HEX
// file puts them (0xFF where it has none).
Bytes AreaOf(const std::string& text) {
    Bytes area(0x80000, 0xFF);
    std::uint32_t base = 0;
    std::size_t at = 0;
    auto hex = [&](const std::string& l, std::size_t p) { return static_cast<std::uint32_t>(std::stoul(l.substr(p, 2), nullptr, 16)); };
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string l = text.substr(at, end - at);
        at = end + 1;
        if (!l.empty() && l.back() == '\r') l.pop_back();
        std::uint32_t address = 0, first = 0, count = 0;
        if (l.size() > 2 && l[0] == 'S' && l[1] >= '1' && l[1] <= '3') {
            const int width = l[1] - '0' + 1;
            for (int k = 0; k < width; ++k) address = address << 8 | hex(l, 4 + 2 * static_cast<std::size_t>(k));
            first = 4 + 2 * static_cast<std::uint32_t>(width);
            count = hex(l, 2) - static_cast<std::uint32_t>(width) - 1;
        } else if (l.size() > 10 && l[0] == ':') {
            const std::uint32_t type = hex(l, 7);
            if (type == 2) base = (hex(l, 9) << 8 | hex(l, 11)) << 4;
            if (type == 4) base = (hex(l, 9) << 8 | hex(l, 11)) << 16;
            if (type != 0) continue;
            address = base + (hex(l, 3) << 8 | hex(l, 5));
            first = 9;
            count = hex(l, 1);
        }
        for (std::uint32_t k = 0; k < count; ++k)
            if (address + k >= 0x80000 && address + k < 0x100000) area[address + k - 0x80000] = static_cast<std::uint8_t>(hex(l, first + 2 * k));
    }
    return area;
}

class CliPty : public FullOperationPty {
protected:
    // Runs mirelle-cli; its exit status, with stdout in out_ and stderr in err_.
    int Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {std::string(MIRELLE_BIN_DIR) + "/mirelle-cli", "--home", home_.string()});
        const int status = Wait(Spawn(args, {}, home_ / "cli.out", home_ / "cli.err"), 60);
        out_ = Slurp(home_ / "cli.out");
        err_ = Slurp(home_ / "cli.err");
        return status;
    }
    pid_t Sim(const std::string& name, const std::vector<std::string>& extra) {
        std::vector<std::string> argv{std::string(MIRELLE_BIN_DIR) + "/mirelle-sim", "--chipdef", (home_ / "CHIPDEF.INI").string(),
                                      "--target", "TQ4A01", "--no-line-time", "--link", (home_ / name).string(),
                                      "--flash", (home_ / (name + ".bin")).string()};
        argv.insert(argv.end(), extra.begin(), extra.end());
        const pid_t pid = Spawn(argv, {}, home_ / (name + ".log"));
        for (int i = 0; i < 200 && !fs::exists(home_ / name); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return pid;
    }
    // 4 KiB at 0x80000 (sum 0x3F800) and 4 bytes beyond the flash.
    fs::path Program() {
        auto data = Pattern(0x80000, 0x1000);
        for (std::uint32_t k = 0; k < 4; ++k) data[0x100000 + k] = 1;
        return WriteProgram(data);
    }
    std::string out_, err_;
};

TEST_F(CliPty, EveryCommandAndEveryFailureHasItsStatusAndWords) {
    StartSim("TQ4A01", 0, {"--no-line-time"});
    const std::string file = Program().string(), missing = (home_ / "missing.mot").string();
    const std::string srec = (home_ / "out.mot").string(), ihex = (home_ / "out.hex").string();
    const std::string part = (home_ / "part.bin").string(), trace = (home_ / "trace.txt").string();
    const std::string text = (home_ / "notes.txt").string();
    std::ofstream(text) << "hello\n";
    const std::string area = "524288 bytes at 0x00080000-0x000FFFFF";
    struct Row {
        std::vector<std::string> args;
        int status;
        std::string words;   // in stdout or stderr
        std::string log{};   // the result log after the run ("" not checked)
        bool one_line = false;  // all that is printed is one line
    } rows[] = {
        {{"checksum", file}, 0, "0800\n"},  // 0x7F000 x 0xFF + 0x3F800
        {{"-q", "checksum", file, "--fill", "00"}, 0, "F800\n"},
        {{"checksum", missing}, 3, missing + ": No such file or directory"},
        {{"--target", "NOPE", "download"}, 2, "no target NOPE"},
        {{"-q", "program", missing}, 3, missing + ": No such file or directory", "NG\r\n" + missing + ": No such file or directory\r\n", true},
        {{"program", text}, 3, "nor ELF (it begins 7F 45 4C 46); a raw binary needs a name ending in .bin or --format bin; it begins 68 65 6C 6C 6F 0A (\"hello.\")"},
        {{"-q", "-p", (home_ / "no-such-tty").string(), "download"}, 4, "no-such-tty: No such file", "", true},
        {{"-b", "115200", "download"}, 2, "TQ4A01 works at 19200 (10MHz), 19200 (12MHz), 38400 (16MHz) baud, not 115200"},
        {{"-p", "COM1", "--trace", trace, "download"}, 0, "downloaded 256 bytes in ", "OK"},
        // -b names the 16MHz entry's rate, then the 10MHz entry's again.
        {{"-v", "-b", "38400", "download"}, 5, "clock 16MHz, boot 19200 baud, working 38400 baud"},
        {{"-v", "-b", "19200", "download"}, 0, "clock 10MHz, boot 9600 baud, working 19200 baud"},
        {{"erase"}, 0, "erased " + area + " in "},
        {{"-q", "blank-check"}, 0, "", "OK"},
        {{"verify", file}, 1, "ErrorAddress : 0x00080000"},
        {{"program", file}, 0, "warning: 4 bytes of this file lie outside the flash of TQ4A01 (first at 0x00100000)"},
        {{"program", file}, 0, "programmed 4096 bytes in "},
        {{"verify", file}, 0, "verified " + area + " in ", "OK"},
        {{"read", srec}, 0, "read " + area + " into " + srec + " in ", "OK"},
        {{"read", ihex, "--format", "ihex"}, 0, "(1024 blocks, 19200 baud"},
        {{"read", part, "--format", "bin", "--start", "0x80FF8", "--length", "16"}, 0, "read 16 bytes at 0x00080FF8-0x00081007 into "},
        {{"read", part, "--start", "0x7FFF0", "--length", "0x20"}, 2, "0x0007FFF0-0x0008000F is not all flash of TQ4A01"},
        // An output file that cannot be written is no successful read.
        {{"read", (home_ / "no-such-folder" / "out.mot").string()}, 3, "ERROR : OPEN FILE ERROR"},
    };
    for (const Row& r : rows) {
        std::vector<std::string> args{"--target", "TQ4A01"};  // a later --target wins
        args.insert(args.end(), r.args.begin(), r.args.end());
        EXPECT_EQ(Cli(args), r.status) << r.args[0] << "\n" << out_ << err_;
        EXPECT_NE((out_ + err_).find(r.words), std::string::npos) << r.args[0] << "\n" << out_ << err_;
        if (!r.log.empty()) {
            EXPECT_EQ(Log(), r.log) << r.args[0];
        }
        if (r.one_line) {
            EXPECT_EQ(std::count(out_.begin(), out_.end(), '\n') + std::count(err_.begin(), err_.end(), '\n'), 1)
                << out_ << err_;
        }
    }
    StopSim();
    const Bytes flash = Flash();
    ASSERT_EQ(flash.size(), 0x80000u);
    EXPECT_EQ(flash[0x1000], 0xFF);
    EXPECT_EQ(flash[0xFFF], Pattern(0x80000, 0x1000)[0x80FFF]);
    EXPECT_TRUE(AreaOf(Slurp(srec)) == flash) << "S-records";
    EXPECT_TRUE(AreaOf(Slurp(ihex)) == flash) << "Intel HEX";
    EXPECT_EQ(Slurp(ihex).rfind(":", 0), 0u);
    EXPECT_TRUE(Slurp(part) == std::string(flash.begin() + 0xFF8, flash.begin() + 0x1008)) << "binary part";
    // The trace holds the boot ROM's handshake with its direction.
    const std::string traced = Slurp(trace);
    EXPECT_NE(traced.find(" > 18\n"), std::string::npos) << traced.substr(0, 400);
    EXPECT_NE(traced.find(" < 11\n"), std::string::npos) << traced.substr(0, 400);
}

TEST_F(CliPty, JsonLinesAreObjectsAndTheLastHoldsTheResult) {
    StartSim("TQ4A01", 0, {"--no-line-time"});
    ASSERT_EQ(Cli({"download", "--target", "TQ4A01", "--json"}), 0) << err_;
    std::vector<std::map<std::string, std::string>> events;
    std::size_t at = 0;
    for (std::size_t nl; (nl = out_.find('\n', at)) != std::string::npos; at = nl + 1) {
        events.emplace_back();
        EXPECT_TRUE(ParseJsonObject(out_.substr(at, nl - at), events.back())) << out_.substr(at, nl - at);
    }
    ASSERT_GE(events.size(), 2u) << out_;
    EXPECT_EQ(events.front()["event"], "step");
    EXPECT_EQ(events.back()["event"], "result");
    EXPECT_EQ(events.back()["status"], "0");
    EXPECT_EQ(events.back()["result"], "ok");
    EXPECT_EQ(events.back()["code"], "307");
    EXPECT_EQ(events.back()["summary"].rfind("downloaded 256 bytes in ", 0), 0u) << events.back()["summary"];
}

TEST_F(CliPty, AGangOfThreeWithOneSilentChip) {
    const pid_t sims[] = {Sim("ttyA", {}), Sim("ttyB", {"--silent"}), Sim("ttyC", {})};
    const std::string a = (home_ / "ttyA").string(), b = (home_ / "ttyB").string(), c = (home_ / "ttyC").string();
    EXPECT_EQ(Cli({"program", Program().string(), "--target", "TQ4A01", "-p", a, "-p", b, "-p", c, "--log-dir",
                   (home_ / "logs").string()}),
              5)
        << out_ << err_;
    for (const std::string& port : {a, c}) EXPECT_NE(out_.find(port + "  ok "), std::string::npos) << out_;
    EXPECT_NE(out_.find(b + "  no answer"), std::string::npos) << out_;
    EXPECT_NE(out_.find("3 boards in"), std::string::npos) << out_;
    for (pid_t pid : sims) kill(pid, SIGTERM), Wait(pid, 5);
    const Bytes expected = [] {
        Bytes e(0x80000, 0xFF);
        for (const auto& [address, v] : Pattern(0x80000, 0x1000)) e[address - 0x80000] = v;
        return e;
    }();
    for (const char* name : {"ttyA.bin", "ttyC.bin"}) {
        const std::string s = Slurp(home_ / name);
        EXPECT_TRUE(Bytes(s.begin(), s.end()) == expected) << name;
    }
    const std::string silent = Slurp(home_ / "ttyB.bin");
    EXPECT_EQ(silent.find_first_not_of('\xFF'), std::string::npos);
}

// The child process of `parent` whose command line holds `word`; -1 when none.
pid_t ChildNaming(pid_t parent, const std::string& port) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string stat = Slurp(entry.path() / "stat");
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(stat.substr(close + 2));
        std::string state;
        long ppid = 0;
        rest >> state >> ppid;
        // A child names its port after "--port"; one just forked, not yet
        // past its exec, still shows the parent's whole line (every port).
        const std::string port_argument = std::string("--port", 7) + port + std::string(1, '\0');
        if (ppid == parent && Slurp(entry.path() / "cmdline").find(port_argument) != std::string::npos)
            return std::stoi(name);
    }
    return -1;
}

TEST_F(CliPty, AGangBoardKilledFromOutsideSaysSo) {
    const pid_t sims[] = {Sim("ttyA", {}), Sim("ttyB", {"--silent"})};
    const std::string a = (home_ / "ttyA").string(), b = (home_ / "ttyB").string();
    const pid_t gang = Spawn({std::string(MIRELLE_BIN_DIR) + "/mirelle-cli", "--home", home_.string(), "program",
                              Program().string(), "--target", "TQ4A01", "-p", a, "-p", b, "--log-dir",
                              (home_ / "logs").string()},
                             {}, home_ / "cli.out", home_ / "cli.err");
    pid_t child = -1;
    for (int i = 0; i < 500 && child < 0; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
        child = ChildNaming(gang, b);
    ASSERT_GT(child, 0);
    kill(child, SIGKILL);
    EXPECT_EQ(Wait(gang, 60), 6);
    const std::string out = Slurp(home_ / "cli.out");
    EXPECT_NE(out.find(b + "  killed "), std::string::npos) << out;
    EXPECT_NE(out.find("killed by signal 9"), std::string::npos) << out;
    EXPECT_NE(out.find(a + "  ok "), std::string::npos) << out;
    for (pid_t pid : sims) kill(pid, SIGTERM), Wait(pid, 5);
}

// A stop sent to a gang's parent reaches every child as the same signal,
// and each child's log names it.
TEST_F(CliPty, AGangStoppedAtItsParentLogsTheSignalInEveryChild) {
    const std::string cli = std::string(MIRELLE_BIN_DIR) + "/mirelle-cli";
    const pid_t sims[] = {Sim("ttyB", {"--silent"}), Sim("ttyC", {"--silent"})};
    const std::string b = (home_ / "ttyB").string(), c = (home_ / "ttyC").string();
    const fs::path logs = home_ / "logs";
    const pid_t gang = Spawn({cli, "--home", home_.string(), "program", Program().string(), "--target", "TQ4A01", "-p",
                              b, "-p", c, "--log-dir", logs.string()},
                             {}, home_ / "gang.out", home_ / "gang.err");
    // Both children are running and have written their logs' first words.
    auto started = [&] {
        int n = 0;
        if (fs::is_directory(logs))
            for (const auto& e : fs::directory_iterator(logs)) n += fs::file_size(e.path()) > 0;
        return n == 2 && ChildNaming(gang, b) > 0 && ChildNaming(gang, c) > 0;
    };
    for (int i = 0; i < 1000 && !started(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(started());
    kill(gang, SIGINT);
    EXPECT_EQ(Wait(gang, 60), 6);
    for (const auto& e : fs::directory_iterator(logs)) {
        const std::string log = Slurp(e.path());
        EXPECT_EQ(log.substr(0, 38), "NG\r\nInterrupted by signal 2 (SIGINT)\r\n") << e.path() << log;
    }
    for (pid_t pid : sims) kill(pid, SIGTERM), Wait(pid, 5);
}

// An area that ends inside a block: its last block goes to the chip whole,
// with the file's bytes beyond the area's end, and the warnings say exactly
// which of the outside bytes are sent that way and which are not sent.
TEST_F(CliPty, AnAreasLastBlockGoesWholeAndTheWarningsSaySo) {
    std::string chipdef = Slurp(home_ / "CHIPDEF.INI");
    const std::size_t section = chipdef.find("[TQ4A03]");
    ASSERT_NE(section, std::string::npos);
    const std::size_t end = chipdef.find("EndAddress=0x7FFF", section);
    ASSERT_NE(end, std::string::npos);
    chipdef.replace(end, 17, "EndAddress=0x10F");
    std::ofstream(home_ / "CHIPDEF.INI", std::ios::binary) << chipdef;
    std::ofstream(home_ / "DownLoad" / "tq4a03.bin", std::ios::binary) << std::string(256, '\x42');
    const fs::path file = WriteProgram(Pattern(0x100, 0x400));  // 0x100..0x4FF
    StartSim("TQ4A03", 2, {"--no-line-time"});
    EXPECT_EQ(Cli({"--target", "TQ4A03", "-p", "COM1", "program", file.string()}), 0) << out_ << err_;
    EXPECT_NE(err_.find("240 bytes of this file lie outside the flash of TQ4A03 (0x00000110 to 0x000001FF) but within "
                        "the last 512-byte block of an area; that block is sent whole"),
              std::string::npos)
        << err_;
    EXPECT_NE(err_.find("768 bytes of this file lie outside the flash of TQ4A03 (first at 0x00000200); they are not "
                        "programmed (up to 0x000004FF; none of them is sent)"),
              std::string::npos)
        << err_;
    StopSim();
    const Bytes flash = Flash();
    ASSERT_EQ(flash.size(), 0x110u);
    const auto expected = Pattern(0x100, 0x10);
    for (std::uint32_t a = 0; a < 0x110; ++a) EXPECT_EQ(flash[a], a < 0x100 ? 0xFF : expected.at(a)) << a;
}

// A log that cannot be changed (immutable, as root can make it) keeps its
// old "OK" only if nothing runs: the run stops before it sends anything.
TEST_F(CliPty, AnImmutableLogStopsTheRunBeforeAnythingIsSent) {
    const fs::path log = home_ / "MESSFILE.TXT";
    std::ofstream(log, std::ios::binary) << "OK\r\n";
    if (std::system(("chattr +i " + log.string() + " 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "this file system or user cannot make a file immutable";
    StartSim("TQ4A01", 0, {"--no-line-time"});
    const int status = Cli({"-q", "-p", "COM1", "--target", "TQ4A01", "program", Program().string()});
    EXPECT_EQ(std::system(("chattr -i " + log.string()).c_str()), 0);
    EXPECT_EQ(status, 2) << err_;
    EXPECT_NE(err_.find("cannot write the result log"), std::string::npos) << err_;
    EXPECT_EQ(Log(), "OK\r\n");
    StopSim();
    EXPECT_TRUE(Flash().empty() || Flash()[0] == 0xFF);
}

TEST_F(CliPty, FaultsAndRefusalsEndWithTheirCause) {
    const std::string file = Program().string(), out = (home_ / "out.mot").string();
    const std::string cli = std::string(MIRELLE_BIN_DIR) + "/mirelle-cli";
    int held = -1;  // a descriptor a row holds during its run
    auto lock_folder = [&] {
        held = open(home_.c_str(), O_RDONLY | O_DIRECTORY);
        flock(held, LOCK_EX);
    };
    auto hold_port = [&] {
        held = open(link_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ioctl(held, TIOCEXCL);
    };
    auto old_ok = [&] { std::ofstream(home_ / "MESSFILE.TXT", std::ios::binary) << "OK"; };
    auto lost_target = [&] {
        std::ofstream(home_ / "DATAFILE.TXT", std::ios::binary) << "[Recent]\r\nCPU=0\r\nCPUNAME=TQ4A09\r\nRATE=0\r\n";
    };
    struct Row {
        const char* what;
        std::vector<std::string> sim;  // the chip's faults
        std::function<void()> before;
        std::vector<std::string> args;
        int status;
        std::string words;
        bool programmed;
        std::string log;  // MESSFILE.TXT after the run ("" not checked)
        std::function<bool()> after = {};
    } rows[] = {
        {"read CRC errors", {"--read-crc-error", "2"}, {}, {"-q", "read", out}, 1, "", false, ""},
        {"verify CRC errors", {"--read-crc-error", "2"}, {}, {"-q", "verify", file}, 1, "", false, ""},
        {"CR read time-out", {"--silent-from", "cr-read"}, {}, {"-q", "erase"}, 5, "", false, ""},
        {"boot ROM silent", {"--silent"}, {}, {"-q", "download"}, 5,
         "the boot ROM did not answer on " + link_.string() + " at 9600 baud: check that the board is in boot mode", false, ""},
        {"port held exclusively", {}, hold_port, {"-q", "program", file}, 4, "in use by another program", false, ""},
        {"folder of another run", {}, [&] { old_ok(), lock_folder(); }, {"-q", "program", file}, 2,
         "is in use by another run", false, "OK"},
        {"log of another run", {}, [&] {
             std::ofstream(home_ / "shared.log") << "OK";
             held = open((home_ / "shared.log").c_str(), O_RDONLY);
             flock(held, LOCK_EX);
         },
         {"-q", "--log", (home_ / "shared.log").string(), "program", file}, 2, "is in use by another run", false, "",
         [&] { return Slurp(home_ / "shared.log") == "OK"; }},
        {"log in a missing folder", {}, old_ok, {"-q", "--log", (home_ / "none" / "x.log").string(), "program", file}, 2,
         "cannot write the result log", false, "OK"},
        {"saved target gone", {}, lost_target, {"-q", "program", file}, 2,
         "the target TQ4A09 of DATAFILE.TXT is not in CHIPDEF.INI", false, ""},
        {"reader gone", {}, {}, {"program", file}, 0, "", true, "OK"},
        {"read through a link", {}, [&] { fs::create_symlink(home_ / "real.mot", home_ / "link.mot"); },
         {"-q", "read", (home_ / "link.mot").string()}, 0, "", false, "",
         [&] { return fs::is_symlink(home_ / "link.mot") && fs::file_size(home_ / "real.mot") > 0x80000; }},
        {"COM0", {}, {}, {"-q", "-p", "COM0", "download"}, 2, "a COM number is 1 to 255, not COM0", false, ""},
    };
    for (const Row& r : rows) {
        std::vector<std::string> sim{"--no-line-time"};
        sim.insert(sim.end(), r.sim.begin(), r.sim.end());
        StartSim("TQ4A01", 0, sim);
        if (r.before) r.before();
        int status;
        if (std::string(r.what) == "reader gone") {
            // Everything the run writes goes into a pipe whose reader leaves
            // after one byte.
            std::vector<std::string> argv{"/bin/bash", "-c", "\"$@\" 2>&1 | head -c 1 >/dev/null; exit ${PIPESTATUS[0]}",
                                          "bash", cli, "--home", home_.string()};
            argv.insert(argv.end(), r.args.begin(), r.args.end());
            status = Wait(Spawn(argv, {}, home_ / "cli.out", home_ / "cli.err"), 60);
            out_ = err_ = "";
        } else {
            status = Cli(r.args);
        }
        if (held >= 0) close(held), held = -1;
        EXPECT_EQ(status, r.status) << r.what << "\n" << out_ << err_;
        EXPECT_NE((out_ + err_).find(r.words), std::string::npos) << r.what << "\n" << out_ << err_;
        if (!r.log.empty()) {
            EXPECT_EQ(Log(), r.log) << r.what;
        }
        if (r.after) {
            EXPECT_TRUE(r.after()) << r.what;
        }
        StopSim();
        const Bytes flash = Flash();
        EXPECT_EQ(!flash.empty() && flash[0] == Pattern(0x80000, 1).at(0x80000), r.programmed) << r.what;
        fs::remove(home_ / "flash.bin");
    }
}

}  // namespace
}  // namespace mirelle::testing

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace mirelle::testing {
namespace {

TEST_F(CliPty, PortsThatAreNoSerialPortOrAreHeldAndRefusedRecordsSaySo) {
    StartSim("TQ4A01", 0, {"--no-line-time"});
    // Another program holds the simulator's port.
    const int held = ::open(link_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    const std::string plain = (home_ / "plain.txt").string();
    std::ofstream(plain) << "x";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string words;
        std::string not_words;
    } rows[] = {
        {{"-p", "COM1", "download"}, 4, " is in use by another program", "map"},
        {{"-p", "/dev/null", "download"}, 4, "/dev/null: is not a serial port (not a terminal device)", "map"},
        {{"-p", plain, "download"}, 4, plain + ": is not a serial port (not a character device)", "map"},
    };
    for (const auto& r : rows) {
        std::vector<std::string> args{"--target", "TQ4A01", "-q"};
        args.insert(args.end(), r.args.begin(), r.args.end());
        EXPECT_EQ(Cli(args), r.status) << r.args[1] << "\n" << out_ << err_;
        EXPECT_NE((out_ + err_).find(r.words), std::string::npos) << r.args[1] << "\n" << out_ << err_;
        EXPECT_EQ((out_ + err_).find(r.not_words), std::string::npos) << r.args[1] << "\n" << out_ << err_;
    }
    ::close(held);
    // Data the image cannot hold: the decoder's address error, and why.
    const std::string file = WriteProgram({{0x80000, 1}, {0xFFFFFF00, 2}}).string();
    EXPECT_EQ(Cli({"--target", "TQ4A01", "-q", "program", file}), 3) << out_ << err_;
    EXPECT_NE(err_.find("warning: the record at 0xFFFFFF00 (line "), std::string::npos) << out_ << err_;
    EXPECT_NE(err_.find(") is refused: it lies outside what the program image holds for TQ4A01"), std::string::npos) << err_;
}

}  // namespace
}  // namespace mirelle::testing
