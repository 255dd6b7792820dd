#pragma once
// The driver manager's API for the sources of this folder, the only ones that include
// it, and the turning of failed ODBC calls into the platform Exception.

#include <string>
#include <type_traits>

#include <sql.h>
#include <sqlext.h>

#include "repository/odbc/OdbcEnvironment.h"

static_assert(std::is_same_v<SQLHANDLE, OdbcHandle> && std::is_same_v<SQLHENV, OdbcHandle> &&
              std::is_same_v<SQLHDBC, OdbcHandle> && std::is_same_v<SQLHSTMT, OdbcHandle>);
static_assert(std::is_same_v<SQLSMALLINT, OdbcSmallInt> && std::is_same_v<SQLULEN, OdbcLength>);

// Raises Exception when rc is neither SQL_SUCCESS nor SQL_SUCCESS_WITH_INFO. Its text is
// every diagnostic record of the handle, "SQLSTATE driver text", one per line, in cp1251.
void checkOdbc(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle);
[[noreturn]] void throwOdbcError(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle);

// The diagnostic records of a handle as checkOdbc reports them; empty when there are none.
std::string odbcDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);
