#pragma once
// A repository database and a source database of one backend, made for one test by
// scripts/make-dsn in a directory of their own, with the DSN files that reach them:
// MIRELON (the repository) and DODOZ_SOURCE (the source). PostgreSQL and MariaDB
// databases live on the servers that scripts/pg-cluster.sh and scripts/mariadb-cluster.sh
// start (DODOZ_PG_*, DODOZ_MARIADB_*) and are dropped when the object goes.
//
// Two ways in. Programs started with odbcEnvironment() in their environment, and the
// test itself through connection strings that name the driver library and the database
// directly (connectRepository, repository, queryRepository, ...): those never go
// through unixODBC's cache of DSN lookups, so one process may use every backend. Code
// under test that opens a DSN by its name in this process needs useDsnFiles() (and the
// DSN-named calls connect, run, query): unixODBC's driver manager keeps what it looked
// up in the DSN files (which driver MIRELON uses) for a while, beyond reach of the
// program, so such a process uses one backend. ctest runs every test in a process of
// its own; a test program run whole by hand runs the tests of the backend it meets
// first and skips the others, saying so (--gtest_filter='*PostgreSQL*' picks another).
//
// Texts given and returned are cp1251, as the program keeps them; the databases hold
// UTF-8.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "repository/odbc/OdbcConnection.h"
#include "tests/support/Backend.h"
#include "tests/support/EnvironmentGuard.h"
#include "tests/support/RegionalSettings.h"
#include "tests/support/TempDir.h"

namespace testsupport {

// One cell: nothing for NULL; numbers as the database writes them as text ("0", "1.5").
using Cell = std::optional<std::string>;
using Row = std::vector<Cell>;

// Why this process cannot use the backend's DSNs (it used another one), or nothing.
std::optional<std::string> backendConflict(Backend backend);

class TestDatabases {
public:
    static constexpr const char* repositoryDsn = "MIRELON";
    static constexpr const char* sourceDsn = "DODOZ_SOURCE";

    // hostSchema: the repository has only the columns the program may rely on
    // (tests/host-schema) instead of the schema of db/.
    explicit TestDatabases(Backend backend, bool hostSchema = testsupport::hostSchema());
    TestDatabases(const TestDatabases&) = delete;
    TestDatabases& operator=(const TestDatabases&) = delete;
    ~TestDatabases();

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

    // Each statement runs on its own, committed at once, on one connection; a refused
    // one throws std::runtime_error with the statement and the error in UTF-8.
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

    // Points this process's ODBCSYSINI and ODBCINI at the DSN files while the object
    // lives; throws when the process used another backend's.
    void useDsnFiles();
    // Through the DSN by its name (useDsnFiles first), as the program opens it; the
    // program's Exception when the driver refuses.
    std::unique_ptr<OdbcConnection> connect(const std::string& dsn) const;
    void run(const std::string& dsn, const std::vector<std::string>& statements) const;
    // The cells as texts, "NULL" for a NULL.
    std::vector<std::vector<std::string>> query(const std::string& dsn, const std::string& sql) const;

    // Changes the DSN so that it reaches something else: each "key=value" replaces or
    // adds a key of the DSN (through the ODBC installer API, which unixODBC notices).
    void changeDsn(const std::string& dsn, const std::vector<std::string>& settings) const;
    // Takes the DSN out of the DSN files.
    void removeDsn(const std::string& dsn) const;
    // The DSN settings that make a DSN of this backend reach no database: a missing
    // file, a closed port, a missing socket.
    std::vector<std::string> unreachable() const;

private:
    std::unique_ptr<OdbcConnection> open(const std::string& dsn) const;
    void run(const std::string& dsn, const std::vector<std::string>& statements, bool unchecked) const;
    std::vector<Row> rows(const std::string& dsn, const std::string& sql) const;

    Backend backend_;
    TempDir dir_{"dodoz-db"};
    std::map<std::string, std::map<std::string, std::string>> dsnSettings_;
    std::optional<EnvVar> sysIni_;
    std::optional<EnvVar> ini_;
};

// Makes db in a fixture's SetUp, with the DSN files of this process pointing at it: skips
// the test when the process used another backend already (a limit of this process,
// never a failure), and otherwise requires the backend.
inline void openTestDatabases(Backend backend, std::unique_ptr<TestDatabases>& db)
{
    if (auto conflict = backendConflict(backend))
        GTEST_SKIP() << *conflict;
    DODOZ_REQUIRE(backendUnavailable(backend));
    db = std::make_unique<TestDatabases>(backend, false);
    db->useDsnFiles();
}

// Fresh databases of one backend, on the schema of db/, for every test: the test
// parameter's, or a fixed one for behaviour that only one backend has.
class DatabaseTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override { openTestDatabases(GetParam(), db); }
    bool sqlite() const { return GetParam() == Backend::SQLite; }

    std::unique_ptr<TestDatabases> db;
};

// DatabaseTest under the Russian regional settings (a decimal comma), as the host's
// machines run the program; the previous settings come back after the test.
class RussianDatabaseTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        setFormatSettings(FormatSettings::russian());
        DatabaseTest::SetUp();
    }

private:
    SavedRegionalSettings saved;
};

template <Backend backend>
class SingleBackendTest : public ::testing::Test {
protected:
    void SetUp() override { openTestDatabases(backend, db); }

    std::unique_ptr<TestDatabases> db;
};

}  // namespace testsupport
