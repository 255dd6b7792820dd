// The repository's PostgreSQL or MariaDB server dies under a run, in stage 4 or between the
// statements of the result transaction: the run shows the error on stderr and ends
// with 0; once the server is back the task holds no rows at all (the run deleted the
// earlier ones at its start and committed nothing after), and the next run succeeds.
// Each test has a server of its own to kill.

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "tests/e2e/RunFixture.h"
#include "tests/reliability/Figures.h"
#include "tests/reliability/OwnCluster.h"
#include "tests/reliability/Stops.h"
#include "tests/reliability/TaskRows.h"

namespace reliability {
namespace {

using e2e::Backend;
using e2e::RunFixture;

struct DeathPoint {
    const char* point;  // where the run is held while its server dies
    int stage;          // the stage the journal shows there
};

// The texts libpq and psqlODBC, and the MariaDB client library, give for a server that
// went away. Which one MariaDB's gives depends on whether the next write finds the socket
// closed already ("Write error: Broken pipe") or the read after it sees the end.
bool namesLostServer(const std::string& error)
{
    for (const char* text : {"server closed the connection", "could not send data to server",
                             "no connection to the server", "The connection has been lost",
                             "Lost connection to server", "Server has gone away", "server has gone away",
                             "Write error: Broken pipe"}) {
        if (error.find(text) != std::string::npos)
            return true;
    }
    return false;
}

class ServerDeathTest : public ::testing::TestWithParam<std::tuple<Backend, DeathPoint>> {
protected:
    void SetUp() override
    {
        DODOZ_REQUIRE(e2e::backendUnavailable(backend()));
        cluster = std::make_unique<OwnCluster>(backend());
        fx = std::make_unique<RunFixture>(backend());
        key = fx->registerTask({.object = e2e::iris::versicolor});
        e2e::RunOutcome good = fx->runDodoz(key);
        ASSERT_EQ(good.process.err, e2e::console::progress(5));
        completeSet = TaskRows::read(*fx, key);
        ASSERT_TRUE(isCompleteSet(completeSet, {0, 1, 2})) << completeSet.describe();
    }

    void TearDown() override
    {
        fx.reset();
        cluster.reset();
    }

    Backend backend() const { return std::get<0>(GetParam()); }

    // Declared first, so that the databases on it go before it does.
    std::unique_ptr<OwnCluster> cluster;
    std::unique_ptr<RunFixture> fx;
    int key = 0;
    TaskRows completeSet;
};

TEST_P(ServerDeathTest, RunReportsTheLostServerAndLeavesNoRows)
{
    const DeathPoint death = std::get<1>(GetParam());
    const std::filesystem::path workDir = fx->newWorkDir();
    auto run = fx->startDodoz(key, e2e::Regional::C, workDir, {stopAt(death.point)});
    ASSERT_TRUE(waitUntilStopped(*run)) << run->errSoFar();
    EXPECT_EQ(e2e::journal::lastStage(RunFixture::journal(workDir)), death.stage);

    cluster->stop();
    resume(*run);
    const e2e::ProcessResult ended = run->wait(std::chrono::seconds(120));

    EXPECT_EQ(ended.exitCode, 0) << ended.describe();
    const std::string progress = e2e::console::progress(5);
    ASSERT_EQ(ended.err.substr(0, progress.size()), progress) << ended.err;
    // The driver's own text follows the progress texts, naming the lost server.
    const std::string error = ended.err.substr(progress.size());
    const bool clearError = namesLostServer(error);
    EXPECT_TRUE(clearError) << ended.err;

    cluster->restart();
    const TaskRows after = TaskRows::read(*fx, key);
    EXPECT_TRUE(after.empty()) << after.describe();

    e2e::RunOutcome next = fx->runDodoz(key);
    EXPECT_EQ(next.process.err, progress);
    const Outcome followUp = outcomeOf(TaskRows::read(*fx, key), completeSet);
    EXPECT_EQ(followUp, Outcome::Complete);

    const std::string suffix = figureSuffix(e2e::backendName(backend()));
    writeFigures("server-" + suffix + "-" + death.point,
                 {{"server_stops", "1"},
                  {"server_stops_" + suffix, "1"},
                  {"server_clear_errors", clearError ? "1" : "0"},
                  {"server_partial", after.empty() ? "0" : "1"},
                  {"server_failed_followups", followUp == Outcome::Complete ? "0" : "1"}});
}

std::string deathPointName(const ::testing::TestParamInfo<std::tuple<Backend, DeathPoint>>& info)
{
    const DeathPoint& death = std::get<1>(info.param);
    std::string name = std::string("Stage") + std::to_string(death.stage) + "_" + death.point + "_" +
                       e2e::backendName(std::get<0>(info.param));
    for (char& c : name)
        if (c == '-')
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Points, ServerDeathTest,
                         ::testing::Combine(::testing::Values(Backend::PostgreSQL, Backend::MariaDB),
                                            ::testing::Values(DeathPoint{"model", 4}, DeathPoint{"locked", 5},
                                                              DeathPoint{"insert-2", 5}, DeathPoint{"insert-6", 5})),
                         deathPointName);

}  // namespace
}  // namespace reliability
