// The time serialization adds to a unit: reserving one value of a counter
// rule when the unit starts and spending it at its verdict, each one
// transaction, on SQLite (a file in the temporary folder, as the program
// folder's records.db) and on PostgreSQL when MIRELLE_BENCH_POSTGRES holds a
// connection string (e.g. "host=/tmp/pg dbname=postgres user=postgres").
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "records/record_store.h"
#include "records/serializer.h"

namespace mirelle {
namespace {

namespace fs = std::filesystem;

void ReserveAndSpend(benchmark::State& state, const std::string& location) {
    const fs::path home = fs::temp_directory_path() / ("mirelle-bench-serial-" + std::to_string(getpid()));
    fs::remove_all(home);
    fs::create_directories(home);
    std::vector<hexfile::PatchRule> rules;
    std::string error;
    // A fresh sequence for each run, so that runs do not share values.
    records::ParsePatchRules({"0x7F10:12:counter=1,enc=dec,prefix=SN-,name=bench-" + std::to_string(getpid())}, rules,
                             error);
    records::Serializer serializer(rules, home.string());
    if (!serializer.Open(location, home.string() + "/", error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) {
        std::vector<hexfile::ImagePatch> patches;
        if (!serializer.Begin("1", patches, error) || !serializer.End(true, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(patches);
    }
    fs::remove_all(home);
}

void BM_SerialReservation_Sqlite(benchmark::State& state) { ReserveAndSpend(state, ""); }
BENCHMARK(BM_SerialReservation_Sqlite)->Unit(benchmark::kMillisecond);

void BM_SerialReservation_Postgres(benchmark::State& state) {
    const char* conninfo = std::getenv("MIRELLE_BENCH_POSTGRES");
    if (!conninfo || !*conninfo) {
        state.SkipWithError("MIRELLE_BENCH_POSTGRES is not set");
        return;
    }
    ReserveAndSpend(state, conninfo);
}
BENCHMARK(BM_SerialReservation_Postgres)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace mirelle
