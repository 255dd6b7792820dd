#include "repository/SampleRead.h"

#include <memory>

#include "core/Utils.h"
#include "repository/SampleSql.h"
#include "repository/odbc/OdbcStatement.h"
#include "runtime/Runtime.h"

namespace {

// The first cell of a one-row answer, as text.
std::string firstCell(OdbcConnection& connection, const std::string& sql)
{
    OdbcStatement statement(connection);
    statement.execute(sql);
    const std::string* text = statement.fetch() ? std::get_if<std::string>(&statement.getValue(0)) : nullptr;
    if (!text)
        throw SystemException(SampleSql::sampleLoadPlace, "Источник не дал текстового ответа на запрос: " + sql);
    return *text;
}

}  // namespace

SampleRead::SampleRead(OdbcConnection& source, unsigned long timeLimit) : source(source), timeLimit(timeLimit)
{
    const std::string name = source.dbmsName();
    database = name == "SQLite" ? Database::SQLite : name == "MariaDB" ? Database::MariaDB : Database::Other;
    start();
    open = true;
}

SampleRead::~SampleRead()
{
    if (!open)
        return;
    try {
        end();
    } catch (const Exception&) {
        // The connection closes with the run; an open transaction is rolled back then.
    }
}

void SampleRead::start()
{
    if (database == Database::SQLite) {
        queryOnlyBefore = firstCell(source, "PRAGMA query_only") == "1";
        if (!queryOnlyBefore)
            source.execute("PRAGMA query_only = 1");
        return;
    }
    // For the session, as the driver reads a statement that starts with SET STATEMENT as
    // one without rows.
    if (database == Database::MariaDB && timeLimit > 0) {
        const std::string before = firstCell(source, "SELECT CAST(@@SESSION.max_statement_time AS CHAR)");
        if (!parseWhole<double>(before))
            throw SystemException(SampleSql::sampleLoadPlace, "Источник дал max_statement_time не числом: " + before);
        statementTimeBefore = before;
        source.execute("SET SESSION max_statement_time = " + std::to_string(timeLimit));
    }
    source.beginTransaction();
    try {
        // Before the transaction's first query, which is where the servers take it.
        source.execute("SET TRANSACTION READ ONLY");
    } catch (const Exception&) {
        source.rollback();
        throw;
    }
}

void SampleRead::end()
{
    open = false;
    deadline.reset();
    if (database == Database::SQLite) {
        if (!queryOnlyBefore)
            source.execute("PRAGMA query_only = 0");
        return;
    }
    source.rollback();
    if (!statementTimeBefore.empty())
        source.execute("SET SESSION max_statement_time = " + statementTimeBefore);
}

CResultSetPtr SampleRead::execute(const std::string& statement)
{
    started = std::chrono::steady_clock::now();
    auto run = std::make_unique<OdbcStatement>(source);
    if (timeLimit > 0 && database == Database::SQLite)
        deadline.emplace(started + std::chrono::seconds(timeLimit));
    else if (timeLimit > 0 && database == Database::Other)
        run->setQueryTimeout(timeLimit);
    try {
        run->execute(statement);
    } catch (const Exception& e) {
        rethrow(e);
    }
    return std::make_shared<CResultSet>(std::move(run), true);
}

void SampleRead::load(CResultSet& rows)
{
    try {
        rows.load();
    } catch (const Exception& e) {
        rethrow(e);
    }
}

void SampleRead::rethrow(const Exception& error) const
{
    const bool overTime = timeLimit > 0 && std::chrono::steady_clock::now() - started >= std::chrono::seconds(timeLimit);
    if (!overTime)
        throw;
    throw SystemException(SampleSql::sampleLoadPlace,
                          "Запрос выборки превысил предел времени DODOZ_QUERY_TIMEOUT (" + std::to_string(timeLimit) +
                              " с) и отменён",
                          error.text());
}
