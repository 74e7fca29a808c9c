// The Telnet stream of an RFC 2217 connection, as pure byte work: data with
// IAC doubled, option negotiation, and the COM-PORT-OPTION subnegotiations
// (baud rate, data size, parity, stop size, control, purge). The port in
// network_port.cpp does the socket and the timing around it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mirelle::serial::rfc2217 {

inline constexpr std::uint8_t kIac = 255;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kSe = 240;

inline constexpr std::uint8_t kOptBinary = 0;
inline constexpr std::uint8_t kOptSuppressGoAhead = 3;
inline constexpr std::uint8_t kOptComPort = 44;

// COM-PORT-OPTION commands from the client; the server answers each with the
// same number plus kServerOffset.
inline constexpr std::uint8_t kSetBaudRate = 1;
inline constexpr std::uint8_t kSetDataSize = 2;
inline constexpr std::uint8_t kSetParity = 3;
inline constexpr std::uint8_t kSetStopSize = 4;
inline constexpr std::uint8_t kSetControl = 5;
inline constexpr std::uint8_t kPurgeData = 12;
inline constexpr std::uint8_t kServerOffset = 100;

// SET-CONTROL values.
inline constexpr std::uint8_t kControlNoFlowControl = 1;
inline constexpr std::uint8_t kControlBreakOn = 5;
inline constexpr std::uint8_t kControlBreakOff = 6;
inline constexpr std::uint8_t kControlDtrOn = 8;
inline constexpr std::uint8_t kControlDtrOff = 9;
inline constexpr std::uint8_t kControlRtsOn = 11;
inline constexpr std::uint8_t kControlRtsOff = 12;

// SET-PARITY, SET-STOPSIZE and PURGE-DATA values of this link.
inline constexpr std::uint8_t kParityNone = 1;
inline constexpr std::uint8_t kStopOne = 1;
inline constexpr std::uint8_t kPurgeReceive = 1;   // the server's receive buffer (data from the device)
inline constexpr std::uint8_t kPurgeTransmit = 2;  // the server's transmit buffer (data to the device)
inline constexpr std::uint8_t kPurgeBoth = 3;

// Appends `n` data bytes to `out`, each 0xFF doubled.
void AppendData(const std::uint8_t* data, std::size_t n, std::vector<std::uint8_t>& out);

// IAC `verb` `option` (verb kWill, kWont, kDo or kDont).
void AppendNegotiation(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t>& out);

// IAC SB COM-PORT-OPTION `command` `value...` IAC SE, with 0xFF in the value doubled.
void AppendComPortCommand(std::uint8_t command, const std::vector<std::uint8_t>& value, std::vector<std::uint8_t>& out);
// SET-BAUDRATE with the rate as four bytes, most significant first.
void AppendSetBaud(std::uint32_t baud, std::vector<std::uint8_t>& out);

// What the far end sent that is not data.
struct Command {
    enum class Kind { Negotiation, Subnegotiation };
    Kind kind = Kind::Negotiation;
    std::uint8_t verb = 0;    // Negotiation: kWill, kWont, kDo or kDont
    std::uint8_t option = 0;  // both
    std::vector<std::uint8_t> payload;  // Subnegotiation: the bytes after the option, IAC undoubled
};

// Splits a received Telnet stream into data and commands, across any cut
// between reads. Other Telnet commands (NOP, GA and the like) are dropped; a
// subnegotiation longer than kMaxPayload keeps only its first bytes.
class Decoder {
public:
    static constexpr std::size_t kMaxPayload = 64;

    // Data bytes go to `data`, complete commands to `commands`.
    void Feed(const std::uint8_t* bytes, std::size_t n, std::vector<std::uint8_t>& data, std::vector<Command>& commands);

private:
    enum class State { Data, Iac, Option, Sub, SubIac };
    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    Command sub_;
    bool sub_has_option_ = false;
};

}  // namespace mirelle::serial::rfc2217
