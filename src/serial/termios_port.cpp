#include "serial/termios_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <utility>

#include "serial/low_latency.h"
#include "serial/network_port.h"
#include "serial/termios2_speed.h"
#include "serial/timeouts.h"
#include "serial/uucp_lock.h"

namespace mirelle::serial {
namespace {


// A driver may round the rate to what its divider can make; anything further
// off than a UART tolerates means the rate was refused (drivers that refuse a
// rate report the one they fell back to).
constexpr std::uint64_t kRateTolerancePercent = 3;

using SteadyClock = std::chrono::steady_clock;

std::uint64_t MsBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
    if (to <= from) return 0;
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count());
}

int PollTimeout(std::uint64_t ms) { return ms > static_cast<std::uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(ms); }

// An open file descriptor, closed with its owner.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    void Reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd_;
};

// The driver's line-error counters at one moment.
struct ErrorCounts {
    int frame = 0;
    int overrun = 0;
    int parity = 0;
    int brk = 0;
    int buf_overrun = 0;
};

bool ReadErrorCounts(int fd, ErrorCounts& out) {
    struct serial_icounter_struct c {};
    if (::ioctl(fd, TIOCGICOUNT, &c) != 0) return false;
    out = {c.frame, c.overrun, c.parity, c.brk, c.buf_overrun};
    return true;
}

// Counters only grow (and wrap), so the change is taken modulo 2^32.
bool Grew(int before, int after) { return static_cast<unsigned>(after) != static_cast<unsigned>(before); }

static_assert(kAsyncLowLatency == ASYNC_LOW_LATENCY);

// The serial flags of an open device, through the driver's serial_struct.
class DeviceSerialFlags final : public SerialFlags {
public:
    explicit DeviceSerialFlags(int fd) : fd_(fd) {}
    bool Get(int& flags) override {
        struct serial_struct s {};
        if (::ioctl(fd_, TIOCGSERIAL, &s) != 0) return false;
        flags = s.flags;
        return true;
    }
    bool Set(int flags) override {
        struct serial_struct s {};
        if (::ioctl(fd_, TIOCGSERIAL, &s) != 0) return false;
        s.flags = flags;
        return ::ioctl(fd_, TIOCSSERIAL, &s) == 0;
    }

private:
    int fd_;
};

class TermiosPort final : public Port {
public:
    // `fd` is open, locked and exclusive; `lock` is its lock file.
    TermiosPort(UniqueFd fd, UucpLock lock) : lock_(std::move(lock)), fd_(std::move(fd)) {}

    ~TermiosPort() override {
        DeviceSerialFlags flags(fd_.get());
        low_latency_.Restore(flags);
        // Exclusive use ends with this port, even while other descriptors keep
        // the terminal alive; the lock goes with the descriptor.
        ::ioctl(fd_.get(), TIOCNXCL);
    }

    // Raw 8N1 without flow control at `baud`, DTR and RTS asserted.
    PortResult Configure(std::uint32_t baud) {
        struct termios t {};
        if (::tcgetattr(fd_.get(), &t) != 0) return PortResult::CannotReadSettings;
        t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                            IXOFF | IXANY | IUCLC | IMAXBEL | INPCK);
        t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
        t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
        t.c_cflag |= CS8 | CREAD | CLOCAL;
        // One byte makes the descriptor readable; the waiting is done by poll().
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        if (::tcsetattr(fd_.get(), TCSANOW, &t) != 0) return PortResult::CannotChangeSettings;

        if (const PortResult rc = SetBaud(baud); rc != PortResult::Ok) return rc;

        // Devices without modem lines (a pseudo-terminal) refuse this; that is fine.
        int lines = TIOCM_DTR | TIOCM_RTS;
        ::ioctl(fd_.get(), TIOCMBIS, &lines);

        DeviceSerialFlags flags(fd_.get());
        low_latency_.Enable(flags);

        has_counts_ = ReadErrorCounts(fd_.get(), counts_);
        return PortResult::Ok;
    }

    PortResult SetBaud(std::uint32_t baud) override {
        if (baud == 0) return PortResult::CannotChangeSettings;  // rate 0 would hang the line up
        switch (SetLineSpeed(fd_.get(), baud)) {
            case SpeedResult::ReadFailed:
                return PortResult::CannotReadSettings;
            case SpeedResult::SetFailed:
                return PortResult::CannotChangeSettings;
            case SpeedResult::Ok:
                break;
        }
        std::uint32_t actual = 0;
        if (!ReadLineSpeed(fd_.get(), actual)) return PortResult::CannotReadSettings;
        const std::uint64_t diff = actual > baud ? actual - baud : baud - actual;
        if (diff * 100 > static_cast<std::uint64_t>(baud) * kRateTolerancePercent) return PortResult::CannotChangeSettings;
        return PortResult::Ok;
    }

    void Purge(PurgeWhich which) override {
        int queue = TCIOFLUSH;
        if (which == PurgeWhich::Receive) queue = TCIFLUSH;
        if (which == PurgeWhich::Transmit) queue = TCOFLUSH;
        ::tcflush(fd_.get(), queue);
    }

    LineStatus ClearErrors() override {
        LineStatus status;
        ErrorCounts now;
        if (ReadErrorCounts(fd_.get(), now)) {
            if (has_counts_) {
                if (Grew(counts_.buf_overrun, now.buf_overrun)) status.errors |= kErrRxOver;
                if (Grew(counts_.overrun, now.overrun)) status.errors |= kErrOverrun;
                if (Grew(counts_.parity, now.parity)) status.errors |= kErrRxParity;
                if (Grew(counts_.frame, now.frame)) status.errors |= kErrFrame;
                if (Grew(counts_.brk, now.brk)) status.errors |= kErrBreak;
            }
            counts_ = now;
            has_counts_ = true;
        }
        int queued = 0;
        if (::ioctl(fd_.get(), FIONREAD, &queued) == 0 && queued > 0) status.queued = static_cast<std::uint32_t>(queued);
        return status;
    }

    bool Write(const std::uint8_t* data, std::size_t n, std::size_t& done) override {
        done = 0;
        if (n == 0) return true;
        const auto start = SteadyClock::now();
        const std::uint64_t total = TotalTimeoutMs(n);
        for (;;) {
            const ssize_t w = ::write(fd_.get(), data + done, n - done);
            if (w > 0) {
                done += static_cast<std::size_t>(w);
                if (done == n) return true;
            } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
                return false;  // EIO after a hang-up, among others
            }
            const std::uint64_t elapsed = MsBetween(start, SteadyClock::now());
            if (elapsed >= total) return true;  // time-out: a short count, not a failure
            struct pollfd p {fd_.get(), POLLOUT, 0};
            const int r = ::poll(&p, 1, PollTimeout(total - elapsed));
            if (r < 0 && errno != EINTR) return false;
            if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return false;
        }
    }

    bool Read(std::uint8_t* data, std::size_t n, std::size_t& done) override {
        done = 0;
        if (n == 0) return true;
        const auto start = SteadyClock::now();
        auto last_byte = start;
        for (;;) {
            const auto now = SteadyClock::now();
            const std::uint64_t wait = ReadWaitMs(n, done, MsBetween(start, now), MsBetween(last_byte, now));
            if (wait == 0) return true;
            struct pollfd p {fd_.get(), POLLIN, 0};
            const int r = ::poll(&p, 1, PollTimeout(wait));
            if (r < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            if (r == 0) continue;  // the rules above decide whether the read is over
            if (p.revents & POLLNVAL) return false;
            if (p.revents & POLLIN) {
                // Bytes that arrived before a hang-up are still delivered; the
                // hang-up itself shows as end of file or EIO.
                const ssize_t got = ::read(fd_.get(), data + done, n - done);
                if (got > 0) {
                    done += static_cast<std::size_t>(got);
                    last_byte = SteadyClock::now();
                    continue;
                }
                if (got == 0) return false;
                if (errno != EAGAIN && errno != EINTR) return false;
            }
            if (p.revents & (POLLHUP | POLLERR)) return false;
        }
    }

    bool SetDtr(bool on) override { return SetLine(TIOCM_DTR, on); }
    bool SetRts(bool on) override { return SetLine(TIOCM_RTS, on); }
    bool SetBreak(bool on) override { return ::ioctl(fd_.get(), on ? TIOCSBRK : TIOCCBRK) == 0; }

private:
    bool SetLine(int bit, bool on) { return ::ioctl(fd_.get(), on ? TIOCMBIS : TIOCMBIC, &bit) == 0; }

    UucpLock lock_;  // declared first: the lock file goes after the descriptor is closed
    UniqueFd fd_;
    LowLatencyRequest low_latency_;
    ErrorCounts counts_;
    bool has_counts_ = false;
};

}  // namespace

PortResult OpenTermiosPort(const std::string& device, std::uint32_t baud, std::unique_ptr<Port>& out) {
    out.reset();
    // The lock file before the device is even opened: opening a terminal can
    // move its modem lines under the program that holds it.
    UucpLock lock;
    if (!lock.Acquire(device)) return PortResult::CannotOpen;
    UniqueFd fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return PortResult::CannotOpen;
    // The lock first: it also stops root, whom TIOCEXCL lets through, and a
    // failed second open must not touch the owner's exclusive mode.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return PortResult::CannotOpen;
#ifdef TIOCGEXCL
    // Another program that holds the terminal in exclusive mode keeps others
    // out, but not root: the mode is honoured here for everyone.
    int exclusive = 0;
    if (::ioctl(fd.get(), TIOCGEXCL, &exclusive) == 0 && exclusive != 0) return PortResult::CannotOpen;
#endif
    // Not a terminal, or one that cannot be had exclusively: not a usable port.
    if (::ioctl(fd.get(), TIOCEXCL) != 0) return PortResult::CannotOpen;
    auto port = std::make_unique<TermiosPort>(std::move(fd), std::move(lock));
    const PortResult rc = port->Configure(baud);
    out = std::move(port);
    return rc;
}

PortResult OpenSystemPort(const std::string& device, int, std::uint32_t baud, std::unique_ptr<Port>& out) {
    if (IsNetworkPort(device)) return OpenNetworkPort(device, baud, out);
    return OpenTermiosPort(device, baud, out);
}

}  // namespace mirelle::serial
