// A PostgreSQL server of a test's own: initdb and pg_ctl in a temporary
// folder, a Unix socket and no TCP port. Server() starts one per test
// program, on first use; Ready() is false where PostgreSQL is not installed.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace mirelle::testing {

namespace pg_detail = std::filesystem;

// A PostgreSQL server of the test's own: its cluster and socket in a temporary folder.
class PgServer {
public:
    PgServer() {
        for (const auto& e : pg_detail::directory_iterator("/usr/lib/postgresql", ec_))
            if (pg_detail::exists(e.path() / "bin" / "initdb")) bin_ = e.path() / "bin";
        if (bin_.empty()) return;
        dir_ = pg_detail::temp_directory_path() / ("mirelle-pg-" + std::to_string(getpid()));
        pg_detail::remove_all(dir_);
        pg_detail::create_directories(dir_);
        // The server refuses to run as root: as root the cluster belongs to postgres.
        as_ = geteuid() == 0 ? "runuser -u postgres -- " : "";
        if (geteuid() == 0 && std::system(("chown postgres " + dir_.string()).c_str()) != 0) return;
        ready_ = Shell(bin_ / "initdb", "-D " + (dir_ / "data").string() + " -U postgres --auth=trust -N") && Start();
    }
    ~PgServer() {
        if (!bin_.empty()) Stop();
        pg_detail::remove_all(dir_, ec_);
    }
    bool Ready() const { return ready_; }
    bool Start() {
        return Shell(bin_ / "pg_ctl", "-D " + (dir_ / "data").string() + " -l " + (dir_ / "log").string() +
                                          " -o \"-k " + dir_.string() + " -c listen_addresses=''\" -w start");
    }
    bool Stop() { return Shell(bin_ / "pg_ctl", "-D " + (dir_ / "data").string() + " -m fast -w stop"); }
    std::string Conninfo() const { return "host=" + dir_.string() + " dbname=postgres user=postgres"; }

private:
    bool Shell(const pg_detail::path& program, const std::string& args) {
        const std::string command = as_ + program.string() + " " + args + " >>" + (dir_ / "ctl.log").string() + " 2>&1";
        return std::system(command.c_str()) == 0;
    }
    std::error_code ec_;
    pg_detail::path bin_, dir_;
    std::string as_;
    bool ready_ = false;
};

inline PgServer& Server() {
    static PgServer server;
    return server;
}


}  // namespace mirelle::testing
