// NULL (or blank) in each repository column the run reads. The host's own repository
// may lack the NOT NULL constraints, so every one of them must end in a clear error
// before anything is written, never in a connection to the driver manager's default
// data source or a statement the source database has to make sense of.

#include "tests/hostile/HostileFixture.h"

namespace hostile {
namespace {

class MissingValueTest : public IrisTaskTest {
protected:
    void setColumn(const std::string& name, const std::string& assignment)
    {
        db().repository({"UPDATE DtsColumn SET " + assignment + " WHERE ColID = " + task.columnId(name)});
    }
};

TEST_P(MissingValueTest, NullDatasetSql)
{
    db().repository({"UPDATE Dataset SET DtsSql = NULL WHERE DtsID = " + std::to_string(task.dataset)});
    expectRefused(task, Stage::Sample,
                  systemError("RepApi.getTaskColumnsData(CString)",
                              "Не задан запрос набора данных: DtsID = " + std::to_string(task.dataset)));
}

TEST_P(MissingValueTest, NullSourceSystemName)
{
    db().repository({"UPDATE DtsSource SET SrcSysName = NULL WHERE SrcID = " + std::to_string(task.source)});
    expectRefused(task, Stage::Open,
                  systemError("RepApi.getSourceConnect(int)",
                              "Не задано имя источника данных: SrcID = " + std::to_string(task.source)));
}

// Text cells are trimmed on reading, so blanks are as good as nothing.
TEST_P(MissingValueTest, BlankSourceSystemName)
{
    db().repository({"UPDATE DtsSource SET SrcSysName = '   ' WHERE SrcID = " + std::to_string(task.source)});
    expectRefused(task, Stage::Open,
                  systemError("RepApi.getSourceConnect(int)",
                              "Не задано имя источника данных: SrcID = " + std::to_string(task.source)));
}

TEST_P(MissingValueTest, NullInputColumnName)
{
    setColumn("sepal_width", "ColSysName = NULL");
    expectRefused(task, Stage::Sample,
                  systemError("RepApi.getTaskColumnsData(CString)",
                              "Не задано имя колонки: ColID = " + task.columnId("sepal_width")));
}

TEST_P(MissingValueTest, NullClassColumnName)
{
    setColumn("class", "ColSysName = NULL");
    expectRefused(task, Stage::Sample,
                  systemError("RepApi.getTaskColumnsData(CString)",
                              "Не задано имя колонки: ColID = " + task.columnId("class")));
}

TEST_P(MissingValueTest, BlankInputColumnName)
{
    setColumn("petal_length", "ColSysName = '  '");
    expectRefused(task, Stage::Sample,
                  systemError("RepApi.getTaskColumnsData(CString)",
                              "Не задано имя колонки: ColID = " + task.columnId("petal_length")));
}

TEST_P(MissingValueTest, NullInputColumnType)
{
    setColumn("petal_width", "ColType = NULL");
    expectRefused(task, Stage::Sample,
                  systemError("RepApi.getObjectType(int)", "Неизвестный логический тип колонки: null"));
}

TEST_P(MissingValueTest, NullClassColumnType)
{
    setColumn("class", "ColType = NULL");
    expectRefused(task, Stage::Sample,
                  systemError("RepApi.getObjectType(int)", "Неизвестный логический тип колонки: null"));
}

// The sample is read and journaled before the object's values are.
TEST_P(MissingValueTest, NullObjectValue)
{
    db().repository({"UPDATE TskAlgParam SET ParValue2 = NULL WHERE TskID = " + task.keyText() +
                     " AND ColID = " + task.columnId("sepal_length")});
    e2e::RunOutcome run = expectRefused(
        task, Stage::Sample,
        systemError("RepApi.getTaskInValues()", "Не задано значение входной колонки: sepal_length"));
    EXPECT_NE(run.journal.find("| SEPAL_LENGTH |"), std::string::npos) << "the sample is not in the journal";
}

// A NULL key reads as 0; the task's own rows point at nothing.
TEST_P(MissingValueTest, NullDatasetKeyOfTheTask)
{
    db().repository({"UPDATE Task SET DtsID = NULL WHERE TskID = " + task.keyText()});
    expectRefused(task, Stage::Open,
                  systemError("RepApi.getDataset()", " Результат запроса из Dataset с ключом DtsID = 0 пуст."));
}

TEST_P(MissingValueTest, NullSourceKeyOfTheDataset)
{
    db().repository({"UPDATE Dataset SET SrcID = NULL WHERE DtsID = " + std::to_string(task.dataset)});
    expectRefused(task, Stage::Open,
                  systemError("RepApi.getSource(int)", " Результат запроса из DtsSource с ключом SrcID = 0 пуст."));
}

DODOZ_ON_EVERY_BACKEND(MissingValueTest);

}  // namespace
}  // namespace hostile
