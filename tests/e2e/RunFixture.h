#pragma once
// The whole run against real databases, for end-to-end tests: fresh repository and
// source databases of one backend (TestDatabases), a task registered from a CSV file by the
// built dodoz-register, the built dodoz run in a working directory of its own with
// chosen regional settings, and what the run left behind: exit code, stdout, stderr,
// the journal and the task's TskResult and TskLog rows.
//
// Typical use, once per backend:
//
//     class MyTest : public e2e::BackendTest {};
//     TEST_P(MyTest, Something)
//     {
//         const int key = fx->registerTask({.object = "6.0,2.9,4.5,1.5"});
//         e2e::RunOutcome run = fx->runDodoz(key);
//         EXPECT_EQ(fx->logs(key).size(), 1u);
//     }
//     DODOZ_ON_EVERY_BACKEND(MyTest);
//
// Texts: the journal and the database cells are cp1251 (narrow literals of the tests
// are cp1251 too); stdout and stderr are the bytes the program wrote (UTF-8).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/Process.h"
#include "tests/support/TestDatabases.h"

namespace e2e {

using testsupport::Process;
using testsupport::ProcessResult;
using testsupport::readFile;
using testsupport::writeFile;
// The tests' temporary directory, here under the fixture's namespace.
using ::TempDir;

using testsupport::allBackends;
using testsupport::Backend;
using testsupport::backendName;
using testsupport::backendUnavailable;
using testsupport::Cell;
using testsupport::Row;
using testsupport::TestDatabases;

// The regional settings of a program: LC_ALL=C (decimal point, 12/31/2024) or
// LC_ALL=ru_RU.UTF-8 (decimal comma, 31.12.2024).
enum class Regional { C, Russian };
std::string regionalName(Regional regional);  // "C", "Russian"
inline void PrintTo(Regional regional, std::ostream* out) { *out << regionalName(regional); }
std::string localeName(Regional regional);    // "C", "ru_RU.UTF-8"
char decimalSeparator(Regional regional);     // '.', ','
// Why the locale cannot be used here (not installed), or nothing.
std::optional<std::string> regionalUnavailable(Regional regional);

std::filesystem::path sourceDir();  // the checkout
std::filesystem::path irisCsv();    // data/iris.csv: 150 rows, classes 0, 1, 2
std::filesystem::path goldenDir();  // tests/e2e/golden

// The iris data: objects well inside each class's region and the class each gets, and
// the journal of a good run of the versicolor object as task 1 (the first task of fresh
// databases), masked, from tests/e2e/golden.
namespace iris {
inline constexpr const char* setosa = "5.0,3.4,1.5,0.2";      // class 0
inline constexpr const char* versicolor = "6.0,2.9,4.5,1.5";  // class 1
inline constexpr const char* virginica = "6.7,3.1,5.8,2.2";   // class 2
inline constexpr int rows = 150;
std::string goldenName(Regional regional);  // "iris-versicolor.C.log", "iris-versicolor.Russian.log"
std::string goldenJournal(Regional regional);
}  // namespace iris

// What dodoz-register is asked to register.
struct Registration {
    std::filesystem::path csv = irisCsv();
    std::string classColumn = "class";
    std::string table = "iris";  // the source table, created or replaced
    // The object, one value per input column with a decimal point, as in "6.0,2.9,4.5,1.5".
    std::string object;
    // dodoz-register writes ParValue2 with its own regional decimal separator, which dodoz
    // reads with its own: register under the settings the task will run under.
    Regional regional = Regional::C;
    // Registers a sample the register's check finds cannot work, to see what dodoz makes of it.
    bool force = false;
};

struct RunOutcome {
    ProcessResult process;            // exit code, stdout and stderr (UTF-8)
    std::string journal;              // log/Dodoz.log of the run, cp1251; empty when none
    std::filesystem::path workDir;    // the run's working directory
};

// A TskResult row, columns as the database returns them.
struct ResultRow {
    Cell resId, sysName, order, value1, value2, value3, colId, tableName;
};

// Expects the same rows as expected, but for their keys (ResID): what two runs of one
// task that must agree have written.
void expectSameResults(const std::vector<ResultRow>& rows, const std::vector<ResultRow>& expected);

// A TskLog row.
struct LogRow {
    Cell logId, type, message;
};

// Its operations may be called from several threads at once: each starts its own
// processes, opens its own connections and makes its own directories.
class RunFixture {
public:
    static constexpr std::chrono::seconds defaultTimeout{180};

    explicit RunFixture(Backend backend, bool hostSchema = testsupport::hostSchema());
    RunFixture(const RunFixture&) = delete;
    RunFixture& operator=(const RunFixture&) = delete;

    TestDatabases& db() { return db_; }
    const TestDatabases& db() const { return db_; }
    Backend backend() const { return db_.backend(); }

    // Runs dodoz-register; the new task key. Throws std::runtime_error with its stderr
    // when it fails.
    int registerTask(const Registration& registration);

    // The environment dodoz and dodoz-register get: LC_ALL, DODOZ_NO_GUI=1 and the
    // ODBC configuration of db(), then extra (which may replace any of them).
    std::vector<std::string> environment(Regional regional, const std::vector<std::string>& extra = {}) const;
    // A new empty directory, removed with the fixture.
    std::filesystem::path newWorkDir();

    // registerTask and the runs below fail the test (ADD_FAILURE) when the program's
    // stderr holds a sanitizer report.
    //
    // dodoz with the task key as its one argument, in a new working directory; waits for
    // the end (killing it at the timeout).
    RunOutcome runDodoz(int key, Regional regional = Regional::C, const std::vector<std::string>& extraEnv = {});
    // dodoz with any arguments, in workDir (a new one when empty).
    RunOutcome runDodozWith(const std::vector<std::string>& args, Regional regional,
                            const std::vector<std::string>& extraEnv = {}, std::filesystem::path workDir = {},
                            std::chrono::milliseconds timeout = defaultTimeout);
    // dodoz started and left running, for tests that signal it or race it; the journal is
    // journal(workDir).
    std::unique_ptr<Process> startDodoz(int key, Regional regional, const std::filesystem::path& workDir,
                                        const std::vector<std::string>& extraEnv = {},
                                        const LaunchStreams& streams = {});
    static std::string journal(const std::filesystem::path& workDir);

    // The task's rows in the order they were written (by key).
    std::vector<ResultRow> results(int key) const;
    std::vector<LogRow> logs(int key) const;

    // The task's dataset and source keys, for statements that break them.
    int datasetOf(int key) const;
    int sourceOf(int key) const;

private:
    TestDatabases db_;
    TempDir runs_;
    std::atomic<int> runCount_{0};
};

// Runs each test of a fixture derived from it once per backend, with a RunFixture.
class BackendTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        DODOZ_REQUIRE(backendUnavailable(GetParam()));
        fx = std::make_unique<RunFixture>(GetParam(), onHostSchema());
    }
    // Whether the repository is to have only the columns the program may rely on.
    virtual bool onHostSchema() const { return testsupport::hostSchema(); }

    std::unique_ptr<RunFixture> fx;
};

// The journal texts of the frame and the stage headings, cp1251, as the run writes them.
namespace journal {
const std::string startLabel = "\n Время начала: ";
const std::string keyHeading = "\n 1. Считывание ключа задачи: ";
const std::string openHeading = "\n 2. Открытие репозитория: ";
const std::string sampleHeading = "\n 3. Считывание выборки: \n";
const std::string modelHeading = "\n 4. Оптимизация модели: \n";
const std::string saveHeading = "\n\n 5. Сохранение результатов: ";
const std::string endLabel = "\n\n\n Время завершения: ";
const std::string dateTimeMark = "<date-time>";

// The journal with the date-time texts of the start and end lines replaced by
// dateTimeMark.
std::string masked(const std::string& journal);
// The date-time texts of the start and end lines, in that order (one when the run
// ended early).
std::vector<std::string> dateTimes(const std::string& journal);
// What a run of the key writes before stage 2, masked.
std::string head(const std::string& key);
// Up to and including the heading of the stage that failed (2 or 3), masked: the whole
// journal of a run that failed in that stage before writing anything more.
std::string failedInStage2(const std::string& key);
std::string failedInStage3(const std::string& key);
// The number of the last stage heading the journal holds (1 to 5), 0 for none.
int lastStage(const std::string& journal);
}  // namespace journal

// What the run writes to stderr when it has no display: the console progress bar prints
// the caption "Анализ данных" and then each text it is given on a line of its own; an
// error follows as " " place ":\n" message. UTF-8, from cp1251 texts.
namespace console {
// The caption and the progress texts of the first `texts` steps: 1 "Открытие...", 2 "Загрузка данных...",
// 3 "Оптимизация модели...", 4 "Расчет выхода модели...", 5 "Сохранение результатов...".
std::string progress(int texts);
// An error the run raised with a place.
std::string error(const std::string& place, const std::string& message);
}  // namespace console

// Compares a masked journal with tests/e2e/golden/<name>: nothing when they are the same
// bytes, else the first differing line of each (UTF-8) for the failure message. With
// DODOZ_E2E_WRITE_GOLDEN=1 in the environment the golden file is written instead.
std::optional<std::string> goldenMismatch(const std::string& maskedJournal, const std::string& name);

}  // namespace e2e
