// Program & Verify: the flash image goes to the chip in 512-byte blocks,
// each with its CRC-16; the control program programs and verifies each one
// and answers with a status byte. Blocks of 0xFF are skipped but counted.
#include <array>
#include <span>

#include "engine/control_link.h"
#include "engine/flash_session.h"
#include "texts/result_texts.h"
#include "texts/string_table.h"
#include "protocol/block_plan.h"
#include "protocol/flash_commands.h"
#include "texts/flash_command_texts.h"

namespace mirelle::engine {

using namespace mirelle::hexfile;

using namespace protocol;

int FlashSession::SendBlockCommand(std::uint32_t blockStart, bool read) {
    const TargetFamily family = FamilyOf(m_strTarget);
    if (!SendControlFrame(*this, BlockCommandFrame(family, blockStart, read))) return 0xFF;
    const bool progress = m_bShowProgress && m_events.HasProgress();
    bool cancelled = false;
    WallSeconds since(GetClock());
    ControlWait wait = WaitControlStatus(*this, since, kBlockLimitSeconds, 0, [&](unsigned, unsigned) {
        cancelled = progress && m_events.CancelRequested();
        return cancelled;
    });
    if (cancelled) return 0;
    if (wait.TimedOut()) return 3;
    // A lost link (its failure reported already) is a refusal, never a cancel.
    if (wait.link_lost) return 0xFF;
    return wait.Status();
}

int FlashSession::ProgramAndVerify(bool inFullOperation) {
    const PhaseTimer timer(*this, kPhaseProgramVerify);
    const std::span<const std::uint32_t> starts(m_nStartAddr.data(), static_cast<std::size_t>(m_nAreaCount));
    const std::span<const std::uint32_t> ends(m_nEndAddr.data(), static_cast<std::size_t>(m_nAreaCount));
    const int blockCount = static_cast<int>(BlockCount(starts, ends));
    const bool progress = m_bShowProgress && m_events.HasProgress();
    // On a command-line run nobody can press a button.
    if (progress)
        m_events.ProgressLayout(m_bCommandLine ? layout::kBar
                                               : layout::kCancel | layout::kButtonLive | layout::kBar,
                                false, std::nullopt);
    m_strStepText = StepText(ids::kStepProgramming, inFullOperation);
    if (progress) {
        m_events.StepBegins(m_strStepText);
        m_events.ProgressRange(0, blockCount, 1, 0);
    }

    int done = 0;
    bool cancelled = false;
    std::array<std::uint8_t, kBlockSize> block{};
    for (BlockWalk walk(starts, ends); !walk.Done();) {
        const std::uint32_t address = walk.Address();
        if (progress) {
            m_events.ProgressPosition(done);
            if (m_events.CancelRequested()) {
                cancelled = true;
                break;
            }
        }
        // An interrupted unattended run (or a stopped station slot) stops
        // between blocks; the caller closes the port and leaves the log at "NG".
        if (StopRequested()) return 1;

        ReadImageBlock(address, block);
        if (BlockHasData(block)) {
            const int s = SendBlockCommand(address, false);
            if (s == 3) {
                ReportResult(result::kTimeout, result::kKindLinkLost, result::kSoundError);
                return 1;
            }
            if (s == 0) {
                cancelled = true;
                break;
            }
            if (s != kStatusDone) {
                ReportResult(result::kProgramError, result::kKindLinkLost, result::kSoundError);
                return 1;
            }
            const std::vector<std::uint8_t> frame = BlockDataFrame(block);
            std::size_t written = 0;
            if (!WriteBlock(frame.data(), frame.size(), written)) {
                ReportResult(result::kPortWriteError, result::kKindRedownload, result::kSoundError);
                return 1;
            }
            WallSeconds since(GetClock());
            ControlWait wait = WaitControlStatus(*this, since, kBlockLimitSeconds, 0, [&](unsigned, unsigned) {
                cancelled = progress && m_events.CancelRequested();
                return cancelled;
            });
            if (cancelled) break;
            if (wait.TimedOut()) {
                ReportResult(result::kTimeout, result::kKindLinkLost, result::kSoundError);
                return 1;
            }
            if (wait.link_lost) return 1;  // the failed read has been reported
            const std::uint8_t status = wait.Status();
            if (status == kStatusCrcError) {
                NoteRetry(true);
                // The chip got the block damaged. A person at the window may
                // send it again. A command-line run has nobody to ask (a
                // question would hold a production line for ever): it stops at
                // once, and the log says why.
                if (m_bCommandLine) {
                    std::string reason = texts::CrcRetryQuestion(address);
                    reason.resize(reason.find('\n'));
                    WriteResultLog(1, reason + "\n");
                } else if (progress && m_events.Ask(Question::kCrcRetry, texts::CrcRetryQuestion(address), texts::kCrcRetryCaption)) {
                    continue;
                }
                cancelled = true;
                break;
            }
            if (status != kStatusDone) {
                if (status == kStatusFail) {
                    // The failing address, then two bytes each of the program
                    // file and of the flash, and one byte more. A read that
                    // brings nothing leaves the previous byte, appended again.
                    std::uint8_t byte = 0;
                    std::size_t received = 0;
                    m_strErrAddress = "0x";
                    for (int k = 0; k < 4; ++k) {
                        if (!ReadBlock(&byte, 1, received)) break;
                        m_strErrAddress += HexBytes(std::span(&byte, 1));
                    }
                    for (int k = 0; k < 2; ++k) {
                        if (!ReadBlock(&byte, 1, received)) break;
                        m_strErrHexFile += HexBytes(std::span(&byte, 1));
                    }
                    for (int k = 0; k < 2; ++k) {
                        if (!ReadBlock(&byte, 1, received)) break;
                        m_strErrFlash += HexBytes(std::span(&byte, 1));
                    }
                    ReadBlock(&byte, 1, received);
                }
                // Erased data on both sides: the chip ran out of time programming.
                if (m_strErrHexFile == "FFFF" && m_strErrFlash == "FFFF") {
                    m_strErrHexFile.clear();
                    m_strErrFlash.clear();
                    m_strErrorDetail = texts::kTimingLimitOver;
                }
                ReportResult(result::kProgramError, result::kKindLinkLost, result::kSoundError);
                return 1;
            }
        }
        // Programmed and verified (a block without data is skipped).
        if (m_record && BlockHasData(block)) m_record->bytes_programmed += kBlockSize;
        if (progress) m_events.ProgressPosition(done);
        walk.Advance();
        ++done;
    }
    if (progress) m_events.ProgressPosition(done);

    if (cancelled) {
        // A person acknowledges the ending; on a command-line run no press
        // can come: the operation ends at once.
        if (progress) m_events.Cancelled(LoadString(ids::kCanceled), !m_bCommandLine);
        PurgeComPort(serial::PurgeWhich::Both);
        return 1;
    }

    WriteTimingLog(inFullOperation ? 6 : 3);
    ReportResult(inFullOperation ? result::kFullOperationDone : result::kProgrammed, result::kKindInfo, result::kSoundEnd);
    return 0;
}

Result FlashSession::Program() {
    const RecordScope record(*this, "program");
    ClearResult();
    RunCommand("Program", -1, true, false, [this] {
        if (LoadProgramFile(false, 0xFF) == 1 && LoadedFlashData()) ProgramAndVerify(false);
    });
    return LastResult();
}

}  // namespace mirelle::engine
