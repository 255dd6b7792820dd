#pragma once
// Whole runs over hostile or broken repository and source contents. Every case of one
// backend shares one pair of databases (made once per process and dropped by
// releaseDatabases); each case registers a task over a source table and a DtsSource row
// of its own and breaks only that task's rows, so cases never see each other's damage.
//
// A case ends in one of two outcomes:
// - refused: exit code 0, no crash and no sanitizer report, stderr holding the progress
//   texts of the stage that failed and then exactly the expected error (followed, for a
//   failed connection, by one line with the driver's SQLSTATE and text), a journal that
//   stops at that stage, no TskResult or TskLog row written, and none of the earlier
//   run's rows left (even a failure of stage 2 comes after they are deleted);
// - completed: a complete, consistent result set and the closing log row.
//
// With DODOZ_FIGURES_DIR set, every case appends one line to hostile.txt there:
//   case=<name> backend=<sqlite|postgresql> expect=error exit=<code|signal N|timeout>
//       crashed=<0|1> rows=<rows written> message=<1 when the error shown was the expected one>
//   case=<name> backend=<...> expect=result exit=<...> crashed=<0|1> rows=<rows written>
//       complete=<1 when the result set was complete and consistent>
// A case that checks for effects outside the run adds escaped=<1 when a library from the
// repository's contents was loaded or a file appeared that the run had no business making>.
// "crashed" counts a signal, a timeout, a nonzero exit code and a sanitizer report.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/RunFixture.h"

namespace hostile {

// The stage whose heading the journal of a refused run ends with.
enum class Stage { Open = 2, Sample = 3, Model = 4, Save = 5 };

// A registered task and the keys of its repository rows.
struct Task {
    int key = 0;
    int dataset = 0;
    int source = 0;
    std::string table;                   // its source table
    std::map<std::string, int> columns;  // DtsColumn.ColID by ColSysName

    std::string keyText() const { return std::to_string(key); }
    std::string columnId(const std::string& name) const;
};

// The rows of a completed run, in the order written.
struct Outcome {
    std::vector<int> codes;      // ResValue1 of the "dens" rows
    std::vector<double> shares;  // ResValue2 of the "dens" rows
    int chosen = 0;              // the "class" row
    double errorPercent = 0;     // the "p_min" row
    // Each result row as "name order value1 value2", for comparing two runs.
    std::vector<std::string> rows;
    std::string journal;  // cp1251
};

// Drops the shared databases; called once all tests have run.
void releaseDatabases();

// Every file below the directory, for cases that watch for files a run had no business
// making.
std::set<std::string> filesBelow(const std::filesystem::path& dir);

class HostileTest : public ::testing::TestWithParam<e2e::Backend> {
protected:
    void SetUp() override;

    e2e::RunFixture& fx() { return *fixture; }
    e2e::TestDatabases& db() { return fixture->db(); }
    bool sqlite() const { return GetParam() == e2e::Backend::SQLite; }

    // Registers a task over a new source table made from the CSV file (iris when empty)
    // and, when goodRunFirst, runs it once and checks that the run completed, so that a
    // later failure has rows of an earlier run to delete.
    Task registerTask(const std::filesystem::path& csv, const std::string& classColumn, const std::string& object,
                      bool goodRunFirst);
    // The iris task: inputs sepal_length, sepal_width, petal_length, petal_width, class
    // column class (0, 1, 2), a versicolor object; run once.
    Task irisTask();
    // A CSV file of the case's own, in the shared fixture's directories.
    std::filesystem::path writeCsv(const std::string& utf8Text);

    // What a refused run leaves of the earlier run's rows: none, as soon as the repository
    // is open; all of them when the repository cannot be opened or takes no write at all;
    // its TskResult rows without its TskLog rows when the clearing is refused (its
    // transaction then takes back what it did delete) but the log rows alone may go.
    enum class Earlier { Cleared, Kept, ResultsKept };

    // Runs the task and checks the refused outcome: stderr is the progress texts shown
    // before the stage failed and then `shown`, and when driverState is given one more
    // line that starts with that SQLSTATE.
    e2e::RunOutcome expectRefused(const Task& task, Stage stage, const std::string& shown,
                                  const std::string& driverState = {}, Earlier earlier = Earlier::Cleared);
    // Runs the task and checks the completed outcome with `classes` "dens" rows.
    Outcome expectCompleted(const Task& task, size_t classes);
    // The same for a run that only gives the results to compare a case with; it writes
    // no figure.
    Outcome referenceRun(const Task& task, size_t classes);

    // What the run shows for an error with a place, and for a platform error.
    static std::string systemError(const std::string& place, const std::string& message);
    static std::string platformError(const std::string& message);
    // The SQLSTATE of a data source name that names none: the driver manager looks up a
    // name of up to 32 bytes and refuses a longer one outright as a bad length.
    static std::string missingDataSourceState(const std::string& name);

    // A copy of the DSN file with one setting of one data source changed, which the
    // case's runs then read instead of the original.
    void changeDataSource(const std::string& dsn, const std::string& key, const std::string& value);

    // The row count of a source table, or -1 when it is gone.
    long sourceRows(const std::string& table);

    // Environment the runs of the case get besides the fixture's own.
    std::vector<std::string> runEnvironment;
    // Set before a run: the run stops itself at the test stop point holdAt (app/TestStop.h),
    // whileHeld does what the host does at that moment, and the run goes on.
    std::string holdAt;
    std::function<void()> whileHeld;
    // Set before a run: looks, after it, for effects outside the run (true when there
    // are any); its answer goes into the figure line.
    std::function<bool()> escapedCheck;

    static constexpr long kIrisRows = 150;

private:
    // Keys of the task's TskResult and TskLog rows.
    std::vector<std::string> rowKeys(const Task& task);
    e2e::RunOutcome runCase(const Task& task);
    Outcome completedRun(const Task& task, size_t classes, bool figure);
    void writeFigure(const std::string& fields);
    static std::string caseName();

    e2e::RunFixture* fixture = nullptr;
};

// The cases that break one part of a good iris task, registered and run once first.
class IrisTaskTest : public HostileTest {
protected:
    void SetUp() override
    {
        HostileTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        task = irisTask();
    }

    Task task;
};

}  // namespace hostile
