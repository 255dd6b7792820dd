#pragma once
// The ODBC environment every connection is allocated on (ODBC 3 behaviour), and the
// turning of failed ODBC calls into the platform Exception.

#include <memory>
#include <string>

// An ODBC handle of any kind, SQLSMALLINT and SQLULEN: the driver manager's own types
// (OdbcCall.h checks it), so that <sql.h> stays inside this folder.
using OdbcHandle = void*;
using OdbcSmallInt = short;
using OdbcLength = unsigned long;

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

    OdbcHandle handle() const { return env; }

private:
    OdbcHandle env = nullptr;
};
