#include "serial/trace_port.h"

#include <cstdio>

namespace mirelle::serial {

namespace {

constexpr std::size_t kBytesPerLine = 32;

std::string Stamp(std::uint64_t micros) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%5llu.%06llu", static_cast<unsigned long long>(micros / 1000000),
                  static_cast<unsigned long long>(micros % 1000000));
    return buf;
}

}  // namespace

std::string TraceLines(std::uint64_t micros, char direction, std::span<const std::uint8_t> bytes) {
    const std::string stamp = Stamp(micros);
    if (bytes.empty()) return stamp + " " + direction + " (nothing)\n";
    std::string out;
    for (std::size_t at = 0; at < bytes.size(); at += kBytesPerLine) {
        out += at == 0 ? stamp + " " + direction : std::string(stamp.size() + 2, ' ');
        for (std::size_t i = at; i < bytes.size() && i < at + kBytesPerLine; ++i) {
            char pair[4];
            std::snprintf(pair, sizeof pair, " %02X", bytes[i]);
            out += pair;
        }
        out += '\n';
    }
    return out;
}

std::string TraceNote(std::uint64_t micros, const std::string& text) { return Stamp(micros) + " * " + text + "\n"; }

PortResult TracingPort::SetBaud(std::uint32_t baud) {
    const PortResult r = inner_->SetBaud(baud);
    sink_(TraceNote(now_(), "rate " + std::to_string(baud) + (r == PortResult::Ok ? "" : " refused")));
    return r;
}

void TracingPort::Purge(PurgeWhich which) {
    inner_->Purge(which);
    sink_(TraceNote(now_(), which == PurgeWhich::Both ? "purge both" : which == PurgeWhich::Receive ? "purge receive" : "purge transmit"));
}

LineStatus TracingPort::ClearErrors() {
    const LineStatus status = inner_->ClearErrors();
    if (status.errors != 0) {
        char text[48];
        std::snprintf(text, sizeof text, "line errors 0x%02X", static_cast<unsigned>(status.errors));
        sink_(TraceNote(now_(), text));
    }
    return status;
}

bool TracingPort::Write(const std::uint8_t* data, std::size_t n, std::size_t& done) {
    const std::uint64_t at = now_();
    const bool ok = inner_->Write(data, n, done);
    sink_(TraceLines(at, '>', std::span<const std::uint8_t>(data, done)) + (ok ? "" : TraceNote(now_(), "write failed")));
    return ok;
}

bool TracingPort::Read(std::uint8_t* data, std::size_t n, std::size_t& done) {
    const bool ok = inner_->Read(data, n, done);
    // Stamped when the read returns: that is when its bytes were there.
    sink_(TraceLines(now_(), '<', std::span<const std::uint8_t>(data, done)) + (ok ? "" : TraceNote(now_(), "read failed")));
    return ok;
}

bool TracingPort::Line(const char* name, bool on, bool ok) {
    sink_(TraceNote(now_(), std::string(name) + (on ? " on" : " off") + (ok ? "" : " refused")));
    return ok;
}

bool TracingPort::SetDtr(bool on) { return Line("DTR", on, inner_->SetDtr(on)); }
bool TracingPort::SetRts(bool on) { return Line("RTS", on, inner_->SetRts(on)); }
bool TracingPort::SetBreak(bool on) { return Line("break", on, inner_->SetBreak(on)); }

}  // namespace mirelle::serial
