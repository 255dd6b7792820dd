// Query results as tables of values on every database: column names, the value class of
// every column type, trimming, NULLs and declared types.

#include <gtest/gtest.h>


#include "core/Utils.h"
#include "repository/CDriver.h"
#include "tests/repository/Errors.h"
#include "tests/support/TestDatabases.h"
#include "tests/repository/ValueAs.h"
#include "tests/support/RegionalSettings.h"

using testsupport::as;
using testsupport::Backend;
using testsupport::TestDatabases;
using testsupport::errorOf;

namespace {

VectorPtr codes(std::initializer_list<int> values)
{
    auto v = std::make_shared<Vector>();
    for (int code : values)
        v->add(std::make_shared<CInteger>(code));
    return v;
}

}  // namespace

class CResultSetTest : public testsupport::RussianDatabaseTest {
protected:
    void SetUp() override
    {
        RussianDatabaseTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        driver = std::make_unique<CDriver>(CDriver::connect(TestDatabases::sourceDsn, "", ""));
    }

    CResultSetPtr load(const std::string& sql, VectorPtr types = nullptr)
    {
        CResultSetPtr result = driver->executeQuery(sql);
        if (types)
            result->setTypes(types);
        result->load();
        return result;
    }

    static constexpr const char* fullRow =
        "INSERT INTO Clients (ClientID, Name, Notes, Age, Children, Account, Income, Debt, Score, Married,"
        " BirthDate, Visited, CallTime, Risk) VALUES (1, '  abc  ', '  memo  ', 42, 2, 9007199254740993, 12.50, 0.1,"
        " 2.5, TRUE, '2003-05-17', '2003-05-17 10:20:30', '06:00:00', 3)";

    std::unique_ptr<CDriver> driver;
};
DODOZ_ON_EVERY_BACKEND(CResultSetTest);

TEST_P(CResultSetTest, QueryWithoutRowsHasItsColumnsAndNoCurrentRow)
{
    CResultSetPtr result = load("SELECT ClientID, Name FROM Clients");
    EXPECT_EQ(result->getType(), TYPE_RESULTSET);
    EXPECT_EQ(result->getColumnCount(), 2);
    EXPECT_EQ(result->getRowCount(), 0);
    EXPECT_EQ(result->getCurrentRow(), -1);
}

TEST_P(CResultSetTest, ColumnNamesAreUpperCasedAndFoundByTheSchemaSpelling)
{
    db->repository({"INSERT INTO DtsColumn (ColID, ColSysName, ColType) VALUES (7, 'Age', 3)"});
    CDriver repository(CDriver::connect(TestDatabases::repositoryDsn, "", ""));
    CResultSetPtr result = repository.executeQuery("SELECT * FROM DtsColumn");
    result->load();
    EXPECT_EQ(result->getColumnName(result->getColumnIndex("ColSysName")).getValue(), "COLSYSNAME");
    EXPECT_EQ(as<CString>(result->getValue(0, "ColSysName")).getValue(), "Age");
    EXPECT_EQ(as<CInteger>(result->getValue(0, "coltype")).getValue(), 3);
    EXPECT_EQ(result->getCurrentRow(), 0);
}

TEST_P(CResultSetTest, EveryColumnTypeGivesItsValueClass)
{
    db->source({fullRow});
    CResultSetPtr result = load("SELECT * FROM Clients");
    ASSERT_EQ(result->getRowCount(), 1);
    auto cell = [&](const char* name) { return result->getValue(0, name); };
    EXPECT_EQ(as<CInteger>(cell("ClientID")).getValue(), 1);
    EXPECT_EQ(as<CString>(cell("Name")).getValue(), "abc") << "strings are trimmed";
    EXPECT_EQ(as<CString>(cell("Notes")).getValue(), "  memo  ") << "memos are not";
    EXPECT_EQ(as<CInteger>(cell("Age")).getValue(), 42);
    EXPECT_EQ(as<CInteger>(cell("Children")).getValue(), 2);
    EXPECT_EQ(as<CString>(cell("Account")).getValue(), "9007199254740993") << "large integers arrive as text";
    if (sqlite())
        EXPECT_EQ(as<CDouble>(cell("Income")).getValue(), 12.5) << "the SQLite driver calls NUMERIC a double";
    else
        EXPECT_EQ(as<CString>(cell("Income")).getValue(), "12.50") << "decimals arrive as their text";
    EXPECT_EQ(as<CDouble>(cell("Debt")).getValue(), 0.1);
    EXPECT_EQ(as<CDouble>(cell("Score")).getValue(), 2.5);
    if (GetParam() == Backend::MariaDB)
        EXPECT_EQ(as<CInteger>(cell("Married")).getValue(), 1) << "MariaDB's BOOLEAN is TINYINT(1), and the driver says so";
    else
        EXPECT_TRUE(as<CBoolean>(cell("Married")).getValue());
    EXPECT_EQ(as<CDate>(cell("BirthDate")).getValue(), StrToDate("17.05.2003"));
    EXPECT_EQ(as<CDate>(cell("Visited")).getValue(), StrToDateTime("17.05.2003 10:20:30"));
    EXPECT_EQ(as<CDate>(cell("CallTime")).getValue(), 0.25);
    EXPECT_EQ(as<CInteger>(cell("Risk")).getValue(), 3);
}

TEST_P(CResultSetTest, NullIsANullCellInEveryColumnType)
{
    db->source({"INSERT INTO Clients (ClientID) VALUES (1)"});
    CResultSetPtr result = load("SELECT * FROM Clients");
    ASSERT_EQ(result->getRowCount(), 1);
    for (int j = 1; j < result->getColumnCount(); ++j)
        EXPECT_EQ(result->getValue(0, j), nullptr) << result->getColumnName(j).getValue();

    CResultSetPtr typed = load("SELECT Name, Age, Debt, Married, BirthDate, Notes FROM Clients", codes({5, 1, 3, 4, 6, 0}));
    for (int j = 0; j < typed->getColumnCount(); ++j)
        EXPECT_EQ(typed->getValue(0, j), nullptr) << typed->getColumnName(j).getValue();
}

TEST_P(CResultSetTest, DeclaredTypesDecideTheValueClass)
{
    db->source({"INSERT INTO Clients (ClientID, Name, Notes, Debt, Income, BirthDate) VALUES (1, '42', '  x  ', 3.0, 7.00, "
                "'2003-05-17')"});
    CResultSetPtr result = load("SELECT Name, Notes FROM Clients", codes({1, 5}));
    EXPECT_EQ(as<CInteger>(result->getValue(0, 0)).getValue(), 42);
    EXPECT_EQ(as<CString>(result->getValue(0, 1)).getValue(), "x") << "declared strings are trimmed";

    result = load("SELECT Debt, Income, ClientID, BirthDate, Notes FROM Clients", codes({1, 3, 3, 6, 2}));
    EXPECT_EQ(as<CInteger>(result->getValue(0, 0)).getValue(), 3);
    EXPECT_EQ(as<CDouble>(result->getValue(0, 1)).getValue(), 7.0);
    EXPECT_EQ(as<CDouble>(result->getValue(0, 2)).getValue(), 1.0);
    EXPECT_EQ(as<CDate>(result->getValue(0, 3)).getValue(), StrToDate("17.05.2003"));
    EXPECT_EQ(as<CString>(result->getValue(0, 4)).getValue(), "  x  ") << "other codes are untrimmed text";
}

TEST_P(CResultSetTest, ValueThatCannotBeReadAsItsDeclaredKindIsAnError)
{
    db->source({"INSERT INTO Clients (ClientID, Name, Debt) VALUES (1, 'abc', 2.5)"});
    EXPECT_EQ(AnsiUpperCase(errorOf([&] { load("SELECT Name FROM Clients", codes({1})); })),
              "FIELD NAME: 'ABC' CANNOT BE READ AS AN INTEGER");
    std::string error = errorOf([&] { load("SELECT Debt FROM Clients", codes({1})); });
    EXPECT_NE(AnsiUpperCase(error).find("FIELD DEBT: '2.5'"), std::string::npos) << error;
}

TEST_P(CResultSetTest, DeclaredTypesShorterThanTheColumnsAreAnError)
{
    db->source({"INSERT INTO Clients (ClientID, Name) VALUES (1, 'a')"});
    try {
        load("SELECT ClientID, Name FROM Clients", codes({1}));
        FAIL() << "no error";
    } catch (const SystemException& e) {
        EXPECT_EQ(e.place, "Vector.elementAt(int)");
    }
}

TEST_P(CResultSetTest, LoadReadsEveryRowAndLetsGoOfTheDataSet)
{
    db->source({"INSERT INTO Clients (ClientID) VALUES (1)", "INSERT INTO Clients (ClientID) VALUES (2)",
                "INSERT INTO Clients (ClientID) VALUES (3)"});
    CResultSetPtr result = load("SELECT ClientID FROM Clients ORDER BY ClientID");
    EXPECT_EQ(result->getRowCount(), 3);
    EXPECT_EQ(as<CInteger>(result->getValue(2, 0)).getValue(), 3);
    EXPECT_EQ(errorOf([&] { result->readRow(); }), "The result set has no open data set");
    ObjectPtr copy = result->clone();
    EXPECT_EQ(copy->getType(), TYPE_VECTOR);
    EXPECT_EQ(static_cast<DataModel&>(*copy).getRowCount(), 3);
}

TEST_P(CResultSetTest, ResultSetOutlivingItsConnectionIsHarmless)
{
    CResultSetPtr result = driver->executeQuery("SELECT * FROM Clients");
    driver->getConnection()->close();
    EXPECT_EQ(errorOf([&] { result->load(); }), "The result set has no open data set");
}
