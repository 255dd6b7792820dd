#include "tests/support/Backend.h"

#include <cstdlib>

namespace testsupport {

namespace {

std::string environmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

std::string backendName(Backend backend)
{
    return backend == Backend::SQLite ? "SQLite" : "PostgreSQL";
}

const std::vector<Backend>& allBackends()
{
    static const std::vector<Backend> backends{Backend::SQLite, Backend::PostgreSQL};
    return backends;
}

std::optional<std::string> backendUnavailable(Backend backend)
{
    if (backend == Backend::SQLite)
        return std::nullopt;
    for (const char* name : {"DODOZ_PG_HOST", "DODOZ_PG_PORT", "DODOZ_PG_USER"}) {
        if (environmentValue(name).empty())
            return std::string("no PostgreSQL server for the tests: ") + name +
                   " is not set (source scripts/pg-cluster.sh and run pg_cluster_start)";
    }
    return std::nullopt;
}

bool databasesRequired()
{
    return environmentValue("DODOZ_REQUIRE_DATABASES") == "1";
}

}  // namespace testsupport
