// The switches of a run come from the environment once, when the run starts.

#include <gtest/gtest.h>

#include "app/RunOptions.h"
#include "tests/support/EnvironmentGuard.h"

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

}  // namespace
