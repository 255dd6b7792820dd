#include <gtest/gtest.h>

#include <sstream>

#include "runtime/Runtime.h"
#include "tools/common/CsvTable.h"

namespace {

class CsvTableTest : public ::testing::Test {
protected:
    static CsvTable parse(const std::string& text, char delimiter = 0)
    {
        std::istringstream in(text);
        return CsvTable::read(in, "data.csv", delimiter);
    }

    static std::string error(const std::string& text)
    {
        try {
            parse(text);
        } catch (const Exception& e) {
            return e.text();
        }
        return "no error";
    }
};

TEST_F(CsvTableTest, HeaderAndRowsWithMissingFields)
{
    auto t = parse("a,b,class\n1.5,,0\n,2,1\n");
    EXPECT_EQ(t.header, (std::vector<std::string>{"a", "b", "class"}));
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[0][0], "1.5");
    EXPECT_FALSE(t.rows[0][1].has_value());
    EXPECT_FALSE(t.rows[1][0].has_value());
    EXPECT_EQ(t.lineNumbers, (std::vector<int>{2, 3}));
}

TEST_F(CsvTableTest, WindowsLineEndsBlankLinesAndNoFinalLineFeed)
{
    auto t = parse("a,class\r\n1,0\r\n\r\n2,1");
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[1][0], "2");
    EXPECT_EQ(t.header[1], "class");
    EXPECT_EQ(t.lineNumbers[1], 4);
}

TEST_F(CsvTableTest, QuotedFields)
{
    auto t = parse("\"name, with comma\",class\n\"say \"\"hi\"\"\",1\n\"\",2\n");
    EXPECT_EQ(t.header[0], "name, with comma");
    EXPECT_EQ(t.rows[0][0], "say \"hi\"");
    EXPECT_EQ(t.rows[1][0], "");
}

TEST_F(CsvTableTest, MalformedRowsNameTheirLineAndTheRemedy)
{
    const std::string kQuoteHint = "; quote the whole field and double each quote inside it";
    EXPECT_EQ(error("a,class\n1,0\n1,2,3\n"), "data.csv, line 3: 3 fields where the header has 2 (separated by ','); if the file uses another "
                                          "separator, give --delimiter");
    EXPECT_EQ(error("a,class\n\"1,0\n"), "data.csv, line 2: a quoted field is not closed; close it with a quote");
    EXPECT_EQ(error("a,class\n\"1\"x,0\n"), "data.csv, line 2: text after a closing quote" + kQuoteHint);
    EXPECT_EQ(error("a,class\n1\"2,0\n"), "data.csv, line 2: a quote inside an unquoted field" + kQuoteHint);
    EXPECT_EQ(error(""), "data.csv: the file is empty, a header row is needed");
    EXPECT_EQ(error("a,,class\n"), "data.csv, line 1: the header has an empty column name; give every column a name");
    EXPECT_EQ(error(std::string("a,class\n1,\0\n", 12)), "data.csv, line 2: a NUL byte; a UTF-16 file needs --encoding UTF-16");
}

TEST_F(CsvTableTest, SeparatorIsTheOneTheHeaderLineUsesMost)
{
    auto semicolons = parse("a;b,c;class\n1,5;2;0\n");
    EXPECT_EQ(semicolons.delimiter, ';');
    EXPECT_EQ(semicolons.header, (std::vector<std::string>{"a", "b,c", "class"}));
    EXPECT_EQ(semicolons.rows[0][0], "1,5");
    auto tabs = parse("a\tb\tclass\n1\t\t0\n");
    EXPECT_EQ(tabs.delimiter, '\t');
    EXPECT_FALSE(tabs.rows[0][1].has_value());
    // Separators inside a quoted header name do not count.
    EXPECT_EQ(parse("\"a;b;c\",class\n1,0\n").delimiter, ',');
    EXPECT_EQ(parse("class\n0\n").delimiter, ',');
}

TEST_F(CsvTableTest, SeparatorGivenOverridesTheHeader)
{
    auto t = parse("a;b,class\n1;2,0\n", ',');
    EXPECT_EQ(t.header, (std::vector<std::string>{"a;b", "class"}));
}

TEST_F(CsvTableTest, ByteOrderMarkIsDropped)
{
    auto t = parse("\xEF\xBB\xBF" "alcohol;class\r\n13,2;1\r\n");
    EXPECT_EQ(t.header[0], "alcohol");
    EXPECT_EQ(t.delimiter, ';');
    // Only a whole mark is one.
    EXPECT_EQ(parse("\xEF\xBB" "a,class\n1,0\n").header[0], "\xEF\xBB" "a");
}

}  // namespace
