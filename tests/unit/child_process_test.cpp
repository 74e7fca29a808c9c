// Child processes: the command line quoting of Windows, and this test program
// started again as a child that speaks, exits or waits to be stopped.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/child_process.h"
#include "platform/interrupt.h"
#include "platform/system.h"

namespace mirelle::sys {
namespace {

TEST(WindowsCommandLine, QuotesAsCommandLineToArgvWSplits) {
    const struct {
        std::vector<std::string> words;
        std::string line;
    } cases[] = {
        {{"a.exe", "program", "x.mot"}, "a.exe program x.mot"},
        {{"C:\\Program Files\\m.exe", ""}, "\"C:\\Program Files\\m.exe\" \"\""},
        {{"C:\\dir with space\\"}, "\"C:\\dir with space\\\\\""},  // the closing quote keeps its meaning
        {{"say \"hi\""}, "\"say \\\"hi\\\"\""},
        {{"a\\\\\"b c"}, "\"a\\\\\\\\\\\"b c\""},  // backslashes before a quote are doubled
        {{"\\\\.\\COM3", "a\\b"}, "\\\\.\\COM3 a\\b"},  // backslashes elsewhere stay as they are
    };
    for (const auto& c : cases) EXPECT_EQ(WindowsCommandLine(c.words), c.line);
}

// What the child does, chosen by the test that starts it.
TEST(ChildProcessHelper, DISABLED_Speaks) {
    std::printf("first line\nsecond line\n");
    std::fflush(stdout);
    std::exit(3);
}

TEST(ChildProcessHelper, DISABLED_WaitsForStop) {
    // As a gang's child does: the interrupt is recorded, and the run ends in order.
    InterruptGuard guard;
    std::printf("ready\n");
    std::fflush(stdout);
    for (int i = 0; i < 6000 && InterruptSignal() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::printf("stopped by %s\n", SignalName(InterruptSignal()).c_str());
    std::fflush(stdout);
    std::exit(6);
}

std::vector<std::string> HelperArgs(const std::string& name) {
    return {"--gtest_also_run_disabled_tests", "--gtest_filter=ChildProcessHelper.DISABLED_" + name};
}

// Reads the child's output until `until` is in it ("": until the output ends).
std::string ReadUntil(ChildProcess& child, const std::string& until) {
    std::string text;
    ChildProcess* children[] = {&child};
    while (until.empty() || text.find(until) == std::string::npos) {
        const bool open = ReadChildren(children, 1000);
        text += child.TakeOutput();
        if (!open) break;
    }
    return text;
}

TEST(ChildProcess, ReadsTheOutputAndTheExitStatus) {
    ChildProcess child;
    ASSERT_TRUE(child.Start(ExecutablePath(), HelperArgs("Speaks")));
    const std::string text = ReadUntil(child, "");
    EXPECT_NE(text.find("first line"), std::string::npos) << text;
    EXPECT_NE(text.find("second line"), std::string::npos) << text;
    EXPECT_FALSE(child.OutputOpen());
    const ChildExit e = child.Wait();
    EXPECT_TRUE(e.started);
    EXPECT_FALSE(e.signalled);
    EXPECT_EQ(e.code, 3);
}

TEST(ChildProcess, StopIsAnInterruptTheChildNotices) {
    ChildProcess child;
    ASSERT_TRUE(child.Start(ExecutablePath(), HelperArgs("WaitsForStop")));
    ASSERT_NE(ReadUntil(child, "ready").find("ready"), std::string::npos);
    child.Stop();
    // SIGTERM on Linux; a Ctrl+Break, which the console handler takes as SIGINT, on Windows.
    const std::string text = ReadUntil(child, "");
    EXPECT_TRUE(text.find("stopped by SIGTERM") != std::string::npos ||
                text.find("stopped by SIGINT") != std::string::npos)
        << text;
    const ChildExit e = child.Wait();
    EXPECT_TRUE(e.started);
    EXPECT_FALSE(e.signalled);
    EXPECT_EQ(e.code, 6);
}

TEST(ChildProcess, AProgramThatIsNotThereNeverRuns) {
    ChildProcess child;
    const bool started = child.Start(ExecutablePath() + ".missing", {});
    const ChildExit e = child.Wait();
    // Linux finds out in the child (exit status 127), Windows at the start.
    EXPECT_TRUE(!started ? !e.started : e.code == 127);
}

}  // namespace
}  // namespace mirelle::sys
