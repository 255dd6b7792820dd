// Whole runs with the search spread over local worker processes (DODOZ_WORKERS): the rows
// and the journal of the run without workers, to the byte, on samples of several sizes,
// classes, duplicates and gaps; a worker lost in the middle of a search, or dodoz killed
// there, leaves no rows and no process behind. Every run of a test carries a mark in its
// environment, which its launcher and workers inherit, so that a stray process is found
// by the mark whatever its parent has become.

#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "runtime/Runtime.h"
#include "tests/e2e/RunFixture.h"

namespace {

using e2e::Regional;
using e2e::RunOutcome;
using namespace std::chrono_literals;

// A seeded sample: classes in turn, cells with two decimals; `levels` > 0 draws whole
// cells 0..levels-1 instead (rows repeat exactly), and every gapEvery-th cell is left
// empty (a NULL) when gapEvery > 0.
struct SampleShape {
    int rows = 0;
    int columns = 0;
    int classes = 2;
    int levels = 0;
    int gapEvery = 0;
};

std::string shapeName(const SampleShape& s)
{
    return std::to_string(s.rows) + "x" + std::to_string(s.columns) + ", k=" + std::to_string(s.classes)
           + (s.levels ? ", duplicates" : "") + (s.gapEvery ? ", gaps" : "");
}

std::string csvOf(const SampleShape& shape, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::uniform_int_distribution<int> level(0, std::max(shape.levels - 1, 0));
    std::string csv;
    for (int j = 0; j < shape.columns; ++j)
        csv += "x" + std::to_string(j + 1) + ",";
    csv += "class\n";
    int cell = 0;
    char text[32];
    for (int r = 0; r < shape.rows; ++r) {
        const int c = r % shape.classes;
        for (int j = 0; j < shape.columns; ++j, ++cell) {
            const double value = shape.levels ? level(rng) : c * ((j % 3) - 1.0) * 0.9 + noise(rng);
            std::snprintf(text, sizeof text, "%.2f", value);
            if (!(shape.gapEvery && cell % shape.gapEvery == shape.gapEvery - 1))
                csv += text;
            csv += ",";
        }
        csv += std::to_string(c) + "\n";
    }
    return csv;
}

std::string objectOf(int columns)
{
    std::string object;
    for (int j = 0; j < columns; ++j)
        object += (j ? "," : "") + std::string("0.1");
    return object;
}

std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The processes whose environment holds the mark (this one aside), with their command lines.
std::vector<std::pair<pid_t, std::string>> marked(const std::string& mark)
{
    std::vector<std::pair<pid_t, std::string>> found;
    DIR* proc = opendir("/proc");
    if (!proc)
        return found;
    const std::string needle = std::string("DODOZ_TEST_RUN_MARK=") + mark + '\0';
    while (dirent* entry = readdir(proc)) {
        const pid_t pid = std::atoi(entry->d_name);
        if (pid <= 0 || pid == getpid())
            continue;
        const std::string dir = std::string("/proc/") + entry->d_name;
        if ((readText(dir + "/environ") + '\0').find(needle) != std::string::npos)
            found.emplace_back(pid, readText(dir + "/cmdline"));
    }
    closedir(proc);
    return found;
}

// The processor time the process has had so far, in clock ticks (user and system).
long ticksOf(pid_t pid)
{
    const std::string stat = readText("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; fields >> field && i <= 15; ++i)
        if (i >= 14)
            ticks += std::stol(field);
    return ticks;
}

char stateOf(pid_t pid)
{
    const std::string stat = readText("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() ? '?' : stat[close + 2];
}

std::vector<pid_t> workersOf(const std::string& mark)
{
    std::vector<pid_t> workers;
    for (const auto& [pid, command] : marked(mark))
        if (command.find("dodoz-worker") != std::string::npos && stateOf(pid) != 'Z')
            workers.push_back(pid);
    return workers;
}

// Waits up to limit for the condition, looking every tenth of a second.
template <typename Condition>
bool within(std::chrono::seconds limit, Condition condition)
{
    for (auto until = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < until;) {
        if (condition())
            return true;
        std::this_thread::sleep_for(100ms);
    }
    return condition();
}

class WorkersRunTest : public e2e::BackendTest {
protected:
    void SetUp() override
    {
#ifndef DODOZ_WORKER_PROGRAM
        GTEST_SKIP() << "MPI not installed: workers not exercised";
#endif
        e2e::BackendTest::SetUp();
    }
    void TearDown() override
    {
        if (!mark.empty()) {
            EXPECT_TRUE(within(30s, [&] { return marked(mark).empty(); })) << "processes left: " << strays();
        }
    }

    std::string strays() const
    {
        std::string list;
        for (const auto& [pid, command] : marked(mark))
            list += std::to_string(pid) + " " + command.substr(0, command.find('\0')) + "; ";
        return list;
    }

    int registerShape(const SampleShape& shape, unsigned seed)
    {
        const std::filesystem::path csv = fx->newWorkDir() / "sample.csv";
        e2e::writeFile(csv, csvOf(shape, seed));
        return fx->registerTask({.csv = csv, .table = "sample_" + std::to_string(seed), .object = objectOf(shape.columns)});
    }

    std::vector<std::string> withWorkers(unsigned workers, std::vector<std::string> env = {})
    {
        mark = ::testing::UnitTest::GetInstance()->current_test_info()->name() + std::to_string(getpid());
        env.push_back("DODOZ_TEST_RUN_MARK=" + mark);
        env.push_back("DODOZ_WORKERS=" + std::to_string(workers));
        // Open MPI keeps allocations of its own and of plugins it has unloaded by the time
        // the process ends, which no suppression can name; the program's own code is held
        // to the leak check by every run without workers.
        env.push_back("ASAN_OPTIONS=detect_leaks=0:abort_on_error=1");
        return env;
    }

    std::string mark;
};

TEST_P(WorkersRunTest, OneTwoAndThreeWorkersWriteTheRowsAndTheJournalOfThePlainRun)
{
    const SampleShape shapes[] = {{240, 4, 2}, {180, 8, 3}, {150, 20, 5}, {200, 4, 4, 3, 0}, {160, 8, 2, 0, 13}};
    unsigned seed = 1;
    for (const SampleShape& shape : shapes) {
        SCOPED_TRACE(shapeName(shape));
        const int key = registerShape(shape, seed++);
        const RunOutcome plain = fx->runDodoz(key);
        ASSERT_EQ(plain.process.err, e2e::console::progress(5)) << plain.process.describe();
        const std::vector<e2e::ResultRow> expected = fx->results(key);
        ASSERT_EQ(expected.size(), static_cast<std::size_t>(shape.classes + 2));
        for (unsigned workers = 1; workers <= 3; ++workers) {
            SCOPED_TRACE(std::to_string(workers) + " workers");
            const RunOutcome spread = fx->runDodoz(key, Regional::C, withWorkers(workers));
            EXPECT_EQ(spread.process.err, e2e::console::progress(5)) << spread.process.describe();
            EXPECT_EQ(e2e::journal::masked(spread.journal), e2e::journal::masked(plain.journal));
            e2e::expectSameResults(fx->results(key), expected);
        }
    }
}

class LostWorkerTest : public WorkersRunTest {
protected:
    // A search long enough to be caught in: every worker stops itself before it counts.
    std::unique_ptr<e2e::Process> startStopped(int key, unsigned workers, const std::filesystem::path& work)
    {
        auto dodoz = fx->startDodoz(key, Regional::C, work, withWorkers(workers, {"DODOZ_TEST_STOP=worker-count"}));
        const bool stopped = within(120s, [&] {
            const std::vector<pid_t> all = workersOf(mark);
            return all.size() == workers
                   && std::all_of(all.begin(), all.end(), [](pid_t pid) { return stateOf(pid) == 'T'; });
        });
        EXPECT_TRUE(stopped) << "workers: " << strays() << dodoz->errSoFar();
        return dodoz;
    }

    e2e::ProcessResult expectFailedWithoutRows(e2e::Process& dodoz, const std::filesystem::path& work, int key)
    {
        e2e::ProcessResult result = dodoz.wait(180s);
        EXPECT_EQ(result.exitCode, 0) << result.describe();
        EXPECT_NE(result.err.find(" WorkerSearch.search:\n"), std::string::npos) << result.err;
        EXPECT_EQ(e2e::journal::lastStage(e2e::RunFixture::journal(work)), 4);
        EXPECT_TRUE(fx->results(key).empty());
        EXPECT_TRUE(fx->logs(key).empty());
        return result;
    }
};

TEST_P(LostWorkerTest, AWorkerKilledInTheSearchEndsTheRunWithoutRows)
{
    const int key = registerShape({300, 4, 3}, 7);
    const std::filesystem::path work = fx->newWorkDir();
    auto dodoz = startStopped(key, 2, work);
    const std::vector<pid_t> workers = workersOf(mark);
    ASSERT_EQ(workers.size(), 2u);
    kill(workers[1], SIGKILL);
    kill(workers[0], SIGCONT);
    expectFailedWithoutRows(*dodoz, work, key);
}

// A worker that says nothing any more (its host unreachable) is given up after its
// silence, and taken down with the run. dodoz waits for it without holding a core: over
// seconds of waiting it takes a small fraction of one.
TEST_P(LostWorkerTest, ASilentWorkerEndsTheRunWithoutRows)
{
    const int key = registerShape({300, 4, 3}, 8);
    const std::filesystem::path work = fx->newWorkDir();
    auto dodoz = startStopped(key, 2, work);
    const long before = ticksOf(dodoz->pid());
    std::this_thread::sleep_for(3s);
    EXPECT_LT(ticksOf(dodoz->pid()) - before, sysconf(_SC_CLK_TCK) / 2) << "processor time while waiting";
    const e2e::ProcessResult result = expectFailedWithoutRows(*dodoz, work, key);
    EXPECT_NE(result.err.find(Cp1251ToUtf8("не отвечает 20 с")), std::string::npos) << result.err;
}

// Open MPI cannot start its launcher on a host it cannot reach and never returns; the
// start is given up in its time.
TEST_P(LostWorkerTest, AHostThatCannotBeReachedEndsTheRunWithoutRows)
{
    const int key = registerShape({100, 4, 2}, 10);
    const std::filesystem::path work = fx->newWorkDir();
    e2e::writeFile(work / "hosts", "nohost.invalid slots=4\n");
    auto dodoz = fx->startDodoz(key, Regional::C, work,
                                withWorkers(2, {"OMPI_MCA_orte_default_hostfile=" + (work / "hosts").string()}));
    expectFailedWithoutRows(*dodoz, work, key);
}

TEST_P(LostWorkerTest, DodozKilledInTheSearchTakesItsWorkersWithIt)
{
    const int key = registerShape({300, 4, 3}, 9);
    const std::filesystem::path work = fx->newWorkDir();
    auto dodoz = startStopped(key, 3, work);
    dodoz->signal(SIGKILL);
    dodoz->wait(30s);
    EXPECT_TRUE(within(30s, [&] { return workersOf(mark).empty(); })) << "left: " << strays();
    EXPECT_TRUE(fx->results(key).empty());
}

// The number is read with the other switches, in a build with or without MPI.
class WorkerCountTest : public e2e::BackendTest {};

TEST_P(WorkerCountTest, ABadNumberOfWorkersStopsTheRunBeforeTheTask)
{
    const int key = fx->registerTask({.object = e2e::iris::versicolor});
    for (const char* value : {"0", "-1", "two", "4097", " 2"}) {
        SCOPED_TRACE(value);
        const RunOutcome run = fx->runDodoz(key, Regional::C, {std::string("DODOZ_WORKERS=") + value});
        EXPECT_EQ(run.process.err, Cp1251ToUtf8("DODOZ_WORKERS должна быть числом рабочих процессов от 1 до 4096: \"")
                                       + value + "\"\n");
        EXPECT_TRUE(run.journal.empty());
        EXPECT_TRUE(fx->results(key).empty());
    }
}

// A program built without MPI refuses workers instead of running without them.
class BuiltWithoutMpiTest : public e2e::BackendTest {
protected:
    void SetUp() override
    {
#ifdef DODOZ_WORKER_PROGRAM
        GTEST_SKIP() << "built with MPI: its refusal of workers not exercised";
#endif
        e2e::BackendTest::SetUp();
    }
};

TEST_P(BuiltWithoutMpiTest, AskingForWorkersStopsTheRunBeforeTheTask)
{
    const int key = fx->registerTask({.object = e2e::iris::versicolor});
    const RunOutcome run = fx->runDodoz(key, Regional::C, {"DODOZ_WORKERS=2"});
    EXPECT_EQ(run.process.err,
              Cp1251ToUtf8("Программа собрана без MPI: рабочие процессы поиска (DODOZ_WORKERS=2) недоступны") + "\n");
    EXPECT_TRUE(run.journal.empty());
    EXPECT_TRUE(fx->results(key).empty());
}

// The workers change nothing a backend sees: SQLite, which needs no server, is enough.
INSTANTIATE_TEST_SUITE_P(Backends, WorkersRunTest, ::testing::Values(testsupport::Backend::SQLite), testsupport::backendTestName);
INSTANTIATE_TEST_SUITE_P(Backends, LostWorkerTest, ::testing::Values(testsupport::Backend::SQLite), testsupport::backendTestName);
INSTANTIATE_TEST_SUITE_P(Backends, WorkerCountTest, ::testing::Values(testsupport::Backend::SQLite), testsupport::backendTestName);
INSTANTIATE_TEST_SUITE_P(Backends, BuiltWithoutMpiTest, ::testing::Values(testsupport::Backend::SQLite),
                         testsupport::backendTestName);

}  // namespace
