// A task that was answered once and then changed: its object is given a new value and the
// rerun fails while binding to the task. The earlier run's rows, "Анализ завершен"
// included, answer the old object; left standing they would be taken for the answer to
// the new one, so a run that reached the repository leaves the task with no rows at all,
// however early it fails.

#include "tests/hostile/HostileFixture.h"

namespace hostile {
namespace {

class StaleResultTest : public IrisTaskTest {
protected:
    void SetUp() override
    {
        IrisTaskTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        db().repository({"UPDATE TskAlgParam SET ParValue2 = '7.7' WHERE TskID = " + task.keyText() +
                         " AND ColID = " + task.columnId("petal_length")});
    }
};

TEST_P(StaleResultTest, SourceDataSourceMissing)
{
    db().repository({"UPDATE DtsSource SET SrcSysName = 'DODOZ_NO_SUCH_SOURCE' WHERE SrcID = " +
                     std::to_string(task.source)});
    expectRefused(task, Stage::Open,
                  systemError("RepApi.getSourceConnect(int)", "Ошибка соединения с источником DODOZ_NO_SUCH_SOURCE"),
                  "IM002");
}

TEST_P(StaleResultTest, DatasetRowDeleted)
{
    const std::string dataset = std::to_string(task.dataset);
    db().repositoryUnchecked({"DELETE FROM Dataset WHERE DtsID = " + dataset});
    expectRefused(task, Stage::Open,
                  systemError("RepApi.getDataset()", " Результат запроса из Dataset с ключом DtsID = " + dataset + " пуст."));
}

TEST_P(StaleResultTest, SourceRowDeleted)
{
    const std::string source = std::to_string(task.source);
    db().repositoryUnchecked({"UPDATE Dataset SET SrcID = -" + source + " WHERE DtsID = " + std::to_string(task.dataset)});
    expectRefused(task, Stage::Open,
                  systemError("RepApi.getSource(int)", " Результат запроса из DtsSource с ключом SrcID = -" + source +
                                                           " пуст."));
}

DODOZ_ON_EVERY_BACKEND(StaleResultTest);

}  // namespace
}  // namespace hostile
