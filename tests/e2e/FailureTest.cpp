// Whole runs that fail: a task whose repository rows or source data are broken. Each
// failure exits with 0, shows " place:\n message" on stderr after the progress texts,
// leaves a journal that stops at the stage that failed, and commits no TskResult or
// TskLog row. The earlier rows are deleted as soon as the repository is open, so the
// task is left with none, unless the repository itself cannot be reached.

#include <gtest/gtest.h>

#include "runtime/Runtime.h"
#include "tests/e2e/RunFixture.h"

namespace e2e {
namespace {

// The line after a failed connection's message: the driver manager's reason.
const std::string kNoDataSource =
    "IM002 [unixODBC][Driver Manager]Data source name not found and no default driver specified\n";
const std::string kSampleStatement = "SELECT sepal_length, sepal_width, petal_length, petal_width, class FROM iris";

class RunFailureTest : public BackendTest {
protected:
    // The iris task with the rows of one good run.
    void SetUp() override
    {
        BackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        key = fx->registerTask({.object = iris::versicolor});
        datasetId = fx->datasetOf(key);
        sourceId = fx->sourceOf(key);
        RunOutcome good = fx->runDodoz(key);
        ASSERT_EQ(good.process.err, console::progress(5));
        earlierResults = fx->results(key);
        ASSERT_EQ(earlierResults.size(), 5u);
        ASSERT_EQ(fx->logs(key).size(), 1u);
    }

    std::string keyText() const { return std::to_string(key); }

    std::string columnId(const std::string& name) const
    {
        return *fx->db().repositoryValue("SELECT DtsColumn.ColID FROM DtsColumn JOIN TskAlgParam ON TskAlgParam.ColID = "
                                         "DtsColumn.ColID WHERE TskAlgParam.TskID = " + keyText() +
                                         " AND ColSysName = '" + name + "'");
    }

    RunOutcome runBroken(int runKey)
    {
        RunOutcome run = fx->runDodoz(runKey);
        EXPECT_EQ(run.process.exitCode, 0) << run.process.describe();
        return run;
    }

    // A failure before the repository is open: the good run's rows are still there.
    void expectEarlierRowsKept()
    {
        const std::vector<ResultRow> now = fx->results(key);
        ASSERT_EQ(now.size(), earlierResults.size());
        for (size_t i = 0; i < now.size(); ++i)
            EXPECT_EQ(now[i].resId, earlierResults[i].resId);
        EXPECT_EQ(fx->logs(key).size(), 1u);
    }

    // The journal of the good run up to the end of the sample's dump (the golden files
    // hold key 1, the first task of fresh databases).
    std::string journalUpToTheSample(Regional regional) const
    {
        EXPECT_EQ(key, 1);
        const std::string golden = iris::goldenJournal(regional);
        return golden.substr(0, golden.find(journal::modelHeading));
    }

    // After a change of one of the task's parameter rows: the sample's columns come in
    // the order the repository returns those rows, which the change may alter
    // (PostgreSQL puts an updated row at the end of a table without a key), so the
    // sample's table is compared by size, the cells being padded to one width.
    void expectJournalUpToTheSampleAfterAParameterChange(const RunOutcome& run) const
    {
        const std::string expected = journalUpToTheSample(Regional::C);
        const std::string masked = journal::masked(run.journal);
        EXPECT_EQ(masked.size(), expected.size());
        EXPECT_EQ(masked.substr(0, masked.find(" | ")), expected.substr(0, expected.find(" | ")));
        EXPECT_EQ(journal::lastStage(run.journal), 3);
    }

    void expectNoRows(int runKey)
    {
        EXPECT_EQ(fx->results(runKey).size(), 0u);
        EXPECT_EQ(fx->logs(runKey).size(), 0u);
    }

    int key = 0;
    int datasetId = 0;
    int sourceId = 0;
    std::vector<ResultRow> earlierResults;
};

TEST_P(RunFailureTest, UnknownTaskKeyStopsAtStageTwo)
{
    RunOutcome run = runBroken(424242);
    EXPECT_EQ(run.process.err,
              console::progress(1) +
                  console::error("RepApi.getTask()", " Результат запроса из Task с ключом TskID = 424242 пуст."));
    EXPECT_EQ(journal::masked(run.journal), journal::failedInStage2("424242"));
    expectNoRows(424242);
    expectEarlierRowsKept();
}

TEST_P(RunFailureTest, MissingDatasetRowStopsAtStageTwo)
{
    fx->db().repositoryUnchecked({"DELETE FROM DtsColumn WHERE ColID IN (SELECT ColID FROM TskAlgParam WHERE TskID = " +
                                      keyText() + ")",
                                  "DELETE FROM Dataset WHERE DtsID = " + std::to_string(datasetId)});
    RunOutcome run = runBroken(key);
    EXPECT_EQ(run.process.err,
              console::progress(1) + console::error("RepApi.getDataset()",
                                                    " Результат запроса из Dataset с ключом DtsID = " +
                                                        std::to_string(datasetId) + " пуст."));
    EXPECT_EQ(journal::masked(run.journal), journal::failedInStage2(keyText()));
    expectNoRows(key);
}

TEST_P(RunFailureTest, TaskWithoutDatasetKeyLooksForDatasetZero)
{
    fx->db().repository({"UPDATE Task SET DtsID = NULL WHERE TskID = " + keyText()});
    RunOutcome run = runBroken(key);
    EXPECT_EQ(run.process.err,
              console::progress(1) + console::error("RepApi.getDataset()",
                                                    " Результат запроса из Dataset с ключом DtsID = 0 пуст."));
    EXPECT_EQ(journal::masked(run.journal), journal::failedInStage2(keyText()));
    expectNoRows(key);
}

TEST_P(RunFailureTest, MissingSourceRowStopsAtStageTwo)
{
    fx->db().repositoryUnchecked({"DELETE FROM DtsSource WHERE SrcID = " + std::to_string(sourceId)});
    RunOutcome run = runBroken(key);
    EXPECT_EQ(run.process.err,
              console::progress(1) + console::error("RepApi.getSource(int)",
                                                    " Результат запроса из DtsSource с ключом SrcID = " +
                                                        std::to_string(sourceId) + " пуст."));
    EXPECT_EQ(journal::masked(run.journal), journal::failedInStage2(keyText()));
    expectNoRows(key);
}

TEST_P(RunFailureTest, SourceDataSourceThatCannotBeOpenedStopsAtStageTwo)
{
    fx->db().repository({"UPDATE DtsSource SET SrcSysName = 'DODOZ_NO_SUCH_SOURCE' WHERE SrcID = " +
                         std::to_string(sourceId)});
    RunOutcome run = runBroken(key);
    EXPECT_EQ(run.process.err, console::progress(1) +
                                   console::error("RepApi.getSourceConnect(int)",
                                                  "Ошибка соединения с источником DODOZ_NO_SUCH_SOURCE") +
                                   kNoDataSource);
    EXPECT_EQ(journal::masked(run.journal), journal::failedInStage2(keyText()));
    expectNoRows(key);
}

// The journal cannot be made, so the run stops before it reads its key; the task's
// earlier answer goes all the same, as for any failure once the repository is reachable.
TEST_P(RunFailureTest, JournalThatCannotBeMadeClearsTheEarlierRows)
{
    const std::filesystem::path work = fx->newWorkDir();
    writeFile(work / "log", "not a directory");
    RunOutcome run = fx->runDodozWith({keyText()}, Regional::C, {}, work);
    EXPECT_EQ(run.process.exitCode, 0) << run.process.describe();
    EXPECT_EQ(run.process.err,
              console::progress(0) + console::error("Log.Log()", "Ошибка создания каталога: " + (work / "log").string()));
    expectNoRows(key);
}

// A launcher that deleted the working directory: the platform cannot even name it, and
// the run's error is that reading, yet the earlier answer goes as in the case above.
TEST_P(RunFailureTest, DeletedWorkingDirectoryClearsTheEarlierRows)
{
    const std::filesystem::path work = fx->newWorkDir();
    std::unique_ptr<Process> dodoz = fx->startDodoz(key, Regional::C, work, {}, {.workDirRemoved = true});
    const ProcessResult ended = dodoz->wait(RunFixture::defaultTimeout);
    EXPECT_EQ(ended.exitCode, 0) << ended.describe();
    EXPECT_EQ(ended.err, console::progress(0) + "Cannot read the current directory: No such file or directory\n");
    EXPECT_FALSE(std::filesystem::exists(work));
    expectNoRows(key);
}

TEST_P(RunFailureTest, RepositoryDataSourceThatCannotBeOpenedStopsAtStageTwo)
{
    const std::filesystem::path nowhere = fx->newWorkDir();
    RunOutcome run = fx->runDodozWith({keyText()}, Regional::C,
                                      {"ODBCSYSINI=" + nowhere.string(), "ODBCINI=" + (nowhere / "odbc.ini").string()});
    EXPECT_EQ(run.process.exitCode, 0) << run.process.describe();
    EXPECT_EQ(run.process.err, console::progress(1) +
                                   console::error("RepApi(int)", "Ошибка соединения с репозиторием системы MIRELON") +
                                   kNoDataSource);
    EXPECT_EQ(journal::masked(run.journal), journal::failedInStage2(keyText()));
    expectEarlierRowsKept();
}

// The source rejects the generated statement: the database's own error, without a place.
TEST_P(RunFailureTest, DatasetSqlWithoutUpperCaseFromStopsAtStageThree)
{
    fx->db().repository({"UPDATE Dataset SET DtsSql = 'select * from iris' WHERE DtsID = " + std::to_string(datasetId)});
    RunOutcome run = runBroken(key);
    const std::string& err = run.process.err;
    ASSERT_EQ(err.substr(0, console::progress(2).size()), console::progress(2));
    const std::string shown = err.substr(console::progress(2).size());
    const char* syntax = GetParam() == Backend::MariaDB ? "error in your SQL syntax" : "syntax error";
    EXPECT_NE(shown.find(syntax), std::string::npos) << shown;
    EXPECT_NE(shown[0], ' ') << "a platform error has no place: " << shown;
    EXPECT_EQ(shown.back(), '\n');
    EXPECT_EQ(journal::masked(run.journal), journal::failedInStage3(keyText()));
    expectNoRows(key);
}

TEST_P(RunFailureTest, EmptySourceTableStopsAtStageThree)
{
    fx->db().source({"DELETE FROM iris"});
    RunOutcome run = runBroken(key);
    EXPECT_EQ(run.process.err,
              console::progress(2) + console::error("RepApi.getTaskColumnsData(CString)",
                                                    " Результат запроса данных из таблицы источника пуст. \nSql = " +
                                                        kSampleStatement));
    EXPECT_EQ(journal::masked(run.journal), journal::failedInStage3(keyText()));
    expectNoRows(key);
}

TEST_P(RunFailureTest, UnknownColumnTypeStopsAtStageThree)
{
    fx->db().repository({"UPDATE DtsColumn SET ColType = 8 WHERE ColID = " + columnId("petal_width")});
    RunOutcome run = runBroken(key);
    EXPECT_EQ(run.process.err, console::progress(2) + console::error("RepApi.getObjectType(int)",
                                                                     "Неизвестный логический тип колонки: 8"));
    EXPECT_EQ(journal::masked(run.journal), journal::failedInStage3(keyText()));
    expectNoRows(key);
}

// The sample is read and written to the journal; the object is not.
TEST_P(RunFailureTest, MissingObjectValueStopsAfterTheSample)
{
    fx->db().repository({"UPDATE TskAlgParam SET ParValue2 = NULL WHERE TskID = " + keyText() +
                         " AND ColID = " + columnId("sepal_width")});
    RunOutcome run = runBroken(key);
    EXPECT_EQ(run.process.err, console::progress(2) + console::error("RepApi.getTaskInValues()",
                                                                     "Не задано значение входной колонки: sepal_width"));
    expectJournalUpToTheSampleAfterAParameterChange(run);
    expectNoRows(key);
}

// 150 cells of 0.0 have a deviation of exactly 0, which no width can be made of.
TEST_P(RunFailureTest, ConstantInputColumnStopsAtTheSearch)
{
    fx->db().source({"UPDATE iris SET sepal_width = 0.0"});
    RunOutcome run = runBroken(key);
    EXPECT_EQ(run.process.err,
              console::progress(3) + console::error("TOptimizerC.optimize(Vector*, Log*, TBar*)",
                                                    "Нулевое стандартное отклонение входной колонки: SEPAL_WIDTH"));
    EXPECT_EQ(journal::lastStage(run.journal), 4);
    const std::string search = "\n  TOptimizerC.optimize:";
    EXPECT_EQ(run.journal.substr(run.journal.size() - std::min(run.journal.size(), search.size())), search);
    expectNoRows(key);
}

// An object value that is not a number under the regional settings: the conversion's
// own error, without a place, and on the next line its cause.
TEST_P(RunFailureTest, ObjectValueThatIsNotANumberStopsAfterTheSample)
{
    fx->db().repository({"UPDATE TskAlgParam SET ParValue2 = 'abc' WHERE TskID = " + keyText() +
                         " AND ColID = " + columnId("petal_length")});
    RunOutcome run = runBroken(key);
    EXPECT_EQ(run.process.err, console::progress(2) + "'abc' is not a valid floating point value\n" +
                                   Cp1251ToUtf8("Значение объекта 'abc' входной колонки petal_length (TskAlgParam.ParValue2) "
                                                "не преобразуется: региональные настройки ожидают десятичный "
                                                "разделитель '.'\n"));
    expectJournalUpToTheSampleAfterAParameterChange(run);
    expectNoRows(key);
}

// ParValue2 written under C settings ("2.9") and read under Russian ones, which want a
// decimal comma: the first value with decimals fails ("6" passes).
TEST_P(RunFailureTest, ObjectWrittenWithAnotherDecimalSeparatorStopsAfterTheSample)
{
    if (auto missing = regionalUnavailable(Regional::Russian))
        GTEST_SKIP() << *missing;
    RunOutcome run = fx->runDodoz(key, Regional::Russian);
    EXPECT_EQ(run.process.exitCode, 0) << run.process.describe();
    EXPECT_EQ(run.process.err, console::progress(2) + "'2.9' is not a valid floating point value\n" +
                                   Cp1251ToUtf8("Значение объекта '2.9' входной колонки sepal_width (TskAlgParam.ParValue2) "
                                                "не преобразуется: региональные настройки ожидают десятичный "
                                                "разделитель ','\n"));
    EXPECT_EQ(journal::masked(run.journal), journalUpToTheSample(Regional::Russian));
    expectNoRows(key);
}

DODOZ_ON_EVERY_BACKEND(RunFailureTest);

// A result row of another task stored with a key near INTEGER's end (imported, say): the
// run's keys step over it at once, up to the last key there is, and a run that would need
// a key past it is refused at its first row without looping and leaves no row. The host's
// own GetNextPK counts without looking at the table, so this is about the one of db/.
class FarResultKeyTest : public RunFailureTest {
protected:
    bool onHostSchema() const override { return false; }

    void storeForeignResult(int resultKey)
    {
        const int other = fx->registerTask({.object = iris::versicolor});
        fx->db().repository({"INSERT INTO TskResult (ResID, ResSysName, TskID) VALUES (" + std::to_string(resultKey) +
                             ", 'imported', " + std::to_string(other) + ")"});
    }
};

TEST_P(FarResultKeyTest, RunTakesTheLastKeysAndTheNextRunIsRefused)
{
    storeForeignResult(2147483642);
    RunOutcome last = fx->runDodoz(key);
    EXPECT_EQ(last.process.err, console::progress(5));
    std::vector<std::string> keys;
    for (const ResultRow& row : fx->results(key))
        keys.push_back(row.resId.value_or("NULL"));
    EXPECT_EQ(keys, (std::vector<std::string>{"2147483643", "2147483644", "2147483645", "2147483646", "2147483647"}));

    RunOutcome past = runBroken(key);
    EXPECT_NE(past.process.err.find("GetNextPK: no key left for"), std::string::npos) << past.process.err;
    EXPECT_EQ(past.process.err.rfind(console::progress(4), 0), 0u) << past.process.err;
    EXPECT_EQ(journal::lastStage(past.journal), 5);
    expectNoRows(key);
}

TEST_P(FarResultKeyTest, KeyAtTheIntegerEndRefusesTheFirstRow)
{
    storeForeignResult(2147483647);
    RunOutcome run = runBroken(key);
    EXPECT_NE(run.process.err.find("GetNextPK: no key left for"), std::string::npos) << run.process.err;
    EXPECT_NE(run.process.err.find("TskResult"), std::string::npos) << run.process.err;
    expectNoRows(key);
}

DODOZ_ON_EVERY_BACKEND(FarResultKeyTest);

}  // namespace
}  // namespace e2e
