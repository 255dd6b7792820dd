// The repository built from db/: GetNextPK on every database and the constraints the
// program relies on.

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "repository/odbc/OdbcConnection.h"
#include "runtime/Runtime.h"
#include "tests/repository/Errors.h"
#include "tests/support/TestDatabases.h"

using testsupport::errorOf;
using testsupport::TestDatabases;

class DatabaseSchemaTest : public testsupport::DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        db->repository({"INSERT INTO Task (TskID) VALUES (17)"});
    }

    static std::string log(const std::string& message)
    {
        return "INSERT INTO TskLog (LogID, LogType, LogMessage, TskID) VALUES( GetNextPK('TskLog'), 1, '" + message
               + "', 17);";
    }
    std::vector<std::string> column(const std::string& sql) const
    {
        std::vector<std::string> values;
        for (const auto& row : db->query(TestDatabases::repositoryDsn, sql))
            values.push_back(row[0]);
        return values;
    }
};
DODOZ_ON_EVERY_BACKEND(DatabaseSchemaTest);

TEST_P(DatabaseSchemaTest, KeysIncreaseByOneForEachTableOfItsOwn)
{
    db->repository({log("a"), log("b"),
                    "INSERT INTO TskResult (ResID, TskID) VALUES( GetNextPK('TskResult'), 17);", log("c")});
    EXPECT_EQ(column("SELECT LogID FROM TskLog ORDER BY LogMessage"), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(column("SELECT ResID FROM TskResult"), (std::vector<std::string>{"1"}));
}

TEST_P(DatabaseSchemaTest, KeysAlreadyTakenAreSteppedOver)
{
    db->repository({"INSERT INTO TskLog (LogID, TskID) VALUES (1, 17)", "INSERT INTO TskLog (LogID, TskID) VALUES (2, 17)",
                    log("next")});
    EXPECT_EQ(column("SELECT LogID FROM TskLog WHERE LogMessage = 'next'"), (std::vector<std::string>{"3"}));
}

// A key stored far above the others (imported for another task) is stepped over in one
// step; the INTEGER keys' last number is handed out once, and then the table has no key
// left, which is said at once and leaves the counter where it was.
TEST_P(DatabaseSchemaTest, KeysStepOverAFarKeyAndEndAtTheIntegerRange)
{
    db->repository({"INSERT INTO TskLog (LogID, TskID) VALUES (2147483645, 17)", log("first")});
    EXPECT_EQ(column("SELECT LogID FROM TskLog WHERE LogMessage = 'first'"), (std::vector<std::string>{"2147483646"}));
    db->repository({"DELETE FROM TskLog WHERE LogID < 2147483646", log("last")});
    EXPECT_EQ(column("SELECT LogID FROM TskLog WHERE LogMessage = 'last'"), (std::vector<std::string>{"2147483647"}));
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string error = errorOf([&] { db->run(TestDatabases::repositoryDsn, {log("past")}); });
        EXPECT_NE(error.find("GetNextPK: no key left for"), std::string::npos) << error;
        EXPECT_NE(error.find("TskLog"), std::string::npos) << error;
        EXPECT_NE(error.find("2147483647"), std::string::npos) << error;
    }
    EXPECT_EQ(column("SELECT COUNT(*) FROM TskLog"), (std::vector<std::string>{"2"}));
    db->repository({"INSERT INTO TskResult (ResID, TskID) VALUES( GetNextPK('TskResult'), 17);"});
    EXPECT_EQ(column("SELECT ResID FROM TskResult"), (std::vector<std::string>{"1"}));
}

TEST_P(DatabaseSchemaTest, OneStatementCanTakeSeveralKeys)
{
    db->repository({"INSERT INTO TskLog (LogID, LogType, TskID) VALUES (GetNextPK('TskLog'), 1, 17),"
                    " (GetNextPK('TskLog'), 2, 17)"});
    EXPECT_EQ(column("SELECT LogID FROM TskLog ORDER BY LogType"), (std::vector<std::string>{"1", "2"}));
}

TEST_P(DatabaseSchemaTest, TableWithoutKeySequenceIsAnError)
{
    std::string error = errorOf([&] { db->query(TestDatabases::repositoryDsn, "SELECT GetNextPK('Nowhere')"); });
    EXPECT_NE(error.find("GetNextPK"), std::string::npos) << error;
    EXPECT_NE(error.find("Nowhere"), std::string::npos) << error;
}

TEST_P(DatabaseSchemaTest, ConcurrentWritersNeverShareAKey)
{
    constexpr int writers = 4;
    constexpr int rowsEach = 25;
    // A key stored in the writers' way makes them step over it while they race.
    db->repository({"INSERT INTO TskLog (LogID, TskID) VALUES (50, 17)"});
    std::vector<std::string> failures(writers);
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([&, w] {
            try {
                auto connection = db->connect(TestDatabases::repositoryDsn);
                for (int i = 0; i < rowsEach; ++i)
                    connection->execute(log("w" + std::to_string(w)));
            } catch (const Exception& e) {
                failures[static_cast<size_t>(w)] = e.text();
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (const std::string& failure : failures)
        EXPECT_EQ(failure, "");
    std::vector<std::string> keys = column("SELECT LogID FROM TskLog");
    EXPECT_EQ(keys.size(), static_cast<size_t>(writers * rowsEach + 1));
    EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()).size(), keys.size());
}

TEST_P(DatabaseSchemaTest, ColumnsTheProgramNeedsMayNotBeEmpty)
{
    for (const char* incomplete : {
             "INSERT INTO TskAlgParam (ParID, TskID, ColID) VALUES (1, 17, 1)",
             "INSERT INTO TskAlgParam (ParID, ColID, ParSysName) VALUES (1, 1, 'in_col')",
             "INSERT INTO TskLog (LogID, LogType) VALUES (1, 1)",
         })
        EXPECT_NE(errorOf([&] { db->run(TestDatabases::repositoryDsn, {incomplete}); }), "no error") << incomplete;
}
