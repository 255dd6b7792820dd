#pragma once
// The sample's statement run on the source database as a query and nothing else, within
// its time limit. What the text checks (SampleSql) cannot see, a function in the
// dataset's SQL that writes, is refused by the database itself:
// - PostgreSQL, MariaDB and any other: a READ ONLY transaction, rolled back at the end;
// - SQLite: the connection is query_only while the statement runs (SQLite has no read-only
//   transaction; its functions that reach files or load code SqliteGuard takes away).
// The limit is the server's where it has one, so that the statement ends even when the
// program is killed meanwhile: PostgreSQL's through the driver's query timeout (psqlODBC
// sets statement_timeout), MariaDB's max_statement_time for the session while the read
// lasts (its driver keeps no query timeout); on SQLite, which runs inside the process,
// SqliteDeadline.
// A statement that fails once its time is up is reported as having run out of it.

#include <chrono>
#include <optional>
#include <string>

#include "repository/CResultSet.h"
#include "repository/odbc/OdbcConnection.h"
#include "repository/odbc/SqliteGuard.h"
#include "runtime/Exception.h"

class SampleRead {
public:
    // Starts the read-only work on the open source connection; a time limit of 0 seconds
    // is none.
    SampleRead(OdbcConnection& source, unsigned long timeLimit);
    SampleRead(const SampleRead&) = delete;
    SampleRead& operator=(const SampleRead&) = delete;
    // Still open only on the way out of a failure, which is the error to report.
    ~SampleRead();

    // Runs the statement; its rows are left to load. The time starts here.
    CResultSetPtr execute(const std::string& statement);
    // Reads every row, within the same time.
    void load(CResultSet& rows);
    // Nothing was written, so nothing is kept; the connection is as it was.
    void end();

private:
    enum class Database { SQLite, MariaDB, Other };
    void start();
    [[noreturn]] void rethrow(const Exception& error) const;

    OdbcConnection& source;
    unsigned long timeLimit;
    Database database = Database::Other;
    bool queryOnlyBefore = false;
    std::string statementTimeBefore;
    bool open = false;
    std::chrono::steady_clock::time_point started;
    std::optional<SqliteDeadline> deadline;
};
