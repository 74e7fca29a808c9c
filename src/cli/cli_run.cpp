#include "cli/cli_run.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "texts/program_load_texts.h"
#include "texts/result_codes.h"
#include "texts/string_table.h"
#include "app/windows/control_ids.h"
#include "app/windows/writer_dlg.h"
#include "cli/exit_status.h"
#include "cli/json_text.h"
#include "cli/port_listing.h"
#include "cli/port_names.h"
#include "cli/progress_backend.h"
#include "platform/child_process.h"
#include "platform/system.h"
#include "platform/terminal.h"
#include "platform/textfile.h"
#include "protocol/block_plan.h"
#include "serial/device_list.h"
#include "serial/port.h"
#include "settings/settings.h"
#include "target/chip_definition.h"

namespace mirelle::cli {

namespace fs = std::filesystem;

namespace {

std::string ReadWhole(const std::string& path) {
    std::string text;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        std::size_t n = 0;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
        std::fclose(f);
    }
    return text;
}

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
        if (o.json) {
            JsonObject j;
            j.Add("event", "target").Add("name", name).Add("areas", areas).Add("clocks", clocks);
            std::printf("%s\n", j.Text().c_str());
            continue;
        }
        std::printf("%s\n", name.c_str());
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
    const auto devices = ListSerialDevices(PortRoots{}, ReadWhole(home + "Customize.ini"));
    std::fputs(FormatSerialDevices(devices, o.json).c_str(), stdout);
    return exit_status::kSuccess;
}

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The bytes a program run sends: the 512-byte blocks of the areas that hold data.
long long BlocksWithData(const CWriterDlg& dlg) {
    const std::span<const std::uint32_t> starts(dlg.m_nStartAddr.data(), static_cast<std::size_t>(dlg.m_nAreaCount));
    const std::span<const std::uint32_t> ends(dlg.m_nEndAddr.data(), static_cast<std::size_t>(dlg.m_nAreaCount));
    long long bytes = 0;
    std::array<std::uint8_t, protocol::kBlockSize> block{};
    for (protocol::BlockWalk walk(starts, ends); !walk.Done(); walk.Advance()) {
        dlg.ReadImageBlock(walk.Address(), block);
        if (protocol::BlockHasData(block)) bytes += protocol::kBlockSize;
    }
    return bytes;
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
    const std::string device = port.device;
    const int com_number = port.com_number;
    serial::PortOpener& opener = serial::ActivePortOpener();
    const serial::PortOpener original = opener;
    // The chosen port stands behind the window's COM1: its device (Linux) and
    // its number (the Windows port opens \\.\COMn by number).
    opener = [original, device, com_number](const std::string&, int com, std::uint32_t baud,
                                            std::unique_ptr<serial::Port>& out) {
        return original(device, com_number != 0 ? com_number : com, baud, out);
    };

    const ProgressStyle style = o.json ? ProgressStyle::Json
                                : o.quiet ? ProgressStyle::Quiet
                                : sys::StandardErrorIsTerminal() ? ProgressStyle::Bar
                                                          : ProgressStyle::Lines;
    ProgressBackend backend(style, stderr, stdout);
    if (o.command == Command::Read) backend.SetSavePath(fs::absolute(o.file).string());
    ui::SetActiveBackend(&backend);

    AppEnvironment env;
    // The window's own command line: the program file, a port (the opener
    // above puts the chosen device behind it) and the reset rule.
    env.args = {o.command == Command::Read || o.file.empty() ? std::string() : fs::absolute(o.file).string(), "COM1", o.reset_prompt ? "reset" : "no_reset"};
    env.executable_path = sys::ExecutablePath();
    env.program_dir = home;
    if (o.log) env.result_log_path = fs::absolute(*o.log).string();
    // Check SUM talks to no chip: a log of it would only say NG.
    else if (o.command == Command::Checksum) env.result_log_path = sys::NullDevice();

    int status = exit_status::kChipFailed;
    std::string usage_error;
    long long bytes = 0;
    int code = -1;
    int sum = -1;                // checksum: the sum, or kChecksumLoadFailed
    std::string outside_warning;  // program, verify: the data the areas leave out
    const auto started = std::chrono::steady_clock::now();
    env.unattended_body = [&](CWriterDlg& dlg) {
        using namespace idc;
        if (o.target) {
            int found = -1;
            for (int i = 0; i < dlg.GetCount(kTarget); ++i)
                if (SameText(dlg.GetLBText(kTarget, i), *o.target)) found = i;
            if (found < 0) {
                usage_error = "no target " + *o.target + " in " + home + "CHIPDEF.INI (mirelle-cli targets lists them)";
                return;
            }
            dlg.m_nTarget = found;
            dlg.SetCurSel(kTarget, found);
            dlg.LoadTargetDefinition();
        }
        if (o.clock) {
            int found = -1;
            const int count = dlg.GetCount(kRate);
            char* end = nullptr;
            const long n = std::strtol(o.clock->c_str(), &end, 10);
            if (!o.clock->empty() && *end == 0 && n >= 0 && n < count) found = static_cast<int>(n);
            for (int i = 0; found < 0 && i < count; ++i)
                if (SameText(dlg.GetLBText(kRate, i), *o.clock)) found = i;
            if (found < 0) {
                usage_error = "no clock " + *o.clock + " for " + dlg.TargetName();
                return;
            }
            dlg.m_nRate = found;
        }
        dlg.SetCurSel(kRate, dlg.m_nRate);
        dlg.ResetCommandButtons();
        dlg.UpdateData(false);
        dlg.m_nLastLogCode = -1;
        dlg.m_bProgramFileFailed = false;
        dlg.m_bCopyIntelHex = o.intel_hex ? 1 : 0;

        auto run = [&](int id) { dlg.DispatchCommand(id, ui::kBnClicked); };
        auto downloaded = [&] { return dlg.m_bDownloaded != 0 && sys::InterruptSignal() == 0; };
        switch (o.command) {
            case Command::Download: run(kDownload); break;
            case Command::Erase: run(kDownload); if (downloaded()) run(kErase); break;
            case Command::BlankCheck: run(kDownload); if (downloaded()) run(kBlankCheck); break;
            case Command::Program: run(kFullOperation); break;
            case Command::Verify: run(kDownload); if (downloaded()) run(kCompare); break;
            case Command::Read: run(kDownload); if (downloaded()) run(kCopy); break;
            case Command::Checksum: sum = dlg.ImageChecksum(static_cast<std::uint8_t>(o.fill)); break;
            default: break;
        }
        if ((o.command == Command::Program || o.command == Command::Verify) && dlg.m_lastLoad.ok())
            outside_warning = texts::OutsideDataWarning(dlg.m_lastLoad.bytes_outside, dlg.m_lastLoad.first_outside,
                                                        dlg.TargetName());
        if (o.command == Command::Checksum) {
            code = dlg.m_nLastLogCode;
            status = sum == kChecksumLoadFailed ? exit_status::kProgramFile : exit_status::kSuccess;
            return;
        }
        code = dlg.m_nLastLogCode;
        status = exit_status::FromOutcome(code, dlg.m_bProgramFileFailed, sys::InterruptSignal());
        if (o.command == Command::Program && status == exit_status::kSuccess) bytes = BlocksWithData(dlg);
    };

    std::string text;
    {
        CWriterDlg dlg(env);
        ui::SetMainWindow(&dlg);
        const int modal = dlg.DoModal();
        dlg.CloseComPort();
        ui::SetMainWindow(nullptr);
        text = Readable(dlg.m_strLastLogMessage);
        if (modal != ui::kIdOk) {
            status = exit_status::kUsage;
            if (text.empty()) text = "the program folder " + home + " is not usable (CHIPDEF.INI)";
        } else if (code == result::kFullOperationDone) {
            text = Readable(LoadString(code));
        }
        if (o.command == Command::Checksum && status == exit_status::kSuccess) {
            char digits[8];
            std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(sum));
            text = digits;
        }
        if (code == -1 && status != exit_status::kInterrupted && text.empty())
            text = backend.LastStatus().empty() ? "the command ended without a result" : backend.LastStatus();
    }
    ui::SetActiveBackend(nullptr);
    opener = original;
    backend.EndBarLine();
    if (!usage_error.empty()) return Fail(o, exit_status::kUsage, usage_error);
    if (!outside_warning.empty()) std::fprintf(stderr, "mirelle-cli: warning: %s\n", outside_warning.c_str());
    if (status == exit_status::kInterrupted) text = "interrupted by a signal";
    if (status == exit_status::kPort && (code == result::kCannotOpenPort || code == result::kCannotChangePortSettings))
        text += "\n" + PortOpenProblem(device) +
                // A device that did not open: the ones there are, to map instead.
                (code == result::kCannotOpenPort ? "; " + serial::SerialDevicesHint(com_number) : "");
    if (o.command == Command::Read && status == exit_status::kSuccess) {
        std::error_code ec;
        bytes = static_cast<long long>(fs::file_size(fs::absolute(o.file), ec));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (o.json) {
        JsonObject j;
        j.Add("event", "result").Add("status", status).Add("result", exit_status::Word(status));
        j.Add("code", code).Add("text", text).Add("seconds", seconds).Add("bytes", bytes);
        if (o.command == Command::Checksum && status == exit_status::kSuccess) j.Add("checksum", text);
        std::printf("%s\n", j.Text().c_str());
        std::fflush(stdout);
    } else {
        std::printf("%s\n", text.c_str());
    }
    return status;
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
