#include "chipsim/sim_port.h"

#include <algorithm>

namespace mirelle::chipsim {

class SimPort final : public serial::Port {
public:
    explicit SimPort(SimLine& line) : line_(line) {}
    ~SimPort() override { line_.PortGone(this); }

    serial::PortResult SetBaud(std::uint32_t baud) override {
        if (line_.chip_.Dropped()) return serial::PortResult::CannotReadSettings;
        if (line_.fail_baud_times_ > 0) {
            --line_.fail_baud_times_;
            line_.Event(LineEvent::Kind::SetBaud, baud, line_.fail_baud_code_);
            return line_.fail_baud_code_;
        }
        line_.host_baud_ = baud;
        line_.Event(LineEvent::Kind::SetBaud, baud, serial::PortResult::Ok);
        return serial::PortResult::Ok;
    }

    void Purge(serial::PurgeWhich which) override {
        line_.Event(LineEvent::Kind::Purge, static_cast<std::uint32_t>(which), serial::PortResult::Ok);
        if (which == serial::PurgeWhich::Receive || which == serial::PurgeWhich::Both) {
            Discard();
        }
    }

    serial::LineStatus ClearErrors() override {
        Collect();
        serial::LineStatus status;
        status.errors = line_.line_errors_;
        line_.line_errors_ = 0;
        status.queued = static_cast<std::uint32_t>(queue_.size() + line_.chip_.ReadyCount(line_.NowUs()));
        return status;
    }

    bool Write(const std::uint8_t* data, std::size_t n, std::size_t& done) override {
        done = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const auto result = line_.chip_.Receive(data[i], line_.host_baud_, line_.NowUs());
            if (result == Chip::RxResult::Dropped) {
                line_.Record(WireByte::Direction::HostToChip, data[i], line_.host_baud_, false);
                return false;
            }
            line_.Record(WireByte::Direction::HostToChip, data[i], line_.host_baud_,
                         result == Chip::RxResult::Accepted);
            ++done;
        }
        return true;
    }

    bool Read(std::uint8_t* data, std::size_t n, std::size_t& done) override {
        done = 0;
        if (line_.chip_.Dropped()) return false;
        VirtualClock& clock = line_.clock_;
        const std::uint64_t total_deadline = clock.ElapsedMs() + 80 * std::uint64_t{n} + 80;
        std::uint64_t last_ms = 0;
        while (done < n) {
            const std::uint64_t deadline = done == 0 ? total_deadline : std::min(total_deadline, last_ms + 80);
            if (queue_.empty()) {
                const auto next = line_.chip_.NextTxTime();
                if (!next || *next > deadline * 1000) {
                    if (clock.ElapsedMs() < deadline) clock.Advance(deadline - clock.ElapsedMs());
                    break;
                }
                const std::uint64_t arrive_ms = (*next + 999) / 1000;
                if (arrive_ms > clock.ElapsedMs()) clock.Advance(arrive_ms - clock.ElapsedMs());
                Collect();
                if (queue_.empty()) continue;  // it came at a rate the host does not listen at
            }
            data[done++] = queue_.front();
            queue_.erase(queue_.begin());
            last_ms = clock.ElapsedMs();
        }
        if (done > 0 && line_.noisy_reads_ != 0) {
            line_.line_errors_ |= serial::kErrFrame;
            if (line_.noisy_reads_ > 0) --line_.noisy_reads_;
        }
        return true;
    }

    bool SetDtr(bool on) override { return Line(LineEvent::Kind::Dtr, serial::LineStep::Kind::Dtr, on); }
    bool SetRts(bool on) override { return Line(LineEvent::Kind::Rts, serial::LineStep::Kind::Rts, on); }
    bool SetBreak(bool on) override { return Line(LineEvent::Kind::Break, serial::LineStep::Kind::Break, on); }

private:
    bool Line(LineEvent::Kind event, serial::LineStep::Kind step, bool on) {
        if (!line_.line_control_ || line_.chip_.Dropped()) return false;
        line_.Event(event, 0, serial::PortResult::Ok);
        line_.events_.back().on = on;
        line_.chip_.LineCall(step, on, line_.NowUs());
        return true;
    }

    // Moves the bytes the chip has sent by now into the host's receive queue.
    void Collect() {
        while (auto b = line_.chip_.TakeTx(line_.NowUs())) {
            const bool heard = b->baud == 0 || b->baud == line_.host_baud_;
            line_.Record(WireByte::Direction::ChipToHost, b->byte, b->baud, heard);
            if (heard) {
                queue_.push_back(b->byte);
            } else {
                line_.line_errors_ |= serial::kErrFrame;
            }
        }
    }
    void Discard() {
        Collect();
        queue_.clear();
    }

    SimLine& line_;
    std::vector<std::uint8_t> queue_;
};

SimLine::SimLine(Chip& chip, VirtualClock& clock) : chip_(chip), clock_(clock) {}

SimLine::~SimLine() = default;

serial::PortOpener SimLine::Opener() {
    return [this](const std::string& device, int com_number, std::uint32_t baud,
                  std::unique_ptr<serial::Port>& out) { return Open(device, com_number, baud, out); };
}

serial::PortResult SimLine::Open(const std::string& device, int com_number, std::uint32_t baud,
                  std::unique_ptr<serial::Port>& out) {
    out.reset();
    serial::PortResult code = serial::PortResult::Ok;
    if (port_ != nullptr || chip_.Dropped()) {
        code = serial::PortResult::CannotOpen;
    } else if (fail_open_times_ > 0) {
        --fail_open_times_;
        code = fail_open_code_;
    }
    if (code == serial::PortResult::CannotOpen) {
        Event(LineEvent::Kind::OpenFailed, baud, code, device, com_number);
        return code;
    }
    auto port = std::make_unique<SimPort>(*this);
    port_ = port.get();
    if (code == serial::PortResult::Ok) host_baud_ = baud;
    line_errors_ = 0;
    chip_.DiscardTx(NowUs());  // what was sent while nobody listened is gone
    Event(code == serial::PortResult::Ok ? LineEvent::Kind::Open : LineEvent::Kind::OpenFailed, baud, code, device, com_number);
    out = std::move(port);
    return code;
}

void SimLine::FailOpens(serial::PortResult code, int times) {
    fail_open_code_ = code;
    fail_open_times_ = times;
}

void SimLine::FailSetBaud(serial::PortResult code, int times) {
    fail_baud_code_ = code;
    fail_baud_times_ = times;
}

void SimLine::PortGone(SimPort* port) {
    if (port_ != port) return;
    port_ = nullptr;
    Event(LineEvent::Kind::Close, host_baud_, serial::PortResult::Ok);
    chip_.HostClosed(NowUs());
}

void SimLine::Record(WireByte::Direction d, std::uint8_t byte, std::uint32_t baud, bool delivered) {
    wire_.push_back({d, clock_.ElapsedMs(), byte, baud, delivered});
}

void SimLine::Event(LineEvent::Kind kind, std::uint32_t baud, serial::PortResult code, const std::string& device, int com) {
    events_.push_back({kind, clock_.ElapsedMs(), baud, code, device, com});
}

std::vector<std::uint8_t> SimLine::Written() const {
    std::vector<std::uint8_t> out;
    for (const WireByte& w : wire_) {
        if (w.direction == WireByte::Direction::HostToChip) out.push_back(w.byte);
    }
    return out;
}

std::vector<std::uint8_t> SimLine::Received() const {
    std::vector<std::uint8_t> out;
    for (const WireByte& w : wire_) {
        if (w.direction == WireByte::Direction::ChipToHost && w.delivered) out.push_back(w.byte);
    }
    return out;
}

std::vector<std::uint32_t> SimLine::Rates() const {
    std::vector<std::uint32_t> out;
    for (const LineEvent& e : events_) {
        if ((e.kind == LineEvent::Kind::Open || e.kind == LineEvent::Kind::SetBaud) && e.code == serial::PortResult::Ok) {
            out.push_back(e.baud);
        }
    }
    return out;
}

int SimLine::OpenCount() const {
    return static_cast<int>(std::count_if(events_.begin(), events_.end(),
                                          [](const LineEvent& e) { return e.kind == LineEvent::Kind::Open; }));
}

void SimLine::ClearRecords() {
    wire_.clear();
    events_.clear();
}

}  // namespace mirelle::chipsim
