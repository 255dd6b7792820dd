#pragma once
// One statement on an open connection: runs SQL text and reads its rows front to back.
// Floating columns are read as doubles (their text as it stands when it is no number)
// and every other column as text, which callers convert strictly: the drivers' own
// typed reads turn bad values into 0, NULL or today's date without a word. Texts cross
// as cp1251 (UTF-8 in the database); a text without a cp1251 form is an error naming
// its column.

#include <string>
#include <variant>
#include <vector>

#include "repository/odbc/OdbcEnvironment.h"

class OdbcConnection;

struct OdbcColumn {
    std::string name;  // as the database spells it, cp1251
    OdbcSmallInt sqlType = 0;  // SQL_UNKNOWN_TYPE
    OdbcLength size = 0;
    OdbcSmallInt decimals = 0;

    bool isFloating() const;
};

// A cell as read: NULL, a double (floating columns holding a number) or a cp1251 text.
using OdbcValue = std::variant<std::monostate, double, std::string>;

class OdbcStatement {
public:
    explicit OdbcStatement(OdbcConnection& connection);
    OdbcStatement(const OdbcStatement&) = delete;
    OdbcStatement& operator=(const OdbcStatement&) = delete;
    ~OdbcStatement();

    // The seconds the driver lets the next statements run before it cancels them (0: no
    // limit). A driver that keeps another value than the one asked is an error: the
    // caller relies on the limit.
    void setQueryTimeout(unsigned long seconds);

    // Runs the SQL and describes the columns of its result (none for a command). A
    // statement that matches no row (SQL_NO_DATA) is no error.
    void execute(const std::string& sql);

    // The rows the last command inserted, changed or deleted (0 when it matched none).
    long rowCount() const;

    int getColumnCount() const { return static_cast<int>(columns.size()); }
    const OdbcColumn& getColumn(int index) const;

    // Moves to the next row and reads all its cells; false after the last row.
    bool fetch();
    const OdbcValue& getValue(int index) const;

    // Frees the handle and with it the cursor and the locks it holds.
    void close() noexcept;
    bool isOpen() const { return stmt != nullptr; }

private:
    friend class OdbcConnection;
    void requireOpen() const;
    OdbcValue readDouble(int index);
    OdbcValue readText(int index);

    OdbcConnection* connection;
    OdbcHandle stmt = nullptr;
    std::vector<OdbcColumn> columns;
    std::vector<OdbcValue> row;
    bool matchedNothing = false;
};
