#include "tests/reliability/Stops.h"

#include <csignal>
#include <thread>

namespace reliability {

std::string stopAt(const std::string& points)
{
    return "DODOZ_TEST_STOP=" + points;
}

char processState(pid_t pid)
{
    // "pid (comm) S ...": the command may hold blanks and parentheses, the state follows
    // the last closing one.
    const std::string stat = testsupport::readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size())
        return 0;
    return stat[close + 2];
}

bool waitUntilStopped(testsupport::Process& process, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!process.running())
            return false;
        if (processState(process.pid()) == 'T')
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

void resume(testsupport::Process& process)
{
    process.signal(SIGCONT);
}

}  // namespace reliability
