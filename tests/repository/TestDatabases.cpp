#include "tests/repository/TestDatabases.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <sys/wait.h>
#include <unistd.h>

#include <odbcinst.h>

#include "repository/odbc/OdbcStatement.h"

namespace testsupport {

namespace {

std::optional<std::string> environment(const char* name)
{
    const char* value = std::getenv(name);
    if (!value)
        return std::nullopt;
    return std::string(value);
}

void restore(const char* name, const std::optional<std::string>& value)
{
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
}

std::string shellQuoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string readAll(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs scripts/make-dsn with the given arguments; its output goes to a log in dir.
void makeDsn(const std::string& dir, const std::string& arguments)
{
    std::string log = dir + "/make-dsn.log";
    std::string command = shellQuoted(std::string(DODOZ_SOURCE_DIR) + "/scripts/make-dsn") + " " + arguments + " >"
                          + shellQuoted(log) + " 2>&1";
    int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("scripts/make-dsn " + arguments + " failed:\n" + readAll(log));
}

std::optional<Backend> processBackend;

}  // namespace

std::optional<std::string> backendConflict(Backend backend)
{
    if (!processBackend || *processBackend == backend)
        return std::nullopt;
    return "this process used " + backendName(*processBackend) + " already; unixODBC keeps its DSN lookups, so "
           + backendName(backend) + " runs in a process of its own (ctest does that; by hand use --gtest_filter='*"
           + backendName(backend) + "*')";
}

TestDatabases::TestDatabases(Backend backend) : backend_(backend)
{
    if (auto conflict = backendConflict(backend))
        throw std::runtime_error(*conflict);
    processBackend = backend;
    if (backend == Backend::SQLite)
        makeDsn(dir_, "sqlite " + shellQuoted(dir_) + " --ext " + shellQuoted(DODOZ_GETNEXTPK));
    else if (backend == Backend::PostgreSQL)
        makeDsn(dir_, "postgresql " + shellQuoted(dir_));
    else
        makeDsn(dir_, "mariadb " + shellQuoted(dir_));
    savedSysIni = environment("ODBCSYSINI");
    savedIni = environment("ODBCINI");
    setenv("ODBCSYSINI", dir_.c_str(), 1);
    setenv("ODBCINI", (dir_ + "/odbc.ini").c_str(), 1);
    // unixODBC keeps what it read from the DSN files for 20 seconds, under the files'
    // plain names: another test's databases must not be taken for these. Writing
    // through the installer API empties that cache.
    changeDsn(repositoryDsn, {"Description=Repository of the analysis system"});
}

TestDatabases::~TestDatabases()
{
    try {
        if (backend_ != Backend::SQLite)
            makeDsn(dir_, "drop " + shellQuoted(dir_));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    restore("ODBCSYSINI", savedSysIni);
    restore("ODBCINI", savedIni);
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
    std::vector<std::vector<std::string>> rows;
    while (statement.fetch()) {
        std::vector<std::string> row;
        for (int i = 0; i < statement.getColumnCount(); ++i) {
            const OdbcValue& value = statement.getValue(i);
            if (std::holds_alternative<std::monostate>(value)) {
                row.push_back("NULL");
            } else if (const double* number = std::get_if<double>(&value)) {
                char buffer[32];
                std::snprintf(buffer, sizeof buffer, "%.15g", *number);
                row.push_back(buffer);
            } else {
                row.push_back(std::get<std::string>(value));
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

void TestDatabases::changeDsn(const std::string& dsn, const std::vector<std::string>& settings) const
{
    std::string path = dir_ + "/odbc.ini";
    for (const std::string& setting : settings) {
        size_t at = setting.find('=');
        std::string key = setting.substr(0, at);
        std::string value = at == std::string::npos ? "" : setting.substr(at + 1);
        if (!SQLWritePrivateProfileString(dsn.c_str(), key.c_str(), value.c_str(), path.c_str()))
            throw std::runtime_error("cannot write " + setting + " into " + path);
    }
}

std::vector<std::string> TestDatabases::unreachable() const
{
    switch (backend_) {
    case Backend::SQLite:
        return {"Database=" + dir_ + "/gone.db"};
    case Backend::PostgreSQL:
        return {"Port=1"};
    case Backend::MariaDB:
        return {"SOCKET=" + dir_ + "/gone.sock"};
    }
    return {};
}

void TestDatabases::removeDsn(const std::string& dsn) const
{
    std::string path = dir_ + "/odbc.ini";
    if (!SQLWritePrivateProfileString(dsn.c_str(), nullptr, nullptr, path.c_str()))
        throw std::runtime_error("cannot remove " + dsn + " from " + path);
}

}  // namespace testsupport
