#include <sqlite3.h>

#include <chrono>
#include <thread>

#include "records/database.h"

namespace mirelle::records {

namespace {

class SqliteDatabase final : public Database {
public:
    explicit SqliteDatabase(sqlite3* db) : m_db(db) {}
    ~SqliteDatabase() override { sqlite3_close_v2(m_db); }
    using Database::Run;
    Kind GetKind() const override { return Kind::kSqlite; }

    bool Run(const std::string& sql, const std::vector<Value>& params, std::vector<Row>* rows,
             std::string& error) override {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr) != SQLITE_OK) {
            error = sqlite3_errmsg(m_db);
            return false;
        }
        const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owner(stmt, sqlite3_finalize);
        for (std::size_t i = 0; i < params.size(); ++i) {
            const int n = static_cast<int>(i + 1);
            if (params[i])
                sqlite3_bind_text(stmt, n, params[i]->c_str(), static_cast<int>(params[i]->size()), SQLITE_TRANSIENT);
            else
                sqlite3_bind_null(stmt, n);
        }
        for (;;) {
            const int rc = sqlite3_step(stmt);
            if (rc == SQLITE_DONE) return true;
            if (rc != SQLITE_ROW) {
                error = sqlite3_errmsg(m_db);
                return false;
            }
            if (!rows) continue;
            Row row;
            const int columns = sqlite3_column_count(stmt);
            for (int c = 0; c < columns; ++c) {
                if (sqlite3_column_type(stmt, c) == SQLITE_NULL) {
                    row.emplace_back();
                } else {
                    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
                    row.emplace_back(std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt, c))));
                }
            }
            rows->push_back(std::move(row));
        }
    }

private:
    sqlite3* m_db;
};

}  // namespace

bool SqliteAvailable() { return true; }

std::unique_ptr<Database> OpenSqlite(const std::string& path, bool create, std::string& error) {
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        error = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close_v2(db);
        return nullptr;
    }
    auto database = std::make_unique<SqliteDatabase>(db);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // Readers do not block the writers, and every process's write lands
    // whole. A file that is no database fails here already.
    // Turning a new file to WAL takes a lock that SQLite does not wait for
    // through the busy time-out: two processes making one store at once
    // (the children of a gang's first run) would see "database is locked".
    // It is tried again until the busy time-out has passed.
    std::vector<Row> mode;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    while (!database->Run("PRAGMA journal_mode=WAL", {}, &mode, error)) {
        const int code = sqlite3_errcode(db) & 0xFF;
        if ((code != SQLITE_BUSY && code != SQLITE_LOCKED) || std::chrono::steady_clock::now() > until) return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!database->Run("PRAGMA synchronous=NORMAL", error)) return nullptr;
    return database;
}

}  // namespace mirelle::records
