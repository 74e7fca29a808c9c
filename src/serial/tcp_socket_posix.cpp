#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>

#include "serial/tcp_socket.h"

namespace mirelle::serial {
namespace {

class PosixSocket final : public TcpSocket {
public:
    explicit PosixSocket(int fd) : fd_(fd) {}
    ~PosixSocket() override { ::close(fd_); }
    PosixSocket(const PosixSocket&) = delete;
    PosixSocket& operator=(const PosixSocket&) = delete;

    int Wait(bool for_write, std::uint32_t ms) override {
        struct pollfd p {fd_, static_cast<short>(for_write ? POLLOUT : POLLIN), 0};
        const int r = ::poll(&p, 1, ms > INT_MAX ? INT_MAX : static_cast<int>(ms));
        if (r < 0) return errno == EINTR ? 0 : -1;
        return r > 0 ? 1 : 0;
    }

    long Send(const std::uint8_t* data, std::size_t n) override {
        const ssize_t w = ::send(fd_, data, n, MSG_NOSIGNAL);
        if (w >= 0) return static_cast<long>(w);
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
    }

    long Receive(std::uint8_t* data, std::size_t n) override {
        const ssize_t r = ::recv(fd_, data, n, 0);
        if (r > 0) return static_cast<long>(r);
        if (r == 0) return -1;  // the far end closed the connection
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
    }

private:
    int fd_;
};

// Connects `fd` (non-blocking) to `addr` within `ms`.
bool ConnectWithin(int fd, const struct addrinfo* a, std::uint32_t ms) {
    if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) return true;
    if (errno != EINPROGRESS) return false;
    struct pollfd p {fd, POLLOUT, 0};
    if (::poll(&p, 1, ms > INT_MAX ? INT_MAX : static_cast<int>(ms)) <= 0) return false;
    int error = 0;
    socklen_t len = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
}

}  // namespace

std::unique_ptr<TcpSocket> ConnectTcp(const std::string& host, std::uint16_t port, std::uint32_t timeout_ms) {
    struct addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0) return nullptr;
    std::unique_ptr<TcpSocket> out;
    for (const struct addrinfo* a = list; a && !out; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) continue;
        if (!ConnectWithin(fd, a, timeout_ms)) {
            ::close(fd);
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        out = std::make_unique<PosixSocket>(fd);
    }
    ::freeaddrinfo(list);
    return out;
}

}  // namespace mirelle::serial
