#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

#include "serial/tcp_socket.h"

namespace mirelle::serial {
namespace {

// Winsock is started once for the process and left running.
bool WinsockReady() {
    static const bool ready = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

int WaitOn(SOCKET s, short events, std::uint32_t ms) {
    WSAPOLLFD p{};
    p.fd = s;
    p.events = events;
    const int r = ::WSAPoll(&p, 1, ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<INT>(ms));
    if (r == SOCKET_ERROR) return -1;
    return r > 0 ? 1 : 0;
}

class WinsockSocket final : public TcpSocket {
public:
    explicit WinsockSocket(SOCKET s) : s_(s) {}
    ~WinsockSocket() override { ::closesocket(s_); }
    WinsockSocket(const WinsockSocket&) = delete;
    WinsockSocket& operator=(const WinsockSocket&) = delete;

    int Wait(bool for_write, std::uint32_t ms) override { return WaitOn(s_, for_write ? POLLWRNORM : POLLRDNORM, ms); }

    long Send(const std::uint8_t* data, std::size_t n) override {
        const int ask = n > 0x10000 ? 0x10000 : static_cast<int>(n);
        const int w = ::send(s_, reinterpret_cast<const char*>(data), ask, 0);
        if (w != SOCKET_ERROR) return w;
        return ::WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
    }

    long Receive(std::uint8_t* data, std::size_t n) override {
        const int ask = n > 0x10000 ? 0x10000 : static_cast<int>(n);
        const int r = ::recv(s_, reinterpret_cast<char*>(data), ask, 0);
        if (r > 0) return r;
        if (r == 0) return -1;  // the far end closed the connection
        return ::WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
    }

private:
    SOCKET s_;
};

bool ConnectWithin(SOCKET s, const ADDRINFOA* a, std::uint32_t ms) {
    if (::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) return true;
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return false;
    if (WaitOn(s, POLLWRNORM, ms) <= 0) return false;
    int error = 0;
    int len = sizeof error;
    return ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) == 0 && error == 0;
}

}  // namespace

std::unique_ptr<TcpSocket> ConnectTcp(const std::string& host, std::uint16_t port, std::uint32_t timeout_ms) {
    if (!WinsockReady()) return nullptr;
    ADDRINFOA hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOA* list = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0) return nullptr;
    std::unique_ptr<TcpSocket> out;
    for (const ADDRINFOA* a = list; a && !out; a = a->ai_next) {
        const SOCKET s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == INVALID_SOCKET) continue;
        u_long nonblocking = 1;
        ::ioctlsocket(s, FIONBIO, &nonblocking);
        if (!ConnectWithin(s, a, timeout_ms)) {
            ::closesocket(s);
            continue;
        }
        const BOOL one = TRUE;
        ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
        out = std::make_unique<WinsockSocket>(s);
    }
    ::freeaddrinfo(list);
    return out;
}

}  // namespace mirelle::serial
