#pragma once
// One database connection through an ODBC data source: by its name with a user and a
// password (SQLConnect), or by a connection string composed from trusted parts
// (SQLDriverConnect).
// Closing it (destroying it too) first frees the statements still open on it and rolls
// back an open transaction: nothing uncommitted is ever committed by closing.
// Texts given to it are cp1251; they travel as UTF-8.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "repository/odbc/OdbcEnvironment.h"

class OdbcStatement;
class SqliteOpening;

class OdbcConnection {
public:
    OdbcConnection();
    OdbcConnection(const OdbcConnection&) = delete;
    OdbcConnection& operator=(const OdbcConnection&) = delete;
    ~OdbcConnection();

    // "DSN=<dataSource>;UID=<user>;PWD=<password>;" without the UID and PWD items when
    // they are empty (an empty UID would replace the user the data source names). A
    // value holding ";" or a brace is put in braces, which the SQLite driver does not
    // honour: only for values the caller trusts, never for repository contents.
    static std::string connectionString(const std::string& dataSource, const std::string& user,
                                        const std::string& password);

    // Connects to the named data source. The three values travel as three separate
    // arguments and never as connection-string syntax, so no value can add a setting
    // (a library to load, another database file) whatever it holds; an empty user or
    // password leaves the data source's own. A value holding a NUL byte or too long for
    // the call is refused, since it cannot reach the driver whole.
    void openDataSource(const std::string& dataSource, const std::string& user, const std::string& password);
    // Connects without prompting; raises the driver's error when that fails.
    void open(const std::string& connectionString);
    // Connects again the way it was last opened; nothing when already open.
    void open();
    bool isOpen() const { return connected; }
    void close();

    // Autocommit off until commit or rollback.
    void beginTransaction();
    void commit();
    void rollback();
    bool inTransaction() const { return transaction; }

    // Transaction isolation, as the driver's SQL_TXN_* bits. snapshotIsolation is the
    // weakest offered level under which the reads of one transaction see one state of the
    // database (repeatable read, else serializable), or 0 when the driver offers neither.
    unsigned long isolation();
    void setIsolation(unsigned long level);
    unsigned long snapshotIsolation();
    // The database product the driver reaches, as it names it ("SQLite", "PostgreSQL",
    // "MariaDB", ...), for the few things the databases do differently.
    std::string dbmsName();

    // Runs SQL that returns no rows; a statement that matches no row is no error.
    void execute(const std::string& sql);
    // The same, giving the number of rows the statement changed.
    long executeCounted(const std::string& sql);

    OdbcHandle handle() const { return dbc; }

private:
    friend class OdbcStatement;
    void attach(OdbcStatement* statement);
    void detach(OdbcStatement* statement) noexcept;
    void requireOpen() const;
    void endTransaction(OdbcSmallInt completion);
    void setAutocommit(bool on);

    std::shared_ptr<OdbcEnvironment> environment;
    OdbcHandle dbc = nullptr;
    struct Login {
        std::string dataSource;
        std::string user;
        std::string password;
    };
    // The driver has connected: what is left to do before the connection is used, or,
    // failing that, the disconnection.
    void finishOpen(SqliteOpening& opening);

    std::string lastConnectionString;
    std::optional<Login> lastLogin;
    bool connected = false;
    bool transaction = false;
    std::vector<OdbcStatement*> statements;
};
