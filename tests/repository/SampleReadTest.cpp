// The sample's statement on the source: nothing it calls may write, it ends at its time
// limit with the server's statement cancelled, and the connection is as it was afterwards.

#include <gtest/gtest.h>

#include "repository/SampleRead.h"
#include "repository/odbc/OdbcStatement.h"
#include "tests/repository/Errors.h"
#include "tests/support/TestDatabases.h"

using testsupport::Backend;
using testsupport::errorOf;
using testsupport::systemErrorOf;
using testsupport::TestDatabases;

namespace {

std::string firstCell(OdbcConnection& connection, const std::string& sql)
{
    OdbcStatement statement(connection);
    statement.execute(sql);
    if (!statement.fetch())
        return "no row";
    const OdbcValue& value = statement.getValue(0);
    if (const std::string* text = std::get_if<std::string>(&value))
        return *text;
    return std::holds_alternative<double>(value) ? std::to_string(std::get<double>(value)) : "NULL";
}

class SampleReadTest : public testsupport::DatabaseTest {
protected:
    Backend backend() const { return GetParam(); }

    // A statement that runs far past the limits below and still ends by itself, should
    // the limit fail.
    std::string slowStatement() const
    {
        switch (backend()) {
        case Backend::SQLite:
            return "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 100000000) "
                   "SELECT count(*) FROM n";
        case Backend::PostgreSQL:
            return "SELECT 1 WHERE pg_sleep(30) IS NOT NULL";
        default:
            return "SELECT SLEEP(30)";
        }
    }

    // What shows that the connection reads and writes as before the read.
    std::string connectionState(OdbcConnection& connection) const
    {
        switch (backend()) {
        case Backend::SQLite:
            return "query_only " + firstCell(connection, "PRAGMA query_only");
        case Backend::PostgreSQL:
            return "read only " + firstCell(connection, "SHOW transaction_read_only");
        default:
            return "read only " + firstCell(connection, "SELECT @@SESSION.tx_read_only") + ", time " +
                   firstCell(connection, "SELECT CAST(@@SESSION.max_statement_time AS CHAR)");
        }
    }
};
DODOZ_ON_EVERY_BACKEND(SampleReadTest);

TEST_P(SampleReadTest, RowsAreReadAndTheConnectionIsAsItWasAfterwards)
{
    std::unique_ptr<OdbcConnection> source = db->connect(TestDatabases::sourceDsn);
    const std::string before = connectionState(*source);
    {
        SampleRead read(*source, 60);
        CResultSetPtr rows = read.execute("SELECT 7");
        read.load(*rows);
        read.end();
        ASSERT_EQ(rows->getRowCount(), 1);
        EXPECT_EQ(Object::toText(rows->getValue(0, 0)), "7");
    }
    EXPECT_EQ(connectionState(*source), before);
    EXPECT_FALSE(source->inTransaction());
}

// GetNextPK writes its counter (SQLite) or takes a sequence's next value: as a function
// called by the statement, which is what a dataset's SQL could call.
TEST_P(SampleReadTest, FunctionThatWritesIsRefusedByTheDatabase)
{
    std::unique_ptr<OdbcConnection> repository = db->connect(TestDatabases::repositoryDsn);
    const std::string error = errorOf([&] {
        SampleRead read(*repository, 0);
        read.load(*read.execute("SELECT GetNextPK('TskLog')"));
    });
    if (sqlite())
        EXPECT_NE(error.find("attempt to write a readonly database"), std::string::npos) << error;
    else
        EXPECT_EQ(error.rfind("25006 ", 0), 0u) << error;
    EXPECT_NE(firstCell(*repository, "SELECT GetNextPK('TskLog')"), "NULL") << "the connection writes no more";
    EXPECT_FALSE(repository->inTransaction());
}

TEST_P(SampleReadTest, StatementPastItsLimitIsCancelledAndReportedSo)
{
    std::unique_ptr<OdbcConnection> source = db->connect(TestDatabases::sourceDsn);
    const std::string before = connectionState(*source);
    EXPECT_EQ(systemErrorOf([&] {
                  SampleRead read(*source, 1);
                  read.load(*read.execute(slowStatement()));
              }),
              "RepApi.getTaskColumnsData(CString): Запрос выборки превысил предел времени DODOZ_QUERY_TIMEOUT (1 с) и "
              "отменён");
    EXPECT_EQ(connectionState(*source), before);
    if (backend() == Backend::PostgreSQL) {
        std::unique_ptr<OdbcConnection> other = db->connect(TestDatabases::sourceDsn);
        EXPECT_EQ(firstCell(*other, "SELECT count(*) FROM pg_stat_activity WHERE state = 'active' AND query LIKE "
                                    "'%pg_sleep(30)%' AND pid <> pg_backend_pid() AND datname = current_database()"),
                  "0");
    }
}

}  // namespace
