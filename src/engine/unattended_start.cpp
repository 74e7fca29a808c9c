#include "engine/unattended_start.h"

#include <cerrno>
#include <cstring>

#include "platform/textfile.h"

namespace mirelle::engine {

UnattendedStart StartUnattendedRun(const std::string& program_dir) {
    UnattendedStart start;
    sys::IgnoreBrokenPipe();
    bool in_use = false;
    std::string why;
    start.lock = sys::FolderLock::Take(program_dir, in_use, why);
    if (!start.lock) {
        start.error = in_use ? "mirelle: the program folder " + program_dir + " is in use by another run"
                             : "mirelle: cannot lock the program folder " + program_dir + ": " + why;
        return start;
    }
    // Until the run reports its success the log says it failed, whatever an
    // earlier run left there. A log that cannot be written would keep that
    // earlier verdict, so the run does not go on.
    const std::string log = program_dir + "MESSFILE.TXT";
    errno = 0;
    if (!WriteTextFile(log, "NG\nthe run did not start\n")) {
        const int err = errno;
        start.error = "mirelle: cannot write the result log " + log + (err ? std::string(": ") + std::strerror(err) : "");
        start.lock.reset();
    }
    return start;
}

}  // namespace mirelle::engine
