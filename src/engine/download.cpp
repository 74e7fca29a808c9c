// The download of the control program through the chip's boot ROM: the file
// for the target and rate, the reset prompt, the boot-rate handshake, the
// upload and start frames, and the switch to the working rate.
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <vector>

#include "engine/flash_session.h"
#include "platform/file.h"
#include "platform/system.h"
#include "platform/textfile.h"
#include "protocol/boot_protocol.h"
#include "protocol/flash_commands.h"
#include "texts/flash_command_texts.h"
#include "target/chip_definition.h"
#include "target/chip_traits.h"

namespace mirelle::engine {

using namespace mirelle::target;

namespace {

constexpr int kDownloadOk = '1';
constexpr int kDownloadFailed = 0;

constexpr const char* kResetPrompt = "Please reset the microcontroller on userboard.\nThen push OK button.";

// Reads the control program file: 0, or the result code of the failure.
int ReadControlProgram(const std::string& path, std::vector<std::uint8_t>& out) {
    // A folder is no file the program can send; it counts as not opening.
    if (path.empty() || sys::IsDirectory(path)) return result::kCannotOpenDownloadFile;
    sys::FilePtr file(OpenRegularFile(path));  // a FIFO or a device is refused, never waited on
    if (!file) return result::kCannotOpenDownloadFile;
    struct stat st {};
    if (::fstat(::fileno(file.get()), &st) != 0 || st.st_size < 0) return result::kFileAccessError;
    const auto size = static_cast<std::size_t>(st.st_size);
    try {
        out.assign(size + 1, 0);
    } catch (const std::bad_alloc&) {
        return result::kNoMemory;
    } catch (const std::length_error&) {
        return result::kNoMemory;
    }
    const std::size_t got = std::fread(out.data(), 1, size, file.get());
    if (std::ferror(file.get())) return result::kFileAccessError;
    out.resize(got);  // the length is what was read
    return 0;
}

}  // namespace

bool FlashSession::RefusedChip() {
    if (!TellChipProblems()) return false;
    WriteResultLog(0, m_chipCheck.refusal + "\n");
    if (!m_bCommandLine) m_events.Notify({m_chipCheck.refusal, "CHIPDEF.INI", Notice::Icon::kExclamation, false});
    return true;
}

int FlashSession::DownloadControlProgram() {
    const std::string target = m_strTarget;
    auto step = [this] {
        if (m_bShowProgress) m_events.ProgressStep();
    };
    if (m_bShowProgress) {
        m_events.ProgressLayout(layout::kBar, false, std::nullopt);
        m_events.ProgressRange(0, 7, 1, 0);
    }

    // Relative control program names are taken in the program's folder
    // (looked up there, not in the process's working folder, which other
    // sessions share).
    // A chip whose definition reads otherwise than it is written (an address
    // of 0x80000000 or more, a rate of 0) would be programmed wrongly: it
    // gets nothing.
    if (RefusedChip()) return kDownloadFailed;
    const ChipTraits traits = TraitsOf(target);
    const DownloadKeys keys = ReadDownloadKeys(m_strChipDefPath, target);
    const auto inFolder = [this](const std::string& p) { return std::filesystem::path(p).is_absolute() ? p : m_strModuleDir + p; };
    m_strDownloadPath = boot::ControlProgramFile(keys.download_file, m_strRateText,
                                                 [&](const std::string& p) { return sys::FileExists(inFolder(p)); });

    std::vector<std::uint8_t> program;
    if (const int code = ReadControlProgram(inFolder(m_strDownloadPath), program); code != 0) {
        ReportResult(code, result::kKindRedownload, result::kSoundError);
        return kDownloadFailed;
    }
    step();
    step();

    // Both rates must exist before the user is asked to reset the board and
    // before anything is sent; a missing entry is a rate the port cannot take.
    const auto workRate = boot::WorkingRate(keys.baud, keys.baud2, keys.has_baud2, m_nRate);
    if (!boot::RateEntry(keys.baud, m_nRate) || !workRate) {
        CloseComPort();
        ReportResult(result::kCannotChangePortSettings, result::kKindRedownload, result::kSoundError);
        return kDownloadFailed;
    }

    // A board whose reset is wired to the port's lines is reset by its
    // sequence instead of a person; the sequence's own waits give the boot ROM
    // its time to start.
    const int entry = RunBootEntry();
    if (entry < 0) return kDownloadFailed;
    if (entry > 0) {
        if (traits.needs_reset_prompt) {
            if (m_bUseReset) {
                if (!m_events.Ask(Question::kResetBoard, kResetPrompt, "flash"))
                    return kDownloadFailed;  // cancelled: nothing is reported
            }
            PurgeComPort(serial::PurgeWhich::Both);
        }

        GetClock().SleepMs(2500);
    }

    if (!m_port && !OpenBootPort()) return kDownloadFailed;

    if (!WriteByte(boot::kSync) || WaitAck(1, boot::kSync) != 0) return kDownloadFailed;
    step();

    if (UploadControlProgram(static_cast<std::uint32_t>(m_nLoadAddress), static_cast<std::uint32_t>(program.size()),
                             program.data()) != 0)
        return kDownloadFailed;
    program.clear();
    program.shrink_to_fit();

    if (!WriteByte(boot::kSync) || WaitAck(3, boot::kSync) != 0) return kDownloadFailed;
    step();

    for (std::uint8_t b : boot::StartFrame())
        if (!WriteByte(b)) return kDownloadFailed;
    if (WaitAck(3, 0x30) != 0) return kDownloadFailed;
    step();

    // The control program listens at the working rate once its answer is out.
    GetClock().SleepMs(250);
    if (int code = SetComBaud(*workRate); code != 0) {
        CloseComPort();
        ReportResult(code, result::kKindRedownload, result::kSoundError);
        return kDownloadFailed;
    }
    m_nBaud = static_cast<int>(*workRate);
    m_nWorkBaud = static_cast<int>(*workRate);
    step();

    GetClock().SleepMs(250);
    return kDownloadOk;
}

bool FlashSession::OpenBootPort() {
    m_bComOpen = 0;
    const std::string target = m_strTarget;
    const auto rate = boot::RateEntry(ReadDownloadKeys(m_strChipDefPath, target).baud, m_nRate);
    const int code = rate ? OpenComPort(static_cast<int>(m_settings.nComIndex) + 1, *rate)
                          : result::kCannotChangePortSettings;
    if (code != 0) {
        CloseComPort();
        ReportResult(code, result::kKindRedownload, result::kSoundError);
        return false;
    }
    m_bComOpen = 1;
    return true;
}

int FlashSession::UploadControlProgram(std::uint32_t loadAddress, std::uint32_t length, const std::uint8_t* program) {
    if (!WriteByte(boot::kUpload)) return 1;
    std::uint8_t sum = 0;
    for (std::uint8_t b : boot::UploadHeader(loadAddress, length)) {
        if (!WriteByte(b)) return 1;
        sum = static_cast<std::uint8_t>(sum + b);
    }
    const std::uint32_t half = length / 2;
    for (std::uint32_t i = 0; i < length; ++i) {
        if (!WriteByte(program[i])) return 1;
        sum = static_cast<std::uint8_t>(sum + program[i]);
        // The bar moves once, in the middle of the upload.
        if (length - i == half && m_bShowProgress) m_events.ProgressStep();
    }
    if (!WriteByte(sum)) return 1;
    if (!target::TraitsOf(m_strTarget).awaits_upload_ack) return 0;
    return WaitAck(3, boot::kUpload);
}

int FlashSession::WaitAck(int timeoutSeconds, std::uint8_t command) {
    Clock& clock = GetClock();
    const std::uint32_t limit = static_cast<std::uint32_t>(timeoutSeconds) * 1000u;
    const std::uint32_t start = clock.TickMs();
    std::uint8_t byte = 0;
    do {
        byte = ReadByte();
        // A failed read has been reported and the reporter has closed the
        // port; every further read would fail and be reported again, and the
        // time the user took to acknowledge it must not become a time-out.
        if (byte == 0 && !m_port) return 1;
        // A stopped station slot ends here without a report: its record says
        // it was stopped. (A signal waits for the time-out, as it always has.)
        if (byte == 0 && StopFlagSet()) return 1;
        const std::uint32_t now = clock.TickMs();
        // After the counter wrapped past zero its value stands for the time gone.
        const std::uint32_t elapsed = now >= start ? now - start : now;
        if (elapsed > limit) {
            ReportResult(result::kTimeout, result::kKindError, result::kSoundError);
            return 1;
        }
    } while (byte == 0);

    if (byte == boot::AckFor(command)) return 0;
    m_strErrorDetail = texts::DownloadErrorDetail(byte);
    ReportResult(result::kDownloadError, result::kKindError, result::kSoundError);
    return 1;
}

}  // namespace mirelle::engine
