// The driver: its connection string, opening data sources, commands and transactions.

#include <gtest/gtest.h>


#include "repository/CDriver.h"
#include "runtime/Runtime.h"
#include "tests/repository/Errors.h"
#include "tests/support/TestDatabases.h"

using testsupport::Backend;
using testsupport::TestDatabases;
using testsupport::errorOf;

namespace {


}  // namespace

TEST(CDriverConnectionStringTest, RepositoryWithoutUserAndPassword)
{
    EXPECT_EQ(CDriver::getConnectionString("MIRELON", "", "").getValue(),
              "Provider=MSDASQL.1;Password=;Persist Security Info=True;User ID=;Data Source=MIRELON;");
}

TEST(CDriverConnectionStringTest, ValuesStandUnchangedAfterTheirNames)
{
    EXPECT_EQ(CDriver::getConnectionString(" Src;1 ", "Иван", "p=w;d").getValue(),
              "Provider=MSDASQL.1;Password=p=w;d;Persist Security Info=True;User ID=Иван;Data Source= Src;1 ;");
}

class CDriverTest : public testsupport::DatabaseTest {
protected:
    std::unique_ptr<CDriver> repository() const
    {
        return std::make_unique<CDriver>(CDriver::connect(TestDatabases::repositoryDsn, "", ""));
    }
    size_t count(const std::string& sql) const { return db->query(TestDatabases::repositoryDsn, sql).size(); }
};
DODOZ_ON_EVERY_BACKEND(CDriverTest);

TEST_P(CDriverTest, UnknownDataSourceRaisesThePlatformError)
{
    std::string error = errorOf([] { CDriver::connect("NO_SUCH_SOURCE", "", ""); });
    EXPECT_EQ(error.rfind("IM002 ", 0), 0u) << error;
}

TEST_P(CDriverTest, ExecuteCommandReturnsZeroWhetherOrNotRowsChanged)
{
    auto driver = repository();
    EXPECT_EQ(driver->executeCommand("INSERT INTO Task (TskID) VALUES (1)"), 0);
    EXPECT_EQ(driver->executeCommand("DELETE FROM Task where TskID = 1"), 0);
    EXPECT_EQ(driver->executeCommand("DELETE FROM Task where TskID = 1"), 0);
}

TEST_P(CDriverTest, TransactionIsSeenOnlyAfterCommit)
{
    auto driver = repository();
    driver->beginTrans();
    driver->executeCommand("INSERT INTO Task (TskID) VALUES (1)");
    if (!sqlite()) {
        EXPECT_EQ(count("SELECT * FROM Task"), 0u);
    }
    driver->commitTrans();
    EXPECT_EQ(count("SELECT * FROM Task"), 1u);
}

TEST_P(CDriverTest, UncommittedWorkIsLostWhenTheConnectionCloses)
{
    auto driver = repository();
    driver->beginTrans();
    driver->executeCommand("INSERT INTO Task (TskID) VALUES (1)");
    driver->getConnection()->close();
    EXPECT_EQ(count("SELECT * FROM Task"), 0u);
}

TEST_P(CDriverTest, ConstructorOpensAClosedConnectionAgain)
{
    ConnectionPtr connection = CDriver::connect(TestDatabases::repositoryDsn, "", "");
    connection->close();
    CDriver driver(connection);
    EXPECT_TRUE(connection->isOpen());
    EXPECT_EQ(driver.executeCommand("DELETE FROM Task"), 0);
}

TEST_P(CDriverTest, RejectedSqlRaisesThePlatformError)
{
    auto driver = repository();
    std::string error = errorOf([&] { driver->executeQuery("SELECT * FROM Nowhere"); });
    EXPECT_NE(AnsiUpperCase(error).find("NOWHERE"), std::string::npos) << error;
}
