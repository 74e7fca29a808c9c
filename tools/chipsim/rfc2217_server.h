// The server side of an RFC 2217 connection, as byte work for mirelle-sim:
// what a client's Telnet stream asks of the serial port (data, the rate,
// DTR, RTS, break, purges), in the order it came, and the answers a server
// gives (option agreement, each COM port command acknowledged).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "serial/line_sequence.h"
#include "serial/rfc2217_codec.h"

namespace mirelle::chipsim {

struct PortRequest {
    enum class Kind { Data, Baud, Line, Purge };
    Kind kind = Kind::Data;
    std::vector<std::uint8_t> data;  // Data
    std::uint32_t baud = 0;          // Baud
    serial::LineStep::Kind line = serial::LineStep::Kind::Dtr;  // Line: Dtr, Rts or Break
    bool on = false;                 // Line
    std::uint8_t purge = 0;          // Purge: 1 receive, 2 transmit, 3 both
};

class Rfc2217Server {
public:
    // Takes what the client sent: requests in order go to `requests`, the
    // server's answers to `reply` (to be sent back as they are).
    void Feed(const std::uint8_t* bytes, std::size_t n, std::vector<PortRequest>& requests,
              std::vector<std::uint8_t>& reply);

    // The chip's bytes as they go to the client (0xFF doubled).
    static std::vector<std::uint8_t> Encode(const std::uint8_t* bytes, std::size_t n);

private:
    serial::rfc2217::Decoder decoder_;
    std::vector<std::uint8_t> answered_;  // options whose negotiation has been answered
};

}  // namespace mirelle::chipsim
