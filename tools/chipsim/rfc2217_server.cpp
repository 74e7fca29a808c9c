#include "chipsim/rfc2217_server.h"

#include <algorithm>

namespace mirelle::chipsim {

namespace t = serial::rfc2217;
using serial::LineStep;

void Rfc2217Server::Feed(const std::uint8_t* bytes, std::size_t n, std::vector<PortRequest>& requests,
                         std::vector<std::uint8_t>& reply) {
    // The decoder is fed byte by byte so that data and commands keep their order.
    for (std::size_t i = 0; i < n; ++i) {
        std::vector<std::uint8_t> data;
        std::vector<t::Command> commands;
        decoder_.Feed(bytes + i, 1, data, commands);
        if (!data.empty()) {
            if (requests.empty() || requests.back().kind != PortRequest::Kind::Data) requests.push_back({});
            requests.back().data.insert(requests.back().data.end(), data.begin(), data.end());
        }
        for (const t::Command& c : commands) {
            if (c.kind == t::Command::Kind::Negotiation) {
                if (c.verb != t::kWill && c.verb != t::kDo) continue;
                if (std::find(answered_.begin(), answered_.end(), c.option) != answered_.end()) continue;
                answered_.push_back(c.option);
                const bool ours = c.option == t::kOptBinary || c.option == t::kOptSuppressGoAhead ||
                                  (c.option == t::kOptComPort && c.verb == t::kWill);
                const std::uint8_t answer = c.verb == t::kWill ? (ours ? t::kDo : t::kDont) : (ours ? t::kWill : t::kWont);
                t::AppendNegotiation(answer, c.option, reply);
                continue;
            }
            if (c.option != t::kOptComPort || c.payload.empty()) continue;
            const std::uint8_t command = c.payload[0];
            const std::vector<std::uint8_t> value(c.payload.begin() + 1, c.payload.end());
            PortRequest r;
            if (command == t::kSetBaudRate && value.size() == 4) {
                r.kind = PortRequest::Kind::Baud;
                r.baud = std::uint32_t{value[0]} << 24 | std::uint32_t{value[1]} << 16 | std::uint32_t{value[2]} << 8 |
                         value[3];
                if (r.baud != 0) requests.push_back(r);  // 0 asks for the current rate
            } else if (command == t::kSetControl && value.size() == 1) {
                r.kind = PortRequest::Kind::Line;
                switch (value[0]) {
                    case t::kControlDtrOn: case t::kControlDtrOff:
                        r.line = LineStep::Kind::Dtr, r.on = value[0] == t::kControlDtrOn;
                        break;
                    case t::kControlRtsOn: case t::kControlRtsOff:
                        r.line = LineStep::Kind::Rts, r.on = value[0] == t::kControlRtsOn;
                        break;
                    case t::kControlBreakOn: case t::kControlBreakOff:
                        r.line = LineStep::Kind::Break, r.on = value[0] == t::kControlBreakOn;
                        break;
                    default:
                        r.kind = PortRequest::Kind::Data;  // flow control and queries: nothing to do
                }
                if (r.kind == PortRequest::Kind::Line) requests.push_back(r);
            } else if (command == t::kPurgeData && value.size() == 1) {
                r.kind = PortRequest::Kind::Purge;
                r.purge = value[0];
                requests.push_back(r);
            }
            // Every command is acknowledged with what it asked for.
            t::AppendComPortCommand(static_cast<std::uint8_t>(command + t::kServerOffset), value, reply);
        }
    }
}

std::vector<std::uint8_t> Rfc2217Server::Encode(const std::uint8_t* bytes, std::size_t n) {
    std::vector<std::uint8_t> out;
    t::AppendData(bytes, n, out);
    return out;
}

}  // namespace mirelle::chipsim
