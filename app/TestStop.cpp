#include "app/TestStop.h"

#include <csignal>
#include <cstdlib>

bool testStopListed(std::string_view list, std::string_view point)
{
    while (!list.empty()) {
        const size_t comma = list.find(',');
        if (list.substr(0, comma) == point)
            return true;
        if (comma == std::string_view::npos)
            break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

#if DODOZ_TEST_HOOKS

TestStops TestStops::fromEnvironment()
{
    const char* list = std::getenv("DODOZ_TEST_STOP");
    return list ? TestStops(list) : TestStops();
}

void TestStops::reach(std::string_view point) const
{
    if (testStopListed(list, point))
        std::raise(SIGSTOP);
}

#else

TestStops TestStops::fromEnvironment()
{
    return {};
}

#endif
