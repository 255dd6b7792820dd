#pragma once
// One database connection seen as a place to run text queries, text commands and
// transactions. The connection is opened by connect and closed by whoever opened it;
// a driver never closes it.

#include <memory>

#include "objects/Values.h"
#include "repository/CResultSet.h"
#include "repository/odbc/OdbcConnection.h"

using ConnectionPtr = std::shared_ptr<OdbcConnection>;

class CDriver {
public:
    // "Provider=MSDASQL.1;Password=<password>;Persist Security Info=True;User ID=<user>;
    // Data Source=<dataSource>;", the values as given.
    static CString getConnectionString(const CString& dataSource, const CString& user, const CString& password);
    // Opens the ODBC data source with this user and password (the data source's own
    // when empty), each handed to the driver as a value of its own.
    static ConnectionPtr connect(const CString& dataSource, const CString& user, const CString& password);

    // Opens the connection again when it was closed.
    explicit CDriver(ConnectionPtr connection);

    // The result set of the query, not loaded yet (strings trimmed).
    CResultSetPtr executeQuery(const CString& sql);
    // Runs a command; always 0, whether or not it changed a row.
    int executeCommand(const CString& sql);
    // Runs a command and gives the number of rows it inserted, changed or deleted.
    long executeUpdate(const CString& sql);
    void beginTrans();
    void commitTrans();

    const ConnectionPtr& getConnection() const { return connection; }

private:
    ConnectionPtr connection;
};
