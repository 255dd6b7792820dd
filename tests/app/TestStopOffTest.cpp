// A build without DODOZ_TEST_HOOKS, as the package is: no stop point of app/TestStop.h
// stops the process, whatever DODOZ_TEST_STOP says.

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "app/TestStop.h"
#include "tests/support/EnvironmentGuard.h"

static_assert(!DODOZ_TEST_HOOKS, "this suite is built without the test hooks");

namespace {

TEST(TestStopOffTest, ListedPointsDoNotStopTheProcess)
{
    EnvVar stop("DODOZ_TEST_STOP", "open,model");
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        TestStops::fromEnvironment().reach("open");
        TestStops("model").reach("model");
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, WUNTRACED), child);
    if (WIFSTOPPED(status)) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "the process stopped itself at a test stop point";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

}  // namespace
