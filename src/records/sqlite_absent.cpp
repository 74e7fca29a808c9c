// A build without SQLite (the Windows build for now) keeps no records.
#include "records/database.h"

namespace mirelle::records {

bool SqliteAvailable() { return false; }

std::unique_ptr<Database> OpenSqlite(const std::string&, bool, std::string& error) {
    error = "this build of Mirelle keeps no records (it was built without SQLite)";
    return nullptr;
}

}  // namespace mirelle::records
