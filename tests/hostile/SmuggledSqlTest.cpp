// Repository texts that end up inside SQL or reach the driver: the dataset's SQL,
// the column names and the source's data source name. Whatever they hold, the source
// database sees at most the one SELECT of the sample: psqlODBC runs every statement of
// a text it is given, so a second statement must be refused before it is sent, and the
// source table must be whole afterwards. Nor may the SELECT load a library into the
// program (SQLite's load_extension) or have a file written (MariaDB's INTO OUTFILE, the
// SQLite driver's blob_export): those cases watch for the marker the library leaves and
// for files the run had no business making.

#include <set>

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

    std::string notPlainName(const std::string& name, const std::string& column) const
    {
        return systemError("RepApi.getTaskColumnsData(CString)",
                           "Имя колонки должно быть простым (буквы, цифры, _) или в двойных кавычках: " + name +
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

// A name that is a list of columns would select more columns than the task has.
TEST_P(SmuggledSqlTest, ColumnListInAColumnName)
{
    setColumnName("class", "'petal_width, class'");
    expectRefused(task, Stage::Sample, notPlainName("petal_width, class", "class"));
}

// The name is only looked up among the data sources: no other database is reached.
TEST_P(SmuggledSqlTest, ConnectionSettingsInTheDataSourceName)
{
    const std::string name = std::string(e2e::TestDatabases::sourceDsn) +
                             (sqlite() ? ";Database=" + (db().dir() / "elsewhere.db").string() : ";Database=postgres");
    db().repository({"UPDATE DtsSource SET SrcSysName = '" + name + "' WHERE SrcID = " + std::to_string(task.source)});
    expectRefused(task, Stage::Open,
                  systemError("RepApi.getSourceConnect(int)", "Ошибка соединения с источником " + name),
                  missingDataSourceState(name));
    EXPECT_FALSE(std::filesystem::exists(db().dir() / "elsewhere.db"));
}

class SmuggledCodeTest : public SmuggledSqlTest {
protected:
    void SetUp() override
    {
        SmuggledSqlTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        watched = db().dir() / ("code-" + task.keyText());
        std::filesystem::create_directories(watched);
        marker = watched / "marker";
        runEnvironment = {"HOSTILE_MARKER=" + marker.string()};
        before = filesBelow(db().dir());
        escapedCheck = [this] { return std::filesystem::exists(marker) || filesBelow(db().dir()) != before; };
    }

    void TearDown() override
    {
        if (IsSkipped() || HasFatalFailure())
            return;
        EXPECT_FALSE(std::filesystem::exists(marker)) << "the library was loaded";
        EXPECT_EQ(filesBelow(db().dir()), before) << "the run had files made";
    }

    static std::string library() { return HOSTILE_MARKER_LIBRARY; }
    // The text as char(...), which needs no quote.
    static std::string charCodes(const std::string& text)
    {
        std::string codes;
        for (unsigned char c : text)
            codes += (codes.empty() ? "" : ",") + std::to_string(c);
        return "char(" + codes + ")";
    }
    std::string selectWhere(const std::string& condition) const
    {
        return "SELECT * FROM " + task.table + " WHERE " + condition;
    }
    static std::string notAuthorized(const std::string& function)
    {
        return platformError("HY000 [SQLite]not authorized to use function: " + function + " (1)");
    }

    std::filesystem::path watched;
    std::filesystem::path marker;
    std::set<std::string> before;
};

// The SQLite driver leaves load_extension enabled on every connection, and the library
// has a proper entry point: loaded, its code would run and the run complete. The
// function is refused where SQLite resolves it, so no spelling reaches it.
TEST_P(SmuggledCodeTest, LibraryLoadedByTheDatasetSql)
{
    if (!sqlite())
        GTEST_SKIP() << "load_extension is SQLite's";
    const std::string path = "'" + library() + "'";
    const std::pair<std::string, std::string> calls[] = {
        {"load_extension(" + path + ") IS NULL", "load_extension"},
        {"LOAD_EXTENSION(" + path + ", 'sqlite3_extension_init') IS NULL", "LOAD_EXTENSION"},
        {"Load_Extension /* a comment */ (" + charCodes(library()) + ") IS NULL", "Load_Extension"},
        {"\"load_extension\"(" + path + ") IS NULL", "load_extension"},
        {"coalesce(NULL, (SELECT [load_extension](trim(" + path + ")))) IS NULL", "load_extension"},
    };
    for (const auto& [call, shown] : calls) {
        setDatasetSql(selectWhere(call));
        expectRefused(task, Stage::Sample, notAuthorized(shown));
    }
}

// No quote needed, so the older check of names let these through. (The servers' ColSysName
// holds 100 characters, too few for the library's path, and they have no load_extension.)
TEST_P(SmuggledCodeTest, LibraryLoadedByAColumnName)
{
    const std::string path = sqlite() ? charCodes(library()) : "char(47,120)";
    for (const std::string& name : {"coalesce(load_extension(" + path + "), sepal_length)",
                                    "sepal_length + 0 * length(LOAD_EXTENSION(" + path + "))"}) {
        setColumnName("sepal_length", "'" + name + "'");
        expectRefused(task, Stage::Sample, notPlainName(name, "sepal_length"));
    }
}

// The SQLite driver adds blob_export (writes a file) and blob_import (reads one into the
// sample) to every connection.
TEST_P(SmuggledCodeTest, FileWrittenOrReadByTheSqliteDriver)
{
    if (!sqlite())
        GTEST_SKIP() << "blob_export and blob_import are the SQLite driver's";
    setDatasetSql(selectWhere("blob_export(x'41', '" + (watched / "exported").string() + "') IS NULL"));
    expectRefused(task, Stage::Sample, notAuthorized("blob_export"));
    setDatasetSql(selectWhere("length(BLOB_IMPORT(" + charCodes("/etc/hostname") + ")) > 0"));
    expectRefused(task, Stage::Sample, notAuthorized("BLOB_IMPORT"));
}

// MariaDB writes the rows to a server file (OUTFILE, DUMPFILE) or variables where INTO
// says, inside its executable comments too; the word is refused on every database.
TEST_P(SmuggledCodeTest, RowsWrittenToAFileByTheServer)
{
    const std::string file = "'" + (watched / "rows").string() + "'";
    for (const std::string& tail : {" INTO OUTFILE " + file, " /*!50000INTO OUTFILE " + file + "*/",
                                    " LIMIT 1\ninto\tDUMPFILE " + file, std::string(" LIMIT 1 INTO @a, @b, @c, @d, @e")}) {
        const std::string sql = "SELECT * FROM " + task.table + tail;
        setDatasetSql(sql);
        expectRefused(task, Stage::Sample,
                      systemError("RepApi.getTaskColumnsData(CString)",
                                  "Слово INTO недопустимо в запросе набора данных: выборка не пишет ни в файл, ни в "
                                  "переменную, ни в таблицу: " + sql));
    }
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

DODOZ_ON_EVERY_BACKEND(SmuggledSqlTest);
DODOZ_ON_EVERY_BACKEND(SmuggledCodeTest);
DODOZ_ON_EVERY_BACKEND(AcceptedSqlTest);

}  // namespace
}  // namespace hostile
