// RepApi::lockTask, which keeps two runs of one task from both committing a result set:
// the write that takes the lock changes nothing, and a second lock of the same task
// waits until the first transaction ends. PostgreSQL and MariaDB (InnoDB, which locks
// the rows an UPDATE matches whether or not it changes them) lock that task's row alone;
// SQLite's lock is the whole database's.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "core/Utils.h"
#include "repository/RepApi.h"
#include "tests/support/TestDatabases.h"

namespace reliability {
namespace {

using testsupport::Backend;
using testsupport::TestDatabases;
using namespace std::chrono_literals;

// A lock taken on another connection, on a thread of its own: whether it has been
// taken, and what went wrong.
class LockOnAThread {
public:
    explicit LockOnAThread(RepApi& api)
        : thread([this, &api] {
              try {
                  api.beginTrans();
                  api.lockTask();
                  locked = true;
                  api.commitTrans();
              } catch (const Exception& e) {
                  error = e.text();
              }
              done = true;
          })
    {
    }
    ~LockOnAThread() { thread.join(); }

    bool lockedWithin(std::chrono::milliseconds wait) const
    {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (!locked && !done && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        return locked;
    }

    // What the thread failed with, once it has ended.
    std::string failure() const { return done ? error : ""; }

private:
    std::atomic<bool> locked{false};
    std::atomic<bool> done{false};
    std::string error;
    std::thread thread;
};

class LockTaskTest : public testsupport::DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        db->repository({
            "INSERT INTO DtsSource (SrcID, SrcName, SrcSysName, SrcUser, SrcPassword)"
            " VALUES (1, 'Клиенты', 'DODOZ_SOURCE', NULL, NULL)",
            "INSERT INTO Dataset (DtsID, DtsName, SrcID, DtsSql) VALUES (5, 'Клиенты', 1, 'SELECT * FROM Clients')",
            "INSERT INTO Task (TskID, TskName, DtsID) VALUES (17, 'Классификация', 5), (18, 'Другая', 5)",
        });
    }

    std::vector<std::vector<std::string>> tasks() const
    {
        return db->query(TestDatabases::repositoryDsn, "SELECT TskID, TskName, DtsID FROM Task ORDER BY TskID");
    }
};

TEST_P(LockTaskTest, LockChangesNoRow)
{
    const auto before = tasks();
    RepApi api(17);
    api.beginTrans();
    api.lockTask();
    api.commitTrans();
    EXPECT_EQ(tasks(), before);
}

TEST_P(LockTaskTest, TaskDeletedMeanwhileIsNoError)
{
    RepApi api(17);
    db->repository({"DELETE FROM Task WHERE TskID = 17"});
    api.beginTrans();
    EXPECT_NO_THROW(api.lockTask());
    api.commitTrans();
}

TEST_P(LockTaskTest, SecondLockOfTheTaskWaitsForTheFirstTransactionToEnd)
{
    RepApi first(17);
    RepApi second(17);
    first.beginTrans();
    first.lockTask();
    {
        LockOnAThread other(second);
        EXPECT_FALSE(other.lockedWithin(500ms)) << other.failure();
        first.commitTrans();
        EXPECT_TRUE(other.lockedWithin(30s)) << other.failure();
    }
}

TEST_P(LockTaskTest, LockOfAnotherTaskWaitsOnlyOnSQLite)
{
    RepApi first(17);
    RepApi second(18);
    first.beginTrans();
    first.lockTask();
    {
        LockOnAThread other(second);
        EXPECT_EQ(other.lockedWithin(sqlite() ? 500ms : 30s), !sqlite()) << other.failure();
        first.commitTrans();
        EXPECT_TRUE(other.lockedWithin(30s)) << other.failure();
    }
}

DODOZ_ON_EVERY_BACKEND(LockTaskTest);

}  // namespace
}  // namespace reliability
