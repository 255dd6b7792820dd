#pragma once
// Driving a run through the points of DODOZ_TEST_STOP (app/TestStop.h): a run started
// with stopAt(...) in its environment stops itself at each point listed; the test waits
// for that, does what it came for (kill the run, stop the server, hold it while another
// run goes on) and then kills or resumes it.

#include <sys/types.h>

#include <chrono>
#include <string>

#include "tests/support/Process.h"

namespace reliability {

// The environment entry that stops a run at these points ("model", "insert-2,committed").
std::string stopAt(const std::string& points);

// The state letter of /proc/<pid>/stat ('R', 'S', 'T' for stopped, ...), or 0 when the
// process is gone.
char processState(pid_t pid);

// Waits until the process has stopped itself; false when it ended first or the timeout
// passed (it then goes on as it was).
bool waitUntilStopped(testsupport::Process& process, std::chrono::milliseconds timeout = std::chrono::seconds(60));

// Lets a stopped process go on.
void resume(testsupport::Process& process);

}  // namespace reliability
