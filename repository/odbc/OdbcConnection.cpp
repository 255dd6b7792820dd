#include "repository/odbc/OdbcConnection.h"

#include <algorithm>

#include "repository/odbc/OdbcCall.h"
#include "repository/odbc/OdbcStatement.h"
#include "repository/odbc/SqliteGuard.h"
#include "runtime/Runtime.h"

OdbcConnection::OdbcConnection() : environment(OdbcEnvironment::shared())
{
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_DBC, environment->handle(), &dbc);
    if (!SQL_SUCCEEDED(rc))
        throwOdbcError(rc, SQL_HANDLE_ENV, environment->handle());
}

OdbcConnection::~OdbcConnection()
{
    try {
        close();
    } catch (const Exception&) {
        // The connection goes away with the process's handles; a failing rollback has
        // committed nothing.
    }
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
}

namespace {

std::string connectionItem(const std::string& name, const std::string& value)
{
    if (value.find_first_of(";{}") == std::string::npos)
        return name + "=" + value + ";";
    std::string braced = "{";
    for (char c : value) {
        braced += c;
        if (c == '}')
            braced += '}';
    }
    return name + "=" + braced + "};";
}

}  // namespace

std::string OdbcConnection::connectionString(const std::string& dataSource, const std::string& user,
                                             const std::string& password)
{
    std::string text = connectionItem("DSN", dataSource);
    if (!user.empty())
        text += connectionItem("UID", user);
    if (!password.empty())
        text += connectionItem("PWD", password);
    return text;
}

namespace {

// The driver receives the bytes with their length; a NUL would still end the value for
// every driver that hands it on as a C string.
SQLSMALLINT argumentLength(const std::string& utf8, const char* what)
{
    if (utf8.find('\0') != std::string::npos)
        throw Exception(std::string("The ") + what + " holds a NUL byte");
    if (utf8.size() > 32767)
        throw Exception(std::string("The ") + what + " is longer than 32767 bytes");
    return static_cast<SQLSMALLINT>(utf8.size());
}

}  // namespace

void OdbcConnection::openDataSource(const std::string& dataSource, const std::string& user,
                                    const std::string& password)
{
    if (connected)
        throw Exception("The connection is already open");
    std::string name = Cp1251ToUtf8(dataSource);
    std::string uid = Cp1251ToUtf8(user);
    std::string pwd = Cp1251ToUtf8(password);
    const SQLSMALLINT nameLength = argumentLength(name, "data source name");
    const SQLSMALLINT uidLength = argumentLength(uid, "user name");
    const SQLSMALLINT pwdLength = argumentLength(pwd, "password");
    // psqlODBC would take an empty user for a given one and lose the data source's.
    SqliteOpening opening;
    SQLRETURN rc = SQLConnect(dbc, reinterpret_cast<SQLCHAR*>(name.data()), nameLength,
                              uid.empty() ? nullptr : reinterpret_cast<SQLCHAR*>(uid.data()), uidLength,
                              pwd.empty() ? nullptr : reinterpret_cast<SQLCHAR*>(pwd.data()), pwdLength);
    checkOdbc(rc, SQL_HANDLE_DBC, dbc);
    lastLogin = Login{dataSource, user, password};
    lastConnectionString.clear();
    finishOpen(opening);
}

void OdbcConnection::open(const std::string& connectionString)
{
    if (connected)
        throw Exception("The connection is already open");
    std::string utf8 = Cp1251ToUtf8(connectionString);
    SQLCHAR completed[1024];
    SQLSMALLINT completedLength = 0;
    SqliteOpening opening;
    SQLRETURN rc = SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(utf8.data()), SQL_NTS, completed,
                                    sizeof completed, &completedLength, SQL_DRIVER_NOPROMPT);
    checkOdbc(rc, SQL_HANDLE_DBC, dbc);
    lastConnectionString = connectionString;
    lastLogin.reset();
    finishOpen(opening);
}

void OdbcConnection::finishOpen(SqliteOpening& opening)
{
    try {
        opening.finish();
    } catch (const Exception&) {
        SQLDisconnect(dbc);
        throw;
    }
    connected = true;
    transaction = false;
    // A transaction left open by an earlier use of this handle must not carry over.
    setAutocommit(true);
}

void OdbcConnection::open()
{
    if (connected)
        return;
    if (lastLogin) {
        Login login = *lastLogin;
        openDataSource(login.dataSource, login.user, login.password);
    } else if (!lastConnectionString.empty()) {
        open(lastConnectionString);
    } else {
        throw Exception("The connection has never been opened");
    }
}

void OdbcConnection::close()
{
    if (!connected)
        return;
    std::vector<OdbcStatement*> pending = std::move(statements);
    statements.clear();
    for (OdbcStatement* statement : pending) {
        statement->connection = nullptr;
        statement->close();
    }
    // SQLite refuses to disconnect with an open transaction, and switching autocommit
    // back on would commit it. When the rollback fails (a server gone away) the
    // disconnect may still succeed, and the server ends the transaction itself.
    std::string rollbackError;
    if (transaction) {
        SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
        if (SQL_SUCCEEDED(rc))
            transaction = false;
        else
            rollbackError = odbcDiagnostics(SQL_HANDLE_DBC, dbc);
    }
    SQLRETURN rc = SQLDisconnect(dbc);
    if (!SQL_SUCCEEDED(rc)) {
        if (!rollbackError.empty())
            throw Exception(rollbackError);
        throwOdbcError(rc, SQL_HANDLE_DBC, dbc);
    }
    connected = false;
    transaction = false;
}

void OdbcConnection::beginTransaction()
{
    requireOpen();
    if (transaction)
        throw Exception("A transaction is already open on this connection");
    setAutocommit(false);
    transaction = true;
}

void OdbcConnection::commit()
{
    endTransaction(SQL_COMMIT);
}

void OdbcConnection::rollback()
{
    endTransaction(SQL_ROLLBACK);
}

void OdbcConnection::endTransaction(OdbcSmallInt completion)
{
    requireOpen();
    if (!transaction)
        throw Exception("No transaction is open on this connection");
    checkOdbc(SQLEndTran(SQL_HANDLE_DBC, dbc, completion), SQL_HANDLE_DBC, dbc);
    transaction = false;
    setAutocommit(true);
}

void OdbcConnection::setAutocommit(bool on)
{
    SQLULEN value = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
    SQLRETURN rc = SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(value), SQL_IS_UINTEGER);
    checkOdbc(rc, SQL_HANDLE_DBC, dbc);
}

void OdbcConnection::execute(const std::string& sql)
{
    OdbcStatement statement(*this);
    statement.execute(sql);
}

long OdbcConnection::executeCounted(const std::string& sql)
{
    OdbcStatement statement(*this);
    statement.execute(sql);
    return statement.rowCount();
}

void OdbcConnection::requireOpen() const
{
    if (!connected)
        throw Exception("The connection is not open");
}

void OdbcConnection::attach(OdbcStatement* statement)
{
    statements.push_back(statement);
}

void OdbcConnection::detach(OdbcStatement* statement) noexcept
{
    statements.erase(std::remove(statements.begin(), statements.end(), statement), statements.end());
}

unsigned long OdbcConnection::isolation()
{
    requireOpen();
    SQLUINTEGER level = 0;
    checkOdbc(SQLGetConnectAttr(dbc, SQL_ATTR_TXN_ISOLATION, &level, sizeof level, nullptr), SQL_HANDLE_DBC, dbc);
    return level;
}

void OdbcConnection::setIsolation(unsigned long level)
{
    requireOpen();
    const auto value = reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(level));
    checkOdbc(SQLSetConnectAttr(dbc, SQL_ATTR_TXN_ISOLATION, value, SQL_IS_UINTEGER), SQL_HANDLE_DBC, dbc);
}

unsigned long OdbcConnection::snapshotIsolation()
{
    requireOpen();
    SQLUINTEGER offered = 0;
    checkOdbc(SQLGetInfo(dbc, SQL_TXN_ISOLATION_OPTION, &offered, sizeof offered, nullptr), SQL_HANDLE_DBC, dbc);
    if (offered & SQL_TXN_REPEATABLE_READ)
        return SQL_TXN_REPEATABLE_READ;
    if (offered & SQL_TXN_SERIALIZABLE)
        return SQL_TXN_SERIALIZABLE;
    return 0;
}

std::string OdbcConnection::dbmsName()
{
    requireOpen();
    std::string name(64, '\0');
    SQLSMALLINT length = 0;
    for (;;) {
        checkOdbc(SQLGetInfo(dbc, SQL_DBMS_NAME, name.data(), static_cast<SQLSMALLINT>(name.size()), &length),
                  SQL_HANDLE_DBC, dbc);
        if (static_cast<size_t>(length) < name.size())
            break;
        name.assign(static_cast<size_t>(length) + 1, '\0');
    }
    name.resize(static_cast<size_t>(length));
    return name;
}
