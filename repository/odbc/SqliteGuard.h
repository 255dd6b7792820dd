#pragma once
// What no SQL text may make the program's SQLite connections do, whichever connection
// the text reaches and however it is spelled. The SQLite ODBC driver opens its
// databases with the process's libsqlite3, leaves the SQL function load_extension
// enabled on every connection, the source's too, and adds blob_import and blob_export,
// which read and write any file the program's user may.
// - Every database the process opens after guardSqliteConnections refuses, when a
//   statement is prepared, a call of those functions or of fts3_tokenizer (which hands
//   SQLite a pointer to run).
// - A database's own schema is read without that check: a generated column may call
//   blob_export whenever it is read. So once a connection is open, SqliteOpening
//   replaces the driver's two file functions by ones that only fail (load_extension and
//   fts3_tokenizer cannot stand in a schema at all).
// The driver's own loading of the extensions a DSN names (LoadExt=) goes through the C
// interface and is not affected.

#include <chrono>
#include <vector>

// Registers the guard for every database opened in the process from now on; at once
// and once only, whoever calls it again. Raises Exception when SQLite refuses it.
void guardSqliteConnections();

// Around the opening of one ODBC connection on this thread: collects the SQLite
// databases the driver opens meanwhile (none for another driver), and finish, called
// once the driver has set them up, takes the driver's file functions away from them.
class SqliteOpening {
public:
    SqliteOpening();
    SqliteOpening(const SqliteOpening&) = delete;
    SqliteOpening& operator=(const SqliteOpening&) = delete;
    ~SqliteOpening();

    // Raises Exception when SQLite refuses the replacement.
    void finish();

private:
    std::vector<void*> opened;
    std::vector<void*>* outer;
};

// A time limit for the statements this thread runs on SQLite connections while the
// object lives: past the deadline a statement is interrupted, and its call fails with
// the driver's "interrupted". The SQLite driver has no query timeout of its own.
class SqliteDeadline {
public:
    explicit SqliteDeadline(std::chrono::steady_clock::time_point deadline);
    SqliteDeadline(const SqliteDeadline&) = delete;
    SqliteDeadline& operator=(const SqliteDeadline&) = delete;
    ~SqliteDeadline();
};
