#pragma once
// A read-only snapshot of the repository: the reads between its start and its end see
// one state of the database, whatever other sessions commit meanwhile. PostgreSQL gives
// that at REPEATABLE READ; the SQLite driver offers SERIALIZABLE only, which is as good
// here (its read transaction keeps its read lock to the end). The connection's own level
// comes back afterwards: at REPEATABLE READ the result transaction would fail on a task
// row that another run locked and changed instead of waiting for it.
//
// MariaDB's driver does not see a level that the data source's INITSTMT set and reports
// REPEATABLE READ for a session that runs READ COMMITTED, so its word is not taken
// there: the snapshot's one transaction is set to REPEATABLE READ in SQL, which leaves
// the session's level as it was for the transactions after it.

#include "repository/odbc/OdbcConnection.h"

class ReadSnapshot {
public:
    // `place` names the operation for the error of a repository that offers no such level.
    ReadSnapshot(OdbcConnection& connection, const char* place);
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;
    // Still open only on the way out of a failure, which is the error to report: should
    // the rollback fail too, the transaction ends when the connection closes.
    ~ReadSnapshot();

    // Nothing was written, so nothing is committed.
    void end();

private:
    void restoreLevel();
    void abandon() noexcept;

    OdbcConnection& connection;
    unsigned long wanted = 0;
    unsigned long saved = 0;
    bool open = true;
};
