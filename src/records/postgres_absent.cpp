// A build without libpq (the Windows build) has no PostgreSQL records.
#include "records/database.h"

namespace mirelle::records {

std::unique_ptr<Database> OpenPostgres(const std::string&, std::string& error) {
    error = "this build of Mirelle has no PostgreSQL (records on PostgreSQL are kept by the Linux build)";
    return nullptr;
}

}  // namespace mirelle::records
