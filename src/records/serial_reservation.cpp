#include "records/serial_reservation.h"

#include <cstdlib>
#include <vector>

namespace mirelle::records {

namespace {

// Places of a sequence skipped in one reservation at most (lines already
// used, given twice in a list): more means the list is not what it should be.
constexpr int kMaxSkips = 100000;

std::string Number(long long n) { return std::to_string(n); }

// One transaction that is rolled back unless committed.
class Transaction {
public:
    explicit Transaction(Database& db) : db_(db) {}
    ~Transaction() {
        if (open_) {
            std::string ignored;
            db_.Run("ROLLBACK", ignored);
        }
    }
    // Begins, and takes the sequence's lock: no other reservation of `rule`
    // runs until this one ends.
    bool Begin(const std::string& rule, long long& next_seq, std::string& error) {
        const bool pg = db_.GetKind() == Database::Kind::kPostgres;
        if (!db_.Run(pg ? "BEGIN" : "BEGIN IMMEDIATE", error)) return false;
        open_ = true;
        std::vector<Row> rows;
        if (!db_.Run("INSERT INTO serial_sequences (rule, next_seq) VALUES (?, 0) ON CONFLICT (rule) DO NOTHING",
                     {rule}, nullptr, error) ||
            !db_.Run(std::string("SELECT next_seq FROM serial_sequences WHERE rule = ?") + (pg ? " FOR UPDATE" : ""),
                     {rule}, &rows, error))
            return false;
        next_seq = rows.empty() || !rows[0][0] ? 0 : std::strtoll(rows[0][0]->c_str(), nullptr, 10);
        return true;
    }
    bool Commit(std::string& error) {
        if (!db_.Run("COMMIT", error)) return false;
        open_ = false;
        return true;
    }

private:
    Database& db_;
    bool open_ = false;
};

// The state of a value, "" when there is none.
bool StateOf(Database& db, const std::string& rule, const std::string& value, std::string& state, std::string& holder,
             std::string& error) {
    std::vector<Row> rows;
    if (!db.Run("SELECT state, holder FROM serial_values WHERE rule = ? AND value = ?", {rule, value}, &rows, error))
        return false;
    state = rows.empty() || !rows[0][0] ? "" : *rows[0][0];
    holder = rows.empty() || !rows[0][1] ? "" : *rows[0][1];
    return true;
}

// The lowest value given back, if any.
bool FirstFree(Database& db, const std::string& rule, Reservation& found, bool& any, std::string& error) {
    std::vector<Row> rows;
    if (!db.Run("SELECT value, seq FROM serial_values WHERE rule = ? AND state = 'free' ORDER BY seq LIMIT 1", {rule},
                &rows, error))
        return false;
    any = !rows.empty() && rows[0][0];
    if (any) {
        found.value = *rows[0][0];
        found.seq = rows[0][1] ? std::strtoll(rows[0][1]->c_str(), nullptr, 10) : -1;
    }
    return true;
}

// The first new place from `next` whose value the store has not seen.
bool FirstNew(Database& db, const std::string& rule, long long& next,
              const std::function<std::optional<std::string>(std::int64_t, std::string&)>& value_of,
              std::string& value, std::string& error) {
    for (int skips = 0; skips <= kMaxSkips; ++skips, ++next) {
        const std::optional<std::string> v = value_of(next, error);
        if (!v) return false;
        std::string state, holder;
        if (!StateOf(db, rule, *v, state, holder, error)) return false;
        if (state.empty()) {
            value = *v;
            return true;
        }
    }
    error = "more than " + std::to_string(kMaxSkips) + " values in a row were used already";
    return false;
}

}  // namespace

bool ReserveNext(Database& db, const std::string& rule,
                 const std::function<std::optional<std::string>(std::int64_t seq, std::string& error)>& value_of,
                 const std::string& holder, std::int64_t now_ms, Reservation& out, std::string& error) {
    Transaction t(db);
    long long next = 0;
    if (!t.Begin(rule, next, error)) return false;
    // Holders that never came back: their values are lost, never handed out again.
    if (!db.Run("UPDATE serial_values SET state = 'lost' WHERE rule = ? AND state = 'held' AND held_ms < ?",
                {rule, Number(now_ms - kReservationHoldMs)}, nullptr, error))
        return false;
    out = Reservation{rule, "", -1, holder};
    bool any = false;
    if (!FirstFree(db, rule, out, any, error)) return false;
    if (any) {
        if (!db.Run("UPDATE serial_values SET state = 'held', holder = ?, held_ms = ? WHERE rule = ? AND value = ?",
                    {holder, Number(now_ms), rule, out.value}, nullptr, error))
            return false;
    } else {
        if (!FirstNew(db, rule, next, value_of, out.value, error)) return false;
        out.seq = next;
        if (!db.Run("INSERT INTO serial_values (rule, value, seq, state, holder, held_ms) VALUES (?, ?, ?, 'held', ?, ?)",
                    {rule, out.value, Number(next), holder, Number(now_ms)}, nullptr, error) ||
            !db.Run("UPDATE serial_sequences SET next_seq = ? WHERE rule = ?", {Number(next + 1), rule}, nullptr, error))
            return false;
    }
    return t.Commit(error);
}

bool ReserveGiven(Database& db, const std::string& rule, const std::string& value, const std::string& holder,
                  std::int64_t now_ms, Reservation& out, std::string& error) {
    Transaction t(db);
    long long next = 0;
    if (!t.Begin(rule, next, error)) return false;
    std::string state, was_holder;
    if (!StateOf(db, rule, value, state, was_holder, error)) return false;
    if (!state.empty() && state != "free") {
        error = "the value " + value + " was handed out before (it is " + state + ")";
        return false;
    }
    const bool ok = state.empty()
                        ? db.Run("INSERT INTO serial_values (rule, value, seq, state, holder, held_ms) VALUES (?, ?, NULL, "
                                 "'held', ?, ?)",
                                 {rule, value, holder, Number(now_ms)}, nullptr, error)
                        : db.Run("UPDATE serial_values SET state = 'held', holder = ?, held_ms = ? WHERE rule = ? AND "
                                 "value = ?",
                                 {holder, Number(now_ms), rule, value}, nullptr, error);
    if (!ok) return false;
    out = Reservation{rule, value, -1, holder};
    return t.Commit(error);
}

bool PeekNext(Database& db, const std::string& rule,
              const std::function<std::optional<std::string>(std::int64_t seq, std::string& error)>& value_of,
              std::string& value, std::int64_t& seq, std::string& error) {
    Reservation free;
    bool any = false;
    if (!FirstFree(db, rule, free, any, error)) return false;
    if (any) {
        value = free.value;
        seq = free.seq;
        return true;
    }
    std::vector<Row> rows;
    if (!db.Run("SELECT next_seq FROM serial_sequences WHERE rule = ?", {rule}, &rows, error)) return false;
    long long next = rows.empty() || !rows[0][0] ? 0 : std::strtoll(rows[0][0]->c_str(), nullptr, 10);
    if (!FirstNew(db, rule, next, value_of, value, error)) return false;
    seq = next;
    return true;
}

bool Settle(Database& db, const Reservation& r, Settlement how, std::string& error) {
    Transaction t(db);
    long long next = 0;
    if (!t.Begin(r.rule, next, error)) return false;
    std::string state, holder;
    if (!StateOf(db, r.rule, r.value, state, holder, error)) return false;
    if (holder != r.holder || (state != "held" && state != "lost")) {
        error = "the reservation of " + r.value + " is no longer this unit's (it is " +
                (state.empty() ? std::string("unknown") : state) + ")";
        return false;
    }
    const bool ok = how == Settlement::kGiveBack
                        ? db.Run("UPDATE serial_values SET state = 'free', holder = NULL, held_ms = NULL WHERE rule = ? "
                                 "AND value = ?",
                                 {r.rule, r.value}, nullptr, error)
                        : db.Run("UPDATE serial_values SET state = ? WHERE rule = ? AND value = ?",
                                 {how == Settlement::kSpend ? "spent" : "burnt", r.rule, r.value}, nullptr, error);
    return ok && t.Commit(error);
}

std::string ValueState(Database& db, const std::string& rule, const std::string& value) {
    std::string state, holder, error;
    return StateOf(db, rule, value, state, holder, error) ? state : "";
}

}  // namespace mirelle::records
