#include "repository/odbc/OdbcEnvironment.h"

#include <algorithm>
#include <mutex>

#include "repository/odbc/OdbcCall.h"
#include "repository/odbc/SqliteGuard.h"
#include "runtime/Runtime.h"

std::shared_ptr<OdbcEnvironment> OdbcEnvironment::shared()
{
    static std::mutex mutex;
    static std::weak_ptr<OdbcEnvironment> current;
    std::lock_guard<std::mutex> lock(mutex);
    std::shared_ptr<OdbcEnvironment> environment = current.lock();
    if (!environment) {
        environment = std::make_shared<OdbcEnvironment>(Key{});
        current = environment;
    }
    return environment;
}

OdbcEnvironment::OdbcEnvironment(Key)
{
    // Before any driver opens a database: every connection is made on this environment.
    guardSqliteConnections();
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    if (!SQL_SUCCEEDED(rc))
        throw Exception("Cannot allocate the ODBC environment");
    rc = SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(rc)) {
        std::string text = odbcDiagnostics(SQL_HANDLE_ENV, env);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        throw Exception("Cannot select ODBC 3 behaviour: " + text);
    }
}

OdbcEnvironment::~OdbcEnvironment()
{
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

namespace {

// Driver texts are UTF-8. An error report must not fail in turn, nor come out garbled
// when it is shown again as UTF-8: what cp1251 cannot hold becomes '?'.
std::string diagnosticText(const std::string& utf8)
{
    return Utf8ToCp1251Replacing(utf8);
}

}  // namespace

std::string odbcDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle)
{
    std::string text;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLCHAR state[6] = {};
        SQLINTEGER nativeError = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRec(handleType, handle, record, state, &nativeError, nullptr, 0, &length);
        if (!SQL_SUCCEEDED(rc))
            break;
        std::string message(static_cast<size_t>(length) + 1, '\0');
        rc = SQLGetDiagRec(handleType, handle, record, state, &nativeError,
                           reinterpret_cast<SQLCHAR*>(message.data()), static_cast<SQLSMALLINT>(message.size()),
                           &length);
        if (!SQL_SUCCEEDED(rc))
            break;
        message.resize(std::min(static_cast<size_t>(length), message.size() - 1));
        // psqlODBC repeats a lost connection as a second record without a text.
        if (message.empty() && !text.empty())
            continue;
        if (!text.empty())
            text += '\n';
        text += reinterpret_cast<const char*>(state);
        text += ' ';
        text += diagnosticText(message);
    }
    return text;
}

void throwOdbcError(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle)
{
    std::string text = odbcDiagnostics(handleType, handle);
    if (text.empty())
        text = "ODBC call failed with return code " + std::to_string(rc) + " and no diagnostics";
    throw Exception(text);
}

void checkOdbc(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle)
{
    if (!SQL_SUCCEEDED(rc))
        throwOdbcError(rc, handleType, handle);
}
