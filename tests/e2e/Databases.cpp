#include "tests/e2e/Databases.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "repository/odbc/OdbcStatement.h"
#include "runtime/Runtime.h"

namespace e2e {

namespace {

void makeDsn(const std::vector<std::string>& arguments, const std::filesystem::path& dir)
{
    std::vector<std::string> args{std::string(DODOZ_SOURCE_DIR) + "/scripts/make-dsn"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    ProcessResult r = Process::run(args, {}, dir, std::chrono::minutes(2));
    if (r.exitCode != 0) {
        std::string command;
        for (const std::string& a : args)
            command += a + " ";
        throw std::runtime_error(command + "failed: " + r.describe());
    }
}

// The sections of an ini file: section -> key -> value.
std::map<std::string, std::map<std::string, std::string>> readIni(const std::filesystem::path& path)
{
    std::map<std::string, std::map<std::string, std::string>> sections;
    std::istringstream in(readFile(path));
    std::string line, section;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        if (line[0] == '[') {
            section = line.substr(1, line.find(']') - 1);
            sections[section];
            continue;
        }
        const size_t at = line.find('=');
        if (at != std::string::npos && !section.empty())
            sections[section][line.substr(0, at)] = line.substr(at + 1);
    }
    return sections;
}

std::string connectionItem(const std::string& key, const std::string& value)
{
    if (value.find_first_of(";{}") != std::string::npos)
        return key + "={" + value + "};";
    return key + "=" + value + ";";
}

}  // namespace

Databases::Databases(Backend backend, bool hostSchema) : backend_(backend), dir_("dodoz-e2e-db")
{
    std::vector<std::string> arguments{"", dir().string()};
    arguments[0] = backend == Backend::SQLite ? "sqlite" : backend == Backend::PostgreSQL ? "postgresql" : "mariadb";
    if (backend == Backend::SQLite)
        arguments.insert(arguments.end(), {"--ext", DODOZ_GETNEXTPK});
    if (hostSchema)
        arguments.push_back("--repository-schema=" + std::string(DODOZ_SOURCE_DIR) + "/tests/host-schema/" + arguments[0] + ".sql");
    makeDsn(arguments, dir());
    dsnSettings_ = readIni(dir() / "odbc.ini");
}

Databases::~Databases()
{
    if (backend_ != Backend::SQLite) {
        try {
            makeDsn({"drop", dir().string()}, dir());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
        }
    }
}

std::vector<std::string> Databases::odbcEnvironment() const
{
    return {"ODBCSYSINI=" + dir().string(), "ODBCINI=" + (dir() / "odbc.ini").string()};
}

std::string Databases::connectionString(const std::string& dsn) const
{
    auto section = dsnSettings_.find(dsn);
    if (section == dsnSettings_.end())
        throw std::runtime_error("no DSN " + dsn + " in " + (dir() / "odbc.ini").string());
    std::string text = connectionItem("Driver", section->second.at("Driver"));
    for (const auto& [key, value] : section->second) {
        if (key != "Driver" && key != "Description")
            text += connectionItem(key, value);
    }
    return text;
}

std::unique_ptr<OdbcConnection> Databases::connect(const std::string& dsn) const
{
    auto connection = std::make_unique<OdbcConnection>();
    connection->open(connectionString(dsn));
    return connection;
}

std::unique_ptr<OdbcConnection> Databases::connectRepository() const
{
    return connect(repositoryDsn);
}

std::unique_ptr<OdbcConnection> Databases::connectSource() const
{
    return connect(sourceDsn);
}

void Databases::run(const std::string& dsn, const std::vector<std::string>& statements, bool unchecked) const
{
    auto connection = connect(dsn);
    if (unchecked) {
        switch (backend_) {
        case Backend::SQLite:
            connection->execute("PRAGMA foreign_keys = OFF");
            break;
        case Backend::PostgreSQL:
            connection->execute("SET session_replication_role = replica");
            break;
        case Backend::MariaDB:
            connection->execute("SET foreign_key_checks = 0");
            break;
        }
    }
    for (const std::string& sql : statements) {
        try {
            connection->execute(sql);
        } catch (const Exception& e) {
            throw std::runtime_error(Cp1251ToUtf8(sql + ": " + e.text()));
        }
    }
}

void Databases::repository(const std::vector<std::string>& statements) const
{
    run(repositoryDsn, statements, false);
}

void Databases::source(const std::vector<std::string>& statements) const
{
    run(sourceDsn, statements, false);
}

void Databases::repositoryUnchecked(const std::vector<std::string>& statements) const
{
    run(repositoryDsn, statements, true);
}

std::vector<Row> Databases::query(const std::string& dsn, const std::string& sql) const
{
    auto connection = connect(dsn);
    OdbcStatement statement(*connection);
    std::vector<Row> rows;
    try {
        statement.execute(sql);
        while (statement.fetch()) {
            Row row;
            for (int i = 0; i < statement.getColumnCount(); ++i) {
                const OdbcValue& value = statement.getValue(i);
                if (const double* number = std::get_if<double>(&value)) {
                    char buffer[32];
                    std::snprintf(buffer, sizeof buffer, "%.15g", *number);
                    row.push_back(std::string(buffer));
                } else if (const std::string* text = std::get_if<std::string>(&value)) {
                    row.push_back(*text);
                } else {
                    row.push_back(std::nullopt);
                }
            }
            rows.push_back(std::move(row));
        }
    } catch (const Exception& e) {
        throw std::runtime_error(Cp1251ToUtf8(sql + ": " + e.text()));
    }
    return rows;
}

std::vector<Row> Databases::queryRepository(const std::string& sql) const
{
    return query(repositoryDsn, sql);
}

std::vector<Row> Databases::querySource(const std::string& sql) const
{
    return query(sourceDsn, sql);
}

Cell Databases::repositoryValue(const std::string& sql) const
{
    std::vector<Row> rows = queryRepository(sql);
    if (rows.size() != 1 || rows[0].size() != 1)
        throw std::runtime_error(Cp1251ToUtf8(sql) + ": " + std::to_string(rows.size()) + " rows, not one cell");
    return rows[0][0];
}

bool Databases::repositoryHasColumn(const std::string& table, const std::string& column) const
{
    auto connection = connect(repositoryDsn);
    OdbcStatement statement(*connection);
    statement.execute("SELECT * FROM " + table + " WHERE 1 = 0");
    for (int i = 0; i < statement.getColumnCount(); ++i) {
        if (AnsiCompareText(statement.getColumn(i).name, column) == 0)
            return true;
    }
    return false;
}

}  // namespace e2e
