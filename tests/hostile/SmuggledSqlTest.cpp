// Repository texts that end up inside SQL or reach the driver: the dataset's SQL,
// the column names and the source's data source name. Whatever they hold, the source
// database sees at most the one SELECT of the sample: psqlODBC runs every statement of
// a text it is given, so a second statement must be refused before it is sent, and the
// source table must be whole afterwards.

#include "tests/hostile/HostileFixture.h"

namespace hostile {
namespace {

class SmuggledSqlTest : public IrisTaskTest {
protected:
    void setDatasetSql(const std::string& sql)
    {
        std::string quoted;
        for (char c : sql)
            quoted += c == '\'' ? std::string("''") : std::string(1, c);
        db().repository({"UPDATE Dataset SET DtsSql = '" + quoted + "' WHERE DtsID = " + std::to_string(task.dataset)});
    }

    void setColumnName(const std::string& name, const std::string& sqlLiteral)
    {
        db().repository({"UPDATE DtsColumn SET ColSysName = " + sqlLiteral + " WHERE ColID = " + task.columnId(name)});
    }

    std::string refusedSql(const std::string& sql) const
    {
        return systemError("RepApi.getTaskColumnsData(CString)",
                           "Точка с запятой допускается только в конце запроса набора данных: " + sql);
    }

    std::string refusedName(const std::string& name, const std::string& column) const
    {
        return systemError("RepApi.getTaskColumnsData(CString)",
                           "Недопустимое имя колонки (кавычка, точка с запятой или комментарий SQL): " + name +
                               ", ColID = " + task.columnId(column));
    }
};

TEST_P(SmuggledSqlTest, SecondStatementDeletingTheSource)
{
    const std::string sql = "SELECT * FROM " + task.table + "; DELETE FROM " + task.table;
    setDatasetSql(sql);
    expectRefused(task, Stage::Sample, refusedSql(sql));
    EXPECT_EQ(sourceRows(task.table), kIrisRows);
}

TEST_P(SmuggledSqlTest, SecondStatementDroppingTheSource)
{
    const std::string sql = "SELECT * FROM " + task.table + "; DROP TABLE " + task.table;
    setDatasetSql(sql);
    expectRefused(task, Stage::Sample, refusedSql(sql));
    EXPECT_EQ(sourceRows(task.table), kIrisRows);
}

// Which quotes and comments a database honours differs (dollar quotes, backslash
// escapes, nested comments), so a semicolon counts wherever it stands.
TEST_P(SmuggledSqlTest, SecondStatementBehindAQuotedSemicolon)
{
    const std::string sql =
        "SELECT * FROM " + task.table + " WHERE 'a;' <> 'b' /* ' */; DELETE FROM " + task.table + " -- '";
    setDatasetSql(sql);
    expectRefused(task, Stage::Sample, refusedSql(sql));
    EXPECT_EQ(sourceRows(task.table), kIrisRows);
}

TEST_P(SmuggledSqlTest, SemicolonInAColumnName)
{
    const std::string name = "sepal_width; DELETE FROM " + task.table;
    setColumnName("sepal_width", "'" + name + "'");
    expectRefused(task, Stage::Sample, refusedName(name, "sepal_width"));
    EXPECT_EQ(sourceRows(task.table), kIrisRows);
}

TEST_P(SmuggledSqlTest, QuoteInAColumnName)
{
    setColumnName("petal_width", "'petal_width'''");
    expectRefused(task, Stage::Sample, refusedName("petal_width'", "petal_width"));
}

TEST_P(SmuggledSqlTest, CommentInAColumnName)
{
    setColumnName("class", "'class -- the rest is gone'");
    expectRefused(task, Stage::Sample, refusedName("class -- the rest is gone", "class"));
}

// A name that is a list of columns selects more columns than the task has. (The class
// column's name is the one changed: the statement lists the input columns in the order
// the repository returns them, which an updated input row may change.)
TEST_P(SmuggledSqlTest, ColumnListInAColumnName)
{
    setColumnName("class", "'petal_width, class'");
    expectRefused(task, Stage::Sample,
                  systemError("RepApi.getTaskColumnsData(CString)",
                              "Количество колонок результата не равно числу колонок задачи: 6<>5 \nSql = SELECT "
                              "sepal_length, sepal_width, petal_length, petal_width, petal_width, class FROM " +
                                  task.table));
}

// The name is only looked up among the data sources: no other database is reached.
TEST_P(SmuggledSqlTest, ConnectionSettingsInTheDataSourceName)
{
    const std::string name = std::string(e2e::Databases::sourceDsn) +
                             (sqlite() ? ";Database=" + (db().dir() / "elsewhere.db").string() : ";Database=postgres");
    db().repository({"UPDATE DtsSource SET SrcSysName = '" + name + "' WHERE SrcID = " + std::to_string(task.source)});
    expectRefused(task, Stage::Open,
                  systemError("RepApi.getSourceConnect(int)", "Ошибка соединения с источником " + name),
                  missingDataSourceState(name));
    EXPECT_FALSE(std::filesystem::exists(db().dir() / "elsewhere.db"));
}

// Not hostile: a name wholly in double quotes is a quoted identifier, and one
// semicolon may end the dataset's SQL. Both runs give the unbroken task's results.
class AcceptedSqlTest : public HostileTest {};

TEST_P(AcceptedSqlTest, QuotedIdentifierAsColumnName)
{
    Task plain = irisTask();
    const std::vector<std::string> expected = referenceRun(plain, 3).rows;
    Task task = irisTask();
    db().repository({"UPDATE DtsColumn SET ColSysName = '\"sepal_width\"' WHERE ColID = " + task.columnId("sepal_width")});
    EXPECT_EQ(expectCompleted(task, 3).rows, expected);
}

TEST_P(AcceptedSqlTest, SemicolonEndingTheDatasetSql)
{
    Task plain = irisTask();
    const std::vector<std::string> expected = referenceRun(plain, 3).rows;
    Task task = irisTask();
    db().repository({"UPDATE Dataset SET DtsSql = 'SELECT * FROM " + task.table + " ;  ' WHERE DtsID = " +
                     std::to_string(task.dataset)});
    EXPECT_EQ(expectCompleted(task, 3).rows, expected);
}

DODOZ_E2E_ON_BOTH_BACKENDS(SmuggledSqlTest);
DODOZ_E2E_ON_BOTH_BACKENDS(AcceptedSqlTest);

}  // namespace
}  // namespace hostile
