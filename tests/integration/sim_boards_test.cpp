// mirelle-sim serving one socket for many boards: boards put in and taken
// out through its control pipe, each a fresh chip, programmed by mirelle-cli
// in between; with --hotplug the device itself comes and goes.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>

#include <gtest/gtest.h>

#include "chipsim/sim_options.h"
#include "support/unattended_run.h"

namespace mirelle::testing {
namespace {

class SimBoards : public FullOperationPty {
protected:
    void TearDown() override {
        if (boards_sim_ > 0) kill(boards_sim_, SIGTERM), Wait(boards_sim_, 5);
        FullOperationPty::TearDown();
    }
    // Starts mirelle-sim as TQ4A01 with `extra`, a control pipe and a boards
    // folder; true once its first line is out.
    bool Start(const std::vector<std::string>& extra) {
        std::vector<std::string> argv{std::string(MIRELLE_BIN_DIR) + "/mirelle-sim", "--chipdef",
                                      (home_ / "CHIPDEF.INI").string(), "--target", "TQ4A01", "--no-line-time",
                                      "--erase-ms", "100", "--link", link_.string(), "--control", Pipe(), "--boards-dir",
                                      (home_ / "boards").string()};
        argv.insert(argv.end(), extra.begin(), extra.end());
        boards_sim_ = Spawn(argv, {}, home_ / "sim.out", home_ / "sim.err");
        return Await("\n");
    }
    std::string Pipe() const { return (home_ / "ctl").string(); }
    // Writes a line to the control pipe and waits for `seen` in `out`.
    bool Control(const std::string& line, const std::string& seen, const std::string& out = "sim.out") {
        const int fd = open(Pipe().c_str(), O_WRONLY | O_NONBLOCK);
        if (fd < 0) return false;
        const std::string text = line + "\n";
        const bool sent = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        close(fd);
        return sent && Await(seen, out);
    }
    // Polls the simulator's stdout (or `out`) for `text`, for at most 5 s.
    bool Await(const std::string& text, const std::string& out = "sim.out") {
        for (int i = 0; i < 500; ++i) {
            if (Slurp(home_ / out).find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    int Program(const fs::path& file) {
        return Wait(Spawn({std::string(MIRELLE_BIN_DIR) + "/mirelle-cli", "--home", home_.string(), "--target",
                           "TQ4A01", "-p", "COM1", "-q", "program", file.string()},
                          {}, home_ / "cli.out", home_ / "cli.err"),
                    60);
    }
    Bytes Board(int n) const {
        char name[32];
        std::snprintf(name, sizeof name, "board-%04d.bin", n);
        const std::string s = Slurp(home_ / "boards" / name);
        return Bytes(s.begin(), s.end());
    }
    pid_t boards_sim_ = -1;
};

TEST_F(SimBoards, EachBoardIsAFreshChipWithItsOwnFaultsAndItsOwnFlashFiles) {
    ASSERT_TRUE(Start({"--empty"})) << Slurp(home_ / "sim.err");
    const fs::path file = WriteProgram(Pattern(0x80000, 0x1000));
    // No board: the port opens and nothing answers.
    EXPECT_NE(Program(file), 0);

    ASSERT_TRUE(Control("insert", "board 1 inserted"));
    EXPECT_EQ(Program(file), 0) << Slurp(home_ / "cli.err");
    ASSERT_TRUE(Control("remove", "board 1 removed"));
    ASSERT_TRUE(Control("insert --verify-fail 1", "board 2 inserted"));
    EXPECT_EQ(Program(file), 1) << Slurp(home_ / "cli.err");
    EXPECT_NE(Slurp(home_ / "cli.err").find("ErrorAddress : 0x00080000"), std::string::npos) << Slurp(home_ / "cli.err");
    ASSERT_TRUE(Control("remove", "board 2 removed"));
    // A board left alone is as erased as it came, whatever the last held.
    ASSERT_TRUE(Control("insert", "board 3 inserted"));
    ASSERT_TRUE(Control("insert", "board 3 is in; remove it first", "sim.err"));  // one socket, one board
    kill(boards_sim_, SIGTERM);
    EXPECT_EQ(Wait(boards_sim_, 5), 0);
    boards_sim_ = -1;

    Bytes programmed(0x80000, 0xFF);
    for (const auto& [address, v] : Pattern(0x80000, 0x1000)) programmed[address - 0x80000] = v;
    EXPECT_TRUE(Board(1) == programmed);
    const Bytes failed = Board(2);
    ASSERT_EQ(failed.size(), programmed.size());
    EXPECT_TRUE(failed != programmed);
    EXPECT_EQ(failed[0x1000 - 1], 0xFF);  // programming stopped at the first block
    // Board 3, still in, is written at the exit.
    EXPECT_TRUE(Board(3) == Bytes(0x80000, 0xFF));
    EXPECT_EQ(Slurp(home_ / "boards" / "board-0003.txt"), "flash: 0 bytes programmed, sum 0000\n");
    EXPECT_EQ(Slurp(home_ / "sim.out").find("board 3 removed"), std::string::npos);
    EXPECT_FALSE(fs::exists(Pipe()));
}

TEST_F(SimBoards, HotplugTakesTheDeviceAwayAndBringsANewOne) {
    ASSERT_TRUE(Start({"--hotplug"})) << Slurp(home_ / "sim.err");
    ASSERT_TRUE(Await("board 1 inserted"));
    const int port = open(link_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(port, 0);
    ASSERT_TRUE(Control("remove", "board 1 removed"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(link_)));
    // The open port sees the adapter gone at once: a hang-up, and errors.
    pollfd p{port, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 2000), 1);
    EXPECT_TRUE(p.revents & (POLLHUP | POLLERR)) << p.revents;
    const std::uint8_t sync = 0x18;
    EXPECT_EQ(write(port, &sync, 1), -1);
    close(port);

    ASSERT_TRUE(Control("insert", "board 2 inserted"));
    ASSERT_TRUE(fs::is_symlink(link_));
    const int again = open(link_.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(again, 0);
    termios t{};
    tcgetattr(again, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, B9600);
    tcsetattr(again, TCSANOW, &t);
    ASSERT_EQ(write(again, &sync, 1), 1);
    std::uint8_t answer = 0;
    pollfd q{again, POLLIN, 0};
    EXPECT_EQ(poll(&q, 1, 2000), 1);
    EXPECT_EQ(read(again, &answer, 1), 1);
    EXPECT_EQ(answer, 0x11);  // the new board's boot ROM
    close(again);
}

TEST(SimControlLines, InsertTakesTheCommandLinesFaultOptionsAndNothingElse) {
    using chipsim::ControlCommand;
    const struct {
        std::string line;
        bool ok;
        ControlCommand::Kind kind;
        bool own_faults;
    } rows[] = {
        {"remove", true, ControlCommand::Kind::Remove, false},
        {"  insert\r", true, ControlCommand::Kind::Insert, false},
        {"insert --verify-fail 1 --silent-after 3", true, ControlCommand::Kind::Insert, true},
        {"insert --verify-fail", false, {}, false},
        {"insert --verify-fail 0", false, {}, false},
        {"insert --area 0-FF", false, {}, false},
        {"remove now", false, {}, false},
        {"eject", false, {}, false},
    };
    for (const auto& r : rows) {
        ControlCommand c;
        std::string error;
        ASSERT_EQ(chipsim::ParseControlLine(r.line, c, error), r.ok) << r.line << ": " << error;
        if (!r.ok) {
            EXPECT_FALSE(error.empty()) << r.line;
            continue;
        }
        EXPECT_EQ(c.kind, r.kind) << r.line;
        EXPECT_EQ(c.faults.has_value(), r.own_faults) << r.line;
    }
    ControlCommand c;
    std::string error;
    ASSERT_TRUE(chipsim::ParseControlLine("insert --verify-fail 2 --silent-after 3", c, error));
    EXPECT_TRUE(c.faults->verify_fail_block.has_value());
    ASSERT_TRUE(c.faults->silent_from.has_value());
    EXPECT_EQ(c.faults->silent_from->nth, 4);

    // --hotplug needs a link to move, and a pseudo-terminal.
    chipsim::SimOptions options;
    EXPECT_FALSE(chipsim::ParseSimOptions({"--area", "0-FF", "--hotplug"}, options, error));
    EXPECT_NE(error.find("--link"), std::string::npos) << error;
    EXPECT_FALSE(chipsim::ParseSimOptions({"--area", "0-FF", "--hotplug", "--link", "x", "--rfc2217", "2000"}, options, error));
    EXPECT_TRUE(chipsim::ParseSimOptions({"--area", "0-FF", "--hotplug", "--link", "x", "--silent"}, options, error));
    EXPECT_TRUE(options.chip.faults.silent_from.has_value());
}

}  // namespace
}  // namespace mirelle::testing
