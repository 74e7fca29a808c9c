#include <libpq-fe.h>

#include "records/database.h"

namespace mirelle::records {

namespace {

// libpq's messages end with a newline; the records print them on one line.
std::string OneLine(const char* text) {
    std::string s = text ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    for (char& c : s)
        if (c == '\n') c = ' ';
    return s;
}

class PostgresDatabase final : public Database {
public:
    explicit PostgresDatabase(PGconn* conn) : m_conn(conn) {}
    ~PostgresDatabase() override { PQfinish(m_conn); }
    using Database::Run;
    Kind GetKind() const override { return Kind::kPostgres; }

    bool Run(const std::string& sql, const std::vector<Value>& params, std::vector<Row>* rows,
             std::string& error) override {
        // `?` becomes $1, $2 ... (the statements of the records have no `?` in literals).
        std::string text;
        int n = 0;
        for (char c : sql) {
            if (c == '?')
                text += "$" + std::to_string(++n);
            else
                text += c;
        }
        std::vector<const char*> values;
        for (const Value& v : params) values.push_back(v ? v->c_str() : nullptr);
        PGresult* res = PQexecParams(m_conn, text.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                                     nullptr, nullptr, 0);
        const std::unique_ptr<PGresult, void (*)(PGresult*)> owner(res, PQclear);
        const ExecStatusType status = PQresultStatus(res);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            error = OneLine(res ? PQresultErrorMessage(res) : PQerrorMessage(m_conn));
            return false;
        }
        if (!rows || status != PGRES_TUPLES_OK) return true;
        const int count = PQntuples(res);
        const int columns = PQnfields(res);
        for (int r = 0; r < count; ++r) {
            Row row;
            for (int c = 0; c < columns; ++c) {
                if (PQgetisnull(res, r, c))
                    row.emplace_back();
                else
                    row.emplace_back(std::string(PQgetvalue(res, r, c), static_cast<std::size_t>(PQgetlength(res, r, c))));
            }
            rows->push_back(std::move(row));
        }
        return true;
    }

private:
    PGconn* m_conn;
};

}  // namespace

std::unique_ptr<Database> OpenPostgres(const std::string& conninfo, std::string& error) {
    // A malformed string is refused by the parser before any connection.
    char* parse_error = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &parse_error);
    if (!options) {
        error = "malformed connection string: " + OneLine(parse_error ? parse_error : "out of memory");
        PQfreemem(parse_error);
        return nullptr;
    }
    PQconninfoFree(options);
    PGconn* conn = PQconnectdb(conninfo.c_str());
    if (!conn || PQstatus(conn) != CONNECTION_OK) {
        error = OneLine(conn ? PQerrorMessage(conn) : "out of memory");
        PQfinish(conn);
        return nullptr;
    }
    auto database = std::make_unique<PostgresDatabase>(conn);
    // Notices (a table that exists already) are not the user's business.
    PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
    return database;
}

}  // namespace mirelle::records
