// Boot-entry and exit sequences: what the host does with the adapter's DTR and
// RTS lines (and a break) to put a board into its boot ROM or to start the
// user's program, written as a short text.
//
//   D1 / D0    assert / release DTR        R1 / R0    assert / release RTS
//   B250       a break of 250 ms           W100       wait 100 ms
//   !D1, !R0   the same step on a line the board inverts (a transistor or an
//              inverting buffer between adapter and reset pin): !D1 is
//              written as the board sees it and drives DTR as D0 does
//
// Steps are separated by spaces or commas, letters in either case; times are
// whole milliseconds from 0 (waits) or 1 (breaks) to 60000. A typical
// wiring with DTR on the reset pin and RTS on the boot pin:
// "D1 R1 W100 D0 W50 R0" (hold reset and boot, let reset go, let boot go).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "serial/port.h"

namespace mirelle::serial {

struct LineStep {
    enum class Kind { Dtr, Rts, Break, Wait };
    Kind kind = Kind::Wait;
    bool on = false;        // Dtr, Rts: the level as written
    bool inverted = false;  // Dtr, Rts: written with "!"
    std::uint32_t ms = 0;   // Break, Wait

    // Dtr, Rts: whether the port's line is asserted by this step.
    bool Asserts() const { return on != inverted; }
    bool operator==(const LineStep&) const = default;
};

using LineSequence = std::vector<LineStep>;

inline constexpr std::uint32_t kMaxStepMs = 60000;

// Reads `text` into `out`; false with `error` naming the first bad word. An
// empty text (or one of separators only) is an empty sequence.
bool ParseLineSequence(const std::string& text, LineSequence& out, std::string& error);

// The canonical text of a sequence ("D1 R1 W100 !R1 B250"); parsing it gives
// the same steps.
std::string FormatLineSequence(const LineSequence& steps);

// Whether the sequence moves a line or sends a break (a sequence of waits
// needs no line control).
bool NeedsLineControl(const LineSequence& steps);

// Carries the steps out on `port`, the waits (and the length of each break)
// on `clock`. False at the first line call the port refuses; the steps after
// it are not run.
bool RunLineSequence(Port& port, const LineSequence& steps, Clock& clock);

}  // namespace mirelle::serial
