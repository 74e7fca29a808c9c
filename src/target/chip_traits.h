// What sets one chip apart from the rest, answered from one table keyed by
// the exact names of the target list (case-sensitive, as the list shows them
// in capitals): which protocol family the control program speaks and how
// wide its addresses are, whether the board needs the reset prompt before a
// download, whether the boot ROM acknowledges the upload, and whether the
// window offers Erase before a download. A name the table does not hold is
// an ordinary chip. Nothing else in the program compares target names.
#pragma once

#include <cstddef>
#include <string>

namespace mirelle::target {

enum class ProtocolFamily {
    kFirst,   // 4 address bytes; erase by CR read, erase and CR set
    kSecond,  // 3 address bytes (bits 24-31 are not sent); a plain erase
};

struct ChipTraits {
    ProtocolFamily family = ProtocolFamily::kFirst;
    std::size_t address_bytes = 4;
    // The user is asked to reset the board (and the port is purged) before
    // the download.
    bool needs_reset_prompt = true;
    // The boot ROM answers the upload frame with its acknowledge.
    bool awaits_upload_ack = true;
    // The Erase button is open before a download.
    bool offers_erase = false;
};

ChipTraits TraitsOf(const std::string& target_name);

}  // namespace mirelle::target
