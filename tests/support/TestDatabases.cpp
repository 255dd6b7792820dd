#include "tests/support/TestDatabases.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include <odbcinst.h>

#include "repository/odbc/OdbcStatement.h"
#include "runtime/Runtime.h"
#include "tests/support/Process.h"

namespace testsupport {

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

// The cells of the statement's rows.
std::vector<Row> cellsOf(OdbcStatement& statement)
{
    std::vector<Row> rows;
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
    return rows;
}

// The backend whose DSN files this process uses, once a test pointed it at them.
std::optional<Backend> processBackend;

std::string connectionItem(const std::string& key, const std::string& value)
{
    if (value.find_first_of(";{}") != std::string::npos)
        return key + "={" + value + "};";
    return key + "=" + value + ";";
}

}  // namespace

TestDatabases::TestDatabases(Backend backend, bool hostSchema) : backend_(backend)
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

TestDatabases::~TestDatabases()
{
    if (backend_ != Backend::SQLite) {
        try {
            makeDsn({"drop", dir().string()}, dir());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
        }
    }
}

std::vector<std::string> TestDatabases::odbcEnvironment() const
{
    return {"ODBCSYSINI=" + dir().string(), "ODBCINI=" + (dir() / "odbc.ini").string()};
}

std::string TestDatabases::connectionString(const std::string& dsn) const
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

std::unique_ptr<OdbcConnection> TestDatabases::open(const std::string& dsn) const
{
    auto connection = std::make_unique<OdbcConnection>();
    connection->open(connectionString(dsn));
    return connection;
}

std::unique_ptr<OdbcConnection> TestDatabases::connectRepository() const
{
    return open(repositoryDsn);
}

std::unique_ptr<OdbcConnection> TestDatabases::connectSource() const
{
    return open(sourceDsn);
}

void TestDatabases::run(const std::string& dsn, const std::vector<std::string>& statements, bool unchecked) const
{
    auto connection = open(dsn);
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

void TestDatabases::repository(const std::vector<std::string>& statements) const
{
    run(repositoryDsn, statements, false);
}

void TestDatabases::source(const std::vector<std::string>& statements) const
{
    run(sourceDsn, statements, false);
}

void TestDatabases::repositoryUnchecked(const std::vector<std::string>& statements) const
{
    run(repositoryDsn, statements, true);
}

std::vector<Row> TestDatabases::rows(const std::string& dsn, const std::string& sql) const
{
    auto connection = open(dsn);
    OdbcStatement statement(*connection);
    try {
        statement.execute(sql);
        return cellsOf(statement);
    } catch (const Exception& e) {
        throw std::runtime_error(Cp1251ToUtf8(sql + ": " + e.text()));
    }
}

std::vector<Row> TestDatabases::queryRepository(const std::string& sql) const
{
    return rows(repositoryDsn, sql);
}

std::vector<Row> TestDatabases::querySource(const std::string& sql) const
{
    return rows(sourceDsn, sql);
}

Cell TestDatabases::repositoryValue(const std::string& sql) const
{
    const std::vector<Row> found = queryRepository(sql);
    if (found.size() != 1 || found[0].size() != 1)
        throw std::runtime_error(Cp1251ToUtf8(sql) + ": " + std::to_string(found.size()) + " rows, not one cell");
    return found[0][0];
}

bool TestDatabases::repositoryHasColumn(const std::string& table, const std::string& column) const
{
    auto connection = open(repositoryDsn);
    OdbcStatement statement(*connection);
    statement.execute("SELECT * FROM " + table + " WHERE 1 = 0");
    for (int i = 0; i < statement.getColumnCount(); ++i) {
        if (AnsiCompareText(statement.getColumn(i).name, column) == 0)
            return true;
    }
    return false;
}

std::optional<std::string> backendConflict(Backend backend)
{
    if (!processBackend || *processBackend == backend)
        return std::nullopt;
    return "this process used " + backendName(*processBackend) + " already; unixODBC keeps its DSN lookups, so "
           + backendName(backend) + " runs in a process of its own (ctest does that; by hand use --gtest_filter='*"
           + backendName(backend) + "*')";
}

void TestDatabases::useDsnFiles()
{
    if (auto conflict = backendConflict(backend_))
        throw std::runtime_error(*conflict);
    processBackend = backend_;
    sysIni_.emplace("ODBCSYSINI", dir().string());
    ini_.emplace("ODBCINI", (dir() / "odbc.ini").string());
    // unixODBC keeps what it read from the DSN files for 20 seconds, under the files'
    // plain names: another test's databases must not be taken for these. Writing
    // through the installer API empties that cache.
    changeDsn(repositoryDsn, {"Description=Repository of the analysis system"});
}

std::unique_ptr<OdbcConnection> TestDatabases::connect(const std::string& dsn) const
{
    auto connection = std::make_unique<OdbcConnection>();
    connection->open(OdbcConnection::connectionString(dsn, "", ""));
    return connection;
}

void TestDatabases::run(const std::string& dsn, const std::vector<std::string>& statements) const
{
    auto connection = connect(dsn);
    for (const std::string& sql : statements)
        connection->execute(sql);
}

std::vector<std::vector<std::string>> TestDatabases::query(const std::string& dsn, const std::string& sql) const
{
    auto connection = connect(dsn);
    OdbcStatement statement(*connection);
    statement.execute(sql);
    std::vector<std::vector<std::string>> texts;
    for (const Row& row : cellsOf(statement)) {
        std::vector<std::string>& text = texts.emplace_back();
        for (const Cell& cell : row)
            text.push_back(cell.value_or("NULL"));
    }
    return texts;
}

void TestDatabases::changeDsn(const std::string& dsn, const std::vector<std::string>& settings) const
{
    const std::string path = (dir() / "odbc.ini").string();
    for (const std::string& setting : settings) {
        const size_t at = setting.find('=');
        const std::string key = setting.substr(0, at);
        const std::string value = at == std::string::npos ? "" : setting.substr(at + 1);
        if (!SQLWritePrivateProfileString(dsn.c_str(), key.c_str(), value.c_str(), path.c_str()))
            throw std::runtime_error("cannot write " + setting + " into " + path);
    }
}

void TestDatabases::removeDsn(const std::string& dsn) const
{
    const std::string path = (dir() / "odbc.ini").string();
    if (!SQLWritePrivateProfileString(dsn.c_str(), nullptr, nullptr, path.c_str()))
        throw std::runtime_error("cannot remove " + dsn + " from " + path);
}

std::vector<std::string> TestDatabases::unreachable() const
{
    switch (backend_) {
    case Backend::SQLite:
        return {"Database=" + (dir() / "gone.db").string()};
    case Backend::PostgreSQL:
        return {"Port=1"};
    case Backend::MariaDB:
        return {"SOCKET=" + (dir() / "gone.sock").string()};
    }
    return {};
}

}  // namespace testsupport
