#include "records/record_store.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace mirelle::records {

namespace fs = std::filesystem;

namespace {

// The tables of serialization's reservations (records/serial_reservation.h):
// each sequence's next new place, and every value handed out with its state.
const std::vector<std::string>& SerialTables() {
    static const std::vector<std::string> kTables = {
        "CREATE TABLE IF NOT EXISTS serial_sequences (rule TEXT PRIMARY KEY, next_seq BIGINT NOT NULL)",
        "CREATE TABLE IF NOT EXISTS serial_values (rule TEXT NOT NULL, value TEXT NOT NULL, seq BIGINT, state TEXT NOT "
        "NULL, holder TEXT, held_ms BIGINT, PRIMARY KEY (rule, value))",
        "CREATE INDEX IF NOT EXISTS serial_values_state ON serial_values (rule, state, seq)",
    };
    return kTables;
}

// The migrations: entry i takes a database from version i + 1 to i + 2.
// Version 1 is the first schema; later versions add their steps here.
const std::vector<std::vector<std::string>>& Migrations() {
    static const std::vector<std::vector<std::string>> kSteps = [] {
        // 2: serialization: the bytes patched into the unit's image, and the reservations.
        std::vector<std::string> two{"ALTER TABLE records ADD COLUMN patches TEXT"};
        two.insert(two.end(), SerialTables().begin(), SerialTables().end());
        return std::vector<std::vector<std::string>>{two};
    }();
    return kSteps;
}

Value Text(const std::string& s) { return s; }
Value Number(long long n) { return std::to_string(n); }
long long NumberOf(const Value& v, long long def = 0) { return v ? std::strtoll(v->c_str(), nullptr, 10) : def; }

std::string ColumnList() {
    std::string list;
    for (const Column& c : RecordColumns()) list += std::string(list.empty() ? "" : ", ") + c.name;
    return list;
}

std::vector<Value> RecordValues(const engine::UnitRecord& r) {
    std::vector<Value> v{Text(r.id),          Number(r.start_ms),       Number(r.end_ms),      Text(r.folder),
                         Text(r.station),     Text(r.slot),             Text(r.port),          Text(r.port_identity),
                         Text(r.operation),   Text(r.target),           Text(r.clock),         Number(r.rate),
                         Text(r.program_file)};
    v.push_back(r.program_size < 0 ? Value() : Number(r.program_size));
    v.insert(v.end(), {Text(r.program_sha256), Text(r.job_name), Text(r.job_sha256), Text(r.serial_number)});
    for (long long ms : r.phase_ms) v.push_back(ms < 0 ? Value() : Number(ms));
    v.insert(v.end(), {Number(r.bytes_programmed), Number(r.crc_retries), Number(r.line_retries),
                       Number(r.result_code), Number(r.result_kind), Text(r.result_text), Number(r.passed ? 1 : 0),
                       Number(r.exit_status), Text(r.version), Text(r.operator_name), Text(r.patches)});
    return v;
}

engine::UnitRecord RecordOf(const Row& row) {
    engine::UnitRecord r;
    std::size_t i = 0;
    auto text = [&] { return row[i] ? *row[i++] : (++i, std::string()); };
    auto number = [&](long long def = 0) { return NumberOf(row[i++], def); };
    r.id = text();
    r.start_ms = number();
    r.end_ms = number();
    r.folder = text();
    r.station = text();
    r.slot = text();
    r.port = text();
    r.port_identity = text();
    r.operation = text();
    r.target = text();
    r.clock = text();
    r.rate = number();
    r.program_file = text();
    r.program_size = number(-1);
    r.program_sha256 = text();
    r.job_name = text();
    r.job_sha256 = text();
    r.serial_number = text();
    for (long long& ms : r.phase_ms) ms = number(-1);
    r.bytes_programmed = number();
    r.crc_retries = static_cast<int>(number());
    r.line_retries = static_cast<int>(number());
    r.result_code = static_cast<int>(number(-1));
    r.result_kind = static_cast<int>(number());
    r.result_text = text();
    r.passed = number() != 0;
    r.exit_status = static_cast<int>(number(-1));
    r.version = text();
    r.operator_name = text();
    r.patches = text();
    return r;
}

std::string Where(const RecordFilter& f, std::vector<Value>& params) {
    std::string where;
    auto add = [&](const std::string& clause, Value value) {
        where += where.empty() ? " WHERE " : " AND ";
        where += clause;
        if (value) params.push_back(std::move(value));
    };
    if (f.since_ms) add("start_ms >= ?", Number(*f.since_ms));
    if (f.until_ms) add("start_ms < ?", Number(*f.until_ms));
    if (!f.target.empty()) add("upper(target) = upper(?)", f.target);
    if (!f.serial.empty()) add("serial_number = ?", f.serial);
    // A port matches by the name given or by any part of its identity.
    if (!f.port.empty()) {
        add("(port = ? OR port_identity LIKE ?)", f.port);
        params.push_back("%" + f.port + "%");
    }
    if (!f.station.empty()) add("station = ?", f.station);
    if (!f.folder.empty()) add("folder = ?", f.folder);
    if (!f.operation.empty()) add("operation = ?", f.operation);
    if (!f.job_name.empty()) add("job_name = ?", f.job_name);
    if (!f.job_sha256.empty()) add("job_sha256 = ?", f.job_sha256);
    if (!f.slot.empty()) add("slot = ?", f.slot);
    if (f.passed) add(*f.passed ? "passed = 1" : "passed = 0", std::nullopt);
    return where;
}

bool IsPostgresUri(const std::string& s) { return s.rfind("postgresql://", 0) == 0 || s.rfind("postgres://", 0) == 0; }

}  // namespace

const std::vector<Column>& RecordColumns() {
    static const std::vector<Column> kColumns = {
        {"id", "TEXT PRIMARY KEY"},  {"start_ms", "BIGINT NOT NULL"}, {"end_ms", "BIGINT NOT NULL"},
        {"folder", "TEXT"},          {"station", "TEXT"},            {"slot", "TEXT"},
        {"port", "TEXT"},            {"port_identity", "TEXT"},      {"operation", "TEXT"},
        {"target", "TEXT"},          {"clock", "TEXT"},              {"rate", "BIGINT"},
        {"program_file", "TEXT"},    {"program_size", "BIGINT"},     {"program_sha256", "TEXT"},
        {"job_name", "TEXT"},        {"job_sha256", "TEXT"},         {"serial_number", "TEXT"},
        {"download_ms", "BIGINT"},   {"quick_blank_ms", "BIGINT"},   {"erase_ms", "BIGINT"},
        {"blank_check_ms", "BIGINT"}, {"program_verify_ms", "BIGINT"}, {"read_ms", "BIGINT"},
        {"bytes_programmed", "BIGINT"}, {"crc_retries", "INTEGER"},  {"line_retries", "INTEGER"},
        {"result_code", "INTEGER"},  {"result_kind", "INTEGER"},     {"result_text", "TEXT"},
        {"passed", "INTEGER NOT NULL"}, {"exit_status", "INTEGER"},  {"version", "TEXT"},
        {"operator", "TEXT"},        {"patches", "TEXT"}};
    return kColumns;
}

namespace {

std::string NewerSchemaText(int version) {
    return "the records database has schema version " + std::to_string(version) + ", newer than this program's " +
           std::to_string(kSchemaVersion) + " (a newer Mirelle made it)";
}

}  // namespace

bool EnsureSchema(Database& db, std::string& error) {
    // The common case, a store of this version, costs one query and no lock.
    {
        std::vector<Row> rows;
        std::string ignored;
        if (db.Run("SELECT max(version) FROM schema_version", {}, &rows, ignored) && !rows.empty()) {
            const long long version = NumberOf(rows[0][0], 0);
            if (version == kSchemaVersion) return true;
            if (version > kSchemaVersion) {
                error = NewerSchemaText(static_cast<int>(version));
                return false;
            }
        }
    }
    const bool pg = db.GetKind() == Database::Kind::kPostgres;
    // One process at a time makes or migrates the schema: on PostgreSQL a
    // transaction-wide advisory lock, on SQLite a write transaction.
    if (!db.Run(pg ? "BEGIN" : "BEGIN IMMEDIATE", error)) return false;
    auto fail = [&] {
        std::string ignored;
        db.Run("ROLLBACK", ignored);
        return false;
    };
    if (pg && !db.Run("SELECT pg_advisory_xact_lock(7236851)", {}, nullptr, error)) return fail();
    if (!db.Run("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)", error)) return fail();
    std::vector<Row> rows;
    if (!db.Run("SELECT max(version) FROM schema_version", {}, &rows, error)) return fail();
    const int version = rows.empty() ? 0 : static_cast<int>(NumberOf(rows[0][0], 0));
    if (version > kSchemaVersion) {
        error = NewerSchemaText(version);
        return fail();
    }
    if (version == 0) {
        std::string create = "CREATE TABLE IF NOT EXISTS records (";
        bool first = true;
        for (const Column& c : RecordColumns()) {
            create += std::string(first ? "" : ", ") + c.name + " " + c.type;
            first = false;
        }
        create += ")";
        if (!db.Run(create, error) ||
            !db.Run("CREATE INDEX IF NOT EXISTS records_start ON records (start_ms)", error) ||
            !db.Run("CREATE INDEX IF NOT EXISTS records_serial ON records (serial_number)", error) ||
            !std::all_of(SerialTables().begin(), SerialTables().end(),
                         [&](const std::string& sql) { return db.Run(sql, error); }) ||
            !db.Run("INSERT INTO schema_version (version) VALUES (?)", {Number(kSchemaVersion)}, nullptr, error))
            return fail();
    } else if (version < kSchemaVersion) {
        for (int v = version; v < kSchemaVersion; ++v)
            for (const std::string& step : Migrations()[static_cast<std::size_t>(v - 1)])
                if (!db.Run(step, error)) return fail();
        if (!db.Run("UPDATE schema_version SET version = ?", {Number(kSchemaVersion)}, nullptr, error)) return fail();
    }
    return db.Run("COMMIT", error) || fail();
}

bool InsertRecord(Database& db, const engine::UnitRecord& record, std::string& error) {
    std::string marks;
    for (std::size_t i = 0; i < RecordColumns().size(); ++i) marks += i ? ", ?" : "?";
    return db.Run("INSERT INTO records (" + ColumnList() + ") VALUES (" + marks + ") ON CONFLICT (id) DO NOTHING",
                  RecordValues(record), nullptr, error);
}

bool SelectRecords(Database& db, const RecordFilter& filter, std::vector<engine::UnitRecord>& out,
                   std::string& error) {
    std::vector<Value> params;
    std::string sql = "SELECT " + ColumnList() + " FROM records" + Where(filter, params);
    if (filter.limit > 0) {
        // The newest `limit`, turned back to oldest first.
        sql = "SELECT * FROM (" + sql + " ORDER BY start_ms DESC, id DESC LIMIT " + std::to_string(filter.limit) +
              ") AS newest";
    }
    sql += " ORDER BY start_ms, id";
    std::vector<Row> rows;
    if (!db.Run(sql, params, &rows, error)) return false;
    for (const Row& row : rows)
        if (row.size() == RecordColumns().size()) out.push_back(RecordOf(row));
    return true;
}

bool CountRecords(Database& db, const RecordFilter& filter, long long& count, std::string& error) {
    std::vector<Value> params;
    std::vector<Row> rows;
    if (!db.Run("SELECT count(*) FROM records" + Where(filter, params), params, &rows, error)) return false;
    count = rows.empty() ? 0 : NumberOf(rows[0][0]);
    return true;
}

bool IsConnectionString(const std::string& location) {
    if (IsPostgresUri(location)) return true;
    // libpq's key=value words: "host=... dbname=..."; a path has no '='
    // before its first separator.
    const std::size_t eq = location.find('=');
    return eq != std::string::npos && location.find_first_of("/\\") > eq;
}

std::string StorePath(const std::string& location, const std::string& program_dir) {
    if (IsConnectionString(location)) return "";
    if (location.empty()) return program_dir + "records.db";
    const fs::path p(location);
    return p.is_absolute() ? location : program_dir + location;
}

std::unique_ptr<Database> OpenStore(const std::string& location, const std::string& program_dir, bool create,
                                    std::string& error) {
    std::unique_ptr<Database> db;
    if (IsConnectionString(location)) {
        db = OpenPostgres(location, error);
    } else {
        const std::string path = StorePath(location, program_dir);
        db = OpenSqlite(path, create, error);
        if (!db) error = path + ": " + error;
    }
    if (db && !EnsureSchema(*db, error)) db.reset();
    return db;
}

}  // namespace mirelle::records
