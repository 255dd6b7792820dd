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

void testStop(std::string_view point)
{
    const char* list = std::getenv("DODOZ_TEST_STOP");
    if (list && testStopListed(list, point))
        std::raise(SIGSTOP);
}
