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

}  // namespace
