#pragma once
// One database connection through an ODBC data source, opened with SQLDriverConnect.
// Closing it (destroying it too) first frees the statements still open on it and rolls
// back an open transaction: nothing uncommitted is ever committed by closing.
// Texts given to it are cp1251; they travel as UTF-8.

#include <memory>
#include <string>
#include <vector>

#include "repository/odbc/OdbcEnvironment.h"

class OdbcStatement;

class OdbcConnection {
public:
    OdbcConnection();
    OdbcConnection(const OdbcConnection&) = delete;
    OdbcConnection& operator=(const OdbcConnection&) = delete;
    ~OdbcConnection();

    // "DSN=<dataSource>;UID=<user>;PWD=<password>;" without the UID and PWD items when
    // they are empty (an empty UID would replace the user the data source names). A
    // value holding ";" or a brace is put in braces.
    static std::string connectionString(const std::string& dataSource, const std::string& user,
                                        const std::string& password);

    // Connects without prompting; raises the driver's error when that fails.
    void open(const std::string& connectionString);
    // Connects again with the last connection string; nothing when already open.
    void open();
    bool isOpen() const { return connected; }
    void close();

    // Autocommit off until commit or rollback.
    void beginTransaction();
    void commit();
    void rollback();
    bool inTransaction() const { return transaction; }

    // Runs SQL that returns no rows; a statement that matches no row is no error.
    void execute(const std::string& sql);

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
    std::string lastConnectionString;
    bool connected = false;
    bool transaction = false;
    std::vector<OdbcStatement*> statements;
};
