// A sample statement that would never end: a recursive query on SQLite, pg_sleep or
// SLEEP on the servers. With DODOZ_QUERY_TIMEOUT the run ends at the limit with its own
// error and no rows, and the server runs the statement no more (PostgreSQL would go on
// sleeping after its client is gone). A limit that is no number of seconds is refused
// once the task's earlier rows are gone.

#include "tests/hostile/HostileFixture.h"

namespace hostile {
namespace {

class SampleTimeLimitTest : public IrisTaskTest {
protected:
    void setDatasetSql(const std::string& sql)
    {
        db().repository({"UPDATE Dataset SET DtsSql = '" + sql + "' WHERE DtsID = " + std::to_string(task.dataset)});
    }

    std::string endless() const
    {
        switch (GetParam()) {
        case e2e::Backend::SQLite:
            return "SELECT * FROM " + task.table +
                   " WHERE (WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n) SELECT count(*) FROM n) > 0";
        case e2e::Backend::PostgreSQL:
            return "SELECT * FROM " + task.table + " WHERE pg_sleep(600) IS NOT NULL";
        default:
            return "SELECT * FROM " + task.table + " WHERE SLEEP(600) = 0";
        }
    }

    // The driver's SQLSTATE of the cancelled statement: interrupted, statement timeout,
    // max_statement_time exceeded.
    std::string cancelledState() const
    {
        switch (GetParam()) {
        case e2e::Backend::SQLite:
            return "HY000";
        case e2e::Backend::PostgreSQL:
            return "57014";
        default:
            return "HY018";
        }
    }

    // Statements still running a sleep of 600 s on this case's source database (the
    // server is shared with the suites of the other schema, which run the same case).
    long serverStatementsLeft()
    {
        std::string sql;
        if (GetParam() == e2e::Backend::PostgreSQL)
            sql = "SELECT count(*) FROM pg_stat_activity WHERE state = 'active' AND query LIKE '%sleep(600)%' "
                  "AND pid <> pg_backend_pid() AND datname = current_database()";
        else if (GetParam() == e2e::Backend::MariaDB)
            sql = "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE INFO LIKE '%SLEEP(600)%' "
                  "AND ID <> CONNECTION_ID() AND DB = DATABASE()";
        else
            return 0;
        const std::vector<e2e::Row> rows = db().querySource(sql);
        return std::stol(rows.at(0).at(0).value_or("-1"));
    }

    static std::string limitError(const std::string& message)
    {
        return systemError("RepApi.getTaskColumnsData(CString)", message);
    }
};

TEST_P(SampleTimeLimitTest, EndlessStatementIsCancelledAtTheLimit)
{
    setDatasetSql(endless());
    runEnvironment = {"DODOZ_QUERY_TIMEOUT=2"};
    expectRefused(task, Stage::Sample,
                  limitError("Запрос выборки превысил предел времени DODOZ_QUERY_TIMEOUT (2 с) и отменён"),
                  cancelledState());
    EXPECT_EQ(serverStatementsLeft(), 0);
}

// The limit set, 0 (none) and the default all let an ordinary sample load.
TEST_P(SampleTimeLimitTest, OrdinarySampleLoadsUnderAnyLimit)
{
    const std::vector<std::string> expected = referenceRun(task, 3).rows;
    for (const char* limit : {"DODOZ_QUERY_TIMEOUT=600", "DODOZ_QUERY_TIMEOUT=0", "DODOZ_QUERY_TIMEOUT="}) {
        runEnvironment = {limit};
        EXPECT_EQ(expectCompleted(task, 3).rows, expected) << limit;
    }
}

TEST_P(SampleTimeLimitTest, LimitThatIsNoNumberOfSecondsIsRefused)
{
    for (const char* value : {"abc", "-1", "1.5", " 5", "2147484", "99999999999999999999"}) {
        runEnvironment = {std::string("DODOZ_QUERY_TIMEOUT=") + value};
        expectRefused(task, Stage::Sample,
                      systemError("RunOptions.sampleTimeLimit()",
                                  std::string("DODOZ_QUERY_TIMEOUT должна быть целым числом секунд от 0 до 2147483: ") +
                                      value));
    }
}

DODOZ_ON_EVERY_BACKEND(SampleTimeLimitTest);

}  // namespace
}  // namespace hostile
