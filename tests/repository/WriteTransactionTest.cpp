// The write guard on every database: what it commits stays, what it leaves open goes
// with it, and its going never raises, whatever state the connection is in.

#include <gtest/gtest.h>

#include "repository/CDriver.h"
#include "repository/WriteTransaction.h"
#include "runtime/Runtime.h"
#include "tests/support/TestDatabases.h"

using testsupport::TestDatabases;

namespace {

class WriteTransactionTest : public testsupport::DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        connection = CDriver::connect(TestDatabases::repositoryDsn, "", "");
    }

    size_t tasks() const { return db->query(TestDatabases::repositoryDsn, "SELECT TskID FROM Task").size(); }
    void insertTask(int key) const { connection->execute("INSERT INTO Task (TskID) VALUES (" + IntToStr(key) + ")"); }

    ConnectionPtr connection;
};
DODOZ_ON_EVERY_BACKEND(WriteTransactionTest);

TEST_P(WriteTransactionTest, CommittedWritesStayAndTheConnectionWritesOnAsBefore)
{
    {
        WriteTransaction transaction(*connection);
        insertTask(1);
        EXPECT_EQ(tasks(), 0u) << "seen before the commit";
        transaction.commit();
        EXPECT_FALSE(connection->inTransaction());
    }
    insertTask(2);
    EXPECT_EQ(tasks(), 2u);
}

TEST_P(WriteTransactionTest, GuardLeftOpenOnAFailureTakesItsWritesAlong)
{
    try {
        WriteTransaction transaction(*connection);
        insertTask(1);
        throw Exception("a failure before the commit");
    } catch (const Exception&) {
    }
    EXPECT_FALSE(connection->inTransaction());
    EXPECT_EQ(tasks(), 0u);
    WriteTransaction next(*connection);
    insertTask(2);
    next.commit();
    EXPECT_EQ(tasks(), 1u);
}

// A connection closed under the guard, or a second guard refused on the same one: the
// guard still goes quietly, and the one open transaction ends with it.
TEST_P(WriteTransactionTest, GoingNeverRaises)
{
    EXPECT_NO_THROW({
        WriteTransaction transaction(*connection);
        insertTask(1);
        connection->close();
    });
    EXPECT_EQ(tasks(), 0u);
    connection->open();
    EXPECT_NO_THROW({
        WriteTransaction transaction(*connection);
        EXPECT_THROW(WriteTransaction{*connection}, Exception) << "one transaction at a time";
    });
    EXPECT_FALSE(connection->inTransaction());
}

}  // namespace
