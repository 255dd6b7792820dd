#pragma once
// The database backends every database test runs on, and whether this machine offers
// them.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace testsupport {

enum class Backend { SQLite, PostgreSQL, MariaDB };

std::string backendName(Backend backend);  // "SQLite", "PostgreSQL", "MariaDB"
inline std::ostream& operator<<(std::ostream& out, Backend backend) { return out << backendName(backend); }
// For GoogleTest's messages about parameters.
inline void PrintTo(Backend backend, std::ostream* out) { *out << backendName(backend); }
// For the names of parameterized tests: "SQLite", "PostgreSQL", "MariaDB".
inline std::string backendTestName(const ::testing::TestParamInfo<Backend>& info) { return backendName(info.param); }
const std::vector<Backend>& allBackends();

// Runs the tests of a fixture parameterized by Backend once on each backend.
#define DODOZ_ON_EVERY_BACKEND(fixture)                                                             \
    INSTANTIATE_TEST_SUITE_P(Backends, fixture, ::testing::ValuesIn(::testsupport::allBackends()), \
                             ::testsupport::backendTestName)

// In SetUp or a test body, given why something the test needs is not there (a backend's
// server, a locale) or nothing: skips with the reason, or fails when
// DODOZ_REQUIRE_DATABASES=1 (as scripts/test sets it).
#define DODOZ_REQUIRE(unavailable)                          \
    do {                                                    \
        if (auto dodozReason = (unavailable)) {             \
            if (::testsupport::databasesRequired())         \
                FAIL() << *dodozReason;                     \
            GTEST_SKIP() << *dodozReason;                   \
        }                                                   \
    } while (false)

// Why the backend's server cannot be used (no server named), or nothing.
std::optional<std::string> backendUnavailable(Backend backend);
// DODOZ_REQUIRE_DATABASES=1: a missing database server is a failure, not a skip.
bool databasesRequired();
// DODOZ_TEST_SCHEMA=host: the repositories the suites make have only the columns the
// program may rely on (tests/host-schema), as a host's own may; anything else, the
// schema of db/.
bool hostSchema();

}  // namespace testsupport
