#include "tools/register/Registration.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <memory>
#include <set>

#include <unistd.h>

#include "repository/odbc/OdbcConnection.h"
#include "repository/odbc/OdbcStatement.h"
#include "runtime/Runtime.h"
#include "tools/common/RepositoryColumns.h"

namespace {

// Texts of the databases are cp1251 here, as the ODBC layer hands them over; the
// caller gets UTF-8.

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

std::string cellText(const OdbcValue& value)
{
    if (const double* d = std::get_if<double>(&value)) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.15g", *d);
        return buffer;
    }
    if (const std::string* s = std::get_if<std::string>(&value))
        return Trim(*s);
    return "NULL";
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

// The longest text a column of the repository holds (its declared length), 0 when the
// driver does not say.
size_t columnLength(OdbcConnection& repository, const std::string& table, const std::string& column)
{
    OdbcStatement statement(repository);
    statement.execute("SELECT " + column + " FROM " + table + " WHERE 1 = 0");
    return statement.getColumnCount() == 1 ? statement.getColumn(0).size : 0;
}

bool tableExists(OdbcConnection& source, const std::string& table)
{
    try {
        OdbcStatement statement(source);
        statement.execute("SELECT * FROM " + table + " WHERE 1 = 0");
        return true;
    } catch (const Exception&) {
        return false;
    }
}

bool mentionsTable(const std::string& sql, const std::string& table)
{
    const std::string text = AnsiUpperCase(sql);
    const std::string name = AnsiUpperCase(table);
    const size_t from = text.find("FROM");
    if (from == std::string::npos)
        return false;
    auto isNameByte = [](char c) {
        const unsigned char u = static_cast<unsigned char>(c);
        return std::isalnum(u) || u == '_' || u >= 0x80;
    };
    for (size_t at = text.find(name, from); at != std::string::npos; at = text.find(name, at + 1)) {
        const bool startsWord = at == 0 || !isNameByte(text[at - 1]);
        const bool endsWord = at + name.size() == text.size() || !isNameByte(text[at + name.size()]);
        if (startsWord && endsWord)
            return true;
    }
    return false;
}

// The tasks whose dataset selects from the table of the source.
std::vector<std::string> tasksReading(OdbcConnection& repository, const std::string& sourceDsn,
                                      const std::string& table)
{
    OdbcStatement statement(repository);
    statement.execute("SELECT Dataset.DtsSql, Task.TskID FROM Dataset JOIN DtsSource ON Dataset.SrcID = "
                      "DtsSource.SrcID LEFT JOIN Task ON Task.DtsID = Dataset.DtsID WHERE DtsSource.SrcSysName = " +
                      sqlText(sourceDsn) + " ORDER BY Task.TskID");
    std::vector<std::string> tasks;
    while (statement.fetch()) {
        if (!mentionsTable(cellText(statement.getValue(0)), table))
            continue;
        const std::string task = cellText(statement.getValue(1));
        tasks.push_back(task == "NULL" ? "a dataset without a task" : task);
    }
    return tasks;
}

using RowTexts = std::vector<std::string>;

std::vector<RowTexts> planRows(const RegistrationPlan& plan)
{
    std::vector<RowTexts> rows;
    for (size_t i = 0; i < plan.inputs.size(); ++i) {
        RowTexts row;
        for (const auto& v : plan.inputs[i])
            row.push_back(v ? cellText(*v) : "NULL");
        row.push_back(plan.classes[i] ? std::to_string(*plan.classes[i]) : "NULL");
        rows.push_back(std::move(row));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Whether the existing table holds exactly the plan's columns and rows (in any order),
// so that registering another task on it changes nothing.
bool holdsThePlan(OdbcConnection& source, const RegistrationPlan& plan)
{
    try {
        OdbcStatement statement(source);
        statement.execute("SELECT * FROM " + plan.table);
        std::vector<std::string> names = plan.inputNames;
        names.push_back(plan.className);
        if (statement.getColumnCount() != static_cast<int>(names.size()))
            return false;
        for (size_t j = 0; j < names.size(); ++j) {
            if (AnsiCompareText(statement.getColumn(static_cast<int>(j)).name, names[j]) != 0)
                return false;
        }
        std::vector<RowTexts> rows;
        while (statement.fetch()) {
            RowTexts row;
            for (size_t j = 0; j < names.size(); ++j)
                row.push_back(cellText(statement.getValue(static_cast<int>(j))));
            rows.push_back(std::move(row));
            if (rows.size() > plan.inputs.size())
                return false;
        }
        std::sort(rows.begin(), rows.end());
        return rows == planRows(plan);
    } catch (const Exception&) {
        return false;
    }
}

// The source table, built under a name of its own and put in place as the last write, so
// that a registration refused or failed on the way leaves the table there was: MariaDB
// commits a DROP or CREATE TABLE at once, and dropping first lost the table other tasks
// read when the new one could not be made. Until it is in place the new table is dropped
// again on the way out (on SQLite and PostgreSQL the rollback takes it back as well).
class StagedTable {
public:
    StagedTable(OdbcConnection& source, const std::string& table)
        : source(source), table(table), staging(scratchName("dodoz_new_")), aside(scratchName("dodoz_old_")),
          atOnce(commitsDefinitionsAtOnce(source))
    {
    }
    StagedTable(const StagedTable&) = delete;
    StagedTable& operator=(const StagedTable&) = delete;
    ~StagedTable() { discard(); }

    // Takes back the unfinished table, once; what is left when that fails, for the
    // caller's error message ("" when nothing is).
    std::string discard() noexcept
    {
        if (settled)
            return "";
        settled = true;
        try {
            if (source.inTransaction())
                source.rollback();
            source.execute("DROP TABLE IF EXISTS " + staging);
            return "";
        } catch (const Exception& e) {
            return "; the unfinished table " + staging + " is left in the source database (" + e.text() + ")";
        }
    }

    void fill(const RegistrationPlan& plan)
    {
        std::string create = "CREATE TABLE " + staging + " (";
        for (const auto& name : plan.inputNames)
            create += name + " DOUBLE PRECISION, ";
        create += plan.className + " INTEGER)";
        source.execute(create);
        const size_t batch = 500;
        for (size_t first = 0; first < plan.inputs.size(); first += batch) {
            std::string insert = "INSERT INTO " + staging + " VALUES ";
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

    // MariaDB renames both tables in one atomic statement; elsewhere the DROP and the
    // rename are part of the transaction. The old rows set aside on MariaDB are dropped
    // after the swap; a failure there leaves them, which the notes say.
    void putInPlace(bool replacing, std::vector<std::string>& notes)
    {
        if (!atOnce) {
            if (replacing)
                source.execute("DROP TABLE " + table);
            source.execute("ALTER TABLE " + staging + " RENAME TO " + table);
            settled = true;
            return;
        }
        source.execute("RENAME TABLE " + (replacing ? table + " TO " + aside + ", " : std::string()) + staging +
                       " TO " + table);
        settled = true;
        if (!replacing)
            return;
        try {
            source.execute("DROP TABLE " + aside);
        } catch (const Exception& e) {
            notes.push_back(Cp1251ToUtf8("the old rows of " + table + " are left in the table " + aside +
                                         " (it could not be dropped: " + e.text() + ")"));
        }
    }

private:
    static bool commitsDefinitionsAtOnce(OdbcConnection& connection)
    {
        const std::string product = connection.dbmsName();
        return product.find("MariaDB") != std::string::npos || product.find("MySQL") != std::string::npos;
    }

    // Two registrations at once take different names; a name still taken (a leftover)
    // makes CREATE or RENAME fail, which changes nothing.
    static std::string scratchName(const std::string& prefix)
    {
        return prefix + std::to_string(::getpid());
    }

    OdbcConnection& source;
    const std::string table;
    const std::string staging;
    const std::string aside;
    const bool atOnce;
    bool settled = false;
};

size_t characters(const std::string& cp1251)
{
    return cp1251.size();
}

std::string joined(const std::vector<std::string>& items)
{
    std::string text;
    for (const auto& item : items)
        text += (text.empty() ? "" : ", ") + item;
    return text;
}

// Whether the source table is to be written: false when it holds the plan already.
// Raises Exception when writing it would replace data without --replace.
bool checkSourceTable(OdbcConnection& source, OdbcConnection& repository, RegistrationPlan& plan,
                      const std::string& sourceDsn)
{
    if (!tableExists(source, plan.table))
        return true;
    const std::vector<std::string> readers = tasksReading(repository, sourceDsn, plan.table);
    const std::string readBy = readers.empty() ? "" : std::string(" (read by task") + (readers.size() > 1 ? "s " : " ") + joined(readers) + ")";
    if (plan.replace) {
        plan.notes.push_back(Cp1251ToUtf8("the table " + plan.table + " of " + sourceDsn + readBy + " is replaced"));
        return true;
    }
    if (holdsThePlan(source, plan)) {
        plan.notes.push_back(Cp1251ToUtf8("the table " + plan.table + " of " + sourceDsn +
                                          " holds these rows already; the new task reads it as it is"));
        return false;
    }
    throw Exception("the table " + plan.table + " exists in " + sourceDsn + readBy +
                    " and holds other data; give another --table NAME, or --replace to replace it" +
                    (readers.empty() ? "" : " (those tasks then read the new data)"));
}

void checkTaskName(OdbcConnection& repository, const RegistrationPlan& plan)
{
    const size_t longest = columnLength(repository, "Task", "TskName");
    if (longest > 0 && characters(plan.taskName) > longest)
        throw Exception("the task name has " + std::to_string(characters(plan.taskName)) +
                        " characters, but Task.TskName of the repository holds at most " + std::to_string(longest) +
                        "; give a shorter --task-name" +
                        (plan.classLabels.empty() ? "" : " (the class labels are part of the name)"));
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

namespace {

void connect(OdbcConnection& connection, const std::string& dsn, const char* what)
{
    try {
        connection.open(OdbcConnection::connectionString(dsn, "", ""));
    } catch (const Exception& e) {
        throw Exception(std::string("cannot connect to the ") + what + " " + dsn + ": " + e.text() +
                        " (ODBCINI and ODBCSYSINI name the ini files that define it; --repository and "
                        "--source choose other data sources)");
    }
}

// The repository's rows of one registration, written only with the columns its tables
// have where the column is not one the program reads.
class RepositoryWriter {
public:
    explicit RepositoryWriter(OdbcConnection& repository) : repository(repository), columns(repository) {}

    bool hasTaskName() { return columns.has("Task", "TskName"); }

    int source(const std::string& dsn)
    {
        if (auto existing = existingSource(repository, dsn))
            return *existing;
        const int id = newKey(repository, "DtsSource");
        write("DtsSource", {{"SrcID", std::to_string(id)}, {"SrcName", sqlText(dsn), true}, {"SrcSysName", sqlText(dsn)}});
        return id;
    }

    int dataset(const std::string& table, int sourceId)
    {
        const int id = newKey(repository, "Dataset");
        write("Dataset", {{"DtsID", std::to_string(id)}, {"DtsName", sqlText(table), true},
                          {"SrcID", std::to_string(sourceId)}, {"DtsSql", sqlText("SELECT * FROM " + table)}});
        return id;
    }

    int column(int datasetId, const std::string& name, int type)
    {
        const int id = newKey(repository, "DtsColumn");
        write("DtsColumn", {{"ColID", std::to_string(id)}, {"DtsID", std::to_string(datasetId), true},
                            {"ColSysName", sqlText(name)}, {"ColType", std::to_string(type)}});
        return id;
    }

    int task(const std::string& name, int datasetId)
    {
        const int id = newKey(repository, "Task");
        write("Task", {{"TskID", std::to_string(id)}, {"TskName", sqlText(name), true}, {"DtsID", std::to_string(datasetId)}});
        return id;
    }

    // A host's TskAlgParam need have no key of its own; where it has one, GetNextPK gives it.
    void parameter(int taskId, int columnId, const char* name, const std::string& value)
    {
        const bool keyed = columns.has("TskAlgParam", "ParID");
        write("TskAlgParam", {{"ParID", keyed ? std::to_string(newKey(repository, "TskAlgParam")) : "", true},
                              {"TskID", std::to_string(taskId)}, {"ColID", std::to_string(columnId)},
                              {"ParSysName", sqlText(name)}, {"ParValue2", value}});
    }

private:
    void write(const std::string& table, const std::vector<RepositoryColumns::Value>& values)
    {
        repository.execute(columns.insert(table, values, "dodoz-register"));
    }

    OdbcConnection& repository;
    RepositoryColumns columns;
};

int writeTask(RepositoryWriter& writer, const RegistrationPlan& plan, const std::string& sourceDsn)
{
    const int datasetId = writer.dataset(plan.table, writer.source(sourceDsn));
    std::vector<int> inputIds;
    for (const auto& name : plan.inputNames)
        inputIds.push_back(writer.column(datasetId, name, 1));
    const int classId = writer.column(datasetId, plan.className, 3);
    const int taskId = writer.task(plan.taskName, datasetId);
    // The program reads ParValue2 with the regional decimal separator, as the host writes it.
    for (size_t j = 0; j < inputIds.size(); ++j)
        writer.parameter(taskId, inputIds[j], "in_col", sqlText(FloatToStr(plan.object[j])));
    writer.parameter(taskId, classId, "out_col", "NULL");
    return taskId;
}

}  // namespace

namespace {

// The repository and the source database; one connection when one database is behind
// both names, since a second connection would wait for the first one's write lock
// (SQLite) until its timeout.
struct Databases {
    OdbcConnection repository;
    std::unique_ptr<OdbcConnection> separateSource;

    Databases(const std::string& repositoryDsn, const std::string& sourceDsn)
    {
        connect(repository, repositoryDsn, "repository");
        if (sourceDsn != repositoryDsn) {
            separateSource = std::make_unique<OdbcConnection>();
            connect(*separateSource, sourceDsn, "source database");
        }
    }

    OdbcConnection& source() { return separateSource ? *separateSource : repository; }
};

void checkRepository(RepositoryWriter& writer, OdbcConnection& repository, RegistrationPlan& plan)
{
    if (writer.hasTaskName())
        checkTaskName(repository, plan);
    else if (!plan.classLabels.empty())
        plan.notes.push_back("the repository's Task has no TskName, where the class labels are kept: "
                             "dodoz-results shows the class codes only");
}

// Both databases in transactions that commit only when every statement went through.
int writeAll(Databases& db, RepositoryWriter& writer, RegistrationPlan& plan, const std::string& sourceDsn,
             bool writeTable)
{
    OdbcConnection& source = db.source();
    const bool replacing = writeTable && tableExists(source, plan.table);
    std::optional<StagedTable> table;
    if (writeTable)
        table.emplace(source, plan.table);
    try {
        if (db.separateSource)
            source.beginTransaction();
        db.repository.beginTransaction();
        if (table)
            table->fill(plan);
        const int taskId = writeTask(writer, plan, sourceDsn);
        if (table)
            table->putInPlace(replacing, plan.notes);
        if (db.separateSource)
            source.commit();
        db.repository.commit();
        return taskId;
    } catch (const Exception& e) {
        throw Exception(e.text() + (table ? table->discard() : std::string()));
    }
}

}  // namespace

int registerTask(RegistrationPlan& plan, const std::string& repositoryDsn, const std::string& sourceDsn)
{
    try {
        Databases db(repositoryDsn, sourceDsn);
        RepositoryWriter writer(db.repository);
        checkRepository(writer, db.repository, plan);
        const bool writeTable = checkSourceTable(db.source(), db.repository, plan, sourceDsn);
        return writeAll(db, writer, plan, sourceDsn, writeTable);
    } catch (const Exception& e) {
        throw Exception(Cp1251ToUtf8(e.text()));
    }
}
