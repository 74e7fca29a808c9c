// The reservation of per-unit values in the record store, so that no value is
// ever handed to two units, whatever number of slots, gang children or
// stations share the store.
//
// Each rule's values form a sequence (its key: hexfile::PatchRuleKey). A
// value is reserved for a unit when its Full Operation starts (state "held",
// with the holder's token); at the verdict it is spent (PASS), burnt (FAIL
// under a `burn` rule) or goes back ("free", FAIL): a free value is the next
// one handed out, before any new one. Each step is one transaction: on
// PostgreSQL it locks the sequence's row (SELECT ... FOR UPDATE), so
// reservations of one sequence follow one another; on SQLite it is a write
// transaction from its start (BEGIN IMMEDIATE).
//
// A holder that dies (a crash, a power cut) never settles its value. After
// kReservationHoldMs the value is released from it, as "lost", and never
// handed out again: its board may carry it, programmed and verified, so
// giving it to another board could make two units with one number. A lost
// value is a gap in the sequence, never a duplicate. A live holder that
// settles after that time still settles its own value.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "records/database.h"

namespace mirelle::records {

// How long a value stays held for a holder that never settles it: an hour,
// many times the longest Full Operation (the whole 6 MiB image at the slowest
// working rate of the listed chips takes minutes), so a slow but live unit
// is never taken for a dead one; since an expired value is never handed out
// again, the time only decides when the store stops calling it held.
inline constexpr std::int64_t kReservationHoldMs = 60LL * 60 * 1000;

struct Reservation {
    std::string rule;    // the sequence's key
    std::string value;   // the value's text
    std::int64_t seq = -1;  // its place in the sequence; -1 for a value a command gave
    std::string holder;  // the token that holds it
};

// The next value of a sequence: a value given back first (the lowest place),
// else the next new place, whose text `value_of` gives (none: the sequence
// has run out, with `error` saying so). A place whose text the store already
// holds (a line twice in a list) is skipped. False with `error` when nothing
// was reserved.
bool ReserveNext(Database& db, const std::string& rule,
                 const std::function<std::optional<std::string>(std::int64_t seq, std::string& error)>& value_of,
                 const std::string& holder, std::int64_t now_ms, Reservation& out, std::string& error);

// A value from outside (a command's output): reserved unless it was handed
// out before and not given back.
bool ReserveGiven(Database& db, const std::string& rule, const std::string& value, const std::string& holder,
                  std::int64_t now_ms, Reservation& out, std::string& error);

// The value ReserveNext would give now, without reserving it.
bool PeekNext(Database& db, const std::string& rule,
              const std::function<std::optional<std::string>(std::int64_t seq, std::string& error)>& value_of,
              std::string& value, std::int64_t& seq, std::string& error);

enum class Settlement { kSpend, kBurn, kGiveBack };

// Settles the unit's value; false with `error` when the reservation is no
// longer this holder's (then nothing changes).
bool Settle(Database& db, const Reservation& reservation, Settlement how, std::string& error);

// The state of a value ("held", "spent", "burnt", "free", "lost"; "" when the
// store has never seen it).
std::string ValueState(Database& db, const std::string& rule, const std::string& value);

}  // namespace mirelle::records
