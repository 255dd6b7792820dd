#include "runtime/CommandLine.h"

#include <vector>

#include "runtime/Locale.h"

namespace {
std::vector<std::string>& commandLine()
{
    static std::vector<std::string> args;
    return args;
}
}  // namespace

void setCommandLine(int argc, char** argv)
{
    commandLine().assign(argv, argv + (argc > 0 ? argc : 0));
}

int ParamCount()
{
    return commandLine().empty() ? 0 : static_cast<int>(commandLine().size()) - 1;
}

std::string ParamStr(int index)
{
    if (index < 0 || index >= static_cast<int>(commandLine().size()))
        return std::string();
    return LocaleToCp1251(commandLine()[static_cast<size_t>(index)]);
}
