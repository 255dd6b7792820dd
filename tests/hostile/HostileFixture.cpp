#include "tests/hostile/HostileFixture.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>

#include "runtime/Runtime.h"
#include "tests/reliability/Stops.h"

namespace hostile {

namespace {

struct SharedBackend {
    std::unique_ptr<e2e::RunFixture> fixture;
    int tables = 0;
    int csvFiles = 0;
};

std::map<e2e::Backend, SharedBackend>& sharedBackends()
{
    static std::map<e2e::Backend, SharedBackend> backends;
    return backends;
}

SharedBackend& shared(e2e::Backend backend)
{
    SharedBackend& entry = sharedBackends()[backend];
    if (!entry.fixture)
        entry.fixture = std::make_unique<e2e::RunFixture>(backend);
    return entry;
}

std::string text(const e2e::Cell& cell)
{
    return cell ? *cell : "NULL";
}

std::string exitText(const e2e::ProcessResult& process)
{
    if (process.timedOut)
        return "timeout";
    if (process.signal)
        return "signal" + std::to_string(*process.signal);
    return std::to_string(process.exitCode.value_or(-1));
}

bool crashed(const e2e::ProcessResult& process)
{
    return process.timedOut || process.signal || process.exitCode != 0 || process.sanitizerReport();
}

void expectNoCrash(const e2e::ProcessResult& process)
{
    EXPECT_FALSE(crashed(process)) << process.describe();
}

}  // namespace

void releaseDatabases()
{
    sharedBackends().clear();
}

std::set<std::string> filesBelow(const std::filesystem::path& dir)
{
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        files.insert(entry.path().string());
    return files;
}

std::string Task::columnId(const std::string& name) const
{
    auto found = columns.find(name);
    if (found == columns.end())
        throw std::runtime_error("no column " + name + " in task " + keyText());
    return std::to_string(found->second);
}

void HostileTest::SetUp()
{
    DODOZ_REQUIRE(e2e::backendUnavailable(GetParam()));
    fixture = shared(GetParam()).fixture.get();
}

Task HostileTest::registerTask(const std::filesystem::path& csv, const std::string& classColumn,
                               const std::string& object, bool goodRunFirst)
{
    Task task;
    task.table = "hostile" + std::to_string(++shared(GetParam()).tables);
    task.key = fixture->registerTask(
        {.csv = csv.empty() ? e2e::irisCsv() : csv, .classColumn = classColumn, .table = task.table, .object = object, .force = true});
    task.dataset = fixture->datasetOf(task.key);
    // Tasks registered over one data source share its DtsSource row; a case that breaks
    // the row must break only its own task.
    task.source = std::stoi(text(db().repositoryValue("SELECT GetNextPK('DtsSource')")));
    db().repository({"INSERT INTO DtsSource (SrcID, SrcSysName, SrcUser, SrcPassword) SELECT " +
                         std::to_string(task.source) + ", SrcSysName, SrcUser, SrcPassword FROM DtsSource WHERE SrcID = " +
                         std::to_string(fixture->sourceOf(task.key)),
                     "UPDATE Dataset SET SrcID = " + std::to_string(task.source) + " WHERE DtsID = " +
                         std::to_string(task.dataset)});
    for (const e2e::Row& row : db().queryRepository(
             "SELECT DtsColumn.ColSysName, DtsColumn.ColID FROM DtsColumn JOIN TskAlgParam ON TskAlgParam.ColID = "
             "DtsColumn.ColID WHERE TskAlgParam.TskID = " + task.keyText()))
        task.columns[text(row[0])] = std::stoi(text(row[1]));
    if (goodRunFirst) {
        e2e::RunOutcome run = fixture->runDodoz(task.key);
        EXPECT_EQ(run.process.err, e2e::console::progress(5)) << "the unbroken task does not run";
        EXPECT_FALSE(fixture->results(task.key).empty());
    }
    return task;
}

Task HostileTest::irisTask()
{
    return registerTask({}, "class", "6.0,2.9,4.5,1.5", true);
}

std::filesystem::path HostileTest::writeCsv(const std::string& utf8Text)
{
    std::filesystem::path path =
        db().dir() / ("hostile-" + std::to_string(++shared(GetParam()).csvFiles) + ".csv");
    e2e::writeFile(path, utf8Text);
    return path;
}

std::vector<std::string> HostileTest::rowKeys(const Task& task)
{
    std::vector<std::string> keys;
    for (const e2e::ResultRow& row : fixture->results(task.key))
        keys.push_back("TskResult " + text(row.resId));
    for (const e2e::LogRow& row : fixture->logs(task.key))
        keys.push_back("TskLog " + text(row.logId));
    return keys;
}

e2e::RunOutcome HostileTest::runCase(const Task& task)
{
    if (!whileHeld)
        return fixture->runDodoz(task.key, e2e::Regional::C, runEnvironment);
    std::vector<std::string> environment = runEnvironment;
    environment.push_back(reliability::stopAt(holdAt));
    e2e::RunOutcome outcome;
    outcome.workDir = fixture->newWorkDir();
    std::unique_ptr<e2e::Process> process =
        fixture->startDodoz(task.key, e2e::Regional::C, outcome.workDir, environment);
    if (reliability::waitUntilStopped(*process)) {
        whileHeld();
        reliability::resume(*process);
    } else {
        ADD_FAILURE() << "the run did not stop at " << holdAt;
    }
    outcome.process = process->wait(e2e::RunFixture::defaultTimeout);
    outcome.journal = e2e::RunFixture::journal(outcome.workDir);
    return outcome;
}

e2e::RunOutcome HostileTest::expectRefused(const Task& task, Stage stage, const std::string& shown,
                                           const std::string& driverState, Earlier earlier)
{
    const std::vector<std::string> before = rowKeys(task);
    e2e::RunOutcome run = runCase(task);
    const e2e::ProcessResult& process = run.process;
    expectNoCrash(process);

    // Stage 5 fails after the text of the output step and its own.
    const int texts = stage == Stage::Save ? 5 : static_cast<int>(stage) - 1;
    const std::string expected = e2e::console::progress(texts) + shown;
    bool asExpected = process.err == expected;
    if (driverState.empty()) {
        EXPECT_EQ(process.err, expected);
    } else {
        const std::string head = process.err.substr(0, expected.size());
        const std::string rest = process.err.substr(head.size());
        EXPECT_EQ(head, expected);
        EXPECT_EQ(rest.rfind(driverState + " ", 0), 0u) << rest;
        EXPECT_TRUE(!rest.empty() && rest.find('\n') == rest.size() - 1) << "not one line: " << rest;
        asExpected = head == expected && rest.rfind(driverState + " ", 0) == 0 && !rest.empty() &&
                     rest.find('\n') == rest.size() - 1;
    }
    EXPECT_EQ(e2e::journal::lastStage(run.journal), static_cast<int>(stage)) << Cp1251ToUtf8(run.journal);

    // The earlier rows are deleted as soon as the repository is open, before anything of
    // the task is read: whatever fails, the host finds no answer of an earlier run.
    const std::vector<std::string> after = rowKeys(task);
    std::vector<std::string> left;
    if (earlier == Earlier::Kept)
        left = before;
    if (earlier == Earlier::ResultsKept)
        std::copy_if(before.begin(), before.end(), std::back_inserter(left),
                     [](const std::string& key) { return key.rfind("TskResult ", 0) == 0; });
    EXPECT_EQ(after, left);
    const auto written = std::count_if(after.begin(), after.end(), [&](const std::string& key) {
        return std::find(before.begin(), before.end(), key) == before.end();
    });

    writeFigure("expect=error exit=" + exitText(process) + " crashed=" + (crashed(process) ? "1" : "0") +
                " rows=" + std::to_string(written) + " message=" + (asExpected ? "1" : "0"));
    return run;
}

Outcome HostileTest::expectCompleted(const Task& task, size_t classes)
{
    return completedRun(task, classes, true);
}

Outcome HostileTest::referenceRun(const Task& task, size_t classes)
{
    return completedRun(task, classes, false);
}

Outcome HostileTest::completedRun(const Task& task, size_t classes, bool figure)
{
    const bool failedBefore = HasFailure();
    e2e::RunOutcome run = runCase(task);
    const e2e::ProcessResult& process = run.process;
    expectNoCrash(process);
    EXPECT_EQ(process.err, e2e::console::progress(5));
    EXPECT_EQ(e2e::journal::lastStage(run.journal), 5);
    EXPECT_NE(run.journal.find(e2e::journal::saveHeading + "OK"), std::string::npos);

    Outcome outcome;
    outcome.journal = run.journal;
    const std::vector<e2e::ResultRow> results = fixture->results(task.key);
    const std::vector<e2e::LogRow> logs = fixture->logs(task.key);
    EXPECT_EQ(results.size(), classes + 2);
    for (size_t i = 0; i < results.size(); ++i) {
        const e2e::ResultRow& row = results[i];
        outcome.rows.push_back(text(row.sysName) + " " + text(row.order) + " " + text(row.value1) + " " +
                               text(row.value2));
        const std::string name = i < classes ? "dens" : i == classes ? "class" : "p_min";
        EXPECT_EQ(text(row.sysName), name) << "row " << i;
        EXPECT_EQ(text(row.order), std::to_string(i < classes ? i : 0)) << "row " << i;
        if (!row.value1)
            continue;
        if (name == "dens") {
            outcome.codes.push_back(std::stoi(*row.value1));
            outcome.shares.push_back(std::stod(text(row.value2)));
        } else if (name == "class") {
            outcome.chosen = std::stoi(*row.value1);
            EXPECT_FALSE(row.value2);
        } else {
            outcome.errorPercent = std::stod(*row.value1);
            EXPECT_FALSE(row.value2);
        }
    }
    EXPECT_EQ(std::set<int>(outcome.codes.begin(), outcome.codes.end()).size(), outcome.codes.size())
        << "a class code twice";
    double sum = 0;
    for (double share : outcome.shares) {
        EXPECT_GE(share, 0.0);
        sum += share;
    }
    if (sum > 0) {
        EXPECT_NEAR(sum, 100.0, 0.05);
        const auto best = std::max_element(outcome.shares.begin(), outcome.shares.end()) - outcome.shares.begin();
        EXPECT_EQ(outcome.chosen, outcome.codes[static_cast<size_t>(best)]) << "the class is not the densest";
    } else {
        EXPECT_EQ(outcome.chosen, -999999);
    }
    EXPECT_GE(outcome.errorPercent, 0.0);
    EXPECT_LE(outcome.errorPercent, 100.0);
    EXPECT_EQ(logs.size(), 1u);
    if (!logs.empty()) {
        EXPECT_EQ(text(logs[0].type), "1");
        EXPECT_EQ(text(logs[0].message), "Анализ завершен");
    }

    if (figure)
        writeFigure("expect=result exit=" + exitText(process) + " crashed=" + (crashed(process) ? "1" : "0") +
                    " rows=" + std::to_string(results.size() + logs.size()) +
                    " complete=" + (!failedBefore && HasFailure() ? "0" : "1"));
    return outcome;
}

std::string HostileTest::systemError(const std::string& place, const std::string& message)
{
    return e2e::console::error(place, message);
}

std::string HostileTest::platformError(const std::string& message)
{
    return Cp1251ToUtf8(message) + "\n";
}

std::string HostileTest::missingDataSourceState(const std::string& name)
{
    return name.size() > 32 ? "HY090" : "IM002";
}

void HostileTest::changeDataSource(const std::string& dsn, const std::string& key, const std::string& value)
{
    // On top of the case's earlier changes, so that a case may change several settings.
    const std::filesystem::path ini = db().dir() / ("odbc-" + caseName() + "-" + e2e::backendName(GetParam()) + ".ini");
    std::ifstream in(std::filesystem::exists(ini) ? ini : db().dir() / "odbc.ini");
    std::stringstream changed;
    std::string line;
    std::string section;
    bool replaced = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.front() == '[')
            section = line.substr(1, line.find(']') - 1);
        const auto equals = line.find('=');
        if (section == dsn && equals != std::string::npos && Trim(line.substr(0, equals)) == key) {
            changed << key << " = " << value << "\n";
            replaced = true;
        } else {
            changed << line << "\n";
        }
    }
    ASSERT_TRUE(replaced) << "no " << key << " in [" << dsn << "]";
    in.close();
    e2e::writeFile(ini, changed.str());
    runEnvironment = {"ODBCINI=" + ini.string()};
}

long HostileTest::sourceRows(const std::string& table)
{
    try {
        std::vector<e2e::Row> rows = db().querySource("SELECT COUNT(*) FROM " + table);
        return std::stol(text(rows.at(0).at(0)));
    } catch (const std::runtime_error&) {
        return -1;
    }
}

std::string HostileTest::caseName()
{
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    name = name.substr(0, name.find('/'));
    std::string snake;
    for (char c : name) {
        if (std::isupper(static_cast<unsigned char>(c)) && !snake.empty())
            snake += '_';
        snake += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return snake;
}

void HostileTest::writeFigure(const std::string& fields)
{
    const char* dir = std::getenv("DODOZ_FIGURES_DIR");
    if (!dir || !*dir)
        return;
    std::filesystem::create_directories(dir);
    std::string backend = e2e::backendName(GetParam());
    for (char& c : backend)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string line = "case=" + caseName() + " backend=" + backend +
                       (testsupport::hostSchema() ? " schema=host " : " schema=db ") + fields;
    if (escapedCheck)
        line += std::string(" escaped=") + (escapedCheck() ? "1" : "0");
    line += "\n";
    // One write of an appending descriptor: the two backends run as two processes.
    const std::string path = (std::filesystem::path(dir) / "hostile.txt").string();
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    ASSERT_NE(fd, -1) << "cannot open " << path;
    const ssize_t done = write(fd, line.data(), line.size());
    close(fd);
    EXPECT_EQ(done, static_cast<ssize_t>(line.size())) << "cannot write " << path;
}

}  // namespace hostile
