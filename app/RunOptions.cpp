#include "app/RunOptions.h"

#include <cstdlib>
#include <cstring>

RunOptions RunOptions::fromEnvironment()
{
    RunOptions options;
    const char* reference = std::getenv("DODOZ_REFERENCE_SEARCH");
    options.classifier.referenceSearch = reference && std::strcmp(reference, "1") == 0;
    options.stops = TestStops::fromEnvironment();
    const char* noGui = std::getenv("DODOZ_NO_GUI");
    options.console = noGui && *noGui && std::strcmp(noGui, "0") != 0;
    return options;
}
