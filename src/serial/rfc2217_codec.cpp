#include "serial/rfc2217_codec.h"

namespace mirelle::serial::rfc2217 {

void AppendData(const std::uint8_t* data, std::size_t n, std::vector<std::uint8_t>& out) {
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(data[i]);
        if (data[i] == kIac) out.push_back(kIac);
    }
}

void AppendNegotiation(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t>& out) {
    out.insert(out.end(), {kIac, verb, option});
}

void AppendComPortCommand(std::uint8_t command, const std::vector<std::uint8_t>& value, std::vector<std::uint8_t>& out) {
    out.insert(out.end(), {kIac, kSb, kOptComPort, command});
    AppendData(value.data(), value.size(), out);
    out.insert(out.end(), {kIac, kSe});
}

void AppendSetBaud(std::uint32_t baud, std::vector<std::uint8_t>& out) {
    AppendComPortCommand(kSetBaudRate,
                         {static_cast<std::uint8_t>(baud >> 24), static_cast<std::uint8_t>(baud >> 16),
                          static_cast<std::uint8_t>(baud >> 8), static_cast<std::uint8_t>(baud)},
                         out);
}

void Decoder::Feed(const std::uint8_t* bytes, std::size_t n, std::vector<std::uint8_t>& data,
                   std::vector<Command>& commands) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = bytes[i];
        switch (state_) {
            case State::Data:
                if (b == kIac) state_ = State::Iac;
                else data.push_back(b);
                break;
            case State::Iac:
                if (b == kIac) {
                    data.push_back(kIac);
                    state_ = State::Data;
                } else if (b == kWill || b == kWont || b == kDo || b == kDont) {
                    verb_ = b;
                    state_ = State::Option;
                } else if (b == kSb) {
                    sub_ = Command{Command::Kind::Subnegotiation, 0, 0, {}};
                    sub_has_option_ = false;
                    state_ = State::Sub;
                } else {
                    state_ = State::Data;  // NOP, GA, a stray SE and the like carry nothing here
                }
                break;
            case State::Option:
                commands.push_back(Command{Command::Kind::Negotiation, verb_, b, {}});
                state_ = State::Data;
                break;
            case State::Sub:
                if (b == kIac) {
                    state_ = State::SubIac;
                } else if (!sub_has_option_) {
                    sub_.option = b;
                    sub_has_option_ = true;
                } else if (sub_.payload.size() < kMaxPayload) {
                    sub_.payload.push_back(b);
                }
                break;
            case State::SubIac:
                if (b == kSe) {
                    if (sub_has_option_) commands.push_back(std::move(sub_));
                    sub_ = Command{};
                    state_ = State::Data;
                } else if (b == kIac) {
                    if (!sub_has_option_) {
                        sub_.option = kIac;
                        sub_has_option_ = true;
                    } else if (sub_.payload.size() < kMaxPayload) {
                        sub_.payload.push_back(kIac);
                    }
                    state_ = State::Sub;
                } else {
                    // IAC and anything but SE or IAC inside a subnegotiation:
                    // the subnegotiation is broken off, the command counts.
                    sub_ = Command{};
                    state_ = State::Iac;
                    --i;
                }
                break;
        }
    }
}

}  // namespace mirelle::serial::rfc2217
