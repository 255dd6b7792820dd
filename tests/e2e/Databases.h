#pragma once
// A repository database and a source database of one backend, made for one test by
// scripts/make-dsn in a directory of their own, with the DSN files that reach them:
// MIRELON (the repository) and DODOZ_SOURCE (the source). Programs started with
// odbcEnvironment() in their environment find both; the test itself reaches them with
// connection strings that name the driver library and the database directly, so it
// never goes through unixODBC's cache of DSN lookups and may use every backend in one
// process. PostgreSQL and MariaDB databases live on the servers that
// scripts/pg-cluster.sh and scripts/mariadb-cluster.sh start (DODOZ_PG_*,
// DODOZ_MARIADB_*) and are dropped when the object goes.
//
// Texts given and returned are cp1251, as the program keeps them; the databases hold
// UTF-8.

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "repository/odbc/OdbcConnection.h"
#include "tests/support/Backend.h"
#include "tests/support/Process.h"

namespace e2e {

using testsupport::Process;
using testsupport::ProcessResult;
using testsupport::readFile;
using testsupport::writeFile;
// The tests' temporary directory, here under the fixture's namespace.
using ::TempDir;

using testsupport::allBackends;
using testsupport::Backend;
using testsupport::backendName;
using testsupport::backendUnavailable;
using testsupport::databasesRequired;

// One cell: nothing for NULL; numbers as the database writes them as text ("0", "1.5").
using Cell = std::optional<std::string>;
using Row = std::vector<Cell>;

class Databases {
public:
    static constexpr const char* repositoryDsn = "MIRELON";
    static constexpr const char* sourceDsn = "DODOZ_SOURCE";

    // hostSchema: the repository has only the columns the program may rely on
    // (tests/host-schema) instead of the schema of db/.
    explicit Databases(Backend backend, bool hostSchema = testsupport::hostSchema());
    Databases(const Databases&) = delete;
    Databases& operator=(const Databases&) = delete;
    ~Databases();

    Backend backend() const { return backend_; }
    bool sqlite() const { return backend_ == Backend::SQLite; }
    // The directory of the DSN files (and of the SQLite database files).
    const std::filesystem::path& dir() const { return dir_.path(); }
    // ODBCSYSINI=... and ODBCINI=..., for the environment of a program.
    std::vector<std::string> odbcEnvironment() const;

    // A new open connection, for tests that hold one (a lock, a transaction) while a
    // program runs.
    std::unique_ptr<OdbcConnection> connectRepository() const;
    std::unique_ptr<OdbcConnection> connectSource() const;

    // Each statement runs on its own, committed at once, on one connection.
    void repository(const std::vector<std::string>& statements) const;
    void source(const std::vector<std::string>& statements) const;
    // The same with the checks of foreign keys off for that connection, to leave rows
    // that point nowhere (SQLite does not check them anyway).
    void repositoryUnchecked(const std::vector<std::string>& statements) const;

    // The rows of a query, cell by cell.
    std::vector<Row> queryRepository(const std::string& sql) const;
    std::vector<Row> querySource(const std::string& sql) const;
    // The one cell of a query that yields exactly one row of one column; throws
    // otherwise.
    Cell repositoryValue(const std::string& sql) const;

    // Whether the repository's table has the column (names compared case-insensitively),
    // for cases that need more of the repository than a host's own may have.
    bool repositoryHasColumn(const std::string& table, const std::string& column) const;

    // The connection string of a DSN of the DSN files, with the driver library and
    // every setting spelled out.
    std::string connectionString(const std::string& dsn) const;

private:
    std::unique_ptr<OdbcConnection> connect(const std::string& dsn) const;
    void run(const std::string& dsn, const std::vector<std::string>& statements, bool unchecked) const;
    std::vector<Row> query(const std::string& dsn, const std::string& sql) const;

    Backend backend_;
    TempDir dir_;
    std::map<std::string, std::map<std::string, std::string>> dsnSettings_;
};

}  // namespace e2e
