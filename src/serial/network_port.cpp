#include "serial/network_port.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <vector>

#include "serial/rfc2217_codec.h"
#include "serial/tcp_socket.h"
#include "serial/timeouts.h"

namespace mirelle::serial {
namespace {

namespace t = rfc2217;

// How long a connection may take to come up, and how long an RFC 2217
// server gets to agree to the COM port option before the settings are sent
// anyway.
constexpr std::uint32_t kConnectMs = 5000;
constexpr std::uint32_t kNegotiationMs = 1000;

// NOTIFY-LINESTATE from the server, and its error bits.
constexpr std::uint8_t kNotifyLineState = 6 + t::kServerOffset;
constexpr std::uint8_t kLineOverrun = 0x02, kLineParity = 0x04, kLineFraming = 0x08, kLineBreak = 0x10;

using SteadyClock = std::chrono::steady_clock;

std::uint64_t MsSince(SteadyClock::time_point from) {
    const auto d = SteadyClock::now() - from;
    return d.count() <= 0 ? 0 : static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

std::uint32_t Clamp32(std::uint64_t ms) { return ms > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(ms); }

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

class NetworkPort final : public Port {
public:
    NetworkPort(std::unique_ptr<TcpSocket> socket, bool telnet) : socket_(std::move(socket)), telnet_(telnet) {}

    PortResult Configure(std::uint32_t baud) {
        if (!telnet_) return baud == 0 ? PortResult::CannotChangeSettings : PortResult::Ok;
        std::vector<std::uint8_t> out;
        t::AppendNegotiation(t::kWill, t::kOptBinary, out);
        t::AppendNegotiation(t::kDo, t::kOptBinary, out);
        t::AppendNegotiation(t::kWill, t::kOptSuppressGoAhead, out);
        t::AppendNegotiation(t::kDo, t::kOptSuppressGoAhead, out);
        t::AppendNegotiation(t::kWill, t::kOptComPort, out);
        if (!SendAll(out)) return PortResult::CannotReadSettings;
        // Settings are for after the server's agreement; a server that says
        // nothing within the time gets them all the same.
        const auto start = SteadyClock::now();
        while (!com_port_agreed_ && !com_port_refused_ && !dead_ && MsSince(start) < kNegotiationMs)
            Pump(Clamp32(kNegotiationMs - MsSince(start)));
        if (dead_) return PortResult::CannotReadSettings;
        if (com_port_refused_) return PortResult::CannotChangeSettings;
        out.clear();
        t::AppendSetBaud(baud, out);
        t::AppendComPortCommand(t::kSetDataSize, {8}, out);
        t::AppendComPortCommand(t::kSetParity, {t::kParityNone}, out);
        t::AppendComPortCommand(t::kSetStopSize, {t::kStopOne}, out);
        t::AppendComPortCommand(t::kSetControl, {t::kControlNoFlowControl}, out);
        t::AppendComPortCommand(t::kSetControl, {t::kControlDtrOn}, out);
        t::AppendComPortCommand(t::kSetControl, {t::kControlRtsOn}, out);
        if (baud == 0) return PortResult::CannotChangeSettings;
        return SendAll(out) ? PortResult::Ok : PortResult::CannotChangeSettings;
    }

    PortResult SetBaud(std::uint32_t baud) override {
        if (baud == 0) return PortResult::CannotChangeSettings;
        if (dead_) return PortResult::CannotReadSettings;
        if (!telnet_) return PortResult::Ok;  // the far end keeps the rate it was given
        if (com_port_refused_) return PortResult::CannotChangeSettings;
        std::vector<std::uint8_t> out;
        t::AppendSetBaud(baud, out);
        return SendAll(out) ? PortResult::Ok : PortResult::CannotReadSettings;
    }

    void Purge(PurgeWhich which) override {
        if (which == PurgeWhich::Receive || which == PurgeWhich::Both) {
            Pump(0);
            data_.clear();
        }
        if (!telnet_ || com_port_refused_) return;
        std::vector<std::uint8_t> out;
        const std::uint8_t what = which == PurgeWhich::Receive    ? t::kPurgeReceive
                                  : which == PurgeWhich::Transmit ? t::kPurgeTransmit
                                                                  : t::kPurgeBoth;
        t::AppendComPortCommand(t::kPurgeData, {what}, out);
        SendAll(out);
    }

    LineStatus ClearErrors() override {
        Pump(0);
        LineStatus status;
        status.errors = errors_;
        errors_ = 0;
        status.queued = static_cast<std::uint32_t>(std::min<std::size_t>(data_.size(), 0xFFFFFFFFu));
        return status;
    }

    bool Write(const std::uint8_t* data, std::size_t n, std::size_t& done) override {
        done = 0;
        if (dead_) return false;
        if (n == 0) return true;
        std::vector<std::uint8_t> wire;
        if (telnet_) t::AppendData(data, n, wire);
        else wire.assign(data, data + n);
        std::size_t sent = 0;
        const bool ok = Send(wire, TotalTimeoutMs(n), sent);
        // The count is of the caller's bytes whose every wire byte has gone.
        if (sent == wire.size()) {
            done = n;
        } else {
            std::size_t w = 0;
            for (std::size_t i = 0; i < n; ++i) {
                w += telnet_ && data[i] == t::kIac ? 2 : 1;
                if (w > sent) break;
                done = i + 1;
            }
        }
        return ok;
    }

    bool Read(std::uint8_t* data, std::size_t n, std::size_t& done) override {
        done = 0;
        if (n == 0) return true;
        const auto start = SteadyClock::now();
        auto last_byte = start;
        for (;;) {
            if (!data_.empty()) {
                const std::size_t take = std::min(n - done, data_.size());
                std::copy_n(data_.begin(), take, data + done);
                data_.erase(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(take));
                done += take;
                last_byte = SteadyClock::now();
            }
            const std::uint64_t wait = ReadWaitMs(n, done, MsSince(start), MsSince(last_byte));
            if (wait == 0) return true;
            // Bytes that came before the connection ended are still delivered.
            if (dead_) return false;
            Pump(Clamp32(wait));
        }
    }

    bool SetDtr(bool on) override { return Control(on ? t::kControlDtrOn : t::kControlDtrOff); }
    bool SetRts(bool on) override { return Control(on ? t::kControlRtsOn : t::kControlRtsOff); }
    bool SetBreak(bool on) override { return Control(on ? t::kControlBreakOn : t::kControlBreakOff); }

private:
    // A SET-CONTROL request; its answer is not waited for.
    bool Control(std::uint8_t value) {
        if (!telnet_ || com_port_refused_ || dead_) return false;
        std::vector<std::uint8_t> out;
        t::AppendComPortCommand(t::kSetControl, {value}, out);
        return SendAll(out);
    }

    bool SendAll(const std::vector<std::uint8_t>& bytes) {
        std::size_t sent = 0;
        return Send(bytes, TotalTimeoutMs(bytes.size()), sent) && sent == bytes.size();
    }

    // Sends within `limit_ms`; false when the connection failed. While the
    // far end does not take more, what it sends is taken in, so that neither
    // side waits on the other.
    bool Send(const std::vector<std::uint8_t>& bytes, std::uint64_t limit_ms, std::size_t& sent) {
        sent = 0;
        const auto start = SteadyClock::now();
        while (sent < bytes.size() && !dead_) {
            const long w = socket_->Send(bytes.data() + sent, bytes.size() - sent);
            if (w < 0) {
                dead_ = true;
                break;
            }
            sent += static_cast<std::size_t>(w);
            if (sent == bytes.size()) break;
            const std::uint64_t elapsed = MsSince(start);
            if (elapsed >= limit_ms) return true;  // a time-out: a short count
            Pump(0);
            if (socket_->Wait(true, Clamp32(std::min<std::uint64_t>(limit_ms - elapsed, 20))) < 0) dead_ = true;
        }
        return !dead_;
    }

    // Takes in what the far end has sent, waiting up to `ms` for the first of it.
    void Pump(std::uint32_t ms) {
        if (dead_) return;
        const int ready = socket_->Wait(false, ms);
        if (ready < 0) {
            dead_ = true;
            return;
        }
        if (ready == 0) return;
        for (;;) {
            std::uint8_t buf[4096];
            const long got = socket_->Receive(buf, sizeof buf);
            if (got < 0) {
                dead_ = true;
                return;
            }
            if (got == 0) return;
            if (!telnet_) {
                data_.insert(data_.end(), buf, buf + got);
                continue;
            }
            std::vector<t::Command> commands;
            decoder_.Feed(buf, static_cast<std::size_t>(got), data_, commands);
            for (const t::Command& c : commands) Answer(c);
        }
    }

    // The Telnet side: agrees to binary mode, suppressed go-ahead and the COM
    // port option, refuses every other option once, and notes line errors.
    void Answer(const t::Command& c) {
        if (c.kind == t::Command::Kind::Subnegotiation) {
            if (c.option == t::kOptComPort && c.payload.size() >= 2 && c.payload[0] == kNotifyLineState) {
                const std::uint8_t s = c.payload[1];
                if (s & kLineOverrun) errors_ |= kErrOverrun;
                if (s & kLineParity) errors_ |= kErrRxParity;
                if (s & kLineFraming) errors_ |= kErrFrame;
                if (s & kLineBreak) errors_ |= kErrBreak;
            }
            return;
        }
        const bool ours = c.option == t::kOptBinary || c.option == t::kOptSuppressGoAhead || c.option == t::kOptComPort;
        if (c.option == t::kOptComPort && c.verb == t::kDo) com_port_agreed_ = true;
        if (c.option == t::kOptComPort && c.verb == t::kDont) com_port_refused_ = true;
        if (ours) return;  // asked for at the start, both ways
        if (c.verb != t::kWill && c.verb != t::kDo) return;
        if (std::find(refused_.begin(), refused_.end(), c.option) != refused_.end()) return;
        refused_.push_back(c.option);
        std::vector<std::uint8_t> out;
        t::AppendNegotiation(c.verb == t::kWill ? t::kDont : t::kWont, c.option, out);
        SendAll(out);
    }

    std::unique_ptr<TcpSocket> socket_;
    bool telnet_;
    t::Decoder decoder_;
    std::vector<std::uint8_t> data_;  // received and not yet read
    std::vector<std::uint8_t> refused_;
    std::uint32_t errors_ = 0;
    bool com_port_agreed_ = false;
    bool com_port_refused_ = false;
    bool dead_ = false;
};

}  // namespace

bool IsNetworkPort(const std::string& device) {
    const std::string l = Lower(device.substr(0, 10));
    return l.rfind("rfc2217://", 0) == 0 || l.rfind("socket://", 0) == 0;
}

bool ParseNetworkAddress(const std::string& device, NetworkAddress& out) {
    const std::size_t sep = device.find("://");
    if (sep == std::string::npos) return false;
    const std::string scheme = Lower(device.substr(0, sep));
    if (scheme == "rfc2217") out.kind = NetworkAddress::Kind::Rfc2217;
    else if (scheme == "socket") out.kind = NetworkAddress::Kind::Raw;
    else return false;
    const std::string rest = device.substr(sep + 3);
    std::size_t colon = 0;
    if (!rest.empty() && rest[0] == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') return false;
        out.host = rest.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = rest.rfind(':');
        if (colon == std::string::npos) return false;
        out.host = rest.substr(0, colon);
        if (out.host.find(':') != std::string::npos) return false;  // an IPv6 address needs its brackets
    }
    const std::string digits = rest.substr(colon + 1);
    if (out.host.empty() || digits.empty() || digits.size() > 5) return false;
    std::uint32_t port = 0;
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        port = port * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (port == 0 || port > 65535) return false;
    out.port = static_cast<std::uint16_t>(port);
    return true;
}

PortResult OpenNetworkPort(const std::string& device, std::uint32_t baud, std::unique_ptr<Port>& out) {
    out.reset();
    NetworkAddress address;
    if (!ParseNetworkAddress(device, address)) return PortResult::CannotOpen;
    std::unique_ptr<TcpSocket> socket = ConnectTcp(address.host, address.port, kConnectMs);
    if (!socket) return PortResult::CannotOpen;
    auto port = std::make_unique<NetworkPort>(std::move(socket), address.kind == NetworkAddress::Kind::Rfc2217);
    const PortResult rc = port->Configure(baud);
    out = std::move(port);
    return rc;
}

}  // namespace mirelle::serial
