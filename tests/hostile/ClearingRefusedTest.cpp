// A repository that will not let a run clear its task: a role without the right to delete
// the task's rows, a read-only repository. The run stops in stage 2 with no rows of its
// own; what it could not remove of the earlier run stays, and never a closing "Анализ
// завершен" row beside a set the run has broken: the log rows go on their own when the
// rest cannot, and when not even they can go, the error says that the earlier answer
// stands. (A trigger that skips a deletion is in ResultWriteTest; a repository file that
// cannot be written at all in reliability's FileSizeLimitTest.)

#include "runtime/Runtime.h"
#include "tests/hostile/HostileFixture.h"

namespace hostile {
namespace {

class ClearingRefusedTest : public IrisTaskTest {
protected:
    void SetUp() override
    {
        if (GetParam() != e2e::Backend::PostgreSQL)
            GTEST_SKIP() << "roles and read-only sessions of a repository server";
        IrisTaskTest::SetUp();
    }

    // The case's runs log in as a role of its own that may read, insert and update every
    // table, plus the statements of `more` (the role's name in place of {role}). Roles
    // belong to the whole cluster, which other suites share, so the name carries the
    // repository database's.
    void runAsRole(const std::vector<std::string>& more)
    {
        const std::string role = db().repositoryValue("SELECT current_database()").value_or("") + "_" + task.keyText();
        std::vector<std::string> statements{"CREATE ROLE " + role + " LOGIN",
                                            "GRANT SELECT, INSERT, UPDATE ON ALL TABLES IN SCHEMA public TO " + role};
        for (const std::string& statement : more)
            statements.push_back(AnsiReplaceStr(statement, "{role}", role));
        db().repository(statements);
        changeDataSource("MIRELON", "Username", role);
    }

    std::string earlierSetKept() const
    {
        return systemError("TaskClearing.clear()",
                           "Прежние строки задачи не удалены, строка \"Анализ завершен\" прежнего запуска осталась в "
                           "TskLog: TskID = " + task.keyText());
    }
};

TEST_P(ClearingRefusedTest, RoleThatMayDeleteOnlyTheLogRowsLeavesNoClosingRow)
{
    runAsRole({"GRANT DELETE ON TskLog TO {role}"});
    expectRefused(task, Stage::Open,
                  platformError("42501 ERROR: permission denied for table tskresult;\nError while executing the query"),
                  {}, Earlier::ResultsKept);
}

TEST_P(ClearingRefusedTest, RoleWithoutDeleteKeepsTheEarlierSetAndSaysSo)
{
    runAsRole({});
    expectRefused(task, Stage::Open, earlierSetKept(), "42501", Earlier::Kept);
}

TEST_P(ClearingRefusedTest, ReadOnlySessionKeepsTheEarlierSetAndSaysSo)
{
    runAsRole({"GRANT DELETE ON ALL TABLES IN SCHEMA public TO {role}",
               "ALTER ROLE {role} SET default_transaction_read_only = on"});
    expectRefused(task, Stage::Open, earlierSetKept(), "25006", Earlier::Kept);
}

DODOZ_ON_EVERY_BACKEND(ClearingRefusedTest);

}  // namespace
}  // namespace hostile
