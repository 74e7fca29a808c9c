// Serialization's side of the image: the per-unit patches written over the
// loaded program file, each checked first against the chip's flash areas and
// the file's own data.
#include <cstdio>
#include <string>

#include "engine/flash_session.h"

namespace mirelle::engine {

namespace {

std::string Hex32(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(v));
    return text;
}

}  // namespace

bool FlashSession::ApplyImagePatches() {
    std::string areas;
    for (int i = 0; i < m_nAreaCount; ++i)
        areas += (i ? ", " : "") + Hex32(m_nStartAddr[static_cast<std::size_t>(i)]) + "-" +
                 Hex32(m_nEndAddr[static_cast<std::size_t>(i)]);
    std::string refusal;
    for (std::size_t p = 0; p < m_patches.size() && refusal.empty(); ++p) {
        const hexfile::ImagePatch& patch = m_patches[p];
        if (patch.bytes.empty()) continue;
        const std::uint64_t first = patch.address, last = first + patch.bytes.size() - 1;
        const std::string name = "the patch at " + Hex32(patch.address) + " (" + std::to_string(patch.bytes.size()) +
                                 " bytes, value " + patch.value + ")";
        bool inside = false;
        for (int i = 0; i < m_nAreaCount; ++i)
            inside = inside || (first >= m_nStartAddr[static_cast<std::size_t>(i)] &&
                                last <= m_nEndAddr[static_cast<std::size_t>(i)]);
        const hexfile::ImageLocation at = hexfile::FlashImage::Locate(patch.address, m_nStartAddr[0]);
        if (!inside) {
            refusal = name + " does not lie in one flash area of " + m_strTarget + " (" + areas + ")";
        } else if (m_nSkipHalfword && at.window == hexfile::ImageWindow::kLow && *m_nSkipHalfword <= at.offset + last - first &&
                   std::uint64_t{*m_nSkipHalfword} + 2 > at.offset) {
            refusal = name + " covers the two bytes at offset " + Hex32(*m_nSkipHalfword) + " that " + m_strTarget +
                      " never programs";
        } else if (p < 64 && (m_lastLoad.watched_hits >> p & 1) != 0 && !patch.overwrite) {
            refusal = name + " lies over data of the program file; a rule that may replace it says overwrite";
        } else if (m_image.Store(patch.address, patch.bytes, m_nStartAddr[0], std::nullopt) !=
                   hexfile::StoreOutcome::kStored) {
            refusal = name + " has no place in the flash image";
        }
    }
    if (!refusal.empty()) {
        // As a program file that cannot be used: reported before anything is
        // sent, in the log and (in the window) in a notice.
        m_bProgramFileFailed = true;
        WriteResultLog(0, "serialization: " + refusal + "\n");
        if (!m_bCommandLine) m_events.Notify({refusal, "Serialization", Notice::Icon::kExclamation, true});
        return false;
    }
    if (m_record && !m_patches.empty()) {
        m_record->serial_number = m_patches.front().value;
        m_record->patches.clear();
        for (const hexfile::ImagePatch& patch : m_patches)
            m_record->patches += (m_record->patches.empty() ? "" : " ") + hexfile::PatchBytesText(patch);
    }
    return true;
}

}  // namespace mirelle::engine
