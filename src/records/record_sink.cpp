#include "records/record_sink.h"

#include <filesystem>
#include <random>
#include <system_error>

#include "records/record_store.h"
#include "records/sha256.h"
#include "serial/device_list.h"
#include "platform/system.h"

namespace mirelle::records {

namespace fs = std::filesystem;

namespace {

std::string VersionText() {
    return std::to_string(MIRELLE_VERSION_MAJOR) + "." + std::to_string(MIRELLE_VERSION_MINOR) + "." +
           std::to_string(MIRELLE_VERSION_PATCH) + "." + std::to_string(MIRELLE_VERSION_TWEAK);
}

// The links of one folder of /dev/serial that lead to `target`.
void LinksTo(const fs::path& folder, const fs::path& target, std::string& out) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code ec2;
        if (fs::canonical(it->path(), ec2) == target && !ec2) out += (out.empty() ? "" : "; ") + it->path().string();
    }
}

}  // namespace

std::string NewRecordId() {
    std::random_device device;
    std::mt19937_64 mix((static_cast<std::uint64_t>(device()) << 32) ^ device() ^
                        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    static const char kDigits[] = "0123456789abcdef";
    std::string id;
    for (int i = 0; i < 2; ++i) {
        const std::uint64_t word = mix() ^ (static_cast<std::uint64_t>(device()) << 32 | device());
        for (int shift = 60; shift >= 0; shift -= 4) id += kDigits[(word >> shift) & 0xF];
    }
    return id;
}

std::string PortIdentity(const std::string& device) {
    if (device.empty()) return "";
    std::error_code ec;
    const fs::path target = fs::canonical(device, ec);
    if (ec) return device;
    std::string identity;
    LinksTo("/dev/serial/by-path", target, identity);
    LinksTo("/dev/serial/by-id", target, identity);
    for (const serial::SerialDevice& d : serial::FindSerialDevices()) {
        std::error_code ec2;
        if ((d.path == device || fs::canonical(d.path, ec2) == target) && !d.serial_number.empty()) {
            identity += (identity.empty() ? "" : "; ") + std::string("usb-serial ") + d.serial_number;
            break;
        }
    }
    return identity.empty() ? device : identity;
}

void CompleteRecord(engine::UnitRecord& r, const settings::RecordsSettings& settings) {
    if (r.id.empty()) r.id = NewRecordId();
    if (r.station.empty()) r.station = settings.station.empty() ? sys::HostName() : settings.station;
    if (r.operator_name.empty()) r.operator_name = settings.operator_name;
    if (r.version.empty()) r.version = VersionText();
    if (!r.program_file.empty() && r.program_sha256.empty() && !HashFile(r.program_file, r.program_sha256, r.program_size))
        r.program_size = -1;
    r.port_identity = PortIdentity(r.port_identity);
}

StoreSink::StoreSink(std::string program_dir, settings::RecordsSettings settings)
    : m_programDir(std::move(program_dir)), m_settings(std::move(settings)) {}

StoreSink::~StoreSink() = default;

std::string StoreSink::Write(engine::UnitRecord& record) {
    CompleteRecord(record, m_settings);
    m_lastSpooled = false;
    return IsConnectionString(m_settings.database) ? WritePostgres(record) : WriteSqlite(record);
}

std::string StoreSink::WriteSqlite(const engine::UnitRecord& record) {
    std::string error;
    if (!m_db) m_db = OpenStore(m_settings.database, m_programDir, true, error);
    if (m_db && InsertRecord(*m_db, record, error)) return "";
    m_db.reset();
    return "the unit's record was not kept: " + error;
}

std::string StoreSink::WritePostgres(const engine::UnitRecord& record) {
    std::string error;
    if (!m_db) m_db = OpenStore(m_settings.database, m_programDir, false, error);
    // A malformed connection string never connects: there is nothing to wait for.
    if (!m_db && error.rfind("malformed", 0) == 0) return "the unit's record was not kept: " + error;
    if (m_db && DrainSpool(error) && InsertRecord(*m_db, record, error)) return "";
    m_db.reset();
    return Spool(record, error);
}

std::string StoreSink::Spool(const engine::UnitRecord& record, const std::string& why) {
    const std::string path = m_programDir + kSpoolFile;
    std::string error;
    std::unique_ptr<Database> spool = OpenSqlite(path, true, error);
    if (spool && EnsureSchema(*spool, error) && InsertRecord(*spool, record, error)) {
        m_lastSpooled = true;
        return "";
    }
    return "the unit's record was not kept: PostgreSQL: " + why + "; spool " + path + ": " + error;
}

bool StoreSink::DrainSpool(std::string& error) {
    const std::string path = m_programDir + kSpoolFile;
    std::error_code ec;
    if (!fs::exists(path, ec)) return true;
    std::unique_ptr<Database> spool = OpenSqlite(path, false, error);
    if (!spool || !EnsureSchema(*spool, error)) return false;
    // One process drains at a time; the others find the spool empty after it.
    if (!spool->Run("BEGIN IMMEDIATE", error)) return false;
    std::vector<engine::UnitRecord> waiting;
    bool ok = SelectRecords(*spool, {}, waiting, error);
    for (const engine::UnitRecord& r : waiting) {
        // The server keeps a record it has already once (the id is its key);
        // only then does the spool let it go.
        if (!ok || !InsertRecord(*m_db, r, error)) {
            ok = false;
            break;
        }
        std::string ignored;
        spool->Run("DELETE FROM records WHERE id = ?", {r.id}, nullptr, ignored);
    }
    std::string ignored;
    spool->Run("COMMIT", ignored);
    return ok;
}

std::unique_ptr<engine::RecordSink> MakeRecordSink(const std::string& program_dir) {
    settings::RecordsSettings s = settings::ReadRecordsSettings(program_dir + "Customize.ini");
    if (!s.enabled || !SqliteAvailable()) return nullptr;
    return std::make_unique<StoreSink>(program_dir, std::move(s));
}

std::unique_ptr<engine::RecordSink> AttachRecords(engine::FlashSession& session, const std::string& program_dir) {
    std::unique_ptr<engine::RecordSink> sink = MakeRecordSink(program_dir);
    session.SetRecordSink(sink.get());
    session.m_strRecordSlot = sys::GetEnv("MIRELLE_SLOT");
    return sink;
}

}  // namespace mirelle::records
