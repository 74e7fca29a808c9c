// How an erase status other than '1' is reported.
#pragma once

namespace mirelle::engine {

// A report the host makes: result code, kind and sound event.
struct Report {
    int code = 0;
    int kind = 0;
    int sound = 0;
    bool operator==(const Report&) const = default;
};

// What an erase status other than '1' is reported as. 3 is the host's own
// time-out value; '3' the chip's. `with_detail` says whether the
// "ERASE ERROR MCU : %02XH" line goes with it.
struct EraseFailure {
    Report report;
    bool with_detail = false;
};
EraseFailure ClassifyEraseFailure(int status);

}  // namespace mirelle::engine
