#pragma once
// Throwaway repository and source databases for tests, built from the db/ scripts by
// scripts/make-dsn in a temporary directory, with ODBCSYSINI and ODBCINI pointing
// there while the object lives: the DSN MIRELON reaches the repository and
// DODOZ_SOURCE the source database. PostgreSQL and MariaDB databases live on the
// servers that scripts/pg-cluster.sh and scripts/mariadb-cluster.sh start (DODOZ_PG_*,
// DODOZ_MARIADB_*) and are dropped at the end.
//
// In a fixture's SetUp, DODOZ_REQUIRE_BACKEND(backend) skips the test with the reason
// when the backend's server is not there, or fails it when DODOZ_REQUIRE_DATABASES=1
// (as scripts/test sets it).
//
// One process uses one backend: unixODBC's driver manager keeps what it looked up in
// the DSN files (which driver MIRELON uses) for a while, beyond reach of the program.
// ctest runs every test in a process of its own; a test program run whole by hand
// runs the tests of the backend it meets first and skips the others, saying so
// (--gtest_filter='*PostgreSQL*' picks the other).

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "repository/odbc/OdbcConnection.h"
#include "tests/support/Backend.h"
#include "tests/support/TempDir.h"

#define DODOZ_REQUIRE_BACKEND(backend)                                          \
    do {                                                                        \
        if (auto dodozConflict = ::testsupport::backendConflict(backend))       \
            GTEST_SKIP() << *dodozConflict;                                     \
        if (auto dodozReason = ::testsupport::backendUnavailable(backend)) {    \
            if (::testsupport::databasesRequired())                             \
                FAIL() << *dodozReason;                                         \
            GTEST_SKIP() << *dodozReason;                                       \
        }                                                                       \
    } while (false)

// Runs the tests of a DatabaseTest fixture once on each backend.
#define DODOZ_ON_BOTH_BACKENDS(fixture)                                                          \
    INSTANTIATE_TEST_SUITE_P(Backends, fixture, ::testing::ValuesIn(::testsupport::allBackends()), \
                             ::testsupport::backendTestName)

namespace testsupport {

// Why this process cannot use the backend (it used the other one), or nothing.
std::optional<std::string> backendConflict(Backend backend);

class TestDatabases {
public:
    static constexpr const char* repositoryDsn = "MIRELON";
    static constexpr const char* sourceDsn = "DODOZ_SOURCE";

    explicit TestDatabases(Backend backend);
    TestDatabases(const TestDatabases&) = delete;
    TestDatabases& operator=(const TestDatabases&) = delete;
    ~TestDatabases();

    Backend backend() const { return backend_; }
    const std::string& dir() const { return dir_; }

    // A new open connection to a DSN (no user, no password).
    std::unique_ptr<OdbcConnection> connect(const std::string& dsn) const;
    // Runs the statements one by one on one connection; texts are cp1251.
    void run(const std::string& dsn, const std::vector<std::string>& statements) const;
    void repository(const std::vector<std::string>& statements) const { run(repositoryDsn, statements); }
    void source(const std::vector<std::string>& statements) const { run(sourceDsn, statements); }
    // The cells of a query as texts ("NULL" for a NULL, numbers as the driver writes
    // them), row by row.
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
    Backend backend_;
    TempDir temp_{"dodoz-db"};
    std::string dir_ = temp_.path().string();
    std::optional<std::string> savedSysIni;
    std::optional<std::string> savedIni;
};

// Fresh databases of one backend for every test: the test parameter's, or a fixed one
// for behaviour that only one backend has.
class DatabaseTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        DODOZ_REQUIRE_BACKEND(GetParam());
        db = std::make_unique<TestDatabases>(GetParam());
    }
    bool sqlite() const { return GetParam() == Backend::SQLite; }

    std::unique_ptr<TestDatabases> db;
};

template <Backend backend>
class SingleBackendTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DODOZ_REQUIRE_BACKEND(backend);
        db = std::make_unique<TestDatabases>(backend);
    }

    std::unique_ptr<TestDatabases> db;
};

}  // namespace testsupport
