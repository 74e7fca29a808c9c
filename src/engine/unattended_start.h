// What an unattended run settles before it does anything else: it is the
// only run in its program folder, and its result log can be written. When
// either fails the run sends nothing to the chip and ends with exit status 2,
// leaving the folder's log as the other run or the file system keeps it.
#pragma once

#include <memory>
#include <string>

#include "platform/folder_lock.h"

namespace mirelle::engine {

struct UnattendedStart {
    std::unique_ptr<sys::FolderLock> lock;  // held for the whole run
    std::string error;                      // why the run cannot start ("" when it can)
    bool ok() const { return error.empty(); }
};

// Ignores SIGPIPE, takes the program folder's lock and marks the result log
// "NG" (the run did not start) until the run reports. `program_dir` ends with
// '/'; `log_path` is the result log (empty: MESSFILE.TXT of the folder). A run
// whose log lies outside the folder (a gang's child, or a log named by the
// user) locks that file instead: `lock_folder` false. The error has no
// program name before it.
UnattendedStart StartUnattendedRun(const std::string& program_dir, const std::string& log_path = {},
                                   bool lock_folder = true);

}  // namespace mirelle::engine
