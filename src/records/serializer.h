// Serialization of one station, gang child or single run: the patch rules,
// the values each unit gets from the record store, and their settlement at
// the unit's verdict.
//
//   Serializer s(rules, base_dir);
//   s.Open(database, program_dir);            // the [Records] store
//   s.Begin(slot, patches);                   // when the unit's Full Operation starts
//   session.SetImagePatches(patches); ...     // program and verify
//   s.End(passed);                            // spend, burn or give back
//
// A counter's and a list's values are reserved in the store
// (records/serial_reservation.h); a command is run per unit through the
// system's shell, with MIRELLE_SLOT and MIRELLE_UNIT in its environment, and
// its first line of output is the value (it ends within kCommandLimitMs and
// with status 0, else the unit fails); its value is reserved too, so that a
// command that repeats itself is caught.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hexfile/patch_rule.h"
#include "records/database.h"
#include "records/serial_reservation.h"

namespace mirelle::records {

inline constexpr int kCommandLimitMs = 30000;

class Serializer {
public:
    // List files named relative are found from `base_dir` (the job's folder,
    // or the current folder of a command line).
    Serializer(std::vector<hexfile::PatchRule> rules, std::string base_dir);
    ~Serializer();
    Serializer(const Serializer&) = delete;
    Serializer& operator=(const Serializer&) = delete;

    bool Empty() const { return m_rules.empty(); }
    // Opens the store a [Records] Database value names (see record_store.h).
    bool Open(const std::string& location, const std::string& program_dir, std::string& error);
    // Uses a store opened elsewhere (tests, benchmarks); it must outlive this.
    void Use(Database& db) { m_db = &db; }

    // Reserves one value for each rule for a new unit in `slot` and gives
    // the patches. False with `error` (naming the rule) when a value cannot
    // be had; then nothing stays reserved.
    bool Begin(const std::string& slot, std::vector<hexfile::ImagePatch>& patches, std::string& error);
    // Settles the unit's values: spent on PASS; on FAIL burnt under a `burn`
    // rule, else given back for the next unit. False with `error` when a
    // reservation was no longer the unit's.
    bool End(bool passed, std::string& error);
    // The patches the next unit would get, nothing reserved (a command is
    // not run: its rule is left out).
    bool Peek(std::vector<hexfile::ImagePatch>& patches, std::string& error);
    // The unit's token (MIRELLE_UNIT) while it holds values; "" otherwise.
    const std::string& UnitToken() const { return m_unit; }

private:
    bool ValueOf(const hexfile::PatchRule& rule, std::int64_t seq, std::string& text, hexfile::PatchValue& value,
                 std::string& error);
    bool RunCommand(const hexfile::PatchRule& rule, const std::string& slot, std::string& output, std::string& error);
    const std::vector<std::string>* ListLines(const hexfile::PatchRule& rule, std::string& error);

    std::vector<hexfile::PatchRule> m_rules;
    std::string m_baseDir;
    std::unique_ptr<Database> m_owned;
    Database* m_db = nullptr;
    std::vector<std::vector<std::string>> m_lists;  // per rule, read once
    std::vector<bool> m_listRead;
    std::vector<Reservation> m_held;
    std::vector<bool> m_burn;  // per held reservation
    std::string m_unit;
};

// The rules of `texts` (each as --patch takes it); false with `error`.
bool ParsePatchRules(const std::vector<std::string>& texts, std::vector<hexfile::PatchRule>& rules,
                     std::string& error);

}  // namespace mirelle::records
