#include "app/RunOptions.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "core/Utils.h"
#include "models/workers/WorkerSearch.h"
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

unsigned workerCount()
{
    const char* text = std::getenv("DODOZ_WORKERS");
    if (!text || !*text)
        return 0;
    const std::optional<unsigned> workers = parseWhole<unsigned>(text);
    if (workers && *workers >= 1 && *workers <= RunOptions::mostWorkers)
        return *workers;
    throw SystemException("RunOptions.fromEnvironment", "DODOZ_WORKERS должна быть числом рабочих процессов от 1 до "
                                                            + std::to_string(RunOptions::mostWorkers) + ": \""
                                                            + LocaleToCp1251(text) + "\"");
}

}  // namespace

RunOptions RunOptions::fromEnvironment()
{
    RunOptions options;
    const char* reference = std::getenv("DODOZ_REFERENCE_SEARCH");
    options.classifier.engine =
        reference && std::strcmp(reference, "1") == 0 ? SearchEngine::Reference : SearchEngine::Fast;
    options.classifier.instructionSets = instructionSetCap();
    options.workers = workerCount();
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

void RunOptions::attachWorkers()
{
    if (workers == 0)
        return;
    WorkerPool::Settings settings;
    settings.workers = workers;
    settings.instructionSets = classifier.instructionSets;
    settings.testStopInCount = stops.lists("worker-count");
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe");
    classifier.gridSearch = WorkerSearch::open(settings, program.parent_path().string());
}

unsigned long RunOptions::sampleTimeLimit() const
{
    if (!invalidQueryTimeout.empty())
        throw SystemException("RunOptions.sampleTimeLimit()",
                              "DODOZ_QUERY_TIMEOUT должна быть целым числом секунд от 0 до " +
                                  std::to_string(longestQueryTimeout) + ": " + LocaleToCp1251(invalidQueryTimeout));
    return queryTimeout;
}
