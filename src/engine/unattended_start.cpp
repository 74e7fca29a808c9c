#include "engine/unattended_start.h"

#include <cerrno>
#include <cstring>

#include "platform/textfile.h"

namespace mirelle::engine {

UnattendedStart StartUnattendedRun(const std::string& program_dir, const std::string& log_path, bool lock_folder) {
    UnattendedStart start;
    sys::IgnoreBrokenPipe();
    if (lock_folder) {
        bool in_use = false;
        std::string why;
        start.lock = sys::FolderLock::Take(program_dir, in_use, why);
        if (!start.lock) {
            start.error = in_use ? "the program folder " + program_dir + " is in use by another run"
                                 : "cannot lock the program folder " + program_dir + ": " + why;
            return start;
        }
    } else if (!log_path.empty()) {
        // A log outside the folder (given with --log, or a gang child's own)
        // is still written by one run at a time. Where it cannot even be
        // locked, the write below says why.
        bool in_use = false;
        std::string why;
        start.lock = sys::FolderLock::TakeFile(log_path, in_use, why);
        if (in_use) {
            start.error = "the result log " + log_path + " is in use by another run";
            return start;
        }
    }
    // Until the run reports its success the log says it failed, whatever an
    // earlier run left there. A log that cannot be written would keep that
    // earlier verdict, so the run does not go on.
    const std::string log = log_path.empty() ? program_dir + "MESSFILE.TXT" : log_path;
    errno = 0;
    if (!WriteTextFile(log, "NG\nthe run did not start\n")) {
        const int err = errno;
        start.error = "cannot write the result log " + log + (err ? std::string(": ") + std::strerror(err) : "");
        start.lock.reset();
    }
    return start;
}

}  // namespace mirelle::engine
