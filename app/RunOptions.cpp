#include "app/RunOptions.h"

#include <cstdlib>
#include <cstring>

#include "core/Utils.h"
#include "runtime/Runtime.h"

namespace {

InstructionSet instructionSetCap()
{
    const char* name = std::getenv("DODOZ_INSTRUCTION_SET");
    if (!name)
        return InstructionSet::Avx512;
    if (const std::optional<InstructionSet> set = parseInstructionSet(name))
        return *set;
    throw SystemException("RunOptions.fromEnvironment", "Неизвестный набор команд в DODOZ_INSTRUCTION_SET: \""
                                                            + LocaleToCp1251(name) + "\" (допустимы none, avx2, avx512)");
}

}  // namespace

RunOptions RunOptions::fromEnvironment()
{
    RunOptions options;
    const char* reference = std::getenv("DODOZ_REFERENCE_SEARCH");
    options.classifier.engine =
        reference && std::strcmp(reference, "1") == 0 ? SearchEngine::Reference : SearchEngine::Fast;
    options.classifier.instructionSets = instructionSetCap();
    options.stops = TestStops::fromEnvironment();
    const char* noGui = std::getenv("DODOZ_NO_GUI");
    options.console = noGui && *noGui && std::strcmp(noGui, "0") != 0;
    const char* timeout = std::getenv("DODOZ_QUERY_TIMEOUT");
    if (timeout && *timeout) {
        const std::optional<unsigned long> seconds = parseWhole<unsigned long>(timeout);
        if (seconds && *seconds <= longestQueryTimeout)
            options.queryTimeout = *seconds;
        else
            options.invalidQueryTimeout = timeout;
    }
    return options;
}

unsigned long RunOptions::sampleTimeLimit() const
{
    if (!invalidQueryTimeout.empty())
        throw SystemException("RunOptions.sampleTimeLimit()",
                              "DODOZ_QUERY_TIMEOUT должна быть целым числом секунд от 0 до " +
                                  std::to_string(longestQueryTimeout) + ": " + LocaleToCp1251(invalidQueryTimeout));
    return queryTimeout;
}
