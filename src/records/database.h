// The two databases the records can live in, behind one small face: SQL with
// `?` parameters (text or NULL) that returns rows of text. SQLite is the
// default (a file, WAL mode, a busy time-out so that several processes write
// at once); PostgreSQL through libpq serves a floor of stations.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mirelle::records {

using Value = std::optional<std::string>;  // nullopt: NULL
using Row = std::vector<Value>;

class Database {
public:
    enum class Kind { kSqlite, kPostgres };
    virtual ~Database() = default;
    virtual Kind GetKind() const = 0;
    // Runs one statement; its rows (if any) are appended to `rows`. False with
    // `error` set when it failed.
    virtual bool Run(const std::string& sql, const std::vector<Value>& params, std::vector<Row>* rows,
                     std::string& error) = 0;
    bool Run(const std::string& sql, std::string& error) { return Run(sql, {}, nullptr, error); }
};

// The busy time-out of SQLite: how long a writer waits for another.
inline constexpr int kBusyTimeoutMs = 15000;

// Whether this build keeps records at all (it has SQLite).
bool SqliteAvailable();

// Opens (creating when `create`) an SQLite file. nullptr with `error` set
// when it cannot be opened.
std::unique_ptr<Database> OpenSqlite(const std::string& path, bool create, std::string& error);

// Connects to PostgreSQL with a libpq connection string. nullptr with
// `error` set when it cannot connect (or this build has no PostgreSQL).
std::unique_ptr<Database> OpenPostgres(const std::string& conninfo, std::string& error);

// Whether a [Records] Database value names PostgreSQL rather than a file:
// a postgresql:// or postgres:// URI, or libpq's key=value words.
bool IsConnectionString(const std::string& location);

}  // namespace mirelle::records
