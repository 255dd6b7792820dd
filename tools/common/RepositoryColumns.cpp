#include "tools/common/RepositoryColumns.h"

#include "repository/odbc/OdbcConnection.h"
#include "repository/odbc/OdbcStatement.h"
#include "runtime/Runtime.h"

RepositoryColumns::RepositoryColumns(OdbcConnection& repository) : repository(repository) {}

const std::vector<std::string>& RepositoryColumns::columnsOf(const std::string& table)
{
    auto known = tables.find(table);
    if (known != tables.end())
        return known->second;
    OdbcStatement statement(repository);
    statement.execute("SELECT * FROM " + table + " WHERE 1 = 0");
    std::vector<std::string> names;
    for (int i = 0; i < statement.getColumnCount(); ++i)
        names.push_back(statement.getColumn(i).name);
    return tables.emplace(table, std::move(names)).first->second;
}

bool RepositoryColumns::has(const std::string& table, const std::string& column)
{
    for (const std::string& name : columnsOf(table)) {
        if (AnsiCompareText(name, column) == 0)
            return true;
    }
    return false;
}

std::string RepositoryColumns::insert(const std::string& table, const std::vector<Value>& values, const char* tool)
{
    std::string names;
    std::string texts;
    for (const Value& value : values) {
        if (!has(table, value.column)) {
            if (value.optional)
                continue;
            throw Exception(std::string(tool) + " needs the column " + table + "." + value.column +
                            ", which the repository's table " + table + " does not have");
        }
        names += (names.empty() ? "" : ", ") + value.column;
        texts += (texts.empty() ? "" : ", ") + value.sql;
    }
    return "INSERT INTO " + table + " (" + names + ") VALUES (" + texts + ")";
}
