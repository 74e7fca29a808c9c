// Where a session's records go: the store that [Records] of Customize.ini
// names. A record that cannot reach PostgreSQL waits in a local SQLite spool
// (records-spool.db in the program folder) and is sent, in order and once,
// with the next write that reaches the server.
#pragma once

#include <memory>
#include <string>

#include "engine/flash_session.h"
#include "engine/unit_record.h"
#include "records/database.h"
#include "settings/settings.h"

namespace mirelle::records {

inline constexpr const char* kSpoolFile = "records-spool.db";

class StoreSink final : public engine::RecordSink {
public:
    // `program_dir` ends with a separator.
    StoreSink(std::string program_dir, settings::RecordsSettings settings);
    ~StoreSink() override;
    std::string Write(engine::UnitRecord& record) override;
    // Set after each Write: the record went to the spool (PostgreSQL not reached).
    bool LastSpooled() const { return m_lastSpooled; }

private:
    std::string WriteSqlite(const engine::UnitRecord& record);
    std::string WritePostgres(const engine::UnitRecord& record);
    std::string Spool(const engine::UnitRecord& record, const std::string& why);
    bool DrainSpool(std::string& error);

    std::string m_programDir;
    settings::RecordsSettings m_settings;
    std::unique_ptr<Database> m_db;  // kept open between the records of one process
    bool m_lastSpooled = false;
};

// The sink of a program folder as Customize.ini sets it up; nullptr when
// records are turned off ([Records] Enabled=0) or this build keeps none.
std::unique_ptr<engine::RecordSink> MakeRecordSink(const std::string& program_dir);

// Gives `session` the records of its program folder and the slot that a gang
// parent names in MIRELLE_SLOT. The sink returned must outlive the session's
// commands; nullptr (and no sink set) when records are off.
std::unique_ptr<engine::RecordSink> AttachRecords(engine::FlashSession& session, const std::string& program_dir);

// The fields only the sink fills: a fresh id when empty, station, operator,
// version, the program file's size and SHA-256, the port's stable identity.
void CompleteRecord(engine::UnitRecord& record, const settings::RecordsSettings& settings);

// A new unique id: 32 hex digits, random.
std::string NewRecordId();

// The stable identity of a serial device: its /dev/serial/by-path and by-id
// links and the USB serial number, where there are any; else the device.
std::string PortIdentity(const std::string& device);

}  // namespace mirelle::records
