// A TCP connection for the network ports, one face per system
// (tcp_socket_posix.cpp, tcp_socket_win32.cpp): non-blocking, Nagle off (the
// link is many one-byte requests and answers), closed with its owner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace mirelle::serial {

class TcpSocket {
public:
    virtual ~TcpSocket() = default;
    // Waits up to `ms` until the socket can be read (or written when
    // `for_write`): 1 ready (or closed: the next call tells), 0 time-out, -1 failure.
    virtual int Wait(bool for_write, std::uint32_t ms) = 0;
    // The bytes moved; 0 when the call would block; -1 when the connection is
    // closed or broken.
    virtual long Send(const std::uint8_t* data, std::size_t n) = 0;
    virtual long Receive(std::uint8_t* data, std::size_t n) = 0;
};

// Connects to `host` (a name, an IPv4 address or a bracketless IPv6 address)
// at `port` within `timeout_ms`; empty when that fails.
std::unique_ptr<TcpSocket> ConnectTcp(const std::string& host, std::uint16_t port, std::uint32_t timeout_ms);

}  // namespace mirelle::serial
