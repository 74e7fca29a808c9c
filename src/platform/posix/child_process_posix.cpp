// Linux: fork and exec, the child's standard output on a pipe read with poll.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/child_process.h"

namespace mirelle::sys {

struct ChildProcess::State {
    pid_t pid = -1;
    int fd = -1;  // the read end of the child's standard output
    std::string output;
    std::optional<ChildExit> exit;
};

ChildProcess::ChildProcess() : state_(std::make_unique<State>()) {}

ChildProcess::~ChildProcess() {
    if (state_->pid > 0 && !state_->exit) {
        Stop();
        Wait();
    }
    if (state_->fd >= 0) ::close(state_->fd);
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& env) {
    int pipes[2];
    if (::pipe2(pipes, O_CLOEXEC) != 0) return false;
    // Everything the child needs is made before the fork: after it only
    // async-signal-safe calls are allowed.
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    // This process's environment with the added words (a word of the same
    // name replaces its entry).
    std::vector<std::string> added = env;
    auto replaced = [&added](std::string_view entry) {
        for (const std::string& a : added) {
            const std::size_t eq = a.find('=');
            if (eq != std::string::npos && entry.substr(0, eq + 1) == std::string_view(a).substr(0, eq + 1)) return true;
        }
        return false;
    };
    std::vector<char*> envp;
    for (char** e = environ; e && *e; ++e)
        if (!replaced(*e)) envp.push_back(*e);
    for (std::string& a : added) envp.push_back(a.data());
    envp.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipes[1], STDOUT_FILENO);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(pipes[1]);
    if (pid < 0) {
        ::close(pipes[0]);
        return false;
    }
    state_->pid = pid;
    state_->fd = pipes[0];
    return true;
}

bool ChildProcess::OutputOpen() const { return state_->fd >= 0; }

std::string ChildProcess::TakeOutput() { return std::exchange(state_->output, {}); }

void ChildProcess::Stop(int signal) {
    if (state_->pid > 0 && !state_->exit) ::kill(state_->pid, signal > 0 ? signal : SIGTERM);
}

ChildExit ChildProcess::Wait() {
    if (state_->exit) return *state_->exit;
    ChildExit e;
    if (state_->pid > 0) {
        int status = 0;
        pid_t r;
        do r = ::waitpid(state_->pid, &status, 0);
        while (r < 0 && errno == EINTR);
        e.started = true;
        e.signalled = r == state_->pid && WIFSIGNALED(status);
        e.code = r == state_->pid && WIFEXITED(status) ? WEXITSTATUS(status) : 0;
        e.signal = e.signalled ? WTERMSIG(status) : 0;
    }
    state_->exit = e;
    return e;
}

bool ReadChildren(std::span<ChildProcess* const> children, int timeout_ms) {
    std::vector<pollfd> fds;
    std::vector<ChildProcess::State*> owners;
    for (ChildProcess* c : children) {
        ChildProcess::State& s = *c->state_;
        if (s.fd < 0) continue;
        fds.push_back({s.fd, POLLIN, 0});
        owners.push_back(&s);
    }
    if (fds.empty()) return false;
    if (::poll(fds.data(), fds.size(), timeout_ms) <= 0) return true;
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents == 0) continue;
        ChildProcess::State& s = *owners[i];
        char buf[4096];
        const ssize_t n = ::read(s.fd, buf, sizeof buf);
        if (n > 0) {
            s.output.append(buf, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            ::close(s.fd);
            s.fd = -1;
        }
    }
    return true;
}

std::string NullDevice() { return "/dev/null"; }

std::vector<std::string> ShellWords(const std::string& command) { return {"/bin/sh", "-c", command}; }

}  // namespace mirelle::sys
