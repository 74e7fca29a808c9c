// Serial ports across the network: "rfc2217://HOST:PORT", a Telnet
// connection to an RFC 2217 server (the rate, 8N1, purges, DTR, RTS and break
// are asked of the server's device), and "socket://HOST:PORT", the bytes over
// plain TCP (the far end keeps its own line settings; no line control).
// HOST is a name, an IPv4 address or an IPv6 address in brackets.
//
// The link's read and write time-outs hold as on a local port. The server's
// answers to settings and line control are not waited for: some servers
// never send them (a pseudo-terminal has no DTR to set), and the bytes that
// follow a request reach the device after it anyway. A connection that
// closes or breaks fails every later read and write, as a device that is
// unplugged does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "serial/port.h"

namespace mirelle::serial {

struct NetworkAddress {
    enum class Kind { Rfc2217, Raw };
    Kind kind = Kind::Rfc2217;
    std::string host;
    std::uint16_t port = 0;
};

// Whether `device` names a network port (by its scheme, in any case).
bool IsNetworkPort(const std::string& device);

// Reads "rfc2217://HOST:PORT" or "socket://HOST:PORT"; false when the
// scheme, the host or the port (1 to 65535) is missing or malformed.
bool ParseNetworkAddress(const std::string& device, NetworkAddress& out);

// Connects and configures the port at `baud`; the results are those of
// PortOpener (CannotOpen for a bad address or no connection; for an RFC 2217
// server that refuses the COM port option, CannotChangeSettings).
PortResult OpenNetworkPort(const std::string& device, std::uint32_t baud, std::unique_ptr<Port>& out);

}  // namespace mirelle::serial
