// The station benchmark: boards per hour of a production station against
// the ideal.
//
// N slots, each a mirelle-sim at line rate behind its own pseudo-terminal,
// program M boards each. A board handler per slot (this program, through the
// simulator's control FIFO) puts a board in, waits for the slot's verdict,
// takes the board out and needs a fixed handling time before the next one
// goes in, as an operator or a handler would. For each N it prints:
//   boards/h    boards finished per hour, from the first board in to the last
//               verdict and its handling time
//   ideal/h     N x 3600 / (time per board alone + handling time)
//   share       boards/h / ideal/h
//   cpu/board   the station's own CPU time (user + system of the slots' threads;
//               not the board handler's, nor the simulators', which are other
//               processes) per board
//   cpu/wire    cpu/board / the time per board alone
// "Time per board alone" is the mean time from board seen to verdict of the
// N = 1 run: the wire time of the download and the flash exchange with the
// pauses the boot protocol prescribes.
//
// Run by hand (benchmarks/station/run builds and starts it):
//   mirelle_station_benchmark [--sim PATH] [--slots 1,4,8,16] [--boards M]
//                             [--handling-ms H] [--size BYTES] [--rate BAUD] [--keep]
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hexfile/readout_records.h"
#include "station/job_file.h"
#include "station/station.h"

namespace fs = std::filesystem;
using namespace mirelle;

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string sim;
    std::vector<int> slots{1, 4, 8, 16};
    int boards = 3;
    int handling_ms = 2000;
    std::uint32_t size = 16 * 1024;
    std::uint32_t rate = 115200;
    bool keep = false;
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double CpuOf(int who) {
    rusage use{};
    getrusage(who, &use);
    return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

// The CPU time of the station's own threads: the process's without this
// (the board handler's) thread.
double CpuSeconds() { return CpuOf(RUSAGE_SELF) - CpuOf(RUSAGE_THREAD); }

constexpr std::uint32_t kFlashStart = 0x80000;
constexpr std::uint32_t kBootBaud = 9600;

// The chip (one area of 64 KiB), its control program and a program file of
// `size` bytes of data; records in the folder's own store.
void WriteProgramFolder(const fs::path& dir, const Options& o) {
    fs::create_directories(dir);
    std::ofstream(dir / "CHIPDEF.INI", std::ios::binary)
        << "[TQ4A10]\r\nDownloadFile=cp4a10.bin\r\nLoadAddress=0x1000\r\nStartAddress=0x" << std::hex << kFlashStart
        << "\r\nEndAddress=0x" << kFlashStart + 0xFFFF << std::dec << "\r\nFlashSize=64\r\nClock=20MHz\r\nBaud="
        << kBootBaud << "\r\nBaud2=" << o.rate << "\r\n";
    std::ofstream(dir / "cp4a10.bin", std::ios::binary) << std::string(640, '\x5A');
    std::vector<std::uint8_t> image(o.size);
    std::uint32_t x = 12345;
    for (auto& b : image) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>((x >> 16) % 0xFF);
    }
    std::ofstream f(dir / "image.mot", std::ios::binary);
    f << "S0030000FC\r\n";
    for (std::uint32_t at = 0; at < o.size; at += 32) f << hexfile::FormatSRecord(std::span(image).subspan(at, 32), kFlashStart + at, 3);
    f << "S70500000000FA\r\n";
}

// One slot's simulator: no board at first; boards go in and out through its FIFO.
struct Sim {
    pid_t pid = -1;
    fs::path link, control;
};

Sim StartSim(const Options& o, const fs::path& dir, int index) {
    Sim s;
    s.link = dir / ("tty" + std::to_string(index));
    s.control = dir / ("control" + std::to_string(index));
    const std::vector<std::string> args{o.sim, "--chipdef", (dir / "CHIPDEF.INI").string(), "--target", "TQ4A10",
                                        "--link", s.link.string(), "--control", s.control.string(), "--empty",
                                        "--erase-ms", "0", "--blank-ms", "0", "--program-ms", "0"};
    s.pid = fork();
    if (s.pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    for (int i = 0; i < 500 && !(fs::exists(s.link) && fs::exists(s.control)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return s;
}

void Tell(const Sim& s, const char* line) {
    std::ofstream(s.control) << line << "\n";
}

void StopSim(const Sim& s) {
    if (s.pid <= 0) return;
    kill(s.pid, SIGTERM);
    waitpid(s.pid, nullptr, 0);
}

struct RunFigures {
    int boards = 0, passed = 0;
    double elapsed = 0;       // first board in to last verdict
    double mean_board = 0;    // board seen to verdict, mean
    double cpu = 0;           // this process, over the run
};

RunFigures RunStation(const Options& o, const fs::path& root, int n) {
    const fs::path dir = root / ("slots-" + std::to_string(n));
    fs::remove_all(dir);
    WriteProgramFolder(dir, o);
    std::vector<Sim> sims;
    for (int i = 0; i < n; ++i) sims.push_back(StartSim(o, dir, i + 1));

    station::Job job;
    job.path = (dir / "bench.job").string();
    job.name = "bench";
    job.target = "TQ4A10";
    job.program_file = "image.mot";
    job.detection = station::Detection::kProbe;
    for (int i = 0; i < n; ++i) job.slots.push_back({std::to_string(i + 1), sims[static_cast<std::size_t>(i)].link.string()});
    std::string error;
    const std::string home = dir.string() + "/";
    if (!station::SealJob(job, home, error)) {
        std::fprintf(stderr, "job: %s\n", error.c_str());
        std::exit(1);
    }

    RunFigures f;
    {
        station::Station st(job, home);
        st.StartAll();
        // Per slot: boards put in so far, and when the next may go in.
        std::vector<int> put(static_cast<std::size_t>(n), 0);
        std::vector<Clock::time_point> next(static_cast<std::size_t>(n), Clock::now());
        std::vector<bool> in(static_cast<std::size_t>(n), false);
        const double cpu_start = CpuSeconds();
        const auto start = Clock::now();
        auto last = start;
        double board_time = 0;
        while (f.boards < n * o.boards) {
            const auto now = Clock::now();
            for (int i = 0; i < n; ++i) {
                const auto k = static_cast<std::size_t>(i);
                if (!in[k] && put[k] < o.boards && now >= next[k]) {
                    Tell(sims[k], "insert");
                    in[k] = true;
                    ++put[k];
                }
            }
            for (const station::Verdict& v : st.TakeVerdicts()) {
                const auto k = static_cast<std::size_t>(v.slot);
                Tell(sims[k], "remove");
                in[k] = false;
                next[k] = Clock::now() + std::chrono::milliseconds(o.handling_ms);
                ++f.boards;
                f.passed += v.passed ? 1 : 0;
                board_time += v.seconds;
                last = Clock::now();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (Seconds(Clock::now() - start) > 600.0 * o.boards) {
                std::fprintf(stderr, "N=%d: no verdict for too long; %d boards done\n", n, f.boards);
                break;
            }
        }
        // M whole cycles: the last board's handling counts as every other's.
        f.elapsed = Seconds(last - start) + o.handling_ms / 1000.0;
        f.mean_board = f.boards ? board_time / f.boards : 0;
        f.cpu = CpuSeconds() - cpu_start;
        st.StopAll();
        for (int i = 0; i < 200 && !st.AllStopped(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    for (const Sim& s : sims) StopSim(s);
    if (!o.keep) fs::remove_all(dir);
    return f;
}

std::vector<int> IntList(const std::string& text) {
    std::vector<int> out;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');) out.push_back(std::stoi(item));
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const std::string v = i + 1 < argc ? argv[i + 1] : "";
        if (a == "--sim") o.sim = v, ++i;
        else if (a == "--slots") o.slots = IntList(v), ++i;
        else if (a == "--boards") o.boards = std::stoi(v), ++i;
        else if (a == "--handling-ms") o.handling_ms = std::stoi(v), ++i;
        else if (a == "--size") o.size = static_cast<std::uint32_t>(std::stoul(v)), ++i;
        else if (a == "--rate") o.rate = static_cast<std::uint32_t>(std::stoul(v)), ++i;
        else if (a == "--keep") o.keep = true;
        else {
            std::fprintf(stderr, "usage: %s [--sim PATH] [--slots 1,4,8,16] [--boards M] [--handling-ms H] "
                                 "[--size BYTES] [--rate BAUD] [--keep]\n", argv[0]);
            return 2;
        }
    }
    if (o.sim.empty()) {
        std::fprintf(stderr, "--sim PATH: the mirelle-sim to run\n");
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    const fs::path root = fs::temp_directory_path() / ("mirelle-station-bench-" + std::to_string(getpid()));
    std::printf("%u bytes at %u baud (boot %u), %d boards per slot, handling %d ms, %u cores\n", o.size, o.rate,
                kBootBaud, o.boards, o.handling_ms, std::thread::hardware_concurrency());
    std::printf("%5s %7s %7s %9s %9s %7s %10s %9s\n", "slots", "boards", "passed", "boards/h", "ideal/h", "share",
                "cpu/board", "cpu/wire");
    double alone = 0;
    for (int n : o.slots) {
        const RunFigures f = RunStation(o, root, n);
        if (alone == 0) alone = f.mean_board;
        const double per_hour = f.elapsed > 0 ? f.boards * 3600.0 / f.elapsed : 0;
        const double ideal = n * 3600.0 / (alone + o.handling_ms / 1000.0);
        const double cpu_board = f.boards ? f.cpu / f.boards : 0;
        std::printf("%5d %7d %7d %9.0f %9.0f %6.1f%% %9.3fs %8.2f%%\n", n, f.boards, f.passed, per_hour, ideal,
                    ideal > 0 ? 100.0 * per_hour / ideal : 0, cpu_board, alone > 0 ? 100.0 * cpu_board / alone : 0);
        std::fflush(stdout);
    }
    std::printf("time per board alone (board seen to verdict, N=%d): %.2f s\n", o.slots.front(), alone);
    if (!o.keep) fs::remove_all(root);
    return 0;
}
