#include "repository/TaskClearing.h"

#include "core/Utils.h"
#include "repository/WriteTransaction.h"
#include "runtime/Runtime.h"

namespace {

// Without the task's lock: it is a write that a repository may refuse where the log rows
// may still go. Another run's set committed in between may lose its closing row by it,
// which leaves the host without an answer, never with a wrong one.
bool clearLogs(RepApi& repository)
{
    try {
        WriteTransaction transaction(*repository.getConnection());
        repository.deleteLogs();
        transaction.commit();
        return true;
    } catch (const Exception&) {
        return false;
    }
}

// The earlier set with its closing row is still there; the box says so first, and then
// why, the driver's own account going to the console as for a failed connection.
SystemException earlierSetKept(const RepApi& repository, const Exception& failure)
{
    const std::string message = "Прежние строки задачи не удалены, строка \"Анализ завершен\" прежнего запуска "
                                "осталась в TskLog: TskID = " + IntToStr(repository.getTaskId());
    if (const auto* system = dynamic_cast<const SystemException*>(&failure))
        return SystemException("TaskClearing.clear()", message + "\n" + system->message, system->detail);
    return SystemException("TaskClearing.clear()", message, failure.text());
}

}  // namespace

void TaskClearing::clear(RepApi& repository, const std::function<void()>& beforeCommit)
{
    bool locked = false;
    try {
        WriteTransaction transaction(*repository.getConnection());
        // Under the lock, as in the result transaction: another run's set cannot be
        // committed between the deletion and the check that nothing of the task is left.
        repository.lockTask();
        locked = true;
        repository.deleteResults();
        if (beforeCommit)
            beforeCommit();
        transaction.commit();
    } catch (const Exception& failure) {
        // A repository that refuses the lock (read-only, a role without UPDATE, a lock
        // another session holds past the busy timeout) refuses the log rows' deletion as
        // well, and trying would only wait for that lock a second time.
        if (!locked || !clearLogs(repository))
            throw earlierSetKept(repository, failure);
        throw;
    }
}
