// What no SQL text may make a SQLite connection of the process do: load a library, read or
// write a file, run past its deadline. First on databases the test opens itself, then on
// those the SQLite ODBC driver opens.

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <thread>

#include "repository/odbc/OdbcConnection.h"
#include "repository/odbc/OdbcStatement.h"
#include "repository/odbc/SqliteGuard.h"
#include "tests/repository/Errors.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TempDir.h"

using testsupport::Backend;
using testsupport::errorOf;
using testsupport::TestDatabases;

namespace {

// An in-memory database opened after the guard; the error text of a statement, or "ok".
class GuardedDatabase {
public:
    GuardedDatabase()
    {
        guardSqliteConnections();
        if (sqlite3_open(":memory:", &db) != SQLITE_OK)
            throw std::runtime_error("cannot open an in-memory database");
    }
    ~GuardedDatabase() { sqlite3_close(db); }

    std::string run(const std::string& sql)
    {
        char* error = nullptr;
        const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
        std::string text = rc == SQLITE_OK ? "ok" : error ? error : sqlite3_errstr(rc);
        sqlite3_free(error);
        return text;
    }

private:
    sqlite3* db = nullptr;
};

// Long enough never to end in time by itself, short enough to end should the guard fail.
const char* const endless =
    "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 100000000) SELECT count(*) FROM n";
const char* const brief =
    "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 100000) SELECT count(*) FROM n";

TEST(SqliteGuardTest, FunctionsThatReachOutsideAreRefusedWhateverTheSpelling)
{
    GuardedDatabase db;
    EXPECT_EQ(db.run("SELECT load_extension('/nonexistent/library.so')"),
              "not authorized to use function: load_extension");
    EXPECT_EQ(db.run("SELECT 1 WHERE coalesce(NULL, (SELECT \"LOAD_EXTENSION\"(char(47, 120), 'init')))"),
              "not authorized to use function: LOAD_EXTENSION");
    EXPECT_EQ(db.run("SELECT [Load_Extension] /* x */ ('x')"), "not authorized to use function: Load_Extension");
    EXPECT_EQ(db.run("SELECT fts3_tokenizer('simple', x'0000000000000000')"),
              "not authorized to use function: fts3_tokenizer");
    EXPECT_EQ(db.run("SELECT abs(-1), lower('A'), length(char(47))"), "ok");
}

TEST(SqliteGuardTest, DeadlineInterruptsTheStatementsOfItsThreadOnly)
{
    GuardedDatabase db;
    {
        SqliteDeadline passed(std::chrono::steady_clock::now());
        EXPECT_EQ(db.run(endless), "interrupted");
        std::string elsewhere;
        std::thread other([&] {
            GuardedDatabase own;
            elsewhere = own.run(brief);
        });
        other.join();
        EXPECT_EQ(elsewhere, "ok");
    }
    EXPECT_EQ(db.run(brief), "ok") << "the deadline outlived its object";
}

using SqliteDriverGuardTest = testsupport::SingleBackendTest<Backend::SQLite>;

// The driver opens its databases with the process's libsqlite3, and enables
// load_extension and adds its file functions on every connection, the source's too.
TEST_F(SqliteDriverGuardTest, DriverConnectionsRefuseLibrariesAndFiles)
{
    TempDir dir;
    const std::filesystem::path written = dir.path() / "written";
    std::unique_ptr<OdbcConnection> source = db->connect(TestDatabases::sourceDsn);
    auto refused = [&](const std::string& sql) {
        return errorOf([&] {
            OdbcStatement statement(*source);
            statement.execute(sql);
            statement.fetch();
        });
    };
    EXPECT_EQ(refused("SELECT load_extension('/nonexistent/library.so')"),
              "HY000 [SQLite]not authorized to use function: load_extension (1)");
    EXPECT_EQ(refused("SELECT blob_export(x'41', '" + written.string() + "')"),
              "HY000 [SQLite]not authorized to use function: blob_export (1)");
    EXPECT_EQ(refused("SELECT length(blob_import('/etc/hostname'))"),
              "HY000 [SQLite]not authorized to use function: blob_import (1)");
    EXPECT_FALSE(std::filesystem::exists(written));
    EXPECT_EQ(refused("SELECT 1"), "no error");
}

void stand_in(sqlite3_context* context, int, sqlite3_value**)
{
    sqlite3_result_null(context);
}

// A schema is read without the check of functions: a generated column of a source table
// would call the driver's blob_export each time it is read.
TEST_F(SqliteDriverGuardTest, FileFunctionInTheSourcesSchemaIsRefused)
{
    TempDir dir;
    const std::filesystem::path written = dir.path() / "written";
    {
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open((db->dir() / "source.db").c_str(), &raw), SQLITE_OK);
        // This connection writes the hostile schema, with a blob_export of its own.
        sqlite3_set_authorizer(raw, nullptr, nullptr);
        sqlite3_create_function(raw, "blob_export", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, stand_in, nullptr,
                                nullptr);
        const std::string sql = "CREATE TABLE exporting (x, y AS (blob_export(x'41', '" + written.string() +
                                "')) VIRTUAL); INSERT INTO exporting (x) VALUES (1)";
        EXPECT_EQ(sqlite3_exec(raw, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(raw);
        sqlite3_close(raw);
    }
    std::unique_ptr<OdbcConnection> source = db->connect(TestDatabases::sourceDsn);
    const std::string error = errorOf([&] {
        OdbcStatement statement(*source);
        statement.execute("SELECT x, y FROM exporting");
        while (statement.fetch()) {
        }
    });
    EXPECT_EQ(error.rfind("HY000 [SQLite]", 0), 0u) << error;
    EXPECT_FALSE(std::filesystem::exists(written));
}

}  // namespace
