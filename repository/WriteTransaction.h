#pragma once
// A write transaction on the repository's connection, begun when made: commit ends it,
// and one that is still open when the guard goes (a failure on the way) is rolled back.
// The rollback never throws: should it fail, the closing of the connection, which never
// commits, ends the transaction, and the failure that led here is the one to report.

#include "repository/odbc/OdbcConnection.h"

class WriteTransaction {
public:
    explicit WriteTransaction(OdbcConnection& connection);
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    ~WriteTransaction();

    void commit();

private:
    OdbcConnection& connection;
    bool open = true;
};
