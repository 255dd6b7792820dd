// The switches of a run come from the environment once, when the run starts.

#include <gtest/gtest.h>

#include "app/RunOptions.h"
#include "tests/support/EnvironmentGuard.h"
#include "tests/support/Raised.h"

namespace {

TEST(RunOptionsTest, ReferenceSearchOnlyForOne)
{
    {
        EnvVar reference("DODOZ_REFERENCE_SEARCH");
        EXPECT_FALSE(RunOptions::fromEnvironment().classifier.referenceSearch);
    }
    {
        EnvVar reference("DODOZ_REFERENCE_SEARCH", "1");
        EXPECT_TRUE(RunOptions::fromEnvironment().classifier.referenceSearch);
    }
    {
        EnvVar reference("DODOZ_REFERENCE_SEARCH", "yes");
        EXPECT_FALSE(RunOptions::fromEnvironment().classifier.referenceSearch);
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

}  // namespace
