#pragma once
// The switches of one run, read from the environment once, when the run starts, and
// handed down to the parts they concern.

#include <string>

#include "app/TestStop.h"
#include "models/TModelClass.h"

struct RunOptions {
    // DODOZ_REFERENCE_SEARCH=1: the reference engine (every score through the object-model
    // classes) instead of the fast one, for anyone who wants to cross-check a result. DODOZ_INSTRUCTION_SET (none, avx2 or
    // avx512; unset: avx512): the widest kernels the engine may use where the processor
    // has them, to check the narrower paths on a wider processor; any other value is an
    // error.
    ClassifierOptions classifier;
    // DODOZ_TEST_STOP: the reliability tests' stop points (a build with DODOZ_TEST_HOOKS only).
    TestStops stops;
    // DODOZ_NO_GUI set and not "0": the progress on the console even with a display.
    bool console = false;
    // DODOZ_QUERY_TIMEOUT: the seconds the sample's statement may run on the source before
    // it is cancelled, 0 for no limit; unset or empty, an hour, which the largest samples
    // load well within (a million rows in seconds) and which still frees a source server
    // from a statement that would never end. At most PostgreSQL's longest timeout.
    static constexpr unsigned long defaultQueryTimeout = 3600;
    static constexpr unsigned long longestQueryTimeout = 2147483;
    unsigned long queryTimeout = defaultQueryTimeout;
    // The variable's text when it is no such number of seconds, else empty.
    std::string invalidQueryTimeout;
    // DODOZ_WORKERS=N: the search spread over N worker processes started through MPI, on
    // the hosts the site's MPI settings name (a hostfile); unset or empty, none, and
    // nothing of MPI is loaded. The rows and the journal are those of a run without them.
    // The bound lies far past any site's cluster and keeps a slip of the keyboard from
    // asking MPI for a million processes.
    static constexpr unsigned mostWorkers = 4096;
    unsigned workers = 0;

    // Throws SystemException on a DODOZ_INSTRUCTION_SET it does not know and on a
    // DODOZ_WORKERS that is no number of workers.
    static RunOptions fromEnvironment();
    // With workers asked for: the classifier's search spread over them, their library
    // loaded from beside the running program (nothing is started before the first
    // search). Throws SystemException when the build or the install has no workers.
    void attachWorkers();
    // The sample's time limit. A bad value is refused here, in the run, and not when the
    // switches are read: the run has cleared the task by then, so that the host finds no
    // earlier answer standing.
    unsigned long sampleTimeLimit() const;
};
