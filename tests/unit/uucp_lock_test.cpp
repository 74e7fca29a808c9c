// The UUCP lock file of a serial device: its name, the owner's process id in
// its text, and taking it beside other programs' locks.
#include "serial/uucp_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace mirelle::serial {
namespace {

TEST(UucpLockName, NamesTheDeviceBelowDev) {
    EXPECT_EQ(UucpLockName("/dev/ttyUSB0-not-there"), "LCK..ttyUSB0-not-there");
    EXPECT_EQ(UucpLockName("/dev/pts/no-such-pty"), "LCK..pts_no-such-pty");
    EXPECT_EQ(UucpLockName("/somewhere/else/port"), "LCK..port");
    EXPECT_EQ(UucpLockName("/dev/null"), "LCK..null");
}

TEST(UucpLockPid, ReadsTheTextAndBinaryForms) {
    const std::int32_t binary = 4242;
    const struct {
        std::string text;
        pid_t pid;
    } cases[] = {
        {"      1234\n", 1234}, {"1234", 1234}, {"  77 \r\n", 77},
        {std::string(reinterpret_cast<const char*>(&binary), 4), 4242},
        {"", 0}, {"   \n", 0}, {"12ab\n", 0}, {"-5\n", 0}, {"99999999999\n", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseLockPid(c.text), c.pid) << c.text;
}

class UucpLockDir : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::path(testing::TempDir()) /
               ("mirelle-uucp-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        lock_ = (dir_ / "LCK..ttyTEST9").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::vector<std::string> Dirs() const { return {(dir_ / "missing").string(), dir_.string()}; }
    std::string LockText() const {
        std::ifstream in(lock_, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static pid_t DeadPid() {
        const pid_t child = ::fork();
        if (child == 0) ::_exit(0);
        int status = 0;
        ::waitpid(child, &status, 0);
        return child;
    }

    std::filesystem::path dir_;
    std::string lock_;
};

TEST_F(UucpLockDir, TakesFreeAndStaleLocksAndRefusesLiveOnes) {
    char mine[32];
    std::snprintf(mine, sizeof mine, "%10d\n", static_cast<int>(::getpid()));
    const struct {
        const char* what;
        std::string before;  // "" for no lock file
        bool taken;
    } cases[] = {
        {"no lock", "", true},
        {"a dead process's lock", std::to_string(DeadPid()) + "\n", true},
        {"a lock naming nobody", "garbage\n", true},
        {"a live process's lock", "         1\n", false},
        {"our own lock", mine, false},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(lock_);
        if (!c.before.empty()) std::ofstream(lock_, std::ios::binary) << c.before;
        {
            UucpLock lock;
            EXPECT_EQ(lock.Acquire("/dev/ttyTEST9", Dirs()), c.taken) << c.what;
            EXPECT_EQ(LockText(), c.taken ? std::string(mine) : c.before) << c.what;
        }
        // Released with its owner; another's lock is left alone.
        EXPECT_EQ(std::filesystem::exists(lock_), !c.taken) << c.what;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), c.taken ? 0 : 1) << c.what;
    }
}

TEST_F(UucpLockDir, WithoutALockFolderThereIsNothingToHonour) {
    UucpLock lock;
    EXPECT_TRUE(lock.Acquire("/dev/ttyTEST9", {(dir_ / "missing").string()}));
    EXPECT_EQ(lock.path(), "");
}

}  // namespace
}  // namespace mirelle::serial
