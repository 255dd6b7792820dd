#include "tools/register/Registration.h"

#include <charconv>
#include <cmath>
#include <set>

#include "app/Runtime.h"
#include "repository/odbc/OdbcConnection.h"
#include "repository/odbc/OdbcStatement.h"

namespace {

bool isLetter(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0xC0 || c == 0xA8 || c == 0xB8;
}

// Names go into SQL unquoted (the program builds its SELECT that way), so they must be
// plain identifiers that no database reads as a keyword.
std::string identifier(const std::string& utf8, const std::string& what)
{
    static const std::set<std::string> reserved = {
        "ALL", "AND", "AS", "ASC", "BETWEEN", "BY", "CASE", "CAST", "CHECK", "COLUMN", "CREATE", "DEFAULT",
        "DELETE", "DESC", "DISTINCT", "DROP", "ELSE", "END", "EXISTS", "FOR", "FOREIGN", "FROM", "GROUP",
        "HAVING", "IN", "INDEX", "INSERT", "INTO", "IS", "JOIN", "KEY", "LIKE", "LIMIT", "NOT", "NULL", "ON",
        "OR", "ORDER", "PRIMARY", "REFERENCES", "SELECT", "SET", "TABLE", "THEN", "TO", "UNION", "UNIQUE",
        "UPDATE", "USER", "VALUES", "WHEN", "WHERE", "WITH"};
    std::string name;
    try {
        name = Utf8ToCp1251(utf8);
    } catch (const Exception& e) {
        throw Exception(what + " '" + utf8 + "': " + e.text());
    }
    bool ok = !name.empty() && isLetter(static_cast<unsigned char>(name[0]));
    for (unsigned char c : name)
        ok = ok && (isLetter(c) || (c >= '0' && c <= '9'));
    if (!ok)
        throw Exception(what + " '" + utf8 + "' is not a plain name (letters, digits and _, starting with a letter)");
    if (reserved.count(AnsiUpperCase(name)))
        throw Exception(what + " '" + utf8 + "' is an SQL keyword; rename it");
    return name;
}

std::optional<double> number(const std::optional<std::string>& field, const std::string& where)
{
    if (!field)
        return std::nullopt;
    const std::string text = Trim(*field);
    if (text.empty())
        return std::nullopt;
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        throw Exception(where + ": '" + *field + "' is not a number");
    return value;
}

std::optional<int> classCode(const std::optional<std::string>& field, const std::string& where)
{
    if (!field || Trim(*field).empty())
        return std::nullopt;
    const std::string text = Trim(*field);
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        throw Exception(where + ": the class '" + *field + "' is not an integer");
    return value;
}

int newKey(OdbcConnection& connection, const std::string& table)
{
    OdbcStatement statement(connection);
    statement.execute("SELECT GetNextPK('" + table + "')");
    if (!statement.fetch())
        throw Exception("GetNextPK('" + table + "') returned no row");
    const OdbcValue& value = statement.getValue(0);
    if (const double* d = std::get_if<double>(&value))
        return static_cast<int>(*d);
    if (const std::string* s = std::get_if<std::string>(&value))
        return StrToInt(Trim(*s));
    throw Exception("GetNextPK('" + table + "') returned NULL");
}

std::optional<int> existingSource(OdbcConnection& connection, const std::string& dsn)
{
    OdbcStatement statement(connection);
    statement.execute("SELECT SrcID FROM DtsSource WHERE SrcSysName = " + sqlText(dsn) + " ORDER BY SrcID");
    if (!statement.fetch())
        return std::nullopt;
    const OdbcValue& value = statement.getValue(0);
    if (const std::string* s = std::get_if<std::string>(&value))
        return StrToInt(Trim(*s));
    return std::nullopt;
}

void writeSourceTable(OdbcConnection& source, const RegistrationPlan& plan)
{
    source.execute("DROP TABLE IF EXISTS " + plan.table);
    std::string create = "CREATE TABLE " + plan.table + " (";
    for (const auto& name : plan.inputNames)
        create += name + " DOUBLE PRECISION, ";
    create += plan.className + " INTEGER)";
    source.execute(create);

    const size_t batch = 500;
    for (size_t first = 0; first < plan.inputs.size(); first += batch) {
        std::string insert = "INSERT INTO " + plan.table + " VALUES ";
        for (size_t i = first; i < plan.inputs.size() && i < first + batch; ++i) {
            insert += i == first ? "(" : ", (";
            for (const auto& v : plan.inputs[i])
                insert += (v ? sqlNumber(*v) : std::string("NULL")) + ", ";
            insert += plan.classes[i] ? std::to_string(*plan.classes[i]) : std::string("NULL");
            insert += ")";
        }
        source.execute(insert);
    }
}

}  // namespace

std::string sqlNumber(double value)
{
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, end);
}

std::string sqlText(const std::string& text)
{
    return "'" + AnsiReplaceStr(text, "'", "''") + "'";
}

RegistrationPlan planRegistration(const RegistrationRequest& request)
{
    const CsvTable& csv = request.csv;
    RegistrationPlan plan;
    plan.table = identifier(request.table, "The table name");
    plan.taskName = Utf8ToCp1251(request.taskName);
    int classIndex = -1;
    std::set<std::string> seen;
    for (size_t j = 0; j < csv.header.size(); ++j) {
        std::string name = identifier(csv.header[j], request.csvName + ", line 1: the column name");
        if (!seen.insert(AnsiUpperCase(name)).second)
            throw Exception(request.csvName + ", line 1: the column name '" + csv.header[j] + "' appears twice");
        if (csv.header[j] == request.classColumn)
            classIndex = static_cast<int>(j);
        else
            plan.inputNames.push_back(name);
    }
    if (classIndex < 0)
        throw Exception(request.csvName + ": there is no class column '" + request.classColumn + "' in the header");
    plan.className = identifier(request.classColumn, "The class column");
    if (plan.inputNames.empty())
        throw Exception(request.csvName + ": there is no input column besides the class column");
    if (csv.rows.empty())
        throw Exception(request.csvName + ": there are no data rows");

    for (size_t i = 0; i < csv.rows.size(); ++i) {
        const std::string line = request.csvName + ", line " + std::to_string(csv.lineNumbers[i]);
        std::vector<std::optional<double>> inputs;
        for (size_t j = 0; j < csv.header.size(); ++j) {
            const std::string where = line + ", column " + csv.header[j];
            if (static_cast<int>(j) == classIndex)
                plan.classes.push_back(classCode(csv.rows[i][j], where));
            else
                inputs.push_back(number(csv.rows[i][j], where));
        }
        plan.inputs.push_back(std::move(inputs));
    }

    if (request.objectValues.size() != plan.inputNames.size())
        throw Exception("The object to classify has " + std::to_string(request.objectValues.size()) +
                        " values, but the data has " + std::to_string(plan.inputNames.size()) + " input columns");
    for (size_t j = 0; j < request.objectValues.size(); ++j) {
        auto v = number(request.objectValues[j], "The object's value " + std::to_string(j + 1));
        if (!v)
            throw Exception("The object's value " + std::to_string(j + 1) + " is empty; every input needs a value");
        plan.object.push_back(*v);
    }
    return plan;
}

int registerTask(const RegistrationPlan& plan, const std::string& repositoryDsn, const std::string& sourceDsn)
{
    OdbcConnection source;
    source.open(OdbcConnection::connectionString(sourceDsn, "", ""));
    OdbcConnection repository;
    repository.open(OdbcConnection::connectionString(repositoryDsn, "", ""));

    source.beginTransaction();
    writeSourceTable(source, plan);

    repository.beginTransaction();
    int sourceId;
    if (auto existing = existingSource(repository, sourceDsn)) {
        sourceId = *existing;
    } else {
        sourceId = newKey(repository, "DtsSource");
        repository.execute("INSERT INTO DtsSource (SrcID, SrcName, SrcSysName) VALUES (" + std::to_string(sourceId) +
                           ", " + sqlText(sourceDsn) + ", " + sqlText(sourceDsn) + ")");
    }
    const int datasetId = newKey(repository, "Dataset");
    repository.execute("INSERT INTO Dataset (DtsID, DtsName, SrcID, DtsSql) VALUES (" + std::to_string(datasetId) + ", " +
                       sqlText(plan.table) + ", " + std::to_string(sourceId) + ", " +
                       sqlText("SELECT * FROM " + plan.table) + ")");
    auto column = [&](const std::string& name, int type) {
        const int id = newKey(repository, "DtsColumn");
        repository.execute("INSERT INTO DtsColumn (ColID, DtsID, ColSysName, ColType) VALUES (" + std::to_string(id) +
                           ", " + std::to_string(datasetId) + ", " + sqlText(name) + ", " + std::to_string(type) + ")");
        return id;
    };
    std::vector<int> inputIds;
    for (const auto& name : plan.inputNames)
        inputIds.push_back(column(name, 1));
    const int classId = column(plan.className, 3);

    const int taskId = newKey(repository, "Task");
    repository.execute("INSERT INTO Task (TskID, TskName, DtsID) VALUES (" + std::to_string(taskId) + ", " +
                       sqlText(plan.taskName) + ", " + std::to_string(datasetId) + ")");
    auto parameter = [&](int columnId, const char* name, const std::string& value) {
        repository.execute("INSERT INTO TskAlgParam (ParID, TskID, ColID, ParSysName, ParValue2) VALUES (" +
                           std::to_string(newKey(repository, "TskAlgParam")) + ", " + std::to_string(taskId) + ", " +
                           std::to_string(columnId) + ", '" + name + "', " + value + ")");
    };
    // The program reads ParValue2 with the regional decimal separator, as the host writes it.
    for (size_t j = 0; j < inputIds.size(); ++j)
        parameter(inputIds[j], "in_col", sqlText(FloatToStr(plan.object[j])));
    parameter(classId, "out_col", "NULL");

    source.commit();
    repository.commit();
    return taskId;
}
