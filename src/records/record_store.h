// The records table on either database: the schema (created when missing,
// with a version and the migrations from older versions), writing a record
// (the id is the key: a record written twice is kept once) and reading them
// back with the filters of `mirelle-cli records`.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/unit_record.h"
#include "records/database.h"

namespace mirelle::records {

// The schema version this program writes and reads.
inline constexpr int kSchemaVersion = 2;

// The columns of the records table, in order, with their SQL types.
struct Column {
    const char* name;
    const char* type;
};
const std::vector<Column>& RecordColumns();

// Creates the tables when missing and brings an older schema up to date;
// refuses a database of a newer schema. False with `error` set.
bool EnsureSchema(Database& db, std::string& error);

// Writes the record; a record with the same id is left as it is.
bool InsertRecord(Database& db, const engine::UnitRecord& record, std::string& error);

struct RecordFilter {
    std::optional<std::int64_t> since_ms, until_ms;  // start time, UTC: since <= start < until
    std::string target, serial, port, station, folder, operation;
    std::string job_name, job_sha256, slot;  // a station's job and slot, exactly
    std::optional<bool> passed;
    int limit = 0;  // 0: all; else the newest `limit`
};

// The records that pass the filter, oldest first.
bool SelectRecords(Database& db, const RecordFilter& filter, std::vector<engine::UnitRecord>& out,
                   std::string& error);
// How many records pass the filter (its limit aside).
bool CountRecords(Database& db, const RecordFilter& filter, long long& count, std::string& error);

// Opens the store a [Records] Database value names (empty: records.db in
// `program_dir`; a relative path: from the program folder), with the schema
// made ready. nullptr with `error` set.
std::unique_ptr<Database> OpenStore(const std::string& location, const std::string& program_dir, bool create,
                                    std::string& error);

// The file path of an SQLite location ("" for PostgreSQL).
std::string StorePath(const std::string& location, const std::string& program_dir);

}  // namespace mirelle::records
