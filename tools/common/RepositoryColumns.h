#pragma once
// What the tools may write and read of a repository whose tables are the host's: the
// columns the program itself relies on are always there; the others (names of sources,
// datasets and tasks, the dataset of a column, the key of a parameter row) only where
// the host's tables have them. The columns of a table are read once, with SELECT * of
// no row, and found by name case-insensitively, as the program finds them.

#include <map>
#include <string>
#include <utility>
#include <vector>

class OdbcConnection;

class RepositoryColumns {
public:
    explicit RepositoryColumns(OdbcConnection& repository);

    bool has(const std::string& table, const std::string& column);

    // An INSERT of the values, each with its column; the optional ones are left out
    // where the table lacks them. A required column the table lacks is an Exception
    // that names it and the tool that needs it.
    struct Value {
        std::string column;
        std::string sql;  // the value as SQL text
        bool optional = false;
    };
    std::string insert(const std::string& table, const std::vector<Value>& values, const char* tool);

private:
    const std::vector<std::string>& columnsOf(const std::string& table);

    OdbcConnection& repository;
    std::map<std::string, std::vector<std::string>> tables;
};
