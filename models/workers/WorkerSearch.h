#pragma once
// The grid search spread over search workers (DODOZ_WORKERS): each worker counts its share
// of the query rows, the shares' counts are summed here and turned into the criterion by
// the engine's own rule, so the result is to the bit the one of a search in this process.
// The workers live in libdodoz-workers.so, the one part of the program that links MPI: it
// is loaded when the run asks for workers, and they are started at the first search. A
// program built without MPI refuses a run that asks for them.

#include <memory>
#include <string>

#include "models/fast/GridSearch.h"
#include "models/workers/WorkerPool.h"

class WorkerSearch : public GridSearch {
public:
    // The library and the worker program beside programDir (a build) or in the install's
    // private library folder. Throws SystemException when the build has no workers or the
    // library cannot be loaded.
    static std::shared_ptr<WorkerSearch> open(WorkerPool::Settings settings, const std::string& programDir);

    using Entry = void (*)(const WorkerPool::Settings&, std::unique_ptr<WorkerPool>&);
    WorkerSearch(WorkerPool::Settings settings, Entry entry);

    // Throws SystemException with the workers' failure.
    FastSearch::Result search(const DenseSample& sample, const std::vector<double>& sigma,
                              const std::vector<double>& grid, bool strict,
                              const std::function<void()>& stepIt) override;

private:
    WorkerPool::Settings settings_;
    Entry entry_;
    std::unique_ptr<WorkerPool> pool_;
};
