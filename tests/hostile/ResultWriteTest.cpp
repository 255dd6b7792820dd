// Triggers that silently turn the writes of a run into nothing. A BEFORE trigger that
// skips the row (RAISE(IGNORE) on SQLite, a trigger function returning NULL on
// PostgreSQL) raises no error; without a check the run would commit an incomplete set,
// or a new set beside the old one, and report it complete. Each trigger is limited to
// the case's own task, since the cases share one repository.

#include "tests/hostile/HostileFixture.h"

namespace hostile {
namespace {

class ResultWriteTest : public IrisTaskTest {
protected:
    void SetUp() override
    {
        if (GetParam() == e2e::Backend::MariaDB)
            GTEST_SKIP() << "a MariaDB trigger cannot drop a row without failing the statement";
        IrisTaskTest::SetUp();
    }

    // A trigger on the table that skips the task's rows for which `condition` (over the
    // row as NEW or OLD) holds.
    void skipRows(const std::string& event, const std::string& table, const std::string& condition)
    {
        const std::string row = event == "DELETE" ? "OLD" : "NEW";
        const std::string name = "hostile_skip_" + task.keyText();
        const std::string when = row + ".TskID = " + task.keyText() + " AND " + condition;
        if (sqlite()) {
            db().repository({"CREATE TRIGGER " + name + " BEFORE " + event + " ON " + table + " WHEN " + when +
                             " BEGIN SELECT RAISE(IGNORE); END"});
        } else {
            db().repository({"CREATE FUNCTION " + name + "() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF " + when +
                                 " THEN RETURN NULL; END IF; RETURN " + row + "; END $$",
                             "CREATE TRIGGER " + name + " BEFORE " + event + " ON " + table +
                                 " FOR EACH ROW EXECUTE FUNCTION " + name + "()"});
        }
    }
};

TEST_P(ResultWriteTest, ClassRowSkippedOnInsert)
{
    skipRows("INSERT", "TskResult", "NEW.ResSysName = 'class'");
    expectRefused(task, Stage::Save,
                  systemError("RepApi.saveResult(DataPack*)",
                              "Строка результата не добавлена в TskResult (добавлено строк: 0), ResSysName = class, "
                              "TskID = " + task.keyText()));
}

TEST_P(ResultWriteTest, ClosingLogRowSkippedOnInsert)
{
    skipRows("INSERT", "TskLog", "NEW.LogType = 1");
    expectRefused(task, Stage::Save,
                  systemError("RepApi.saveLog(DataPack*)",
                              "Строка журнала не добавлена в TskLog (добавлено строк: 0), TskID = " + task.keyText()));
}

// The earlier run's rows cannot be cleared: the run stops before any analysis, and its
// transaction takes back whatever it did delete. The closing log row then goes on its own,
// so the complete earlier set is no answer to the host any more.
TEST_P(ResultWriteTest, ClassRowSkippedOnDelete)
{
    skipRows("DELETE", "TskResult", "OLD.ResSysName = 'class'");
    expectRefused(task, Stage::Open,
                  systemError("RepApi.deleteResults()",
                              "Строки задачи не удалены из TskResult (осталось строк: 1), TskID = " + task.keyText()),
                  {}, Earlier::ResultsKept);
    EXPECT_EQ(fx().results(task.key).size(), 5u);
    EXPECT_EQ(fx().logs(task.key).size(), 0u);
}

// Not even the closing row goes: the error says that the earlier answer stands.
TEST_P(ResultWriteTest, LogRowSkippedOnDelete)
{
    skipRows("DELETE", "TskLog", "OLD.LogType = 1");
    expectRefused(task, Stage::Open,
                  systemError("TaskClearing.clear()",
                              "Прежние строки задачи не удалены, строка \"Анализ завершен\" прежнего запуска осталась в "
                              "TskLog: TskID = " + task.keyText() +
                                  "\nСтроки задачи не удалены из TskLog (осталось строк: 1), TskID = " + task.keyText()),
                  {}, Earlier::Kept);
    EXPECT_EQ(fx().results(task.key).size(), 5u);
    EXPECT_EQ(fx().logs(task.key).size(), 1u);
}

DODOZ_E2E_ON_BOTH_BACKENDS(ResultWriteTest);

}  // namespace
}  // namespace hostile
