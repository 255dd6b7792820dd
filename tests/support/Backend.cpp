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
    switch (backend) {
    case Backend::SQLite:
        return "SQLite";
    case Backend::PostgreSQL:
        return "PostgreSQL";
    case Backend::MariaDB:
        return "MariaDB";
    }
    return "?";
}

const std::vector<Backend>& allBackends()
{
    static const std::vector<Backend> backends{Backend::SQLite, Backend::PostgreSQL, Backend::MariaDB};
    return backends;
}

std::optional<std::string> backendUnavailable(Backend backend)
{
    if (backend == Backend::SQLite)
        return std::nullopt;
    if (backend == Backend::MariaDB) {
        const bool reachable = !environmentValue("DODOZ_MARIADB_SOCKET").empty() ||
                               (!environmentValue("DODOZ_MARIADB_HOST").empty() &&
                                !environmentValue("DODOZ_MARIADB_PORT").empty());
        if (!reachable || environmentValue("DODOZ_MARIADB_USER").empty())
            return std::string("no MariaDB server for the tests: DODOZ_MARIADB_USER and DODOZ_MARIADB_SOCKET (or ") +
                   "DODOZ_MARIADB_HOST and DODOZ_MARIADB_PORT) are not set (source scripts/mariadb-cluster.sh and "
                   "run mariadb_cluster_start)";
        return std::nullopt;
    }
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
