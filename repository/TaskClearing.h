#pragma once
// The removal of a task's earlier rows before a run reads anything of the task. The host
// takes a closing TskLog row "Анализ завершен" for a complete answer, so a run that
// cannot clear the task makes sure, as far as the repository lets it, that no such row of
// an earlier run is left: a complete earlier set without it is no answer to the host, a
// closing row beside rows of another question would be a wrong one.

#include <functional>

#include "repository/RepApi.h"

class TaskClearing {
public:
    // Removes the task's TskResult and TskLog rows in one transaction under the task's
    // lock; beforeCommit runs between the deletion and the commit. When that fails once
    // the lock is held, the TskLog rows alone are removed in a transaction of their own
    // and the first error is raised again. When the task's closing row cannot go either
    // (or the repository would not even take the lock), the error says that the earlier
    // set stays as it was.
    static void clear(RepApi& repository, const std::function<void()>& beforeCommit = {});
};
