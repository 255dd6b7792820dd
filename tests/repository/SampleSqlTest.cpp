// The sample's statement as text: the task's columns and the dataset's SQL from its
// first FROM, with the names plain and the tail one query that writes nowhere.

#include <gtest/gtest.h>

#include "repository/SampleSql.h"
#include "tests/repository/Errors.h"

using testsupport::systemErrorOf;

namespace {

DataModelPtr columnsNamed(std::initializer_list<const char*> names)
{
    auto columns = std::make_shared<DataModel>();
    for (const char* name : {"COLID", "COLSYSNAME"})
        columns->getColumnNames()->add(std::make_shared<CString>(name));
    int id = 0;
    for (const char* name : names) {
        auto row = std::make_shared<Vector>();
        row->add(std::make_shared<CInteger>(++id));
        row->add(std::make_shared<CString>(name));
        columns->addRow(row);
    }
    return columns;
}

std::string refusal(const std::string& name, const std::string& sql = "FROM T")
{
    return systemErrorOf([&] { SampleSql::statement(*columnsNamed({"A", name.c_str()}), sql); });
}

TEST(SampleSqlTest, StatementIsTheColumnListAndTheSqlFromItsFirstFrom)
{
    DataModelPtr columns = columnsNamed({"A", "B", "C"});
    EXPECT_EQ(SampleSql::statement(*columns, "select a, b FROM T"), "SELECT A, B, C FROM T");
    EXPECT_EQ(SampleSql::statement(*columns, "SELECT DATEFROM, X FROM T"), "SELECT A, B, C FROM, X FROM T");
    EXPECT_EQ(SampleSql::statement(*columns, "select a from T"), "SELECT A, B, C select a from T");
    EXPECT_EQ(SampleSql::statement(*columns, ""), "SELECT A, B, C ");

    columns->setValue(nullptr, 1, 1);
    columns->setValue(std::make_shared<CInteger>(42), 1, 0);
    EXPECT_EQ(systemErrorOf([&] { SampleSql::statement(*columns, "FROM T"); }),
              "RepApi.getTaskColumnsData(CString): Не задано имя колонки: ColID = 42");
}

TEST(SampleSqlTest, PlainNamesAndWhollyQuotedOnesAreTaken)
{
    for (const char* name : {"sepal_length", "_x", "A1", "Возраст", "ёлка_Ё", "\"Sepal Width\"", "\"2nd\"", "\"Доход\""})
        EXPECT_TRUE(SampleSql::plainColumnName(name)) << name;
    EXPECT_EQ(SampleSql::statement(*columnsNamed({"Возраст", "\"Sepal Width\""}), "FROM T"),
              "SELECT Возраст, \"Sepal Width\" FROM T");
}

// An expression would call whatever the source offers: load_extension on SQLite runs a
// library's code with no quote needed.
TEST(SampleSqlTest, NameThatIsNoPlainNameIsRefused)
{
    for (const char* name : {"coalesce(load_extension(char(47,120)), sepal_length)", "sepal_length + 0", "*", "a, b",
                             "T.a", "1abc", "a b", "a$b", "@v", "a-b", "\"\"", "\"a.b\"", "\"a\\\"", "\"a(b)\"",
                             "\x97", "№"}) {
        EXPECT_FALSE(SampleSql::plainColumnName(name)) << name;
        EXPECT_EQ(refusal(name), std::string("RepApi.getTaskColumnsData(CString): Имя колонки должно быть простым ") +
                                     "(буквы, цифры, _) или в двойных кавычках: " + name + ", ColID = 2")
            << name;
    }
}

TEST(SampleSqlTest, QuoteSemicolonOrCommentInANameKeepsItsOwnMessage)
{
    for (const char* name : {"a'b", "a;b", "a -- b", "a /* b", "\"a\"b\"", "a`b", "a\tb", "\"", "a\""})
        EXPECT_EQ(refusal(name), std::string("RepApi.getTaskColumnsData(CString): Недопустимое имя колонки (кавычка, ") +
                                     "точка с запятой или комментарий SQL): " + name + ", ColID = 2")
            << name;
}

TEST(SampleSqlTest, SemicolonOnlyAtTheEndOfTheTail)
{
    EXPECT_TRUE(SampleSql::singleStatement("FROM T ;  "));
    EXPECT_FALSE(SampleSql::singleStatement("FROM T; DELETE FROM T"));
    EXPECT_FALSE(SampleSql::singleStatement("FROM T WHERE a = ';'"));
    EXPECT_EQ(refusal("B", "SELECT * FROM T; DROP TABLE T"),
              "RepApi.getTaskColumnsData(CString): Точка с запятой допускается только в конце запроса набора данных: "
              "SELECT * FROM T; DROP TABLE T");
}

// MariaDB writes the rows where INTO says: a file of the server (OUTFILE, DUMPFILE) or
// variables; MariaDB's executable comments and a version number before it change nothing.
TEST(SampleSqlTest, IntoAnywhereInTheTailIsRefused)
{
    for (const char* tail : {"FROM T INTO OUTFILE '/tmp/x'", "FROM T into dumpfile '/tmp/x'", "FROM T\nInTo\t@v",
                             "FROM T /*!50000INTO OUTFILE '/tmp/x'*/", "FROM T /*M!100000 INTO @v*/",
                             "FROM T/**/INTO/**/OUTFILE '/x'", "FROM T LIMIT 1INTO @v", "FROM T INTO", "FROM T INTO`x`",
                             "FROM T WHERE n = 'go into'", "FROM T UNION SELECT * FROM U INTO @a, @b"}) {
        EXPECT_TRUE(SampleSql::holdsInto(tail)) << tail;
        EXPECT_EQ(refusal("B", tail), std::string("RepApi.getTaskColumnsData(CString): Слово INTO недопустимо в ") +
                                          "запросе набора данных: выборка не пишет ни в файл, ни в переменную, ни в " +
                                          "таблицу: " + tail)
            << tail;
    }
}

TEST(SampleSqlTest, IntoInsideALongerNameIsNoInto)
{
    for (const char* tail : {"FROM intotal", "FROM T WHERE pointinto = 1", "FROM t_into", "FROM INTO_", "FROM INTO1",
                             "FROM T WHERE $into = 1", "FROM ЖINTO"})
        EXPECT_FALSE(SampleSql::holdsInto(tail)) << tail;
    EXPECT_EQ(SampleSql::statement(*columnsNamed({"A"}), "FROM t_into"), "SELECT A FROM t_into");
}

}  // namespace
