#pragma once
// The ODBC environment every connection is allocated on (ODBC 3 behaviour), and the
// turning of failed ODBC calls into the platform Exception.

#include <memory>
#include <string>

#include <sql.h>
#include <sqlext.h>

class OdbcEnvironment {
public:
    // The process's environment, created on first use and freed when the last user lets
    // go of it.
    static std::shared_ptr<OdbcEnvironment> shared();

    struct Key {
    private:
        Key() = default;
        friend class OdbcEnvironment;
    };
    explicit OdbcEnvironment(Key);
    OdbcEnvironment(const OdbcEnvironment&) = delete;
    OdbcEnvironment& operator=(const OdbcEnvironment&) = delete;
    ~OdbcEnvironment();

    SQLHENV handle() const { return env; }

private:
    SQLHENV env = SQL_NULL_HENV;
};

// Raises Exception when rc is neither SQL_SUCCESS nor SQL_SUCCESS_WITH_INFO. Its text is
// every diagnostic record of the handle, "SQLSTATE driver text", one per line, in cp1251.
void checkOdbc(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle);
[[noreturn]] void throwOdbcError(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle);

// The diagnostic records of a handle as checkOdbc reports them; empty when there are none.
std::string odbcDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);
