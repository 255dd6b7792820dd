// The ODBC layer against every real database: connecting, reading, texts, transactions.

#include <gtest/gtest.h>

#include <sql.h>

#include <filesystem>
#include <string>

#include "repository/odbc/OdbcConnection.h"
#include "repository/odbc/OdbcStatement.h"
#include "runtime/Runtime.h"
#include "tests/repository/Errors.h"
#include "tests/support/TestDatabases.h"

using testsupport::Backend;
using testsupport::TestDatabases;
using testsupport::errorOf;

namespace {


}  // namespace

TEST(OdbcConnectionStringTest, LeavesOutEmptyUserAndPassword)
{
    EXPECT_EQ(OdbcConnection::connectionString("MIRELON", "", ""), "DSN=MIRELON;");
    EXPECT_EQ(OdbcConnection::connectionString("src", "bob", ""), "DSN=src;UID=bob;");
    EXPECT_EQ(OdbcConnection::connectionString("src", "", "pw"), "DSN=src;PWD=pw;");
    EXPECT_EQ(OdbcConnection::connectionString("src", "bob", "pw"), "DSN=src;UID=bob;PWD=pw;");
}

TEST(OdbcConnectionStringTest, BracesValuesHoldingSeparatorsOrBraces)
{
    EXPECT_EQ(OdbcConnection::connectionString("src", "a;b", "p}q{"), "DSN=src;UID={a;b};PWD={p}}q{};");
    EXPECT_EQ(OdbcConnection::connectionString("src", "bob", "pass=word"), "DSN=src;UID=bob;PWD=pass=word;");
}

class OdbcTest : public testsupport::DatabaseTest {
protected:
    std::unique_ptr<OdbcConnection> repository() const { return db->connect(TestDatabases::repositoryDsn); }
    std::unique_ptr<OdbcConnection> source() const { return db->connect(TestDatabases::sourceDsn); }
    size_t count(const std::string& sql) const { return db->query(TestDatabases::repositoryDsn, sql).size(); }
};
DODOZ_ON_EVERY_BACKEND(OdbcTest);

TEST_P(OdbcTest, UnknownDataSourceIsReportedWithItsSqlState)
{
    OdbcConnection connection;
    std::string error = errorOf([&] { connection.open("DSN=NO_SUCH_SOURCE;"); });
    EXPECT_EQ(error.rfind("IM002 ", 0), 0u) << error;
    EXPECT_NE(error.find("Data source name not found"), std::string::npos) << error;
    EXPECT_FALSE(connection.isOpen());
}

using PostgresOdbcTest = testsupport::SingleBackendTest<Backend::PostgreSQL>;
using SqliteOdbcTest = testsupport::SingleBackendTest<Backend::SQLite>;

TEST_F(PostgresOdbcTest, ServerThatIsDownRefusesTheConnection)
{
    db->changeDsn(TestDatabases::repositoryDsn, {"Port=1"});
    std::string error = errorOf([&] { db->connect(TestDatabases::repositoryDsn); });
    EXPECT_EQ(error.rfind("08001 ", 0), 0u) << error;
    EXPECT_NE(error.find("refused"), std::string::npos) << error;
}

TEST_F(SqliteOdbcTest, MissingDatabaseFileIsAnErrorAndIsNotCreated)
{
    std::string missing = (db->dir() / "missing.db").string();
    db->changeDsn(TestDatabases::repositoryDsn, {"Database=" + missing});
    std::string error = errorOf([&] { db->connect(TestDatabases::repositoryDsn); });
    EXPECT_NE(error.find("connect failed"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(PostgresOdbcTest, ConnectionDroppedByTheServerClosesWithoutCommitting)
{
    auto connection = db->connect(TestDatabases::repositoryDsn);
    connection->beginTransaction();
    connection->execute("INSERT INTO Task (TskID) VALUES (1)");
    db->run(TestDatabases::repositoryDsn, {"SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                                           " WHERE datname = current_database() AND pid <> pg_backend_pid()"});
    EXPECT_NO_THROW(connection->close());
    EXPECT_FALSE(connection->isOpen());
    EXPECT_TRUE(db->query(TestDatabases::repositoryDsn, "SELECT * FROM Task").empty());
}

TEST_F(PostgresOdbcTest, WrongUserIsRefusedAndTheRightOneAccepted)
{
    OdbcConnection connection;
    std::string error = errorOf([&] { connection.open(OdbcConnection::connectionString("MIRELON", "nobody", "")); });
    EXPECT_NE(error.find("nobody"), std::string::npos) << error;
    connection.open(OdbcConnection::connectionString("MIRELON", std::getenv("DODOZ_PG_USER"), ""));
    EXPECT_TRUE(connection.isOpen());
}

TEST_P(OdbcTest, RejectedSqlIsAnExceptionWithTheDriverText)
{
    auto connection = repository();
    std::string error = errorOf([&] { connection->execute("SELECT * FROM NoSuchTable"); });
    EXPECT_NE(AnsiUpperCase(error).find("NOSUCHTABLE"), std::string::npos) << error;
    EXPECT_TRUE(connection->isOpen());
    connection->execute("DELETE FROM TskLog where TskID = 1");
}

TEST_P(OdbcTest, CountedCommandGivesTheRowsItChanged)
{
    auto connection = repository();
    EXPECT_EQ(connection->executeCounted("INSERT INTO Task (TskID) VALUES (1)"), 1);
    EXPECT_EQ(connection->executeCounted("DELETE FROM Task where TskID = 99"), 0);
    EXPECT_EQ(connection->executeCounted("DELETE FROM Task where TskID = 1"), 1);
}

TEST_P(OdbcTest, DataSourceOpensWithTheUserAndPasswordAsValues)
{
    OdbcConnection connection;
    connection.openDataSource(TestDatabases::repositoryDsn, "", "");
    EXPECT_TRUE(connection.isOpen());
    connection.close();
    connection.open();
    EXPECT_TRUE(connection.isOpen());
}

TEST_P(OdbcTest, ValueWithANulByteIsRefusedBeforeTheDriverSeesIt)
{
    OdbcConnection connection;
    std::string error =
        errorOf([&] { connection.openDataSource(TestDatabases::repositoryDsn, "", std::string("p\0;LoadExt=x", 13)); });
    EXPECT_NE(error.find("password holds a NUL byte"), std::string::npos) << error;
    EXPECT_FALSE(connection.isOpen());
}

TEST_P(OdbcTest, DeleteMatchingNothingIsNoError)
{
    auto connection = repository();
    EXPECT_NO_THROW(connection->execute("DELETE FROM TskResult where TskID = 99"));
}

class OdbcReadTest : public OdbcTest {};
DODOZ_ON_EVERY_BACKEND(OdbcReadTest);

TEST_P(OdbcReadTest, FloatingColumnsComeAsDoublesAndTheRestAsText)
{
    db->source({"INSERT INTO Clients (ClientID, Name, Age, Income, Debt, Score, BirthDate, Account)"
                " VALUES (1, 'Ann', 42, 12.5, 0.1, 2.5, '2003-05-17', 9007199254740993)"});
    auto connection = source();
    OdbcStatement statement(*connection);
    statement.execute("SELECT Name, Age, Debt, Score, BirthDate, Account FROM Clients");
    ASSERT_EQ(statement.getColumnCount(), 6);
    EXPECT_EQ(AnsiUpperCase(statement.getColumn(0).name), "NAME");
    ASSERT_TRUE(statement.fetch());
    EXPECT_EQ(std::get<std::string>(statement.getValue(0)), "Ann");
    EXPECT_EQ(std::get<std::string>(statement.getValue(1)), "42");
    EXPECT_EQ(std::get<double>(statement.getValue(2)), 0.1);
    EXPECT_EQ(std::get<double>(statement.getValue(3)), 2.5);
    EXPECT_EQ(std::get<std::string>(statement.getValue(4)), "2003-05-17");
    EXPECT_EQ(std::get<std::string>(statement.getValue(5)), "9007199254740993");
    EXPECT_FALSE(statement.fetch());
}

TEST_P(OdbcReadTest, NullIsNullInEveryColumn)
{
    db->source({"INSERT INTO Clients (ClientID) VALUES (1)"});
    auto connection = source();
    OdbcStatement statement(*connection);
    statement.execute("SELECT * FROM Clients");
    ASSERT_TRUE(statement.fetch());
    EXPECT_FALSE(std::holds_alternative<std::monostate>(statement.getValue(0)));
    for (int i = 1; i < statement.getColumnCount(); ++i)
        EXPECT_TRUE(std::holds_alternative<std::monostate>(statement.getValue(i))) << statement.getColumn(i).name;
}

TEST_P(OdbcReadTest, LongTextIsReadWhole)
{
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "Анализ ";
    db->source({"INSERT INTO Clients (ClientID, Notes) VALUES (1, '" + text + "')"});
    auto rows = db->query(TestDatabases::sourceDsn, "SELECT Notes FROM Clients");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], text);
}

TEST_P(OdbcReadTest, CyrillicIsStoredAsUtf8AndReadBackAsCp1251)
{
    const std::string text = "Анализ завершен";
    db->repository({"INSERT INTO Task (TskID, TskName) VALUES (1, '" + text + "')"});
    auto rows = db->query(TestDatabases::repositoryDsn, "SELECT TskName FROM Task WHERE TskName = '" + text + "'");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], text);
    std::string bytes = sqlite() ? "SELECT length(CAST(TskName AS BLOB)) FROM Task" : "SELECT octet_length(TskName) FROM Task";
    EXPECT_EQ(db->query(TestDatabases::repositoryDsn, bytes)[0][0], std::to_string(Cp1251ToUtf8(text).size()));
}

TEST_P(OdbcReadTest, TextWithoutCp1251FormIsAnErrorNamingTheColumn)
{
    const std::string chinese = sqlite()                          ? "char(20013)"
                                : GetParam() == Backend::MariaDB ? "CHAR(20013 USING utf32)"
                                                                 : "chr(20013)";
    db->repository({"INSERT INTO Task (TskID, TskName) VALUES (1, 'a' || " + chinese + ")"});
    std::string error = errorOf([&] { db->query(TestDatabases::repositoryDsn, "SELECT TskID, TskName FROM Task"); });
    EXPECT_NE(AnsiUpperCase(error).find("COLUMN TSKNAME"), std::string::npos) << error;
    EXPECT_NE(error.find("U+4E2D"), std::string::npos) << error;
}

TEST_P(OdbcReadTest, ClosingTheConnectionFreesItsStatements)
{
    auto connection = repository();
    OdbcStatement statement(*connection);
    statement.execute("SELECT * FROM Task");
    connection->close();
    EXPECT_FALSE(statement.isOpen());
    EXPECT_EQ(errorOf([&] { statement.fetch(); }), "The statement is closed");
    connection->open();
    EXPECT_TRUE(connection->isOpen());
}

class OdbcTransactionTest : public OdbcTest {
protected:
    static constexpr const char* insert = "INSERT INTO Task (TskID) VALUES (5)";
    static constexpr const char* select = "SELECT TskID FROM Task";
};
DODOZ_ON_EVERY_BACKEND(OdbcTransactionTest);

TEST_P(OdbcTransactionTest, CommitMakesTheRowsVisibleAndTurnsAutocommitBackOn)
{
    auto connection = repository();
    connection->beginTransaction();
    EXPECT_TRUE(connection->inTransaction());
    connection->execute(insert);
    connection->commit();
    EXPECT_FALSE(connection->inTransaction());
    EXPECT_EQ(count(select), 1u);
    connection->execute("INSERT INTO Task (TskID) VALUES (6)");
    EXPECT_EQ(count(select), 2u);
}

TEST_P(OdbcTransactionTest, RollbackDropsTheRows)
{
    auto connection = repository();
    connection->beginTransaction();
    connection->execute(insert);
    connection->rollback();
    EXPECT_EQ(count(select), 0u);
}

TEST_P(OdbcTransactionTest, ClosingWithAnOpenTransactionRollsItBack)
{
    auto connection = repository();
    connection->beginTransaction();
    connection->execute(insert);
    connection->close();
    EXPECT_FALSE(connection->isOpen());
    EXPECT_EQ(count(select), 0u);

    connection->open();
    connection->execute(insert);
    EXPECT_EQ(count(select), 1u) << "a reopened connection commits each statement again";
}

TEST_P(OdbcTransactionTest, DestroyingWithAnOpenTransactionCommitsNothing)
{
    {
        auto connection = repository();
        connection->beginTransaction();
        connection->execute(insert);
    }
    EXPECT_EQ(count(select), 0u);
}

TEST_P(OdbcTransactionTest, NestedBeginAndCommitWithoutBeginAreErrors)
{
    auto connection = repository();
    EXPECT_EQ(errorOf([&] { connection->commit(); }), "No transaction is open on this connection");
    connection->beginTransaction();
    EXPECT_EQ(errorOf([&] { connection->beginTransaction(); }), "A transaction is already open on this connection");
}

// What the MariaDB driver and the session settings of scripts/make-dsn make of values
// and of the SQL the program writes.
using MariadbOdbcTest = testsupport::SingleBackendTest<Backend::MariaDB>;

TEST_F(MariadbOdbcTest, DoublesArriveWholeAndExactNumbersDatesAndNullsAsTheirTexts)
{
    auto connection = db->connect(TestDatabases::repositoryDsn);
    OdbcStatement statement(*connection);
    statement.execute("SELECT 0.1e0 + 0.2e0, CAST(2.25 AS DECIMAL(10,2)), CAST(1.5 AS FLOAT), "
                      "CAST(9007199254740993 AS SIGNED), TRUE, DATE '2024-02-29', "
                      "TIMESTAMP '2024-02-29 13:14:15', TIME '13:14:15', NULL");
    ASSERT_TRUE(statement.fetch());
    EXPECT_EQ(std::get<double>(statement.getValue(0)), 0.1 + 0.2) << "all 17 digits";
    EXPECT_EQ(std::get<std::string>(statement.getValue(1)), "2.25");
    EXPECT_EQ(std::get<double>(statement.getValue(2)), 1.5);
    EXPECT_EQ(std::get<std::string>(statement.getValue(3)), "9007199254740993");
    EXPECT_EQ(std::get<std::string>(statement.getValue(4)), "1");
    EXPECT_EQ(std::get<std::string>(statement.getValue(5)), "2024-02-29");
    EXPECT_EQ(std::get<std::string>(statement.getValue(6)), "2024-02-29 13:14:15");
    EXPECT_EQ(std::get<std::string>(statement.getValue(7)), "13:14:15");
    EXPECT_TRUE(std::holds_alternative<std::monostate>(statement.getValue(8)));
}

TEST_F(MariadbOdbcTest, StandardQuotesJoinsAndBackslashesMeanWhatTheyMeanElsewhere)
{
    db->repository({"INSERT INTO Task (TskID, TskName) VALUES (1, 'C:\\new' || 'er')"});
    auto rows = db->query(TestDatabases::repositoryDsn, "SELECT \"TskName\" FROM \"Task\"");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "C:\\newer");
}

TEST_F(MariadbOdbcTest, TextsCompareByteForByte)
{
    db->repository({"INSERT INTO Task (TskID) VALUES (1)",
                    "INSERT INTO TskAlgParam (ParID, TskID, ParSysName) VALUES (1, 1, 'in_col')"});
    const std::string select = "SELECT ParID FROM TskAlgParam WHERE ParSysName = ";
    EXPECT_EQ(db->query(TestDatabases::repositoryDsn, select + "'in_col'").size(), 1u);
    EXPECT_TRUE(db->query(TestDatabases::repositoryDsn, select + "'IN_COL'").empty());
    EXPECT_TRUE(db->query(TestDatabases::repositoryDsn, select + "'in_col '").empty());
}

TEST_F(MariadbOdbcTest, UpdateCountsTheRowsItMatchedEvenWhenNothingChanges)
{
    db->repository({"INSERT INTO Task (TskID) VALUES (7)"});
    auto connection = db->connect(TestDatabases::repositoryDsn);
    EXPECT_EQ(connection->executeCounted("UPDATE Task SET TskID = TskID WHERE TskID = 7"), 1);
}

TEST_F(MariadbOdbcTest, MissingServerSocketRefusesTheConnection)
{
    db->changeDsn(TestDatabases::repositoryDsn, db->unreachable());
    std::string error = errorOf([&] { db->connect(TestDatabases::repositoryDsn); });
    EXPECT_NE(error.find("Can't connect"), std::string::npos) << error;
}

// The DSN starts the session READ COMMITTED, which the driver does not notice: it
// reports REPEATABLE READ until a level is set through it. Levels set through it are
// the session's.
TEST_F(MariadbOdbcTest, SessionStartsReadCommittedAndTakesTheLevelsSetThroughTheDriver)
{
    auto connection = db->connect(TestDatabases::repositoryDsn);
    auto sessionLevel = [&] {
        OdbcStatement statement(*connection);
        statement.execute("SELECT @@tx_isolation");
        statement.fetch();
        return std::get<std::string>(statement.getValue(0));
    };
    EXPECT_EQ(sessionLevel(), "READ-COMMITTED");
    EXPECT_EQ(connection->isolation(), static_cast<unsigned long>(SQL_TXN_REPEATABLE_READ));
    connection->setIsolation(SQL_TXN_SERIALIZABLE);
    EXPECT_EQ(sessionLevel(), "SERIALIZABLE");
    connection->setIsolation(SQL_TXN_READ_COMMITTED);
    EXPECT_EQ(sessionLevel(), "READ-COMMITTED");
    EXPECT_EQ(connection->isolation(), static_cast<unsigned long>(SQL_TXN_READ_COMMITTED));
}
