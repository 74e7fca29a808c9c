#include "cli/cli_run.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "cli/cli_events.h"
#include "cli/exit_status.h"
#include "cli/json_text.h"
#include "cli/port_names.h"
#include "engine/chip_problems.h"
#include "engine/flash_session.h"
#include "engine/load_outcome.h"
#include "engine/unattended_start.h"
#include "platform/child_process.h"
#include "platform/file.h"
#include "platform/folder_lock.h"
#include "platform/interrupt.h"
#include "platform/system.h"
#include "platform/terminal.h"
#include "platform/textfile.h"
#include "protocol/block_plan.h"
#include "serial/device_list.h"
#include "serial/port.h"
#include "settings/settings.h"
#include "target/chip_definition.h"
#include "texts/result_codes.h"
#include "texts/string_table.h"

namespace mirelle::cli {

namespace fs = std::filesystem;

namespace {

std::string HomeOf(const Options& o) {
    std::string home = o.home ? *o.home : sys::ProgramDir();
    if (home.empty()) home = "./";
    // The operations change the working folder to it: it must not be relative.
    std::error_code ec;
    const fs::path absolute = fs::absolute(home, ec);
    if (!ec) home = absolute.string();
    if (fs::path(home).has_filename()) home += static_cast<char>(fs::path::preferred_separator);
    return home;
}

// The message of a report as lines: CR LF pairs to LF, no trailing blank.
std::string Readable(std::string text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    while (!out.empty() && out.front() == ' ') out.erase(0, 1);
    return out;
}

int Fail(const Options& o, int status, const std::string& text) {
    if (o.json) {
        JsonObject j;
        j.Add("event", "result").Add("status", status).Add("result", exit_status::Word(status)).Add("text", text);
        std::printf("%s\n", j.Text().c_str());
    } else {
        std::fprintf(stderr, "mirelle-cli: %s\n", text.c_str());
    }
    return status;
}

int ListTargets(const Options& o, const std::string& home) {
    const std::string chipdef = home + "CHIPDEF.INI";
    if (!sys::FileExists(chipdef)) return Fail(o, exit_status::kUsage, chipdef + ": no such file");
    const auto names = target::ListTargets(chipdef);
    if (names.empty()) return Fail(o, exit_status::kUsage, chipdef + ": no complete chip definition");
    for (const std::string& name : names) {
        const target::ChipDefinition def = target::ReadChipDefinition(chipdef, name);
        const target::DownloadKeys keys = target::ReadDownloadKeys(chipdef, name);
        std::vector<std::string> areas, clocks;
        for (int i = 0; i < def.area_count; ++i) {
            char buf[48];
            std::snprintf(buf, sizeof buf, "0x%08X-0x%08X", static_cast<unsigned>(def.start[static_cast<std::size_t>(i)]),
                          static_cast<unsigned>(def.end[static_cast<std::size_t>(i)]));
            areas.push_back(buf);
        }
        for (std::size_t i = 0; i < def.clocks.size(); ++i) {
            std::string c = def.clocks[i];
            if (i < keys.baud.size()) c += " (boot " + std::to_string(keys.baud[i]);
            const auto& work = keys.has_baud2 ? keys.baud2 : keys.baud;
            if (i < work.size()) c += ", work " + std::to_string(work[i]);
            if (i < keys.baud.size()) c += " bit/s)";
            clocks.push_back(c);
        }
        const engine::ChipCheck check = engine::CheckChip(chipdef, name);
        if (o.json) {
            JsonObject j;
            j.Add("event", "target").Add("name", name).Add("areas", areas).Add("clocks", clocks);
            j.Add("refused", !check.refusal.empty()).Add("problems", check.texts);
            std::printf("%s\n", j.Text().c_str());
            continue;
        }
        std::printf("%s%s\n", name.c_str(), check.refusal.empty() ? "" : "  (refused: its definition is wrong)");
        for (const std::string& p : check.texts) std::printf("  problem %s\n", p.c_str());
        for (const std::string& a : areas) std::printf("  area   %s\n", a.c_str());
        for (std::size_t i = 0; i < clocks.size(); ++i) std::printf("  clock  %zu: %s\n", i, clocks[i].c_str());
    }
    return exit_status::kSuccess;
}

int ListPorts(const Options& o, const std::string& home) {
    const std::string customize = home + "Customize.ini";
    if ((o.map_com != 0 || o.unmap_com != 0) && !PortMapExists())
        return Fail(o, exit_status::kUsage, "COMn is the port \\\\.\\COMn on this system; there is no [Ports] map to change");
    if (o.map_com != 0 || o.unmap_com != 0) {
        const int n = o.map_com ? o.map_com : o.unmap_com;
        const bool ok = o.map_com ? settings::MapComPort(customize, n, o.map_device)
                                  : settings::UnmapComPort(customize, n);
        if (!ok) return Fail(o, exit_status::kUsage, customize + ": cannot write");
        const std::string text = o.map_com ? "COM" + std::to_string(n) + " is " + o.map_device + " (" + customize + ")"
                                           : "COM" + std::to_string(n) + " is " + settings::ComDevicePath(customize, n) +
                                                 " again (" + customize + ")";
        if (o.json) {
            JsonObject j;
            j.Add("event", "result").Add("status", exit_status::kSuccess).Add("result", exit_status::Word(exit_status::kSuccess)).Add("text", text);
            std::printf("%s\n", j.Text().c_str());
        } else {
            std::printf("%s\n", text.c_str());
        }
        return exit_status::kSuccess;
    }
    std::string map_text;
    sys::ReadWholeFile(home + "Customize.ini", map_text);  // no file: no map
    const auto devices = serial::ListSerialDevices(serial::PortRoots{}, map_text);
    std::fputs(serial::FormatSerialDevices(devices, o.json).c_str(), stdout);
    return exit_status::kSuccess;
}

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The names of the target list as the window shows them (in capitals).
std::string Capitals(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Where read writes OUT: through a symbolic link to the file it names, so
// that the new file does not replace the link.
// A link to a file not made yet still leads there.
std::string ReadTarget(const std::string& out) {
    std::error_code ec;
    fs::path path = fs::absolute(out, ec);
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(path, ec)); ++hops) {
        const fs::path next = fs::read_symlink(path, ec);
        if (ec) break;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return path.lexically_normal().string();
}

// What a single command came to.
struct Outcome {
    int status = exit_status::kChipFailed;
    int code = -1;
    std::string text;
    long long bytes = 0;
};

// Sets the session up as the window starts: the remembered chip and clock
// (DATAFILE.TXT) unless --target and --clock say otherwise. Empty when the
// session can run; else why not, with the status in `status`.
std::string PrepareSession(const Options& o, const std::string& home, engine::FlashSession& session, int& status) {
    const settings::RecentSelection recent = settings::ReadRecent(home + "DATAFILE.TXT");
    session.m_nRate = recent.rate;
    std::vector<std::string> names;
    if (sys::FileExists(session.m_strChipDefPath))
        for (const std::string& name : target::ListTargets(session.m_strChipDefPath)) names.push_back(Capitals(name));
    if (names.empty()) {
        // The window's start-up failure, logged as the window logs it.
        session.WriteResultLog(0, "REGIST FAILED!\n");
        session.GetEvents().Warning(session.m_strChipDefPath +
                                    (sys::FileExists(session.m_strChipDefPath)
                                         ? ": no complete chip definition"
                                         : ": no such file (the chip definitions are looked for in the program folder)"));
        status = exit_status::kUsage;
        return "";
    }
    if (!o.target && settings::RecentTargetGone(recent, names)) {
        status = exit_status::kUsage;
        return "the target " + recent.target_name + " of DATAFILE.TXT is not in CHIPDEF.INI (--target chooses one)";
    }
    int index = settings::RecentTargetIndex(recent, names);
    if (o.target) {
        index = -1;
        for (std::size_t i = 0; i < names.size(); ++i)
            if (SameText(names[i], *o.target)) index = static_cast<int>(i);
        if (index < 0) {
            status = exit_status::kUsage;
            return "no target " + *o.target + " in " + home + "CHIPDEF.INI (mirelle-cli targets lists them)";
        }
    }
    const target::ChipDefinition def = session.SelectTarget(names[static_cast<std::size_t>(index)]);
    if (session.TellChipProblems()) {
        session.WriteResultLog(0, session.m_chipCheck.refusal + "\n");
        status = exit_status::kUsage;
        return session.m_chipCheck.refusal;
    }
    if (o.clock) {
        int found = -1;
        const int count = static_cast<int>(def.clocks.size());
        char* end = nullptr;
        const long n = std::strtol(o.clock->c_str(), &end, 10);
        if (!o.clock->empty() && *end == 0 && n >= 0 && n < count) found = static_cast<int>(n);
        for (int i = 0; found < 0 && i < count; ++i)
            if (SameText(def.clocks[static_cast<std::size_t>(i)], *o.clock)) found = i;
        if (found < 0) {
            status = exit_status::kUsage;
            return "no clock " + *o.clock + " for " + session.m_strTarget;
        }
        session.SelectRate(found);
    }
    return "";
}

// Runs the command on the prepared session.
Outcome RunCommandOn(const Options& o, engine::FlashSession& session) {
    Outcome out;
    auto downloaded = [&] { return session.Download().Succeeded() && session.m_bDownloaded != 0 && sys::InterruptSignal() == 0; };
    engine::Result result;
    int sum = -1;
    switch (o.command) {
        case Command::Download: result = session.Download(); break;
        case Command::Erase: result = downloaded() ? session.Erase() : session.LastResult(); break;
        case Command::BlankCheck: result = downloaded() ? session.BlankCheckCommand() : session.LastResult(); break;
        case Command::Program: result = session.RunFullOperation(); break;
        case Command::Verify: result = downloaded() ? session.Compare() : session.LastResult(); break;
        case Command::Read:
            result = downloaded() ? session.Copy(ReadTarget(o.file), o.intel_hex) : session.LastResult();
            break;
        case Command::Checksum:
            sum = session.ImageChecksum(static_cast<std::uint8_t>(o.fill));
            result = session.LastResult();
            break;
        default: break;
    }
    out.code = result.code;
    out.text = Readable(result.message);
    if (o.command == Command::Checksum) {
        out.status = sum == engine::kChecksumLoadFailed ? exit_status::kProgramFile : exit_status::kSuccess;
        if (out.status == exit_status::kSuccess) {
            char digits[8];
            std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(sum));
            out.text = digits;
        }
        return out;
    }
    // The status tells the cause: the command's first failure, unless the
    // command ended in a completion after all.
    const int cause = result::IsCompletion(out.code) || result.first_failure_code < 0 ? out.code : result.first_failure_code;
    out.status = exit_status::FromOutcome(cause, result.program_file_failed, sys::InterruptSignal());
    if (out.code == result::kFullOperationDone) out.text = Readable(LoadString(out.code));
    // A read whose file could not be written has failed, whatever the chip did.
    if (!result.file_error.empty() && out.status != exit_status::kInterrupted) {
        out.status = exit_status::kProgramFile;
        out.text = result.file_error;
    }
    if (o.command == Command::Program && out.status == exit_status::kSuccess) out.bytes = session.BytesToProgram();
    return out;
}

}  // namespace

int RunSingle(const Options& o) {
    const std::string home = HomeOf(o);
    const std::string customize = home + "Customize.ini";
    // The port: -p, else the COM port that Customize.ini names.
    PortTarget port;  // com_number 0: a device path was given
    if (!o.ports.empty()) {
        port = ResolvePort(customize, o.ports.front());
        if (port.device.empty())
            return Fail(o, exit_status::kUsage, o.ports.front() + ": not a port of this system (COM1 to COM255)");
    } else {
        settings::CustomizeSettings s;
        std::string com;
        settings::ReadCustomizeSettings(customize, true, s, com);
        port = ResolvePort(customize, "COM" + std::to_string(s.nComIndex + 1));
    }

    const ProgressStyle style = o.json ? ProgressStyle::Json
                                : o.quiet ? ProgressStyle::Quiet
                                : sys::StandardErrorIsTerminal() ? ProgressStyle::Bar
                                                                 : ProgressStyle::Lines;
    CliEvents events(style, stderr, stdout);
    engine::FlashSession session(events);
    session.SetProgramDir(home);
    session.UseDevice(port.device, port.com_number);
    session.m_bCommandLine = true;
    session.m_bUseReset = o.reset_prompt;
    session.SetBootSequences(o.before, o.after);
    if (o.log) session.m_strResultLogPath = fs::absolute(*o.log).string();
    // Check SUM talks to no chip: a log of it would only say NG.
    else if (o.command == Command::Checksum) session.m_strResultLogPath = sys::NullDevice();
    if (o.command != Command::Read && !o.file.empty()) session.m_strProgramFile = fs::absolute(o.file).string();

    // As the window's unattended run: the folder's own result log is written
    // by one run at a time, and a log that cannot be written stops the run
    // before anything is sent, so that it cannot keep an earlier "OK". A log
    // named elsewhere (a gang's child) is the caller's and locks nothing.
    std::unique_ptr<sys::FolderLock> folder_lock;
    if (o.command != Command::Checksum) {
        std::error_code ec;
        const bool folder_log =
            !o.log || fs::weakly_canonical(session.ResultLogPath(), ec) == fs::weakly_canonical(home + "MESSFILE.TXT", ec);
        engine::UnattendedStart start = engine::StartUnattendedRun(home, session.ResultLogPath(), folder_log);
        if (!start.ok()) return Fail(o, exit_status::kUsage, start.error);
        folder_lock = std::move(start.lock);
    }

    const auto started = std::chrono::steady_clock::now();
    Outcome out;
    std::string usage_error;
    {
        // Signals end the run at the next step, with the port closed and the
        // log saying why.
        sys::InterruptGuard guard;
        session.BeginRun();
        usage_error = PrepareSession(o, home, session, out.status);
        if (out.status == exit_status::kUsage && usage_error.empty()) {
            out.text = Readable(session.LastResult().message);
        } else if (usage_error.empty()) {
            session.ClearResult();
            out = RunCommandOn(o, session);
            // The board starts its program once the last operation is done
            // (a Full Operation sees to that itself).
            if (out.status == exit_status::kSuccess && o.command != Command::Checksum &&
                o.command != Command::Program && !session.RunBootExit())
                out = Outcome{exit_status::kPort, session.LastResult().code, Readable(session.LastResult().message)};
        }
        session.CloseComPort();
        const int signal = sys::InterruptSignal();
        session.EndRun(signal);
        if (signal != 0) out.status = exit_status::kInterrupted;
        sys::SetInterruptSignal(0);
    }
    if (out.code == -1 && out.status != exit_status::kInterrupted && out.text.empty())
        out.text = events.LastStatus().empty() ? "the command ended without a result" : events.LastStatus();
    events.EndBarLine();
    if (!usage_error.empty()) return Fail(o, exit_status::kUsage, usage_error);
    for (const std::string& warning : events.Warnings()) std::fprintf(stderr, "mirelle-cli: warning: %s\n", warning.c_str());
    if (out.status == exit_status::kInterrupted) out.text = "interrupted by a signal";
    if (out.status == exit_status::kPort &&
        (out.code == result::kCannotOpenPort || out.code == result::kCannotChangePortSettings))
        out.text += "\n" + serial::PortFailureText(port.device, port.com_number, out.code == result::kCannotOpenPort);
    if (o.command == Command::Read && out.status == exit_status::kSuccess) {
        std::error_code ec;
        out.bytes = static_cast<long long>(fs::file_size(fs::absolute(o.file), ec));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (o.json) {
        JsonObject j;
        j.Add("event", "result").Add("status", out.status).Add("result", exit_status::Word(out.status));
        j.Add("code", out.code).Add("text", out.text).Add("seconds", seconds).Add("bytes", out.bytes);
        if (o.command == Command::Checksum && out.status == exit_status::kSuccess) j.Add("checksum", out.text);
        std::printf("%s\n", j.Text().c_str());
        std::fflush(stdout);
    } else {
        std::printf("%s\n", out.text.c_str());
    }
    return out.status;
}

int RunCli(const std::vector<std::string>& args) {
    const ParseResult parsed = ParseArguments(args);
    if (!parsed.ok()) {
        std::fprintf(stderr, "mirelle-cli: %s\n%s", parsed.error.c_str(), "try mirelle-cli --help\n");
        return exit_status::kUsage;
    }
    const Options& o = parsed.options;
    if (o.help) {
        std::fputs((UsageText() + PortUsageNote()).c_str(), stdout);
        return exit_status::kSuccess;
    }
    if (o.version) {
        std::printf("mirelle-cli %d.%d.%d.%d\n", MIRELLE_VERSION_MAJOR, MIRELLE_VERSION_MINOR, MIRELLE_VERSION_PATCH,
                    MIRELLE_VERSION_TWEAK);
        return exit_status::kSuccess;
    }
    const std::string home = HomeOf(o);
    // Child processes and the platform layer see the same program folder.
    sys::SetEnv("MIRELLE_HOME", home);
    switch (o.command) {
        case Command::Targets: return ListTargets(o, home);
        case Command::Ports: return ListPorts(o, home);
        default: break;
    }
    if (o.ports.size() > 1) return RunGang(o, home);
    return RunSingle(o);
}

}  // namespace mirelle::cli
