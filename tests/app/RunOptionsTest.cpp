// The switches of a run come from the environment once, when the run starts.

#include <gtest/gtest.h>

#include "app/RunOptions.h"
#include "core/Utils.h"
#include "tests/support/EnvironmentGuard.h"
#include "tests/support/Raised.h"

namespace {

TEST(RunOptionsTest, ReferenceSearchOnlyForOne)
{
    {
        EnvVar reference("DODOZ_REFERENCE_SEARCH");
        EXPECT_EQ(RunOptions::fromEnvironment().classifier.engine, SearchEngine::Fast);
    }
    {
        EnvVar reference("DODOZ_REFERENCE_SEARCH", "1");
        EXPECT_EQ(RunOptions::fromEnvironment().classifier.engine, SearchEngine::Reference);
    }
    {
        EnvVar reference("DODOZ_REFERENCE_SEARCH", "yes");
        EXPECT_EQ(RunOptions::fromEnvironment().classifier.engine, SearchEngine::Fast);
    }
}

TEST(RunOptionsTest, ConsoleForcedByAnyValueButZero)
{
    {
        EnvVar noGui("DODOZ_NO_GUI");
        EXPECT_FALSE(RunOptions::fromEnvironment().console);
    }
    for (const char* off : {"", "0"}) {
        EnvVar noGui("DODOZ_NO_GUI", off);
        EXPECT_FALSE(RunOptions::fromEnvironment().console) << off;
    }
    for (const char* on : {"1", "yes", "00"}) {
        EnvVar noGui("DODOZ_NO_GUI", on);
        EXPECT_TRUE(RunOptions::fromEnvironment().console) << on;
    }
}

TEST(RunOptionsTest, InstructionSetCapByNameInAnyCase)
{
    {
        EnvVar cap("DODOZ_INSTRUCTION_SET");
        EXPECT_EQ(RunOptions::fromEnvironment().classifier.instructionSets, InstructionSet::Avx512);
    }
    const struct {
        const char* name;
        InstructionSet set;
    } caps[] = {{"none", InstructionSet::None}, {"AVX2", InstructionSet::Avx2}, {"Avx512", InstructionSet::Avx512}};
    for (const auto& c : caps) {
        EnvVar cap("DODOZ_INSTRUCTION_SET", c.name);
        EXPECT_EQ(RunOptions::fromEnvironment().classifier.instructionSets, c.set) << c.name;
    }
}

TEST(RunOptionsTest, UnknownInstructionSetIsAnErrorThatNamesIt)
{
    for (const char* name : {"", "sse4", "avx", "avx-512", " avx2", "avx2,avx512"}) {
        EnvVar cap("DODOZ_INSTRUCTION_SET", name);
        const SystemException e = raised([] { RunOptions::fromEnvironment(); });
        EXPECT_EQ(e.place, "RunOptions.fromEnvironment") << name;
        EXPECT_EQ(e.message, "Неизвестный набор команд в DODOZ_INSTRUCTION_SET: \"" + std::string(name)
                                 + "\" (допустимы none, avx2, avx512)");
    }
}

TEST(RunOptionsTest, QueryTimeoutIsWholeSecondsWithAnHourUnlessSaid)
{
    {
        EnvVar timeout("DODOZ_QUERY_TIMEOUT");
        EXPECT_EQ(RunOptions::fromEnvironment().sampleTimeLimit(), 3600u);
    }
    const std::pair<const char*, unsigned long> values[] = {{"", 3600}, {"0", 0}, {"2", 2}, {"2147483", 2147483}};
    for (const auto& [text, seconds] : values) {
        EnvVar timeout("DODOZ_QUERY_TIMEOUT", text);
        EXPECT_EQ(RunOptions::fromEnvironment().sampleTimeLimit(), seconds) << text;
    }
}

// Read at the entry like the other switches, refused only when the run asks for it.
TEST(RunOptionsTest, QueryTimeoutThatIsNoNumberOfSecondsIsRefusedWhenTheRunAsks)
{
    for (const char* text : {"abc", "-1", "+1", "1.5", " 5", "5s", "2147484", "18446744073709551616"}) {
        EnvVar timeout("DODOZ_QUERY_TIMEOUT", text);
        const RunOptions options = RunOptions::fromEnvironment();
        const SystemException e = raised([&] { options.sampleTimeLimit(); });
        EXPECT_EQ(e.place, "RunOptions.sampleTimeLimit()") << text;
        EXPECT_EQ(e.message, std::string("DODOZ_QUERY_TIMEOUT должна быть целым числом секунд от 0 до 2147483: ") + text);
    }
}

}  // namespace

namespace {

TEST(RunOptionsTest, WorkersAreAWholeNumberFromOneOrNone)
{
    {
        EnvVar workers("DODOZ_WORKERS");
        EXPECT_EQ(RunOptions::fromEnvironment().workers, 0u);
    }
    {
        EnvVar workers("DODOZ_WORKERS", "");
        EXPECT_EQ(RunOptions::fromEnvironment().workers, 0u);
    }
    for (const auto& [text, count] : {std::pair{"1", 1u}, {"3", 3u}, {"4096", 4096u}}) {
        EnvVar workers("DODOZ_WORKERS", text);
        EXPECT_EQ(RunOptions::fromEnvironment().workers, count) << text;
    }
    for (const char* bad : {"0", "-2", "4097", "2.0", "two", " 2", "99999999999"}) {
        EnvVar workers("DODOZ_WORKERS", bad);
        const SystemException e = raised([] { RunOptions::fromEnvironment(); });
        EXPECT_EQ(e.place, "RunOptions.fromEnvironment") << bad;
        EXPECT_EQ(e.message, "DODOZ_WORKERS должна быть числом рабочих процессов от 1 до 4096: \"" + std::string(bad) + "\"");
    }
}

}  // namespace
