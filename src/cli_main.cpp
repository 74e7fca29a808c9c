// mirelle-cli's entry point: every operation of the programmer from a script.
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "platform/folder_lock.h"
#include "platform/system.h"

int main(int argc, char** argv) {
    // UTF-8 words (on Windows from the wide command line) and a console that
    // shows UTF-8 texts as they are.
    std::vector<std::string> args = mirelle::sys::ProgramArguments(argc, argv);
    mirelle::sys::UseUtf8Console();
    mirelle::sys::AnchorProgramHome();
    // A reader that goes away (| head) must not end a run half done: output
    // that cannot be written is dropped. Gang children inherit this.
    mirelle::sys::IgnoreBrokenPipe();
    if (!args.empty()) args.erase(args.begin());
    return mirelle::cli::RunCli(args);
}
