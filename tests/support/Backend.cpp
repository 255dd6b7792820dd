#include "tests/support/Backend.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace testsupport {

namespace {

std::string environmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The SQLite databases of the tests are made with the sqlite3 shell and reached through
// the driver of Debian's libsqliteodbc, where scripts/make-dsn looks for it.
std::optional<std::string> sqliteUnavailable()
{
    std::error_code error;
    bool driver = std::filesystem::exists("/usr/lib/odbc/libsqlite3odbc.so", error);
    for (std::filesystem::directory_iterator entry("/usr/lib", error), end; !driver && !error && entry != end;
         entry.increment(error))
        driver = std::filesystem::exists(entry->path() / "odbc/libsqlite3odbc.so", error);
    if (!driver)
        return std::string("no SQLite ODBC driver for the tests: libsqlite3odbc.so is not installed (scripts/setup "
                           "installs libsqliteodbc)");
    bool shell = false;
    std::string path = environmentValue("PATH");
    for (size_t at = 0; !shell && at <= path.size();) {
        const size_t end = std::min(path.find(':', at), path.size());
        shell = std::filesystem::exists(std::filesystem::path(path.substr(at, end - at)) / "sqlite3", error);
        at = end + 1;
    }
    if (!shell)
        return std::string("no sqlite3 shell for the tests (scripts/setup installs sqlite3)");
    return std::nullopt;
}

}  // namespace

std::string backendName(Backend backend)
{
    static const char* const names[] = {"SQLite", "PostgreSQL", "MariaDB"};
    return names[static_cast<int>(backend)];
}

const std::vector<Backend>& allBackends()
{
    static const std::vector<Backend> backends{Backend::SQLite, Backend::PostgreSQL, Backend::MariaDB};
    return backends;
}


std::optional<std::string> backendUnavailable(Backend backend)
{
    if (backend == Backend::SQLite)
        return sqliteUnavailable();
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

bool hostSchema()
{
    return environmentValue("DODOZ_TEST_SCHEMA") == "host";
}

}  // namespace testsupport
