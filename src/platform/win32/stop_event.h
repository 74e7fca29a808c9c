// A child process started by ChildProcess is asked to stop through an event
// it inherits: the handle's value is in this environment variable, and the
// child's InterruptGuard takes the event as SIGTERM. A Ctrl+Break would do
// as well, but only where parent and child share a console.
#pragma once

namespace mirelle::sys {

inline constexpr char kStopEventVariable[] = "MIRELLE_STOP_EVENT";

}  // namespace mirelle::sys
