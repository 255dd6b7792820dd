// The cases of a backend share one pair of databases, so they run in one process (one
// ctest test per backend) and the databases are dropped once, after the last case.

#include <gtest/gtest.h>

#include "tests/hostile/HostileFixture.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    hostile::releaseDatabases();
    return result;
}
