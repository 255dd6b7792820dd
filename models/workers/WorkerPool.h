#pragma once
// The search workers as the program sees them: N processes started through MPI that
// count a search's grid over their shares of the query rows. The implementation lives in
// a library of its own (libdodoz-workers.so, the one part of the program that links
// MPI), loaded only when a run asks for workers; this header is all the two share, so it
// holds only standard types and the engine's plain structures.
//
// Its failures (a start refused, a worker that dies or falls silent, a worker's own
// error) come as std::runtime_error with a message for the user, in the program's text
// encoding; the caller gives them their place.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "models/fast/DenseSample.h"
#include "models/fast/FastSearch.h"
#include "models/fast/InstructionSet.h"

class WorkerPool {
public:
    struct Settings {
        unsigned workers = 1;
        std::string workerProgram;  // dodoz-worker, by its full path (the same on every host)
        InstructionSet instructionSets = InstructionSet::Avx512;  // each worker's cap
        bool testStopInCount = false;  // the reliability tests' stop point "worker-count"
    };

    virtual ~WorkerPool() = default;

    // The counts of each worker's share, in the workers' order: shares that cover the
    // query rows once, in order. stepIt is called exactly grid.size() times, from the
    // calling thread, as the workers report.
    virtual std::vector<GridCounts> count(const DenseSample& sample, const std::vector<double>& sigma,
                                                      const std::vector<double>& grid, bool strict,
                                                      const std::function<void()>& stepIt) = 0;
};

// The library's one entry, looked up by this name: fills `pool` or throws.
extern "C" void dodozOpenWorkerPool(const WorkerPool::Settings& settings, std::unique_ptr<WorkerPool>& pool);
inline constexpr const char* workerPoolEntry = "dodozOpenWorkerPool";
