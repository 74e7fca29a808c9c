// mirelle-sim: the simulated target chip on a pseudo-terminal, in real time.
//
// The first line of standard output is the slave device that the host opens.
// The chip checks the rate the host has set on the line (the master side of a
// pseudo-terminal shows the slave's settings) and ignores bytes sent at a rate
// it does not listen at; its own bytes reach the host only when the host
// listens at the rate they are sent at. When the host closes the device the
// board is reset into its boot ROM (as a dropped DTR does), unless
// --keep-on-close; SIGUSR1 resets it too. SIGINT and SIGTERM end the program
// (flash file and trace flushed, exit status 0).
//
// Boards come and go through the control pipe (--control): each `insert` is
// a new Chip, so nothing of the last board (flash, mode, fault counters)
// carries over, and `remove` drops the chip with whatever it was doing. The
// device stays and is silent without a board, or with --hotplug goes with
// the board and comes anew with the next, as a board's own USB adapter does.
//
// The line runs at its rate both ways: a byte the host writes reaches the
// chip 10 bit times (at the host's rate) after it went on the line, and it
// goes on the line when it was written or when the byte before it has left,
// whichever is later; the chip's answers likewise. The chip takes the host's
// bytes as they are read, each stamped with the time it reaches the chip (as
// a UART's transmit buffer, they are on their way once written, even when
// the host closes the line), so the simulator wakes only for the chip's bytes. --no-line-time makes both
// directions instant. --latency-ms holds the chip's bytes as a USB adapter's
// latency timer does.
//
// The trace has one line per byte: when it went on the line, when it was off
// the line at the far end, and when the far end had it (for the chip's bytes:
// when they were handed to the host, after any adapter latency), then the
// direction, the byte, the rate and a note. Lines come in the order the
// simulator handled the bytes (the host's when read, the chip's when handed
// over), which is not strictly the order of their times. Times are seconds
// since the simulator started; its first line gives that start on
// CLOCK_MONOTONIC, so a program on the same machine can place its own times
// among the bytes.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chipsim/chip.h"
#include "chipsim/line_model.h"
#include "chipsim/line_rate.h"
#include "chipsim/rfc2217_server.h"
#include "chipsim/sim_options.h"

namespace {

using mirelle::chipsim::Chip;

volatile sig_atomic_t g_stop = 0;
volatile sig_atomic_t g_reset = 0;

void OnStop(int) { g_stop = 1; }
void OnReset(int) { g_reset = 1; }

class Trace {
public:
    bool Open(const std::string& path) {
        if (path.empty()) return true;
        file_ = std::fopen(path.c_str(), "w");
        return file_ != nullptr;
    }
    ~Trace() {
        if (file_) std::fclose(file_);
    }
    void Byte(std::uint64_t start_us, std::uint64_t end_us, std::uint64_t far_us, const char* dir, std::uint8_t b,
              std::uint32_t baud, const std::string& note) {
        if (!file_) return;
        std::fprintf(file_, "%12.6f %12.6f %12.6f %s %02X %u%s%s\n", Seconds(start_us), Seconds(end_us),
                     Seconds(far_us), dir, b, baud, note.empty() ? "" : " ", note.c_str());
    }
    void Note(std::uint64_t us, const std::string& text) {
        if (!file_) return;
        std::fprintf(file_, "%12.6f -- %s\n", static_cast<double>(us) / 1e6, text.c_str());
    }
    void Flush() {
        if (file_) std::fflush(file_);
    }

private:
    static double Seconds(std::uint64_t us) { return static_cast<double>(us) / 1e6; }
    std::FILE* file_ = nullptr;
};

// A byte from the chip, off the line and held for the host.
struct ToHost {
    std::uint8_t byte = 0;
    std::uint32_t baud = 0;
    std::uint64_t start_us = 0, end_us = 0;
};

bool ReadFile(const std::string& path, std::vector<std::uint8_t>& out) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return !f.bad();
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        if (!f) return false;
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!f) return false;
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

// A socket listening on 127.0.0.1:`port` only; -1 when it cannot be had.
int ListenOnLoopback(std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    struct sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<const struct sockaddr*>(&a), sizeof a) != 0 || listen(fd, 1) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends all of `bytes` to a connected client (a blocking wait when its
// window is full); false when the client is gone.
bool SendAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t w = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (w > 0) {
            sent += static_cast<std::size_t>(w);
        } else if (w < 0 && (errno == EAGAIN || errno == EINTR)) {
            struct pollfd p {fd, POLLOUT, 0};
            poll(&p, 1, 100);
        } else {
            return false;
        }
    }
    return true;
}

std::string Summary(const mirelle::chipsim::Flash& flash) {
    char text[128];
    std::snprintf(text, sizeof text, "flash: %zu bytes programmed, sum %04X\n", flash.ProgrammedCount(),
                  flash.Sum16());
    return text;
}

std::string Hex(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", v);
    return text;
}


// A new pseudo-terminal, raw at 9600 baud from the start (nothing is echoed
// or translated before the host sets the line up itself), with its slave
// closed again: a hang-up on the master then tells that the host has closed
// its device. The master, non-blocking, with the slave's name in `name`; -1
// (errno set) when none can be had.
int OpenPseudoTerminal(std::string& name) {
    int master = -1, slave = -1;
    char path[256] = {};
    if (openpty(&master, &slave, path, nullptr, nullptr) != 0) return -1;
    struct termios raw {};
    if (tcgetattr(slave, &raw) == 0) {
        cfmakeraw(&raw);
        raw.c_cflag |= CLOCAL | CREAD;
        cfsetispeed(&raw, B9600);
        cfsetospeed(&raw, B9600);
        tcsetattr(slave, TCSANOW, &raw);
    }
    close(slave);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    name = path;
    return master;
}

// Points the symbolic link `link` at `target` in one step (made beside it,
// then renamed over it), so a host never finds it half made.
bool PointLink(const std::string& link, const std::string& target) {
    const std::string fresh = link + ".new";
    unlink(fresh.c_str());
    if (symlink(target.c_str(), fresh.c_str()) != 0) return false;
    if (std::rename(fresh.c_str(), link.c_str()) != 0) {
        unlink(fresh.c_str());
        return false;
    }
    return true;
}

// The control channel: a named pipe, read without blocking, line by line.
// The program holds a writing end itself, so the pipe shows no end of file
// between two writers and poll stays quiet until a line comes. The pipe is
// removed when this goes.
class ControlPipe {
public:
    ControlPipe() = default;
    ControlPipe(const ControlPipe&) = delete;
    ControlPipe& operator=(const ControlPipe&) = delete;
    ~ControlPipe() {
        if (read_fd_ >= 0) close(read_fd_);
        if (write_fd_ >= 0) close(write_fd_);
        if (!path_.empty()) unlink(path_.c_str());
    }

    bool Open(const std::string& path, std::string& error) {
        struct stat st {};
        if (lstat(path.c_str(), &st) == 0) {
            if (!S_ISFIFO(st.st_mode)) {
                error = path + " exists and is no named pipe";
                return false;
            }
        } else if (mkfifo(path.c_str(), 0600) != 0) {
            error = "cannot make the named pipe " + path + ": " + std::strerror(errno);
            return false;
        }
        path_ = path;
        read_fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (read_fd_ >= 0) write_fd_ = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (read_fd_ < 0 || write_fd_ < 0) {
            error = "cannot open the named pipe " + path + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }
    int Fd() const { return read_fd_; }

    // The whole lines that have come, without their ends. A line longer
    // than kMaxLine is cut there (and then taken for no command).
    std::vector<std::string> ReadLines() {
        std::vector<std::string> lines;
        char buf[1024];
        for (;;) {
            const ssize_t n = read(read_fd_, buf, sizeof buf);
            if (n <= 0) break;
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] == '\n') {
                    lines.push_back(partial_);
                    partial_.clear();
                } else if (partial_.size() < kMaxLine) {
                    partial_ += buf[i];
                }
            }
        }
        return lines;
    }

private:
    static constexpr std::size_t kMaxLine = 1024;
    std::string path_;
    int read_fd_ = -1, write_fd_ = -1;
    std::string partial_;
};

}  // namespace


int main(int argc, char** argv) {
    using namespace mirelle::chipsim;
    SimOptions options;
    std::string error;
    if (!ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "mirelle-sim: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(SimUsage().c_str(), stdout);
        return 0;
    }

    for (Preload& p : options.preload) {
        if (!p.file.empty() && !ReadFile(p.file, p.bytes)) {
            std::fprintf(stderr, "mirelle-sim: cannot read %s\n", p.file.c_str());
            return 2;
        }
    }
    // The board in the socket (none between a remove and the next insert),
    // and the number of the last board that went in.
    std::unique_ptr<Chip> chip;
    int board_number = 0;
    std::uint64_t saved_generation = 0;
    // The summary of the last board, for the exit when none is in.
    std::string last_summary;
    // A fresh chip with `faults`: erased flash, or the flash file's bytes for
    // the board in at the start, then the preloads. Nothing changes when it
    // cannot be had.
    const auto make_board = [&](const Faults& faults, bool from_flash_file) {
        ChipConfig config = options.chip;
        config.faults = faults;
        auto board = std::make_unique<Chip>(std::move(config));
        Flash& flash = board->GetFlash();
        bool file_holds_it = false;
        if (from_flash_file && !options.flash_file.empty()) {
            struct stat st {};
            if (stat(options.flash_file.c_str(), &st) == 0) {
                std::vector<std::uint8_t> image;
                if (!ReadFile(options.flash_file, image) || !flash.SetImage(image)) {
                    std::fprintf(stderr, "mirelle-sim: %s does not hold the %zu bytes of this chip's flash\n",
                                 options.flash_file.c_str(), flash.Size());
                    return false;
                }
                file_holds_it = options.preload.empty();
            }
        }
        for (const Preload& p : options.preload) flash.Store(p.address, p.bytes);
        // The flash file shows the board that is in, preloads included.
        if (!options.flash_file.empty() && !file_holds_it && !WriteFile(options.flash_file, flash.Image())) {
            std::fprintf(stderr, "mirelle-sim: cannot write %s\n", options.flash_file.c_str());
            return false;
        }
        saved_generation = flash.Generation();
        chip = std::move(board);
        ++board_number;
        return true;
    };
    if (!options.empty && !make_board(options.chip.faults, true)) return 2;

    if (!options.boards_dir.empty()) {
        struct stat st {};
        if (stat(options.boards_dir.c_str(), &st) != 0 && mkdir(options.boards_dir.c_str(), 0755) != 0) {
            std::fprintf(stderr, "mirelle-sim: cannot make %s: %s\n", options.boards_dir.c_str(), std::strerror(errno));
            return 2;
        }
        if (stat(options.boards_dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            std::fprintf(stderr, "mirelle-sim: %s is no folder\n", options.boards_dir.c_str());
            return 2;
        }
    }

    Trace trace;
    if (!trace.Open(options.trace_file)) {
        std::fprintf(stderr, "mirelle-sim: cannot write %s\n", options.trace_file.c_str());
        return 2;
    }

    ControlPipe control;
    if (!options.control.empty() && !control.Open(options.control, error)) {
        std::fprintf(stderr, "mirelle-sim: %s\n", error.c_str());
        return 2;
    }

    int master = -1;
    std::string name;
    // RFC 2217: `master` is the connected client (-1 while there is none),
    // `listener` takes the next one.
    const bool network = options.rfc2217_port != 0;
    int listener = -1;
    mirelle::chipsim::Rfc2217Server server;
    std::uint32_t network_baud = 9600;
    if (network) {
        listener = ListenOnLoopback(options.rfc2217_port);
        if (listener < 0) {
            std::fprintf(stderr, "mirelle-sim: cannot listen on 127.0.0.1:%u: %s\n", options.rfc2217_port,
                         std::strerror(errno));
            return 1;
        }
        name = "rfc2217://127.0.0.1:" + std::to_string(options.rfc2217_port);
    }

    if (!options.link.empty() && !network) {
        struct stat st {};
        if (lstat(options.link.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                std::fprintf(stderr, "mirelle-sim: %s exists and is no symbolic link\n", options.link.c_str());
                return 2;
            }
            unlink(options.link.c_str());
        }
    }
    // The device a board is reached through: a new pseudo-terminal, and the
    // link to it. With --hotplug each board brings its own.
    const auto open_device = [&]() {
        master = OpenPseudoTerminal(name);
        if (master < 0) {
            std::fprintf(stderr, "mirelle-sim: no pseudo-terminal: %s\n", std::strerror(errno));
            return false;
        }
        if (!options.link.empty() && !PointLink(options.link, name)) {
            std::fprintf(stderr, "mirelle-sim: cannot make the link %s: %s\n", options.link.c_str(),
                         std::strerror(errno));
            return false;
        }
        return true;
    };
    const auto close_device = [&]() {
        if (!options.link.empty() && !network) unlink(options.link.c_str());
        if (master >= 0) close(master);
        master = -1;
    };
    if (!network && !(options.hotplug && !chip)) {
        if (!open_device()) {
            close_device();
            return options.link.empty() ? 1 : 2;
        }
    }

    // The first line: the device, or with --hotplug and no board yet the
    // link where it will appear.
    std::printf("%s\n", master < 0 && !network ? options.link.c_str() : name.c_str());
    if (chip && control.Fd() >= 0) std::printf("board %d inserted\n", board_number);
    std::fflush(stdout);

    struct sigaction sa {};
    sa.sa_handler = OnStop;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sa.sa_handler = OnReset;
    sigaction(SIGUSR1, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // Wake-ups to the microsecond: a byte at 230400 baud lasts 43 us.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    const auto start = std::chrono::steady_clock::now();
    const auto now_us = [&]() {
        return static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start)
                .count());
    };
    {
        char origin[96];
        std::snprintf(origin, sizeof origin, "clock origin %.6f s monotonic",
                      static_cast<double>(std::chrono::duration_cast<std::chrono::microseconds>(
                                              start.time_since_epoch())
                                              .count()) /
                          1e6);
        trace.Note(0, origin);
    }
    trace.Note(0, std::string("chip ") + (options.chip.target.empty() ? "(unnamed)" : options.chip.target) +
                      ", boot rate " + std::to_string(options.chip.boot_baud) + ", working rate " +
                      std::to_string(options.chip.work_baud) + ", device " + name +
                      (options.chip.timing.line_time ? ", line time" : ", no line time") + ", latency " +
                      std::to_string(options.latency_ms) + " ms" + (chip ? "" : ", no board in"));

    const bool line_time = options.chip.timing.line_time;
    LineDirection to_chip_line;
    LatencyBuffer adapter(options.latency_ms);
    std::deque<ToHost> to_host;  // the bytes `adapter` holds, in the same order

    bool host_open = false;
    std::uint64_t last_save_us = 0;
    const auto save_flash = [&]() {
        if (!chip || options.flash_file.empty() || chip->GetFlash().Generation() == saved_generation) return;
        if (WriteFile(options.flash_file, chip->GetFlash().Image())) saved_generation = chip->GetFlash().Generation();
    };
    // Bytes still on their way are lost with the line's end.
    const auto drop_in_flight = [&]() {
        to_chip_line.Reset();
        adapter.Clear();
        to_host.clear();
    };
    const auto host_closed = [&](std::uint64_t t) {
        if (!host_open) return;
        host_open = false;
        drop_in_flight();
        if (!chip) return;
        chip->HostClosed(t);
        trace.Note(t, options.chip.reset_on_close ? "host closed the line: board reset" : "host closed the line");
    };
    // The board's flash and summary into the boards folder, the flash and
    // summary files written last so their presence tells that both are whole.
    const auto keep_board = [&]() {
        if (!chip) return;
        save_flash();
        last_summary = Summary(chip->GetFlash());
        if (options.boards_dir.empty()) return;
        char base[32];
        std::snprintf(base, sizeof base, "/board-%04d", board_number);
        const std::string path = options.boards_dir + base;
        const std::string& s = last_summary;
        if (!WriteFile(path + ".bin", chip->GetFlash().Image()) ||
            !WriteFile(path + ".txt", std::vector<std::uint8_t>(s.begin(), s.end()))) {
            std::fprintf(stderr, "mirelle-sim: cannot write %s.bin and .txt\n", path.c_str());
        }
    };
    const auto remove_board = [&](std::uint64_t t) {
        if (!chip) return;
        drop_in_flight();
        keep_board();
        chip.reset();
        trace.Note(t, "board " + std::to_string(board_number) + " removed");
        if (options.hotplug) {
            close_device();
            host_open = false;
        }
        std::printf("board %d removed\n", board_number);
        std::fflush(stdout);
    };
    const auto insert_board = [&](const std::optional<Faults>& faults, std::uint64_t t) {
        if (chip) {
            std::fprintf(stderr, "mirelle-sim: insert: board %d is in; remove it first\n", board_number);
            return;
        }
        if (!make_board(faults ? *faults : options.chip.faults, false)) return;
        drop_in_flight();
        // A device that went with the last board (--hotplug, or dropped) comes anew.
        if (network && listener < 0) listener = ListenOnLoopback(options.rfc2217_port);
        if (!network && master < 0 && !open_device()) {
            close_device();
            chip.reset();
            --board_number;
            return;
        }
        trace.Note(t, "board " + std::to_string(board_number) + " inserted" + (faults ? " with its own faults" : "") +
                          (options.hotplug ? ", device " + name : ""));
        std::printf("board %d inserted\n", board_number);
        std::fflush(stdout);
    };

    // One request of the host, at `t`: a rate, a purge, a line call or bytes.
    const auto take = [&](const mirelle::chipsim::PortRequest& request, std::uint64_t t) {
        using Kind = mirelle::chipsim::PortRequest::Kind;
        if (request.kind == Kind::Baud) {
            network_baud = request.baud;
            return;
        }
        if (request.kind == Kind::Purge) {
            if (request.purge & 1) drop_in_flight();
            return;
        }
        if (request.kind == Kind::Line) {
            if (!chip) return;
            const char* line = request.line == mirelle::serial::LineStep::Kind::Dtr   ? "DTR"
                               : request.line == mirelle::serial::LineStep::Kind::Rts ? "RTS"
                                                                                       : "break";
            const bool was_user = chip->InUserProgram();
            chip->LineCall(request.line, request.on, t);
            trace.Note(t, std::string(line) + (request.on ? " on" : " off") +
                              (was_user && !chip->InUserProgram() ? ": boot-entry sequence seen, board in boot ROM" : ""));
            if (was_user && !chip->InUserProgram()) drop_in_flight();
            return;
        }
        const std::uint8_t* buf = request.data.data();
        const std::uint32_t baud = network_baud;
        // Each byte goes to the chip stamped with the time it has
        // crossed the line; the chip answers from that time on.
        for (std::size_t i = 0; i < request.data.size(); ++i) {
            if (!chip) {
                trace.Byte(t, t, t, "H>C", buf[i], baud, "lost (no board)");
                continue;
            }
            const LineDirection::Slot slot =
                line_time ? to_chip_line.Send(t, baud) : LineDirection::Slot{t, t};
            const std::uint32_t listening = chip->ListeningBaud(slot.end_us);
            const auto result = chip->Receive(buf[i], baud, slot.end_us);
            std::string note;
            if (result == Chip::RxResult::WrongRate) {
                note = "ignored (chip listens at " + std::to_string(listening) + ")";
            } else if (result == Chip::RxResult::Dropped) {
                note = "lost (connection dropped)";
            }
            trace.Byte(slot.start_us, slot.end_us, slot.end_us, "H>C", buf[i], baud, note);
        }
    };

    while (!g_stop) {
        std::uint64_t t = now_us();
        if (g_reset) {
            g_reset = 0;
            if (chip) {
                chip->Reset();
                drop_in_flight();
                trace.Note(t, "reset (SIGUSR1)");
            }
        }
        // Sleep until the host or the control channel writes, or the next
        // byte is due at either end.
        const bool waiting_for_client = network && master < 0 && listener >= 0;
        std::uint64_t wake = t + 100000;
        if (master >= 0 && chip) {
            if (const auto next = chip->NextTxTime()) wake = std::min(wake, *next);
        }
        if (const auto next = adapter.ReleaseTime()) wake = std::min(wake, *next);
        const std::uint64_t wait_us = wake > t ? wake - t : 0;
        const struct timespec timeout {
            static_cast<time_t>(wait_us / 1000000), static_cast<long>(wait_us % 1000000) * 1000
        };
        struct pollfd fds[2] = {{waiting_for_client ? listener : master, POLLIN, 0}, {control.Fd(), POLLIN, 0}};
        const int ready = ppoll(fds, 2, &timeout, nullptr);
        t = now_us();
        if (ready < 0 && errno != EINTR) break;
        struct pollfd& pfd = fds[0];
        if (ready > 0 && (fds[1].revents & POLLIN)) {
            // A board that comes or goes changes what the device is: look
            // at the line again after it.
            for (const std::string& line : control.ReadLines()) {
                ControlCommand command;
                if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
                if (!ParseControlLine(line, command, error)) {
                    std::fprintf(stderr, "mirelle-sim: %s\n", error.c_str());
                } else if (command.kind == ControlCommand::Kind::Remove) {
                    remove_board(t);
                } else {
                    insert_board(command.faults, t);
                }
            }
            trace.Flush();
            continue;
        }
        if (waiting_for_client) {
            if (ready > 0 && (pfd.revents & POLLIN)) {
                master = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                if (master >= 0) {
                    const int one = 1;
                    setsockopt(master, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    server = mirelle::chipsim::Rfc2217Server();
                    network_baud = 9600;
                    host_open = true;
                    trace.Note(now_us(), "client connected");
                }
            }
            continue;
        }
        // No device: the connection has dropped, or the board that brought
        // it is out; wait for the end or the next board.
        if (master < 0) continue;

        bool got_data = false;
        if (ready > 0 && (pfd.revents & POLLIN)) {
            std::uint8_t raw_buf[4096];
            const ssize_t n = read(master, raw_buf, sizeof raw_buf);
            if (network && (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))) {
                // The client has closed the connection: as a host closing its port.
                close(master);
                master = -1;
                host_closed(t);
                save_flash();
                trace.Flush();
                continue;
            }
            if (n < 0 && errno == EIO) {
                pfd.revents |= POLLHUP;
            } else if (n > 0) {
                got_data = true;
                host_open = true;
                // What the host asked of the line, in order: on a
                // pseudo-terminal only bytes at the rate the slave is set to.
                std::vector<mirelle::chipsim::PortRequest> requests;
                if (network) {
                    std::vector<std::uint8_t> reply;
                    server.Feed(raw_buf, static_cast<std::size_t>(n), requests, reply);
                    if (!reply.empty()) SendAll(master, reply);
                } else {
                    requests.push_back({});
                    requests.back().data.assign(raw_buf, raw_buf + n);
                    ReadLineRate(master, network_baud);
                }
                for (const auto& request : requests) take(request, t);
                if (chip && chip->Dropped()) {
                    trace.Note(t, "connection dropped after " + std::to_string(chip->BytesReceived()) + " bytes");
                    std::fprintf(stderr, "mirelle-sim: connection dropped (as asked)\n");
                    close(master);
                    master = -1;
                    // No further client is taken: the board is gone for good.
                    if (listener >= 0) close(listener);
                    listener = -1;
                    drop_in_flight();
                    if (!options.link.empty() && !network) unlink(options.link.c_str());
                    continue;
                }
            }
        }
        if (ready > 0 && (pfd.revents & POLLHUP) && !got_data) {
            // Nobody has the device open. Poll would report this at once again,
            // so wait a little before looking again (the control channel too).
            host_closed(t);
            save_flash();
            trace.Flush();
            struct pollfd p {control.Fd(), POLLIN, 0};
            poll(&p, 1, 20);
            continue;
        }
        if (ready == 0 && !network) host_open = true;  // no hang-up reported: the device is open

        // The chip's bytes that are off the line by now go into the adapter ...
        while (chip) {
            const auto tx = chip->TakeTx(t);
            if (!tx) break;
            std::uint32_t host_baud = network_baud;
            if (!network) ReadLineRate(master, host_baud);
            const std::uint64_t start_us = line_time ? tx->time_us - std::min(tx->time_us, ByteTimeUs(tx->baud))
                                                     : tx->time_us;
            if (tx->baud != 0 && tx->baud != host_baud) {
                trace.Byte(start_us, tx->time_us, tx->time_us, "C>H", tx->byte, tx->baud,
                           "not heard (host at " + std::to_string(host_baud) + ")");
                continue;
            }
            adapter.Arrive(tx->byte, tx->time_us);
            to_host.push_back({tx->byte, tx->baud, start_us, tx->time_us});
        }
        // ... and to the host once the adapter lets them go, in one write.
        const auto released = adapter.Release(t);
        if (!released.empty()) {
            std::vector<std::uint8_t> out;
            for (const auto& r : released) out.push_back(r.byte);
            std::size_t written = 0;
            if (network) {
                written = SendAll(master, mirelle::chipsim::Rfc2217Server::Encode(out.data(), out.size())) ? out.size() : 0;
            } else {
                const ssize_t w = write(master, out.data(), out.size());
                written = w > 0 ? static_cast<std::size_t>(w) : 0;
            }
            const std::uint64_t handed = now_us();
            for (std::size_t i = 0; i < released.size(); ++i) {
                const ToHost b = to_host.front();
                to_host.pop_front();
                trace.Byte(b.start_us, b.end_us, handed, "C>H", b.byte, b.baud,
                           i < written ? "" : "lost (line not writable)");
            }
        }
        if (t - last_save_us > 200000) {
            save_flash();
            trace.Flush();
            last_save_us = t;
        }
    }

    if (chip) {
        const Flash& flash = chip->GetFlash();
        trace.Note(now_us(), "stopped; " + Summary(flash).substr(0, Summary(flash).size() - 1) + ", blocks " +
                                 std::to_string(chip->BlocksProgrammed()) + ", erases " +
                                 std::to_string(chip->EraseCount()) + ", first area at " +
                                 (flash.Areas().empty() ? "-" : Hex(flash.Areas()[0].start)));
        keep_board();
    } else {
        trace.Note(now_us(), "stopped; no board in");
    }
    trace.Flush();
    if (last_summary.empty()) last_summary = Summary(Flash(options.chip.areas));  // never a board
    std::fputs(last_summary.c_str(), stderr);
    if (!options.summary_file.empty()) {
        std::ofstream f(options.summary_file, std::ios::trunc);
        f << last_summary;
    }
    if (!options.link.empty() && master >= 0 && !network) unlink(options.link.c_str());
    if (master >= 0) close(master);
    if (listener >= 0) close(listener);
    return 0;
}
