// Strict reading of cells: what each column kind accepts and what it refuses.

#include <gtest/gtest.h>

#include <cmath>

#include <sqlext.h>

#include "repository/odbc/Field.h"
#include "runtime/Runtime.h"
#include "tests/repository/Errors.h"
#include "tests/support/RegionalSettings.h"

using testsupport::errorOf;

namespace {

OdbcColumn column(SQLSMALLINT sqlType)
{
    OdbcColumn result;
    result.name = "COL";
    result.sqlType = sqlType;
    return result;
}

OdbcValue text(const std::string& value)
{
    return value;
}


}  // namespace

TEST(FieldTypeTest, MapsOdbcTypesOntoTheFieldNumbering)
{
    EXPECT_EQ(Field::typeOf(SQL_CHAR), FieldType::String);
    EXPECT_EQ(Field::typeOf(SQL_VARCHAR), FieldType::String);
    EXPECT_EQ(Field::typeOf(SQL_SMALLINT), FieldType::SmallInt);
    EXPECT_EQ(Field::typeOf(SQL_TINYINT), FieldType::SmallInt);
    EXPECT_EQ(Field::typeOf(SQL_INTEGER), FieldType::Integer);
    EXPECT_EQ(Field::typeOf(SQL_BIT), FieldType::Boolean);
    EXPECT_EQ(Field::typeOf(SQL_REAL), FieldType::Float);
    EXPECT_EQ(Field::typeOf(SQL_FLOAT), FieldType::Float);
    EXPECT_EQ(Field::typeOf(SQL_DOUBLE), FieldType::Float);
    EXPECT_EQ(Field::typeOf(SQL_DECIMAL), FieldType::Decimal);
    EXPECT_EQ(Field::typeOf(SQL_NUMERIC), FieldType::Decimal);
    EXPECT_EQ(Field::typeOf(SQL_TYPE_DATE), FieldType::Date);
    EXPECT_EQ(Field::typeOf(SQL_TYPE_TIME), FieldType::Time);
    EXPECT_EQ(Field::typeOf(SQL_TYPE_TIMESTAMP), FieldType::DateTime);
    EXPECT_EQ(static_cast<int>(FieldType::String), 1);
    EXPECT_EQ(static_cast<int>(FieldType::DateTime), 11);
    for (SQLSMALLINT beyond : {SQL_LONGVARCHAR, SQL_WCHAR, SQL_WVARCHAR, SQL_WLONGVARCHAR, SQL_BIGINT, SQL_BINARY,
                               SQL_LONGVARBINARY, SQL_GUID})
        EXPECT_GE(static_cast<int>(Field::typeOf(beyond)), 12) << beyond;
}

class FieldReadTest : public RegionalSettingsTest {
protected:
    void SetUp() override
    {
        RegionalSettingsTest::SetUp();
        russian();
    }
};

TEST_F(FieldReadTest, IntegersAreReadOnlyFromExactlyIntegralValues)
{
    EXPECT_EQ(Field::asInteger(text("42"), column(SQL_INTEGER)), 42);
    EXPECT_EQ(Field::asInteger(text("-7"), column(SQL_VARCHAR)), -7);
    EXPECT_EQ(Field::asInteger(text("2147483647"), column(SQL_BIGINT)), 2147483647);
    EXPECT_EQ(Field::asInteger(text("12.00"), column(SQL_NUMERIC)), 12);
    EXPECT_EQ(Field::asInteger(OdbcValue(3.0), column(SQL_DOUBLE)), 3);
    EXPECT_EQ(Field::asInteger(OdbcValue(-2147483648.0), column(SQL_DOUBLE)), -2147483647 - 1);

    EXPECT_EQ(errorOf([] { Field::asInteger(text("abc"), column(SQL_VARCHAR)); }),
              "Field COL: 'abc' cannot be read as an integer");
    EXPECT_EQ(errorOf([] { Field::asInteger(OdbcValue(1.5), column(SQL_DOUBLE)); }),
              "Field COL: '1.5' cannot be read as a 32-bit integer");
    EXPECT_EQ(errorOf([] { Field::asInteger(text("9007199254740993"), column(SQL_BIGINT)); }),
              "Field COL: '9007199254740993' cannot be read as a 32-bit integer");
    for (const char* bad : {" 42", "42 ", "+42", "4.0", "", "1e3"})
        EXPECT_NE(errorOf([&] { Field::asInteger(text(bad), column(SQL_INTEGER)); }), "no error") << bad;
    EXPECT_NE(errorOf([] { Field::asInteger(text("12.50"), column(SQL_NUMERIC)); }), "no error");
    EXPECT_NE(errorOf([] { Field::asInteger(OdbcValue(1e10), column(SQL_DOUBLE)); }), "no error");
    EXPECT_NE(errorOf([] { Field::asInteger(OdbcValue(std::nan("")), column(SQL_DOUBLE)); }), "no error");
    EXPECT_NE(errorOf([] { Field::asInteger(text("2003-05-17"), column(SQL_TYPE_DATE)); }), "no error");
}

TEST_F(FieldReadTest, NumbersFromNumericColumnsUseThePointAndFromTextTheRegionalSeparator)
{
    EXPECT_EQ(Field::asFloat(text("12.50"), column(SQL_NUMERIC)), 12.5);
    EXPECT_EQ(Field::asFloat(text("42"), column(SQL_INTEGER)), 42.0);
    EXPECT_EQ(Field::asFloat(OdbcValue(0.1), column(SQL_DOUBLE)), 0.1);
    EXPECT_EQ(Field::asFloat(text("1,5"), column(SQL_VARCHAR)), 1.5);
    EXPECT_NE(errorOf([] { Field::asFloat(text("1.5"), column(SQL_VARCHAR)); }).find("Field COL: "),
              std::string::npos);
    EXPECT_NE(errorOf([] { Field::asFloat(text("NaN"), column(SQL_NUMERIC)); }), "no error");
    EXPECT_EQ(Field::asFloat(text("1899-12-31"), column(SQL_TYPE_DATE)), 1.0);
}

TEST_F(FieldReadTest, BooleansComeFromBitsAndFromTrueOrFalse)
{
    EXPECT_TRUE(Field::asBoolean(text("1"), column(SQL_BIT)));
    EXPECT_FALSE(Field::asBoolean(text("0"), column(SQL_BIT)));
    EXPECT_TRUE(Field::asBoolean(text("True"), column(SQL_VARCHAR)));
    EXPECT_FALSE(Field::asBoolean(text("false"), column(SQL_VARCHAR)));
    EXPECT_EQ(errorOf([] { Field::asBoolean(text("yes"), column(SQL_VARCHAR)); }),
              "Field COL: 'yes' cannot be read as a boolean");
    EXPECT_NE(errorOf([] { Field::asBoolean(OdbcValue(1.0), column(SQL_DOUBLE)); }), "no error");
}

TEST_F(FieldReadTest, DatesComeFromDateColumnsAndFromIsoOrRegionalText)
{
    double may17 = StrToDate("17.05.2003");
    EXPECT_EQ(Field::asDateTime(text("2003-05-17"), column(SQL_TYPE_DATE)), may17);
    EXPECT_EQ(Field::asDateTime(text("2003-05-17"), column(SQL_VARCHAR)), may17);
    EXPECT_EQ(Field::asDateTime(text("17.05.2003"), column(SQL_VARCHAR)), may17);
    EXPECT_EQ(errorOf([] { Field::asDateTime(text("17.05.2003"), column(SQL_TYPE_DATE)); }),
              "Field COL: '17.05.2003' cannot be read as a date");
    EXPECT_NE(errorOf([] { Field::asDateTime(OdbcValue(37758.0), column(SQL_DOUBLE)); }), "no error");
    EXPECT_NE(errorOf([] { Field::asDateTime(text("37758"), column(SQL_INTEGER)); }), "no error");
}

TEST_F(FieldReadTest, TextsOfNumbersAndDatesFollowTheRegionalSettings)
{
    EXPECT_EQ(Field::asText(OdbcValue(0.35), column(SQL_DOUBLE)), "0,35");
    EXPECT_EQ(Field::asText(text("2003-05-17"), column(SQL_TYPE_DATE)), "17.05.2003");
    EXPECT_EQ(Field::asText(text("2003-05-17 10:20:30"), column(SQL_TYPE_TIMESTAMP)), "17.05.2003 10:20:30");
    EXPECT_EQ(Field::asText(text("12.50"), column(SQL_NUMERIC)), "12.50");
    EXPECT_EQ(Field::asText(text("  memo  "), column(SQL_LONGVARCHAR)), "  memo  ");
    english();
    EXPECT_EQ(Field::asText(OdbcValue(0.35), column(SQL_DOUBLE)), "0.35");
}
