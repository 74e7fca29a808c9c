// The transfer benchmark: how close Mirelle's transfers come to the wire.
//
// The protocol is stop-and-wait (a block, then its status), so a transfer can
// never be faster than the line time of the bytes exchanged. This program runs
// the main window's Full Operation, Read & Compare and Copy on a 128 KiB image
// against mirelle-sim at line rate, through the real termios port, and prints
// for each phase:
//   measured  the wall time of the phase, as the user waits for it
//   wire      the line time of the bytes exchanged, from the simulator's trace
//   ratio     measured / wire
//   host      the host's own time: from each answer reaching the host to the
//             host's next byte going on the line, summed
//   host%     host / wire
//   code      the part of `host` spent in Mirelle's own code: from the read
//             that brought an answer returning to the next write being
//             called, as the port sees it (the rest of `host` is the system
//             waking the program up and moving the bytes)
//   delivery  the time the answers took from leaving the line to reaching
//             the host: the adapter's latency and the simulator's own
//             wake-up delay (summed over the answers the host turned around)
// The chip's own work (erase, blank check, programming) takes no time in the
// simulator here, so whatever is not wire time belongs to the host and the
// adapter. The download phase holds the pauses the boot protocol prescribes
// (2500 ms before it, 250 ms before and after the switch to the working
// rate) and runs at the boot rate; the flash phases run at the rate measured.
//
// Run by hand (benchmarks/transfer/run builds and starts it):
//   mirelle_transfer_benchmark [--sim PATH] [--rates 115200,230400]
//                              [--latencies 0,16,1] [--size BYTES] [--keep]
// A phase whose command the main window does not offer yet is listed as such.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/windows/control_ids.h"
#include "app/windows/writer_app.h"
#include "app/windows/writer_dlg.h"
#include "platform/clock.h"
#include "ui/scripted_backend.h"
#include "serial/port.h"
#include "serial/termios_port.h"

namespace fs = std::filesystem;
using namespace mirelle;

namespace {

constexpr std::uint32_t kBootBaud = 9600;
constexpr std::uint32_t kFlashStart = 0x80000;

struct Options {
    std::string sim;
    std::vector<std::uint32_t> rates{115200, 230400};
    std::vector<std::uint32_t> latencies{0, 16, 1};
    std::uint32_t size = 128 * 1024;
    bool keep = false;
};

double MonotonicSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::vector<std::uint32_t> NumberList(const std::string& text) {
    std::vector<std::uint32_t> out;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');) out.push_back(static_cast<std::uint32_t>(std::stoul(item)));
    return out;
}

// ---- the program folder -------------------------------------------------------

std::string SRecord(std::uint32_t address, const std::uint8_t* data, std::size_t n) {
    static const char* const kHex = "0123456789ABCDEF";
    std::vector<std::uint8_t> body{static_cast<std::uint8_t>(n + 5), static_cast<std::uint8_t>(address >> 24),
                                   static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 8),
                                   static_cast<std::uint8_t>(address)};
    for (std::size_t i = 0; i < n; ++i) body.push_back(data[i]);
    unsigned sum = 0;
    for (std::uint8_t b : body) sum += b;
    body.push_back(static_cast<std::uint8_t>(~sum));
    std::string line = "S3";
    for (std::uint8_t b : body) {
        line += kHex[b >> 4];
        line += kHex[b & 15];
    }
    return line + "\r\n";
}

// The chip: one area of `size` bytes, booting at 9600, working at `rate`.
void WriteProgramFolder(const fs::path& dir, std::uint32_t size, std::uint32_t rate, const fs::path& link) {
    fs::create_directories(dir);
    std::ofstream(dir / "CHIPDEF.INI", std::ios::binary)
        << "[TQ4A10]\r\nDownloadFile=cp4a10.bin\r\nLoadAddress=0x1000\r\nStartAddress=0x"
        << std::hex << kFlashStart << "\r\nEndAddress=0x" << kFlashStart + size - 1 << std::dec
        << "\r\nFlashSize=" << size / 1024 << "\r\nClock=20MHz\r\nBaud=" << kBootBaud << "\r\nBaud2=" << rate
        << "\r\n";
    std::ofstream(dir / "cp4a10.bin", std::ios::binary) << std::string(640, '\x5A');
    std::ofstream(dir / "Customize.ini", std::ios::binary) << "[Ports]\r\nCOM1=" << link.string() << "\r\n";
    std::ofstream(dir / "DATAFILE.TXT", std::ios::binary)
        << "[Recent]\r\nCPU=0\r\nRATE=0\r\nWrite File=" << (dir / "image.mot").string() << "\r\n";
    // Data everywhere (no block of 0xFF to skip), from a fixed generator.
    std::vector<std::uint8_t> image(size);
    std::uint32_t x = 12345;
    for (auto& b : image) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>((x >> 16) % 0xFF);
    }
    std::ofstream f(dir / "image.mot", std::ios::binary);
    f << "S0030000FC\r\n";
    for (std::uint32_t at = 0; at < size; at += 32) f << SRecord(kFlashStart + at, image.data() + at, 32);
    f << "S70500000000FA\r\n";
}

// ---- the simulator --------------------------------------------------------------

pid_t StartSim(const Options& o, const fs::path& dir, std::uint32_t latency, const fs::path& link) {
    const std::vector<std::string> args{o.sim, "--chipdef", (dir / "CHIPDEF.INI").string(), "--target", "TQ4A10",
                                        "--link", link.string(), "--trace", (dir / "trace.txt").string(),
                                        "--erase-ms", "0", "--blank-ms", "0", "--program-ms", "0",
                                        "--latency-ms", std::to_string(latency)};
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    for (int i = 0; i < 300 && !fs::exists(link); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return pid;
}

void StopSim(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

// ---- the host's own view -----------------------------------------------------------

// The termios port, timing the host's turnarounds: from a read that returned
// bytes to the next write call.
class TimedPort final : public serial::Port {
public:
    struct Turn {
        double at = 0;    // monotonic seconds, when the write was called
        double took = 0;  // since the read returned
    };
    TimedPort(std::unique_ptr<serial::Port> port, std::vector<Turn>& turns) : port_(std::move(port)), turns_(turns) {}
    serial::PortResult SetBaud(std::uint32_t baud) override { return port_->SetBaud(baud); }
    void Purge(serial::PurgeWhich which) override { port_->Purge(which); }
    serial::LineStatus ClearErrors() override { return port_->ClearErrors(); }
    bool SetDtr(bool on) override { return port_->SetDtr(on); }
    bool SetRts(bool on) override { return port_->SetRts(on); }
    bool SetBreak(bool on) override { return port_->SetBreak(on); }
    bool Write(const std::uint8_t* data, std::size_t n, std::size_t& done) override {
        const double now = MonotonicSeconds();
        if (last_read_ > 0) turns_.push_back({now, now - last_read_});
        last_read_ = 0;
        return port_->Write(data, n, done);
    }
    bool Read(std::uint8_t* data, std::size_t n, std::size_t& done) override {
        const bool ok = port_->Read(data, n, done);
        if (done > 0) last_read_ = MonotonicSeconds();
        return ok;
    }

private:
    std::unique_ptr<serial::Port> port_;
    std::vector<Turn>& turns_;
    double last_read_ = 0;
};

// ---- the trace ------------------------------------------------------------------

struct WireByte {
    double start = 0, end = 0, far = 0;  // seconds since the simulator's start
    bool to_chip = false;
    std::uint32_t baud = 0;
};

struct Trace {
    double origin = 0;  // the simulator's start on the monotonic clock
    std::vector<WireByte> bytes;  // delivered bytes, by their start on the line
};

Trace ReadTrace(const fs::path& path) {
    Trace t;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream s(line);
        double a = 0;
        std::string second;
        s >> a >> second;
        if (second == "--") {
            const auto at = line.find("clock origin ");
            if (at != std::string::npos) t.origin = std::stod(line.substr(at + 13));
            continue;
        }
        WireByte b;
        b.start = a;
        b.end = std::stod(second);
        std::string dir, byte;
        s >> b.far >> dir >> byte >> b.baud;
        std::string note;
        std::getline(s, note);
        if (note.find_first_not_of(' ') != std::string::npos) continue;  // ignored, not heard or lost
        b.to_chip = dir == "H>C";
        t.bytes.push_back(b);
    }
    std::stable_sort(t.bytes.begin(), t.bytes.end(),
                     [](const WireByte& x, const WireByte& y) { return x.start < y.start; });
    return t;
}

// ---- one run ----------------------------------------------------------------------

struct Phase {
    std::string name;
    double begin = 0, end = 0;  // monotonic seconds
    bool ran = true;
    std::string result;
};

struct Row {
    std::string name;
    bool ran = true;
    double measured = 0, wire = 0, host = 0, code = 0, delivery = 0;
    std::string result;
};

Row MakeRow(const std::string& name, bool ran, double measured) {
    Row row;
    row.name = name;
    row.ran = ran;
    row.measured = measured;
    return row;
}

// Wire and host time of the bytes in [begin, end) (simulator seconds). An
// answer's turnaround counts in the phase of the answer.
void Account(const Trace& trace, const std::vector<TimedPort::Turn>& turns, double begin, double end, Row& row) {
    for (const TimedPort::Turn& t : turns) {
        const double at = t.at - trace.origin;
        if (at >= begin && at < end) row.code += t.took;
    }
    const WireByte* last_answer = nullptr;
    for (const WireByte& b : trace.bytes) {
        if (b.to_chip) {
            if (last_answer && last_answer->start >= begin && last_answer->start < end) {
                row.host += std::max(0.0, b.start - last_answer->far);
                row.delivery += last_answer->far - last_answer->end;
            }
            last_answer = nullptr;
        } else {
            last_answer = &b;
        }
        if (b.start >= begin && b.start < end) row.wire += b.end - b.start;
    }
}

std::string LastStatus(const ui::ScriptedBackend& backend) {
    const auto texts = backend.TextsOf(idc::kProgressTemplate, idc::kStatusText);
    return texts.empty() ? "" : texts.back();
}

std::vector<Row> RunOnce(const Options& o, std::uint32_t rate, std::uint32_t latency) {
    const fs::path dir = fs::temp_directory_path() /
                         ("mirelle-transfer-" + std::to_string(getpid()) + "-" + std::to_string(rate) + "-" +
                          std::to_string(latency));
    fs::remove_all(dir);
    const fs::path link = dir / "ttySIM";
    WriteProgramFolder(dir, o.size, rate, link);
    const pid_t sim = StartSim(o, dir, latency, link);

    ui::ScriptedBackend backend;
    ui::SetActiveBackend(&backend);
    SetProgramClock(nullptr);
    // The user presses the progress window's button as soon as it shows a result.
    backend.on_pump = [&backend] {
        ui::Dialog* p = backend.FindLive(idc::kProgressTemplate);
        if (p == nullptr) return;
        const ui::ControlState* icon = p->FindControl(idc::kStatusIcon);
        if (icon != nullptr && icon->icon != 0 && p->IsControlEnabled(idc::kProgressButton))
            backend.Click(*p, idc::kProgressButton);
    };
    backend.file_answers.push_back((dir / "copy.mot").string());
    std::vector<TimedPort::Turn> turns;
    const serial::PortOpener timed_opener = [&turns](const std::string& device, int, std::uint32_t baud,
                                                     std::unique_ptr<serial::Port>& out) {
        std::unique_ptr<serial::Port> port;
        const serial::PortResult rc = serial::OpenTermiosPort(device, baud, port);
        if (port) out = std::make_unique<TimedPort>(std::move(port), turns);
        return rc;
    };

    std::vector<Phase> phases;
    const auto command = [&](const std::string& name, CWriterDlg& w, int id) {
        Phase p;
        p.name = name;
        const std::size_t texts_before = backend.texts.size();
        p.begin = MonotonicSeconds();
        backend.Click(w, id);
        p.end = MonotonicSeconds();
        p.ran = backend.texts.size() != texts_before;  // a command that exists opens its window
        p.result = LastStatus(backend);
        phases.push_back(p);
    };
    AppEnvironment env;
    env.executable_path = (dir / "mirelle").string();
    env.program_dir = dir.string() + "/";
    env.port_opener = timed_opener;
    {
        CWriterApp app(env);
        backend.modal_scripts.push_back([&](ui::Dialog& d) {
            auto& w = static_cast<CWriterDlg&>(d);
            command("Full Operation", w, idc::kFullOperation);
            command("Read & Compare", w, idc::kCompare);
            command("Copy", w, idc::kCopy);
        });
        app.InitInstance();
    }
    ui::SetActiveBackend(nullptr);
    StopSim(sim);

    const Trace trace = ReadTrace(dir / "trace.txt");
    std::vector<Row> rows;
    for (const Phase& p : phases) {
        const double begin = p.begin - trace.origin;
        const double end = p.end - trace.origin;
        if (p.name != "Full Operation") {
            Row row = MakeRow(p.name, p.ran, p.end - p.begin);
            row.result = p.result;
            if (p.ran) Account(trace, turns, begin, end, row);
            rows.push_back(row);
            continue;
        }
        // The download, at the boot rate, up to the first byte at the working rate.
        double split = end;
        for (const WireByte& b : trace.bytes) {
            if (b.start >= begin && b.start < end && b.baud == rate) {
                split = b.start;
                break;
            }
        }
        Row download = MakeRow("  download", p.ran, split - begin);
        Account(trace, turns, begin, split, download);
        Row flash = MakeRow("  erase/blank/program", p.ran, end - split);
        Account(trace, turns, split, end, flash);
        flash.result = p.result;
        rows.push_back(download);
        rows.push_back(flash);
    }
    if (!o.keep) fs::remove_all(dir);
    return rows;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    o.sim = (fs::path(argv[0]).parent_path() / "mirelle-sim").string();
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << a << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--sim") o.sim = value();
        else if (a == "--rates") o.rates = NumberList(value());
        else if (a == "--latencies") o.latencies = NumberList(value());
        else if (a == "--size") o.size = static_cast<std::uint32_t>(std::stoul(value()));
        else if (a == "--keep") o.keep = true;
        else {
            std::cerr << "usage: " << argv[0]
                      << " [--sim PATH] [--rates 115200,230400] [--latencies 0,16,1] [--size BYTES] [--keep]\n";
            return 2;
        }
    }
    if (o.size == 0 || o.size % 512 != 0) {
        std::cerr << "--size must be a positive multiple of 512\n";
        return 2;
    }

    std::printf("Transfer of a %u KiB image; boot rate %u; chip work takes no time.\n", o.size / 1024, kBootBaud);
    std::printf("%-8s %-8s %-22s %10s %10s %7s %10s %7s %10s %10s  %s\n", "rate", "latency", "phase", "measured",
                "wire", "ratio", "host", "host%", "code", "delivery", "result");
    for (const std::uint32_t rate : o.rates) {
        for (const std::uint32_t latency : o.latencies) {
            for (const Row& r : RunOnce(o, rate, latency)) {
                const std::string lat = std::to_string(latency) + " ms";
                if (!r.ran) {
                    std::printf("%-8u %-8s %-22s %10s\n", rate, lat.c_str(), r.name.c_str(), "(not offered yet)");
                    continue;
                }
                std::printf("%-8u %-8s %-22s %9.3fs %9.3fs %7.3f %9.4fs %6.2f%% %9.4fs %9.4fs  %s\n", rate,
                            lat.c_str(), r.name.c_str(), r.measured, r.wire, r.wire > 0 ? r.measured / r.wire : 0.0,
                            r.host, r.wire > 0 ? 100.0 * r.host / r.wire : 0.0, r.code, r.delivery,
                            r.result.c_str());
            }
            std::fflush(stdout);
        }
    }
    return 0;
}
