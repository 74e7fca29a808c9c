#include "station/station_records.h"

#include "platform/system.h"
#include "records/database.h"
#include "records/record_sink.h"
#include "records/record_store.h"
#include "settings/settings.h"

namespace mirelle::station {

namespace {

// [Records] of the program folder, with the job's store in place of its own.
settings::RecordsSettings SettingsFor(const Job& job, const std::string& program_dir) {
    settings::RecordsSettings s = settings::ReadRecordsSettings(program_dir + "Customize.ini");
    if (!job.records.empty()) {
        // A job that names its store keeps its records whatever the folder says.
        s.database = job.records;
        s.enabled = true;
    }
    return s;
}

// The store's sink with the job's name and hash written into every record.
class JobSink final : public engine::RecordSink {
public:
    JobSink(const Job& job, const std::string& program_dir, settings::RecordsSettings settings)
        : store_(program_dir, std::move(settings)), name_(job.name), sha256_(job.sha256) {}
    std::string Write(engine::UnitRecord& record) override {
        record.job_name = name_;
        record.job_sha256 = sha256_;
        return store_.Write(record);
    }

private:
    records::StoreSink store_;
    std::string name_, sha256_;
};

}  // namespace

std::unique_ptr<engine::RecordSink> MakeSlotRecordSink(const Job& job, const std::string& program_dir) {
    settings::RecordsSettings s = SettingsFor(job, program_dir);
    if (!s.enabled || !records::SqliteAvailable()) return nullptr;
    return std::make_unique<JobSink>(job, program_dir, std::move(s));
}

SlotCounts ReadSlotCounts(const Job& job, const std::string& slot_name, const std::string& program_dir) {
    SlotCounts counts;
    const settings::RecordsSettings s = SettingsFor(job, program_dir);
    if (!s.enabled || !records::SqliteAvailable()) return counts;
    std::unique_ptr<records::Database> db = records::OpenStore(s.database, program_dir, true, counts.error);
    if (!db) return counts;
    records::RecordFilter filter;
    filter.job_name = job.name;
    filter.job_sha256 = job.sha256;
    filter.slot = slot_name;
    filter.station = s.station.empty() ? sys::HostName() : s.station;
    filter.operation = "full-operation";
    filter.passed = true;
    if (!records::CountRecords(*db, filter, counts.passed, counts.error)) return counts;
    filter.passed = false;
    records::CountRecords(*db, filter, counts.failed, counts.error);
    return counts;
}

std::string JobStoreLocation(const Job& job, const std::string& program_dir) {
    return SettingsFor(job, program_dir).database;
}

}  // namespace mirelle::station
