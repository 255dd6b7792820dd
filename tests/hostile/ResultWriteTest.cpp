// Triggers that silently turn the writes of a run into nothing, or change them. A BEFORE trigger that
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

DODOZ_ON_EVERY_BACKEND(ResultWriteTest);

// Triggers that change a row on its way in or add one beside it: every INSERT still adds
// its one row, and only the rows read back before the commit show the damage.
class ChangedResultTest : public IrisTaskTest {
protected:
    // The task's TskResult rows of that name get ResValue1 '2' as they are written.
    void changeValueOnInsert(const std::string& name)
    {
        const std::string trigger = "hostile_change_" + task.keyText();
        const std::string when = "NEW.TskID = " + task.keyText() + " AND NEW.ResSysName = '" + name + "'";
        if (sqlite()) {
            db().repository({"CREATE TRIGGER " + trigger + " AFTER INSERT ON TskResult WHEN " + when +
                             " BEGIN UPDATE TskResult SET ResValue1 = '2' WHERE ResID = NEW.ResID; END"});
        } else if (GetParam() == e2e::Backend::PostgreSQL) {
            db().repository({"CREATE FUNCTION " + trigger + "() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF " +
                                 when + " THEN NEW.ResValue1 := '2'; END IF; RETURN NEW; END $$",
                             "CREATE TRIGGER " + trigger + " BEFORE INSERT ON TskResult FOR EACH ROW EXECUTE FUNCTION " +
                                 trigger + "()"});
        } else {
            db().repository({"CREATE TRIGGER " + trigger + " BEFORE INSERT ON TskResult FOR EACH ROW SET NEW.ResValue1 = "
                             "CASE WHEN " + when + " THEN '2' ELSE NEW.ResValue1 END"});
        }
    }
    // With the task's closing log row, one more "class" row (class 2) goes into TskResult.
    void addClassRowOnLogInsert()
    {
        const std::string trigger = "hostile_add_" + task.keyText();
        const std::string insert = "INSERT INTO TskResult (ResID, ResSysName, ResOrder, ResValue1, TskID) VALUES (" +
                                   std::to_string(900000 + task.key) + ", 'class', 0, '2', " + task.keyText() + ")";
        const std::string when = "NEW.TskID = " + task.keyText();
        if (sqlite()) {
            db().repository({"CREATE TRIGGER " + trigger + " AFTER INSERT ON TskLog WHEN " + when + " BEGIN " + insert +
                             "; END"});
        } else if (GetParam() == e2e::Backend::PostgreSQL) {
            db().repository({"CREATE FUNCTION " + trigger + "() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF " +
                                 when + " THEN " + insert + "; END IF; RETURN NEW; END $$",
                             "CREATE TRIGGER " + trigger + " AFTER INSERT ON TskLog FOR EACH ROW EXECUTE FUNCTION " +
                                 trigger + "()"});
        } else {
            db().repository({"CREATE TRIGGER " + trigger + " AFTER INSERT ON TskLog FOR EACH ROW INSERT INTO TskResult "
                             "(ResID, ResSysName, ResOrder, ResValue1, TskID) SELECT " + std::to_string(900000 + task.key) +
                             ", 'class', 0, '2', NEW.TskID FROM DUAL WHERE " + when});
        }
    }
};

TEST_P(ChangedResultTest, ClassRowChangedOnInsert)
{
    changeValueOnInsert("class");
    expectRefused(task, Stage::Save,
                  systemError("RepApi.checkSavedRows()", "Строка задачи не совпадает с записанной (строка 4, ResValue1: "
                                                         "записано '1', прочитано '2') в TskResult, TskID = " +
                                                             task.keyText()));
}

TEST_P(ChangedResultTest, ClassRowAddedWithTheClosingLogRow)
{
    addClassRowOnLogInsert();
    expectRefused(task, Stage::Save,
                  systemError("RepApi.checkSavedRows()", "Число строк задачи не равно числу записанных (прочитано 6, "
                                                         "записано 5) в TskResult, TskID = " + task.keyText()));
}

DODOZ_ON_EVERY_BACKEND(ChangedResultTest);

}  // namespace
}  // namespace hostile
