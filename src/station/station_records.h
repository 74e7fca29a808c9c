// The records of a station's units: every unit goes to the job's store (the
// job's `records` value, else the program folder's [Records] store) with the
// job's name and hash and the slot's name, and a slot's counts are read back
// from that store when it starts, so that they survive a restart.
#pragma once

#include <memory>
#include <string>

#include "engine/unit_record.h"
#include "station/job_file.h"

namespace mirelle::station {

// The sink of one slot: nullptr when records are off ([Records] Enabled=0
// and the job names no store) or this build keeps none.
std::unique_ptr<engine::RecordSink> MakeSlotRecordSink(const Job& job, const std::string& program_dir);

// The store the job's units go to: its `records` value, else the program
// folder's [Records] Database (serialization reserves its values there).
std::string JobStoreLocation(const Job& job, const std::string& program_dir);

// The units of this job (name and hash) on this station and slot so far.
struct SlotCounts {
    long long passed = 0, failed = 0;
    std::string error;  // why the store could not be read ("" when it was)
};
SlotCounts ReadSlotCounts(const Job& job, const std::string& slot_name, const std::string& program_dir);

}  // namespace mirelle::station
