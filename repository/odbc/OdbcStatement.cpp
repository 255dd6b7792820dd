#include "repository/odbc/OdbcStatement.h"

#include "repository/odbc/OdbcCall.h"
#include "repository/odbc/OdbcConnection.h"
#include "runtime/Runtime.h"

bool OdbcColumn::isFloating() const
{
    return sqlType == SQL_REAL || sqlType == SQL_FLOAT || sqlType == SQL_DOUBLE;
}

OdbcStatement::OdbcStatement(OdbcConnection& connection) : connection(&connection)
{
    connection.requireOpen();
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, connection.handle(), &stmt);
    if (!SQL_SUCCEEDED(rc))
        throwOdbcError(rc, SQL_HANDLE_DBC, connection.handle());
    connection.attach(this);
}

OdbcStatement::~OdbcStatement()
{
    close();
}

void OdbcStatement::close() noexcept
{
    if (stmt != SQL_NULL_HSTMT) {
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        stmt = SQL_NULL_HSTMT;
    }
    if (connection) {
        connection->detach(this);
        connection = nullptr;
    }
    row.clear();
}

void OdbcStatement::requireOpen() const
{
    if (stmt == SQL_NULL_HSTMT)
        throw Exception("The statement is closed");
}

namespace {

std::string toCp1251(const std::string& utf8, const std::string& what)
{
    try {
        return Utf8ToCp1251(utf8);
    } catch (const Exception& e) {
        throw Exception(what + ": " + e.text());
    }
}

}  // namespace

void OdbcStatement::setQueryTimeout(unsigned long seconds)
{
    requireOpen();
    const auto value = reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(seconds));
    SQLRETURN rc = SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, value, SQL_IS_UINTEGER);
    checkOdbc(rc, SQL_HANDLE_STMT, stmt);
    // A driver that cannot keep the value says so with a warning (01S02) and keeps its
    // own; the SQLite driver takes any value and keeps 0.
    SQLULEN kept = 0;
    checkOdbc(SQLGetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, &kept, SQL_IS_UINTEGER, nullptr), SQL_HANDLE_STMT, stmt);
    if (rc != SQL_SUCCESS || kept != seconds)
        throw Exception("The driver does not limit a statement to " + std::to_string(seconds) + " s (it keeps " +
                        std::to_string(kept) + " s): " + odbcDiagnostics(SQL_HANDLE_STMT, stmt));
}

void OdbcStatement::execute(const std::string& sql)
{
    requireOpen();
    columns.clear();
    row.clear();
    std::string utf8 = Cp1251ToUtf8(sql);
    SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(utf8.data()), SQL_NTS);
    matchedNothing = rc == SQL_NO_DATA;
    if (matchedNothing)
        return;
    checkOdbc(rc, SQL_HANDLE_STMT, stmt);

    SQLSMALLINT count = 0;
    checkOdbc(SQLNumResultCols(stmt, &count), SQL_HANDLE_STMT, stmt);
    for (SQLSMALLINT i = 1; i <= count; ++i) {
        OdbcColumn column;
        std::string name(256, '\0');
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT nullable = 0;
        for (;;) {
            rc = SQLDescribeCol(stmt, i, reinterpret_cast<SQLCHAR*>(name.data()), static_cast<SQLSMALLINT>(name.size()),
                                &nameLength, &column.sqlType, &column.size, &column.decimals, &nullable);
            checkOdbc(rc, SQL_HANDLE_STMT, stmt);
            if (static_cast<size_t>(nameLength) < name.size())
                break;
            name.assign(static_cast<size_t>(nameLength) + 1, '\0');
        }
        name.resize(static_cast<size_t>(nameLength));
        column.name = toCp1251(name, "The name of column " + std::to_string(i));
        columns.push_back(std::move(column));
    }
}

long OdbcStatement::rowCount() const
{
    requireOpen();
    if (matchedNothing)
        return 0;
    SQLLEN count = 0;
    checkOdbc(SQLRowCount(stmt, &count), SQL_HANDLE_STMT, stmt);
    return static_cast<long>(count);
}

const OdbcColumn& OdbcStatement::getColumn(int index) const
{
    if (index < 0 || index >= getColumnCount())
        throw Exception("Column index " + std::to_string(index) + " is out of range");
    return columns[static_cast<size_t>(index)];
}

const OdbcValue& OdbcStatement::getValue(int index) const
{
    if (index < 0 || index >= static_cast<int>(row.size()))
        throw Exception("Column index " + std::to_string(index) + " is out of range of the current row");
    return row[static_cast<size_t>(index)];
}

bool OdbcStatement::fetch()
{
    requireOpen();
    row.clear();
    if (columns.empty())
        return false;
    SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA)
        return false;
    checkOdbc(rc, SQL_HANDLE_STMT, stmt);
    row.reserve(columns.size());
    // Drivers deliver the cells of a row in column order only.
    for (int i = 0; i < getColumnCount(); ++i)
        row.push_back(columns[static_cast<size_t>(i)].isFloating() ? readDouble(i) : readText(i));
    return true;
}

// The drivers' own conversion to a double turns a text that is no number into NULL
// (SQLite keeps any text in a REAL column) without a word. Their text of a double is
// what that conversion starts from, so parsing it here loses no digit; a text that is
// no number stays text, which every reader of a number refuses.
OdbcValue OdbcStatement::readDouble(int index)
{
    OdbcValue cell = readText(index);
    const std::string* text = std::get_if<std::string>(&cell);
    if (!text)
        return cell;
    if (std::optional<double> value = parseWhole<double>(*text))
        return *value;
    return cell;
}

OdbcValue OdbcStatement::readText(int index)
{
    std::string text;
    char buffer[4096];
    const auto capacity = static_cast<SQLLEN>(sizeof buffer);
    for (;;) {
        SQLLEN indicator = 0;
        SQLRETURN rc = SQLGetData(stmt, static_cast<SQLUSMALLINT>(index + 1), SQL_C_CHAR, buffer, capacity, &indicator);
        if (rc == SQL_NO_DATA)
            break;
        checkOdbc(rc, SQL_HANDLE_STMT, stmt);
        if (indicator == SQL_NULL_DATA)
            return std::monostate{};
        bool truncated = indicator == SQL_NO_TOTAL || indicator >= capacity;
        text.append(buffer, truncated ? static_cast<size_t>(capacity - 1) : static_cast<size_t>(indicator));
        if (!truncated)
            break;
    }
    return toCp1251(text, "Column " + columns[static_cast<size_t>(index)].name);
}
