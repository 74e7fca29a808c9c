// Child processes of this program whose standard output the parent reads:
// a gang run starts one per board and shows what each one reports. The
// child's standard input and error are the null device. On Linux a fork and
// exec with a pipe, read with poll; on Windows CreateProcess with an
// anonymous pipe, read by one thread per child, the child in a process group
// of its own and with a stop event, so that it can be asked to stop.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

namespace mirelle::sys {

// How a child ended.
struct ChildExit {
    bool started = false;   // false: it never ran (the start failed)
    bool signalled = false; // stopped by a signal (Linux) or a console break or termination (Windows)
    int code = 0;           // its exit status when it ended by itself
    int signal = 0;         // the signal that ended it (Linux); 0 when none or unknown
};

class ChildProcess {
public:
    ChildProcess();
    // A child still running is stopped and waited for.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` (a full path) with `args` (the words after the
    // program's name). False when it could not be started. An executable
    // that cannot be run in the child exits with 127 (Linux). `env` adds
    // NAME=VALUE words to the child's environment (this process's own stays
    // as it is on Linux; on Windows it holds them while the child starts).
    bool Start(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& env = {});

    // True while the child's standard output may still bring bytes.
    bool OutputOpen() const;
    // The bytes read since the last call (see ReadChildren).
    std::string TakeOutput();

    // Asks the child to stop as the user's interrupt would: on Linux the
    // signal `signal` (the one the caller itself was stopped by, so that the
    // child's log names it; 0 means SIGTERM); on Windows the stop event its
    // InterruptGuard watches, and a Ctrl+Break to its process group where a
    // console carries one.
    void Stop(int signal = 0);

    // Waits for the child's end and tells how it ended (again on later calls).
    // On Windows a stopped child that has not ended after 30 s is terminated.
    ChildExit Wait();

private:
    friend bool ReadChildren(std::span<ChildProcess* const> children, int timeout_ms);
    struct State;
    std::unique_ptr<State> state_;
};

// Waits up to `timeout_ms` until one of `children` has written bytes or
// closed its output, without blocking on the others, and gathers what has
// come for TakeOutput. False when none of them has its output open any more;
// their last bytes may still be there to take.
bool ReadChildren(std::span<ChildProcess* const> children, int timeout_ms);

// The command line that CreateProcess gives a program whose words are
// `words`, quoted so that CommandLineToArgvW (and the C runtime) split it
// back into the same words: a word with a space, a tab, a quote or nothing
// in it is quoted; a quote inside becomes \" and the backslashes before a
// quote or the closing quote are doubled.
std::string WindowsCommandLine(const std::vector<std::string>& words);

// The words that run `command` through the system's shell: /bin/sh -c on
// Linux, %ComSpec% /c on Windows.
std::vector<std::string> ShellWords(const std::string& command);

// The null device: "/dev/null", or "NUL" on Windows.
std::string NullDevice();

}  // namespace mirelle::sys
