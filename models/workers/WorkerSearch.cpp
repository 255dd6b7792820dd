#include "models/workers/WorkerSearch.h"

#include <dlfcn.h>

#include <filesystem>
#include <stdexcept>

#include "core/Utils.h"
#include "models/fast/DenseReference.h"

namespace {

const char* const kPlace = "WorkerSearch.search";

std::string workersAsked(const WorkerPool::Settings& settings)
{
    return "DODOZ_WORKERS=" + std::to_string(settings.workers);
}

#ifdef DODOZ_WORKERS_LIBRARY
// The library is never unloaded (RTLD_NODELETE): a launch that did not return in time
// leaves a thread of MPI's behind, whose code has to stay.
WorkerSearch::Entry loadEntry(const WorkerPool::Settings& settings, const std::string& programDir)
{
    const std::filesystem::path dir(programDir);
    const std::filesystem::path beside = dir / DODOZ_WORKERS_LIBRARY;
    const std::filesystem::path installed = dir / DODOZ_WORKERS_LIBRARY_FROM_BIN / DODOZ_WORKERS_LIBRARY;
    const std::filesystem::path& path = std::filesystem::exists(beside) ? beside : installed;
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!library)
        throw SystemException("WorkerSearch.open",
                              "Нет библиотеки рабочих процессов поиска (" + workersAsked(settings) +
                                  "): не установлена часть workers (cmake --install --component workers)",
                              dlerror());
    void* entry = dlsym(library, workerPoolEntry);
    if (!entry)
        throw SystemException("WorkerSearch.open",
                              "Библиотека рабочих процессов поиска другой версии: " + path.string());
    return reinterpret_cast<WorkerSearch::Entry>(entry);
}
#endif

}  // namespace

std::shared_ptr<WorkerSearch> WorkerSearch::open(WorkerPool::Settings settings, const std::string& programDir)
{
#ifdef DODOZ_WORKERS_LIBRARY
    settings.workerProgram = (std::filesystem::path(programDir) / "dodoz-worker").string();
    const Entry entry = loadEntry(settings, programDir);
    return std::make_shared<WorkerSearch>(std::move(settings), entry);
#else
    (void)programDir;
    throw SystemException("WorkerSearch.open",
                          "Программа собрана без MPI: рабочие процессы поиска (" + workersAsked(settings) + ") недоступны");
#endif
}

WorkerSearch::WorkerSearch(WorkerPool::Settings settings, Entry entry) : settings_(std::move(settings)), entry_(entry)
{
}

FastSearch::Result WorkerSearch::search(const DenseSample& sample, const std::vector<double>& sigma,
                                        const std::vector<double>& grid, bool strict,
                                        const std::function<void()>& stepIt)
{
    // A malformed sample fails here as the search in this process fails, not in a worker.
    DenseReference::validate(sample, &sigma, "FastSearch.search");
    if (grid.empty())
        return {};
    std::vector<GridCounts> shares;
    try {
        if (!pool_)
            entry_(settings_, pool_);
        shares = pool_->count(sample, sigma, grid, strict, stepIt);
    } catch (const std::runtime_error& e) {
        throw SystemException(kPlace, e.what());
    }
    GridCounts summed = shares.at(0);
    for (std::size_t w = 1; w < shares.size(); ++w)
        summed += shares[w];
    FastSearch::Result result;
    static_cast<GridScores&>(result) = FastSearch::scoresOf(summed, strict);
    return result;
}
