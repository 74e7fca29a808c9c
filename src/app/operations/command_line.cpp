#include "app/operations/command_line.h"

#include <strings.h>

namespace mirelle {

namespace {

bool SameIgnoringCase(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine cl;
    if (args.empty()) return cl;
    cl.command_line_mode = true;
    cl.program_file = args[0];
    if (args.size() < 2) return cl;

    // Each port name is tried against position 2, then position 3, from com1
    // upward, so the lower port number wins when both name one.
    cl.com_number = 1;
    for (int n = 1; n <= 64; ++n) {
        std::string name = "com" + std::to_string(n);
        if (SameIgnoringCase(args[1], name.c_str()) || (args.size() >= 3 && SameIgnoringCase(args[2], name.c_str()))) {
            cl.com_number = n;
            break;
        }
    }

    cl.use_reset = false;  // with two or more arguments, "no_reset" unless "reset" comes first
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (SameIgnoringCase(args[i], "reset")) {
            cl.use_reset = true;
            break;
        }
        if (SameIgnoringCase(args[i], "no_reset")) break;
    }
    for (std::size_t i = 1; i < args.size(); ++i)
        if (SameIgnoringCase(args[i], "no_dialog")) cl.show_progress = false;
    return cl;
}

}  // namespace mirelle
