// A port that writes down every byte it moves, for bug reports: each write
// and read with its time in microseconds and its direction, the rate changes,
// purges and line changes, on lines of text that a sink takes. It wraps any Port, so the
// termios port, the Windows port and the tests' ports are traced alike.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "serial/port.h"

namespace mirelle::serial {

// The lines for `bytes` moved at `micros` ('>' sent, '<' received):
// "   12.345678 > 18 00 00 10", 32 bytes a line, the lines after the first
// with blanks for the time. A read that brought nothing is one line:
// "   12.345678 < (nothing)".
std::string TraceLines(std::uint64_t micros, char direction, std::span<const std::uint8_t> bytes);
// One line of another event: "   12.345678 * rate 19200".
std::string TraceNote(std::uint64_t micros, const std::string& text);

class TracingPort final : public Port {
public:
    using Sink = std::function<void(const std::string& lines)>;
    using Micros = std::function<std::uint64_t()>;
    TracingPort(std::unique_ptr<Port> inner, Sink sink, Micros now)
        : inner_(std::move(inner)), sink_(std::move(sink)), now_(std::move(now)) {}

    PortResult SetBaud(std::uint32_t baud) override;
    void Purge(PurgeWhich which) override;
    LineStatus ClearErrors() override;
    bool Write(const std::uint8_t* data, std::size_t n, std::size_t& done) override;
    bool Read(std::uint8_t* data, std::size_t n, std::size_t& done) override;
    bool SetDtr(bool on) override;
    bool SetRts(bool on) override;
    bool SetBreak(bool on) override;

private:
    // Passes a line change on and notes it ("DTR on", "break off refused").
    bool Line(const char* name, bool on, bool ok);

    std::unique_ptr<Port> inner_;
    Sink sink_;
    Micros now_;
};

}  // namespace mirelle::serial
