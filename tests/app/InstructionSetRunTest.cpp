// The whole run with the engine's kernels capped by DODOZ_INSTRUCTION_SET: whichever set
// it may use, it writes the rows and the journal of the uncapped run, and an unknown set
// stops it before it reads a task.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/Runtime.h"
#include "tests/e2e/RunFixture.h"

namespace {

using e2e::Regional;
using e2e::ResultRow;
using e2e::RunOutcome;

class InstructionSetRunTest : public e2e::BackendTest {
protected:
    RunOutcome run(int key, const std::vector<std::string>& env)
    {
        RunOutcome outcome = fx->runDodoz(key, Regional::C, env);
        EXPECT_EQ(outcome.process.exitCode, 0) << outcome.process.describe();
        EXPECT_EQ(outcome.process.err, e2e::console::progress(5));
        return outcome;
    }
};

TEST_P(InstructionSetRunTest, EveryCapWritesTheRowsOfTheUncappedRun)
{
    const int key = fx->registerTask({.object = e2e::iris::versicolor});
    const RunOutcome uncapped = run(key, {});
    const std::vector<ResultRow> expected = fx->results(key);
    ASSERT_EQ(expected.size(), 5u);
    for (const char* cap : {"DODOZ_INSTRUCTION_SET=none", "DODOZ_INSTRUCTION_SET=avx2", "DODOZ_INSTRUCTION_SET=AVX512"}) {
        SCOPED_TRACE(cap);
        const RunOutcome capped = run(key, {cap});
        EXPECT_EQ(e2e::journal::masked(capped.journal), e2e::journal::masked(uncapped.journal));
        e2e::expectSameResults(fx->results(key), expected);
    }
}

TEST_P(InstructionSetRunTest, AnUnknownSetStopsTheRunBeforeTheTask)
{
    const int key = fx->registerTask({.object = e2e::iris::versicolor});
    const RunOutcome outcome = fx->runDodoz(key, Regional::C, {"DODOZ_INSTRUCTION_SET=sse4"});
    EXPECT_EQ(outcome.process.exitCode, 0) << outcome.process.describe();
    EXPECT_EQ(outcome.process.err,
              Cp1251ToUtf8("Неизвестный набор команд в DODOZ_INSTRUCTION_SET: \"sse4\" (допустимы none, avx2, avx512)")
                  + "\n");
    EXPECT_TRUE(outcome.journal.empty());
    EXPECT_TRUE(fx->results(key).empty());
    EXPECT_TRUE(fx->logs(key).empty());
}

// The cap changes nothing a backend sees: SQLite, which needs no server, is enough.
INSTANTIATE_TEST_SUITE_P(Backends, InstructionSetRunTest, ::testing::Values(testsupport::Backend::SQLite), testsupport::backendTestName);

}  // namespace
