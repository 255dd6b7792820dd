// The host saves the task anew while a run is under way, each change in one commit at a
// point of the run the test holds it at. Whatever the run answers comes from one state
// of the task: the dataset's SQL and the source it names come from the same snapshot,
// and a task saved anew after that snapshot gets no answer at all, since the answer
// would be taken for the one to the task as it now stands.

#include "tests/hostile/HostileFixture.h"

namespace hostile {
namespace {

class ChangedTaskTest : public IrisTaskTest {
protected:
    // A new DtsSource row for the data source of that name, which nothing reads yet.
    std::string addSource(const std::string& dataSource)
    {
        const std::string key = *db().repositoryValue("SELECT GetNextPK('DtsSource')");
        db().repository({"INSERT INTO DtsSource (SrcID, SrcSysName) VALUES (" + key + ", '" + dataSource + "')"});
        return key;
    }
    std::string datasetSql() { return *db().repositoryValue("SELECT DtsSql FROM Dataset WHERE DtsID = " + dataset()); }
    std::string dataset() const { return std::to_string(task.dataset); }

    std::string changed(const std::string& part) const
    {
        return systemError("RepApi.checkTaskUnchanged()", "Задача изменена во время анализа: " + part +
                                                              "; результаты не записаны, TskID = " + task.keyText());
    }
};

// Between opening the repository and reading the sample, the dataset moves to a source
// that cannot be opened and gets SQL of its own. Run on the source opened before, that
// SQL would give a complete answer from a database the task no longer names.
TEST_P(ChangedTaskTest, DatasetMovedToAnotherSourceBeforeTheSample)
{
    const std::string name = "DODOZ_MOVED_SOURCE";
    const std::string moved = addSource(name);
    const std::string sql = datasetSql();
    holdAt = "sample";
    whileHeld = [&] {
        db().repository({"UPDATE Dataset SET SrcID = " + moved + ", DtsSql = '" + sql + " ' WHERE DtsID = " + dataset()});
    };
    expectRefused(task, Stage::Sample,
                  systemError("RepApi.getSourceConnect(int)", "Ошибка соединения с источником " + name),
                  missingDataSourceState(name));
}

// Moved to another DtsSource row of the same data source, the task reads the same
// database: the run completes with the SQL it read together with the move.
TEST_P(ChangedTaskTest, DatasetMovedToAnotherRowOfItsSourceBeforeTheSample)
{
    const std::string name = *db().repositoryValue("SELECT SrcSysName FROM DtsSource WHERE SrcID = " +
                                                   std::to_string(task.source));
    const std::string moved = addSource(name);
    const Outcome reference = referenceRun(task, 3);
    const std::string sql = datasetSql();
    holdAt = "sample";
    whileHeld = [&] {
        db().repository({"UPDATE Dataset SET SrcID = " + moved + ", DtsSql = '" + sql +
                         " WHERE class <> 2' WHERE DtsID = " + dataset()});
    };
    EXPECT_NE(expectCompleted(task, 2).rows, reference.rows);
}

TEST_P(ChangedTaskTest, ObjectValueChangedDuringTheModel)
{
    holdAt = "model";
    whileHeld = [&] {
        db().repository({"UPDATE TskAlgParam SET ParValue2 = '1.4' WHERE TskID = " + task.keyText() +
                         " AND ColID = " + task.columnId("petal_length")});
    };
    expectRefused(task, Stage::Save, changed("колонки задачи или значения объекта (TskAlgParam, DtsColumn)"));
}

TEST_P(ChangedTaskTest, ColumnTypeChangedDuringTheOutput)
{
    holdAt = "output";
    whileHeld = [&] {
        db().repository({"UPDATE DtsColumn SET ColType = 2 WHERE ColID = " + task.columnId("sepal_width")});
    };
    expectRefused(task, Stage::Save, changed("колонки задачи или значения объекта (TskAlgParam, DtsColumn)"));
}

TEST_P(ChangedTaskTest, DatasetSqlChangedDuringTheModel)
{
    const std::string sql = datasetSql();
    holdAt = "model";
    whileHeld = [&] {
        db().repository({"UPDATE Dataset SET DtsSql = '" + sql + " WHERE class <> 2' WHERE DtsID = " + dataset()});
    };
    expectRefused(task, Stage::Save, changed("запрос набора данных (Dataset.DtsSql)"));
}

TEST_P(ChangedTaskTest, DatasetMovedToAnotherSourceDuringTheModel)
{
    const std::string moved = addSource("DODOZ_MOVED_SOURCE");
    holdAt = "model";
    whileHeld = [&] { db().repository({"UPDATE Dataset SET SrcID = " + moved + " WHERE DtsID = " + dataset()}); };
    expectRefused(task, Stage::Save,
                  changed("источник набора данных (Dataset.SrcID: " + std::to_string(task.source) + " -> " + moved + ")"));
}

// Saved and saved back before the results: the task is what the run read, and it is
// answered.
TEST_P(ChangedTaskTest, ObjectChangedAndRestoredDuringTheModel)
{
    const Outcome reference = referenceRun(task, 3);
    const std::string column = task.columnId("petal_length");
    const std::string value = *db().repositoryValue("SELECT ParValue2 FROM TskAlgParam WHERE TskID = " +
                                                    task.keyText() + " AND ColID = " + column);
    holdAt = "model";
    whileHeld = [&] {
        const std::string where = " WHERE TskID = " + task.keyText() + " AND ColID = " + column;
        db().repository({"UPDATE TskAlgParam SET ParValue2 = '1.4'" + where,
                         "UPDATE TskAlgParam SET ParValue2 = '" + value + "'" + where});
    };
    EXPECT_EQ(expectCompleted(task, 3).rows, reference.rows);
}

DODOZ_ON_EVERY_BACKEND(ChangedTaskTest);

}  // namespace
}  // namespace hostile
