#include "cli/cli_run.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "cli/cli_events.h"
#include "cli/cli_texts.h"
#include "cli/exit_status.h"
#include "cli/json_text.h"
#include "cli/port_names.h"
#include "cli/job_command.h"
#include "cli/records_command.h"
#include "cli/station_command.h"
#include "engine/chip_problems.h"
#include "engine/flash_session.h"
#include "engine/load_outcome.h"
#include "engine/unattended_start.h"
#include "platform/child_process.h"
#include "platform/file.h"
#include "platform/folder_lock.h"
#include "platform/interrupt.h"
#include "platform/profile.h"
#include "platform/system.h"
#include "platform/terminal.h"
#include "platform/textfile.h"
#include "protocol/block_plan.h"
#include "protocol/boot_protocol.h"
#include "records/record_sink.h"
#include "records/serializer.h"
#include "serial/device_list.h"
#include "serial/port.h"
#include "serial/trace_port.h"
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
        for (const std::string& name : target::ListTargets(session.m_strChipDefPath)) names.push_back(target::ListName(name));
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
            if (target::SameName(names[i], *o.target)) index = static_cast<int>(i);
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
            if (target::SameName(def.clocks[static_cast<std::size_t>(i)], *o.clock)) found = i;
        if (found < 0) {
            status = exit_status::kUsage;
            return "no clock " + *o.clock + " for " + session.m_strTarget;
        }
        session.SelectRate(found);
    }
    if (o.baud) {
        // -b names the working rate: the Clock entry that works at it.
        const target::DownloadKeys keys = target::ReadDownloadKeys(session.m_strChipDefPath, session.m_strTarget);
        std::vector<std::optional<std::uint32_t>> rates;
        for (std::size_t i = 0; i < def.clocks.size(); ++i)
            rates.push_back(boot::WorkingRate(keys.baud, keys.baud2, keys.has_baud2, static_cast<int>(i)));
        const RateChoice choice =
            ChooseWorkingRate(session.m_strTarget, def.clocks, rates, session.m_nRate, o.clock.has_value(), *o.baud);
        if (!choice.error.empty()) {
            status = exit_status::kUsage;
            return choice.error;
        }
        session.SelectRate(choice.index);
    }
    if (o.start) {
        // A part of the flash: every byte of it in one of the chip's areas.
        const protocol::AddressRange range{*o.start, static_cast<std::uint32_t>(*o.start + *o.length - 1)};
        std::uint64_t inside = 0;
        std::string areas;
        for (int i = 0; i < session.m_nAreaCount; ++i) {
            const auto a = static_cast<std::size_t>(i);
            inside += protocol::PartWithin(session.m_nStartAddr[a], session.m_nEndAddr[a], range).Bytes();
            char text[32];
            std::snprintf(text, sizeof text, "%s0x%08X-0x%08X", i ? ", " : "", static_cast<unsigned>(session.m_nStartAddr[a]),
                          static_cast<unsigned>(session.m_nEndAddr[a]));
            areas += text;
        }
        if (inside != *o.length) {
            char text[64];
            std::snprintf(text, sizeof text, "0x%08X-0x%08X", static_cast<unsigned>(range.first), static_cast<unsigned>(range.last));
            status = exit_status::kUsage;
            return std::string(text) + " is not all flash of " + session.m_strTarget + " (its areas: " + areas + ")";
        }
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
        case Command::Read: {
            const engine::CopyFormat format = o.binary      ? engine::CopyFormat::kBinary
                                              : o.intel_hex ? engine::CopyFormat::kIntelHex
                                                            : engine::CopyFormat::kSRecord;
            std::optional<protocol::AddressRange> range;
            if (o.start) range = protocol::AddressRange{*o.start, static_cast<std::uint32_t>(*o.start + *o.length - 1)};
            result = downloaded() ? session.Copy(ReadTarget(o.file), format, range) : session.LastResult();
            break;
        }
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
    return out;
}

// Whether Customize.ini says which COM port to use: a ComNo, or a [Ports]
// entry for the COM1 that stands for "none set".
bool ComPortSet(const std::string& customize) {
    return !profile::GetString(customize, "Com", "ComNo", "").empty() ||
           !profile::GetString(customize, "Ports", "COM1", "", 4096).empty();
}

// Why the program file cannot be read ("" when it can): the system's words.
std::string UnreadableFile(const std::string& path) {
    if (sys::IsDirectory(path)) return std::strerror(EISDIR);
    errno = 0;
    sys::FilePtr file = sys::OpenFile(path, "rb");
    if (!file) return std::strerror(errno != 0 ? errno : ENOENT);
    return "";
}

std::string FirstBytesOf(const std::string& path) {
    std::string bytes(16, '\0');
    sys::FilePtr file = sys::OpenFile(path, "rb");
    bytes.resize(file ? std::fread(bytes.data(), 1, bytes.size(), file.get()) : 0);
    return bytes;
}

struct AreaTotals {
    long long bytes = 0;
    long long blocks = 0;
};

// The bytes and blocks of the chip's areas (within `range` when given).
AreaTotals TotalsOf(const engine::FlashSession& session, const std::optional<protocol::AddressRange>& range) {
    AreaTotals t;
    for (int i = 0; i < session.m_nAreaCount; ++i) {
        const protocol::AreaPart part = protocol::PartWithin(session.m_nStartAddr[static_cast<std::size_t>(i)],
                                                             session.m_nEndAddr[static_cast<std::size_t>(i)],
                                                             range.value_or(protocol::AddressRange{}));
        t.bytes += static_cast<long long>(part.Bytes());
        t.blocks += part.blocks;
    }
    return t;
}

std::string Plural(long long n, const char* word) { return std::to_string(n) + " " + word + (n == 1 ? "" : "s"); }

// The summary of a command that succeeded.
Summary SummaryOf(const Options& o, const engine::FlashSession& session, double seconds) {
    Summary s;
    s.seconds = seconds;
    std::optional<protocol::AddressRange> range;
    if (o.start) range = protocol::AddressRange{*o.start, static_cast<std::uint32_t>(*o.start + *o.length - 1)};
    const AreaTotals all = TotalsOf(session, range);
    const std::string baud = std::to_string(session.m_nWorkBaud) + " baud";
    // One area (or a part of the flash) is named by its addresses.
    if (range) s.first = range->first, s.last = range->last;
    else if (session.m_nAreaCount == 1) s.first = session.m_nStartAddr[0], s.last = session.m_nEndAddr[0];
    const std::string areas = Plural(session.m_nAreaCount, "area");
    switch (o.command) {
        case Command::Download: {
            std::error_code ec;
            const fs::path program = fs::path(session.m_strDownloadPath).is_absolute()
                                         ? fs::path(session.m_strDownloadPath)
                                         : fs::path(session.m_strModuleDir) / session.m_strDownloadPath;
            const auto size = fs::file_size(program, ec);
            s.verb = "downloaded";
            s.bytes = ec ? 0 : static_cast<long long>(size);
            s.first.reset();
            s.details = {session.m_strDownloadPath, "then " + baud};
            break;
        }
        case Command::Erase:
            s.verb = "erased";
            s.bytes = all.bytes;
            s.details = {areas};
            break;
        case Command::BlankCheck:
            s.verb = "blank-checked";
            s.bytes = all.bytes;
            s.details = {areas};
            break;
        case Command::Program:
            s.verb = "programmed";
            s.bytes = static_cast<long long>(session.m_lastLoad.bytes_in_flash);
            s.first.reset();
            s.details = {Plural(session.BytesToProgram() / protocol::kBlockSize, "block"), baud};
            break;
        case Command::Verify:
            s.verb = "verified";
            s.bytes = all.bytes;
            s.details = {Plural(all.blocks, "block"), baud};
            break;
        case Command::Read:
            s.verb = "read";
            s.bytes = all.bytes;
            s.into = o.file;
            s.details = {Plural(all.blocks, "block"), baud};
            break;
        default: break;
    }
    if (!s.first && o.command != Command::Download && o.command != Command::Program && session.m_nAreaCount > 1)
        s.details.insert(s.details.begin(), areas);
    return s;
}

// The file of --trace: every port the session opens through Opener() writes
// its bytes there.
class TraceFile {
public:
    bool Open(const std::string& path) {
        errno = 0;
        file_ = sys::OpenFile(path, "wb");
        error_ = file_ ? "" : std::strerror(errno != 0 ? errno : EACCES);
        return static_cast<bool>(file_);
    }
    const std::string& Error() const { return error_; }
    serial::PortOpener Opener() {
        const auto started = std::chrono::steady_clock::now();
        auto micros = [started] {
            return static_cast<std::uint64_t>(
                std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started).count());
        };
        std::FILE* file = file_.get();
        auto sink = [file](const std::string& lines) {
            std::fputs(lines.c_str(), file);
            std::fflush(file);
        };
        return [micros, sink](const std::string& device, int com_number, std::uint32_t baud, std::unique_ptr<serial::Port>& out) {
            const serial::PortResult r = serial::OpenSystemPort(device, com_number, baud, out);
            sink(serial::TraceNote(micros(), "open " + device + " at " + std::to_string(baud) + " baud" +
                                                 (r == serial::PortResult::Ok ? "" : ": failed")));
            if (out) out = std::make_unique<serial::TracingPort>(std::move(out), sink, micros);
            return r;
        };
    }

private:
    sys::FilePtr file_;
    std::string error_;
};

}  // namespace

std::string SelectChip(const Options& o, const std::string& home, engine::FlashSession& session, int& status) {
    return PrepareSession(o, home, session, status);
}

std::string ProgramHome(const Options& o) { return HomeOf(o); }

int RunSingle(const Options& o) {
    const std::string home = HomeOf(o);
    const std::string customize = home + "Customize.ini";
    // The port: -p; else the COM port that Customize.ini names; else, when it
    // names none, the one serial device there is.
    PortTarget port;  // com_number 0: a device path was given
    std::string port_note;
    if (!o.ports.empty()) {
        port = ResolvePort(customize, o.ports.front());
        if (port.device.empty())
            return Fail(o, exit_status::kUsage, o.ports.front() + ": not a port of this system (COM1 to COM255)");
    } else if (o.command != Command::Checksum && !ComPortSet(customize)) {
        std::vector<std::string> devices;
        for (const serial::SerialDevice& d : serial::FindSerialDevices()) devices.push_back(d.path);
        const PortChoice choice = ChooseOnlyPort(devices);
        if (!choice.error.empty()) return Fail(o, exit_status::kUsage, choice.error);
        if (!choice.device.empty()) port = ResolvePort(customize, choice.device), port_note = choice.note;
    }
    if (port.device.empty()) {
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
    TraceFile trace;
    if (o.trace) {
        if (!trace.Open(*o.trace)) return Fail(o, exit_status::kUsage, "cannot write the trace " + *o.trace + ": " + trace.Error());
        session.SetPortOpener(trace.Opener());
    }
    session.SetBootSequences(o.before, o.after);
    if (o.log) session.m_strResultLogPath = fs::absolute(*o.log).string();
    // Check SUM talks to no chip: a log of it would only say NG.
    else if (o.command == Command::Checksum) session.m_strResultLogPath = sys::NullDevice();
    if (o.command != Command::Read && !o.file.empty()) session.m_strProgramFile = fs::absolute(o.file).string();
    session.m_nBinaryStart = o.offset;
    session.m_programFormat = hexfile::ParseProgramFormat(o.file_format);
    const std::unique_ptr<engine::RecordSink> records = records::AttachRecords(session, home);

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
    if (!port_note.empty() && !o.quiet && !o.json) std::fprintf(stderr, "mirelle-cli: %s\n", port_note.c_str());

    // The patch rules and the store that hands out their values.
    std::unique_ptr<records::Serializer> serializer;
    if (!o.patches.empty()) {
        std::vector<hexfile::PatchRule> rules;
        std::string error;
        records::ParsePatchRules(o.patches, rules, error);  // checked with the options
        std::error_code ec;
        serializer = std::make_unique<records::Serializer>(std::move(rules), fs::current_path(ec).string());
        if (!serializer->Open(settings::ReadRecordsSettings(customize).database, home, error))
            return Fail(o, exit_status::kUsage, "serialization: " + error);
    }

    Outcome out;
    std::string usage_error;
    double seconds = 0;
    int signal = 0;
    {
        // Signals end the run at the next step, with the port closed and the
        // log saying why.
        sys::InterruptGuard guard;
        session.BeginRun();
        usage_error = PrepareSession(o, home, session, out.status);
        const bool takes_file = o.command == Command::Program || o.command == Command::Verify || o.command == Command::Checksum;
        const std::string unreadable = takes_file ? UnreadableFile(o.file) : "";
        if (out.status == exit_status::kUsage && usage_error.empty()) {
            out.text = Readable(session.LastResult().message);
        } else if (usage_error.empty() && !unreadable.empty()) {
            // Named as the user named it, in the system's words.
            out.status = exit_status::kProgramFile;
            out.text = o.file + ": " + unreadable;
        } else if (usage_error.empty()) {
            if (o.verbose) {
                const auto keys = target::ReadDownloadKeys(session.m_strChipDefPath, session.m_strTarget);
                const auto boot = boot::RateEntry(keys.baud, session.m_nRate);
                const auto work = boot::WorkingRate(keys.baud, keys.baud2, keys.has_baud2, session.m_nRate);
                std::fprintf(stderr, "mirelle-cli: port %s%s, target %s, clock %s, boot %s baud, working %s baud, log %s\n",
                             port.device.c_str(), port.com_number ? (" (COM" + std::to_string(port.com_number) + ")").c_str() : "",
                             session.m_strTarget.c_str(), session.m_strRateText.c_str(),
                             boot ? std::to_string(*boot).c_str() : "none", work ? std::to_string(*work).c_str() : "none",
                             session.ResultLogPath().c_str());
            }
            session.ClearResult();
            Clock& clock = session.GetClock();
            const std::uint32_t began = clock.TickMs();
            // Serialization: the board's values are reserved as its Full
            // Operation starts (a checksum only looks at the next ones).
            std::string serial_error;
            if (serializer && o.command == Command::Program) {
                std::vector<hexfile::ImagePatch> patches;
                if (serializer->Begin(session.m_strRecordSlot, patches, serial_error)) session.SetImagePatches(patches);
            } else if (serializer) {
                std::vector<hexfile::ImagePatch> patches;
                if (serializer->Peek(patches, serial_error)) session.SetImagePatches(patches);
            }
            if (serial_error.empty()) {
                out = RunCommandOn(o, session);
            } else {
                // Nothing was sent: the unit fails before its run.
                out.status = exit_status::kUsage;
                out.text = serial_error;
            }
            if (serializer && o.command == Command::Program && serial_error.empty()) {
                // Spent on PASS, given back (or burnt) on FAIL, before the
                // unit's record is written.
                std::string why;
                if (!serializer->End(out.status == exit_status::kSuccess, why)) {
                    out.status = exit_status::kChipFailed;
                    out.text = "serialization: " + why;
                }
            }
            seconds = static_cast<double>(clock.TickMs() - began) / 1000.0;
            // The board starts its program once the last operation is done
            // (a Full Operation sees to that itself).
            if (out.status == exit_status::kSuccess && o.command != Command::Checksum &&
                o.command != Command::Program && !session.RunBootExit())
                out = Outcome{exit_status::kPort, session.LastResult().code, Readable(session.LastResult().message)};
        }
        session.CloseComPort();
        signal = sys::InterruptSignal();
        if (signal != 0) out.status = exit_status::kInterrupted;
        session.EndRun(signal, out.status);
        sys::SetInterruptSignal(0);
    }
    if (!usage_error.empty()) out.text = usage_error;
    if (out.code == -1 && out.status != exit_status::kInterrupted && out.text.empty())
        out.text = events.LastStatus().empty() ? "the command ended without a result" : events.LastStatus();
    events.EndBarLine();
    for (const std::string& warning : events.Warnings()) std::fprintf(stderr, "mirelle-cli: warning: %s\n", warning.c_str());
    // The format the program file was read as, once it was recognised.
    const std::string format = session.LastResult().program_format;
    if (!format.empty() && !o.json && !o.quiet)
        std::fprintf(stderr, "mirelle-cli: %s read as %s\n", o.file.c_str(), format.c_str());
    if (out.status == exit_status::kInterrupted) out.text = "interrupted by a signal";
    // The program file: what it holds when it is neither format.
    if (out.status == exit_status::kProgramFile && !o.file.empty() && o.command != Command::Read) {
        if (session.m_lastLoad.status == hexfile::LoadStatus::kUnknownFormat)
            out.text = o.file + ": neither S-records nor Intel HEX (their lines begin with S or :) nor ELF (it begins"
                                " 7F 45 4C 46); a raw binary needs a name ending in .bin or --format bin; it begins " +
                       FirstBytesText(FirstBytesOf(o.file));
        else if (session.m_lastLoad.status == hexfile::LoadStatus::kEmptyFile)
            out.text = o.file + ": the file is empty";
    }
    // The port: the device and why, in one line.
    if (out.status == exit_status::kPort &&
        (out.code == result::kCannotOpenPort || out.code == result::kCannotChangePortSettings)) {
        const std::string why = serial::PortFailureText(port.device, port.com_number, out.code == result::kCannotOpenPort);
        if (!why.empty()) out.text = why;
    }
    // Silence before the control program ran: the boot ROM did not answer.
    if (out.status == exit_status::kNoAnswer && !events.WasDownloaded() && o.command != Command::Checksum) {
        const auto keys = target::ReadDownloadKeys(session.m_strChipDefPath, session.m_strTarget);
        out.text = BootSilenceHint(port.device, boot::RateEntry(keys.baud, session.m_nRate).value_or(0));
    }
    // mirelle-cli's own result log: "OK" when the command succeeded, "NG"
    // and the reason otherwise. The session's reports leave the window's
    // words there, which say "NG" even after a read or verify that went
    // well; a failure's own report stays as the reporter wrote it.
    if (o.command != Command::Checksum && signal == 0) {
        const std::string log = session.ResultLogPath();
        if (out.status == exit_status::kSuccess) WriteTextFile(log, "OK");
        else if (session.m_strLastLogMessage.empty() || result::IsCompletion(session.m_nLastLogCode))
            WriteTextFile(log, "NG\n" + out.text + "\n");
    }
    Summary summary;
    if (out.status == exit_status::kSuccess && o.command != Command::Checksum) {
        summary = SummaryOf(o, session, seconds);
        out.bytes = summary.bytes;
    }
    // The values patched into the image: the board's, or for a checksum the
    // next board's (not reserved).
    std::vector<std::string> values;
    for (const hexfile::ImagePatch& patch : session.ImagePatches())
        values.push_back(patch.value + " at " + hexfile::PatchBytesText(patch).substr(0, 10));
    if (o.json) {
        JsonObject j;
        j.Add("event", "result").Add("status", out.status).Add("result", exit_status::Word(out.status));
        j.Add("code", out.code).Add("text", out.text).Add("seconds", seconds).Add("bytes", out.bytes);
        if (!session.ImagePatches().empty()) j.Add("serial", session.ImagePatches().front().value).Add("patches", values);
        if (o.command == Command::Checksum && out.status == exit_status::kSuccess) j.Add("checksum", out.text);
        if (!summary.verb.empty()) j.Add("summary", SummaryLine(summary));
        if (!format.empty()) j.Add("format", format);
        std::printf("%s\n", j.Text().c_str());
        std::fflush(stdout);
        return out.status;
    }
    // The run's notices: a question answered for the user always; the
    // notice of a failure only where the result line does not say it.
    for (const std::string& notice : events.Notices())
        if (out.status == exit_status::kSuccess || notice.rfind('[', 0) == 0 || o.verbose)
            std::fprintf(stderr, "mirelle-cli: %s\n", notice.c_str());
    if (out.status != exit_status::kSuccess) {
        std::fprintf(stderr, "mirelle-cli: %s\n", out.text.c_str());
    } else if (o.command == Command::Checksum) {
        std::printf("%s\n", out.text.c_str());  // the sum is the command's output, also with -q
        for (const std::string& v : values)
            if (!o.quiet) std::fprintf(stderr, "mirelle-cli: with %s (the next board's value, not reserved)\n", v.c_str());
    } else if (!o.quiet) {
        std::printf("%s\n%s\n", out.text.c_str(), SummaryLine(summary).c_str());
        for (const std::string& v : values) std::printf("patched %s\n", v.c_str());
    }
    return out.status;
}

int RunCli(const std::vector<std::string>& args) {
    if (IsRecordsCommand(args)) return RunRecords(args);
    if (IsJobCommand(args)) return RunJob(args);
    if (IsStationCommand(args)) return RunStation(args);
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
