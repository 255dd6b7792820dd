#include "repository/RepApi.h"

#include <utility>

#include "core/Utils.h"
#include "repository/ReadSnapshot.h"
#include "repository/SampleRead.h"
#include "repository/SampleSql.h"
#include "runtime/Runtime.h"

namespace {

using SampleSql::sampleLoadPlace;

// A pack value as SQL: NULL when absent or null, else its text, quoted with quotes
// inside doubled when asked. An unquoted column takes only integers: any other text
// there would become part of the statement.
std::string rendered(const DataPack& pack, const char* name, bool quoted, const char* place)
{
    const ObjectPtr& value = pack.find(name);
    if (!value)
        return "NULL";
    if (!quoted && value->getType() != TYPE_INTEGER)
        throw SystemException(place, std::string("Колонка ") + name + " принимает только целые числа: " +
                                         Object::toText(value));
    std::string text = value->toString();
    return quoted ? "'" + Utils::replaceAll(text, "'", "''") + "'" : text;
}

}  // namespace

RepApi::RepApi(int taskKey, Unbound) : taskId(taskKey)
{
    try {
        connection = CDriver::connect(repositoryDataSource, "", "");
        driver = std::make_unique<CDriver>(connection);
    } catch (const SystemException&) {
        throw;
    } catch (const Exception& e) {
        throw SystemException("RepApi(int)", std::string("Ошибка соединения с репозиторием системы ") + repositoryDataSource,
                              e.text());
    }
}

RepApi::RepApi(int taskKey) : RepApi(taskKey, Unbound{})
{
    setTask(taskKey);
}

RepApi::~RepApi()
{
    try {
        close();
    } catch (const Exception&) {
        // The connections end with the process; nothing is committed by a failed close.
    }
}

void RepApi::setTask(int key)
{
    taskId = key;
    datasetId = getTask()->getInt("DtsID");
    sourceId = getDataset()->getInt("SrcID");
    openSource(TaskState::Source::of(*getSource(sourceId)));
}

void RepApi::openSource(const TaskState::Source& source)
{
    if (sourceConnection && sourceConnection->isOpen())
        sourceConnection->close();
    sourceConnection = connectSource(sourceId, source);
    sourceDriver = std::make_unique<CDriver>(sourceConnection);
    openedSource = source;
}

// The source opened when the task was bound is the one the task named then; the sample
// comes from the one the snapshot names, the same connection when that is no other.
void RepApi::useSnapshotSource()
{
    sourceId = used->sourceId;
    if (!sourceConnection || !sourceConnection->isOpen() || used->source != openedSource)
        openSource(used->source);
}

DataPackPtr RepApi::readRow(const std::string& sql, const char* place, const std::string& emptyMessage)
{
    CResultSetPtr result = driver->executeQuery(sql);
    result->load();
    if (result->getRowCount() == 0)
        throw SystemException(place, emptyMessage);
    return result->getCurrentPack();
}

DataPackPtr RepApi::getTask()
{
    std::string key = IntToStr(taskId);
    return readRow("SELECT * FROM Task where TskID = " + key, "RepApi.getTask()",
                   " Результат запроса из Task с ключом TskID = " + key + " пуст.");
}

DataPackPtr RepApi::getDataset()
{
    return getDataset(datasetId);
}

DataPackPtr RepApi::getDataset(int dtsId)
{
    std::string key = IntToStr(dtsId);
    return readRow("SELECT * FROM Dataset where DtsID = " + key, "RepApi.getDataset()",
                   " Результат запроса из Dataset с ключом DtsID = " + key + " пуст.");
}

DataPackPtr RepApi::getSource(int srcId)
{
    std::string key = IntToStr(srcId);
    return readRow("SELECT * FROM DtsSource where SrcID = " + key, "RepApi.getSource(int)",
                   " Результат запроса из DtsSource с ключом SrcID = " + key + " пуст.");
}

ConnectionPtr RepApi::getSourceConnect(int srcId)
{
    return connectSource(srcId, TaskState::Source::of(*getSource(srcId)));
}

ConnectionPtr RepApi::connectSource(int srcId, const TaskState::Source& source)
{
    const CString systemName(source.name);
    // The driver manager would take an empty name for its default data source.
    if (systemName.getValue().empty())
        throw SystemException("RepApi.getSourceConnect(int)", "Не задано имя источника данных: SrcID = " + IntToStr(srcId));
    try {
        return CDriver::connect(systemName, CString(source.user), CString(source.password));
    } catch (const SystemException&) {
        throw;
    } catch (const Exception& e) {
        throw SystemException("RepApi.getSourceConnect(int)", "Ошибка соединения с источником " + systemName.getValue(),
                              e.text());
    }
}

CResultSetPtr RepApi::getTaskColumns(const CString& name)
{
    std::string task = IntToStr(taskId);
    std::string sql = std::string("SELECT * FROM TskAlgParam, DtsColumn ")
                      + " where TskAlgParam.ColID = DtsColumn.ColID AND TskAlgParam.TskID = " + task
                      + " AND (ParSysName = '" + name.getValue() + "')";
    CResultSetPtr result = driver->executeQuery(sql);
    result->load();
    if (result->getRowCount() == 0)
        throw SystemException("RepApi.getTaskColumns(CString)",
                              " Результат запроса из TskAlgParam, DtsColumn с ключами ParSysName = " + name.getValue()
                                  + ", TskID = " + task + " пуст.");
    return result;
}

CResultSetPtr RepApi::getTaskInColumns()
{
    CResultSetPtr result = getTaskColumns("in_col");
    if (intInputsAsReal) {
        int column = result->getColumnIndex("ColType");
        for (int coded : {2, 3, 4}) {
            CInteger old(coded);
            result->replaceValue(column, &old, std::make_shared<CInteger>(1));
        }
    }
    return result;
}

CResultSetPtr RepApi::getTaskOutColumns()
{
    return getTaskColumns("out_col");
}

VectorPtr RepApi::getTaskInValues()
{
    CResultSetPtr rows = std::exchange(objectRows, nullptr);
    if (!rows)
        rows = getTaskInColumns();
    return objectValues(*rows, sampleInputIds);
}

VectorPtr RepApi::objectValues(const DataModel& inputRows, const std::vector<ObjectPtr>& columnIds)
{
    const char* const place = "RepApi.getTaskInValues()";
    const int idColumn = inputRows.getColumnIndex("ColID");
    const int typeColumn = inputRows.getColumnIndex("ColType");
    const int valueColumn = inputRows.getColumnIndex("ParValue2");
    std::vector<int> order;
    if (columnIds.empty()) {
        for (int i = 0; i < inputRows.getRowCount(); ++i)
            order.push_back(i);
    } else {
        if (static_cast<int>(columnIds.size()) != inputRows.getRowCount())
            throw SystemException(place, "Число значений объекта не равно числу входных колонок выборки: " +
                                             IntToStr(inputRows.getRowCount()) + "<>" +
                                             IntToStr(static_cast<int>(columnIds.size())));
        for (const ObjectPtr& id : columnIds) {
            int found = -1;
            for (int i = 0; i < inputRows.getRowCount(); ++i) {
                if (Object::compare(inputRows.getValue(i, idColumn), id) != 0)
                    continue;
                if (found >= 0)
                    throw SystemException(place, "Значение объекта задано дважды: ColID = " + Object::toText(id));
                found = i;
            }
            if (found < 0)
                throw SystemException(place,
                                      "Не найдено значение объекта для входной колонки: ColID = " + Object::toText(id));
            order.push_back(found);
        }
    }
    auto values = std::make_shared<Vector>();
    for (int i : order) {
        int type = getObjectType(inputRows.getValue(i, typeColumn));
        const ObjectPtr& value = inputRows.getValue(i, valueColumn);
        // A missing value would reach the model as a missing input it cannot classify.
        if (!value)
            throw SystemException(place,
                                  "Не задано значение входной колонки: " + Object::toText(inputRows.getValue(i, "ColSysName")));
        values->add(Object::convert(value, type));
    }
    return values;
}

int RepApi::getObjectType(const ObjectPtr& colType)
{
    if (!colType || colType->getType() != TYPE_INTEGER)
        throw SystemException("RepApi.getObjectType(int)",
                              "Неизвестный логический тип колонки: " + Object::toText(colType));
    return getObjectType(static_cast<const CInteger&>(*colType).getValue());
}

int RepApi::getObjectType(int colType)
{
    switch (colType) {
    case 1:
        return TYPE_DOUBLE;
    case 2:
    case 3:
    case 4:
        return TYPE_INTEGER;
    case 5:
    case 6:
    case 7:
        return TYPE_DATE;
    case 10:
        return TYPE_STRING;
    default:
        throw SystemException("RepApi.getObjectType(int)", "Неизвестный логический тип колонки: " + IntToStr(colType));
    }
}

// The parameter rows as a whole, before they are used: the reads that follow join them
// with DtsColumn and would silently drop a row whose column is not described there, let
// the class column in as an input (the answer leaking into the question), or give a
// column two values of the object. No parameter row of a name at all is left to those
// reads, which say so.
void RepApi::checkTaskColumns()
{
    const std::string task = IntToStr(taskId);
    CResultSetPtr parameters = driver->executeQuery(
        "SELECT ColID, ParSysName FROM TskAlgParam WHERE TskID = " + task +
        " AND ParSysName IN ('in_col', 'out_col') ORDER BY ColID");
    parameters->load();
    // SELECT *, as every read of the host's tables: its DtsColumn need not say which
    // dataset a column belongs to, and where it does not, that check is left out.
    CResultSetPtr described = driver->executeQuery(
        "SELECT * FROM DtsColumn WHERE ColID IN (SELECT ColID FROM TskAlgParam WHERE TskID = " + task + ")");
    described->load();
    const int idColumn = described->getColumnIndex("ColID");
    const CString datasetName("DtsID");
    const int datasetColumn = described->getColumnNames()->indexOf(&datasetName);

    // How often the column is described, and whether a description names another dataset
    // (a description without a dataset is taken as the task's own).
    auto count = [&](const DataModel& rows, const ObjectPtr& id, bool& foreign) {
        int n = 0;
        for (int i = 0; i < rows.getRowCount(); ++i) {
            if (Object::compare(rows.getValue(i, idColumn), id) != 0)
                continue;
            ++n;
            const ObjectPtr* dataset = datasetColumn >= 0 ? &rows.getValue(i, datasetColumn) : nullptr;
            foreign = foreign || (dataset && *dataset && Object::toText(*dataset) != IntToStr(datasetId));
        }
        return n;
    };
    auto fail = [](const std::string& rule, const ObjectPtr& id) {
        throw SystemException(sampleLoadPlace, rule + ": ColID = " + Object::toText(id));
    };
    std::vector<ObjectPtr> inputs;
    std::vector<ObjectPtr> outputs;
    for (int i = 0; i < parameters->getRowCount(); ++i) {
        const ObjectPtr& id = parameters->getValue(i, 0);
        bool foreign = false;
        const int descriptions = id ? count(*described, id, foreign) : 0;
        if (descriptions == 0)
            fail("Колонка параметра задачи не описана в DtsColumn", id);
        if (descriptions > 1)
            fail("Колонка параметра задачи описана в DtsColumn более одного раза", id);
        if (foreign)
            fail("Колонка параметра задачи принадлежит другому набору данных", id);
        (Object::toText(parameters->getValue(i, 1)) == "out_col" ? outputs : inputs).push_back(id);
    }
    if (outputs.size() > 1)
        fail("В задаче больше одной колонки классов (out_col)", outputs[1]);
    for (size_t j = 0; j < inputs.size(); ++j) {
        if (!outputs.empty() && Object::compare(inputs[j], outputs[0]) == 0)
            fail("Колонка классов не может быть входной колонкой", inputs[j]);
        if (j > 0 && Object::compare(inputs[j], inputs[j - 1]) == 0)
            fail("Входная колонка задана в задаче дважды", inputs[j]);
    }
}

DatasetPtr RepApi::getTaskColumnsData()
{
    // The dataset, its source, the columns and the object's values come from one state
    // of the task: a host that saves the task again meanwhile must not pair the columns
    // or the SQL of one version with the values or the source of another. The snapshot
    // ends before the source is read, so the repository is not held while the sample
    // loads.
    CResultSetPtr columns;
    CResultSetPtr inputRows;
    {
        ReadSnapshot snapshot(*connection, sampleLoadPlace);
        used = TaskState::read(*this);
        datasetId = used->datasetId;
        checkTaskColumns();
        if (Trim(used->dtsSql).empty())
            throw SystemException(sampleLoadPlace, "Не задан запрос набора данных: DtsID = " + IntToStr(datasetId));
        columns = getTaskInColumns();
        columns->addModel(*getTaskOutColumns());
        inputRows = getTaskInColumns();
        snapshot.end();
    }
    const int k = columns->getRowCount();
    std::string statement = SampleSql::statement(*columns, used->dtsSql);

    VectorPtr logicalTypes = columns->getColumnValues("ColType");
    VectorPtr declared = columns->getColumnValues("ColType");
    for (int j = 0; j < k; ++j)
        declared->set(j, std::make_shared<CInteger>(getObjectType(declared->elementAt(j))));

    bool hasOutput = columns->findRow(columns->getColumnIndex("ParSysName"), std::make_shared<CString>("out_col").get()) >= 0;
    const int inputCount = hasOutput ? k - 1 : k;
    auto columnName = [&](int j) { return Object::toText(columns->getValue(j, "ColSysName")); };
    for (int j = 0; j < inputCount; ++j) {
        if (logicalTypes->getInt(j) == 10)
            throw SystemException(sampleLoadPlace, "Входная колонка должна иметь числовой тип: " + columnName(j));
    }
    if (hasOutput) {
        int classType = logicalTypes->getInt(k - 1);
        if (classType < 2 || classType > 4)
            throw SystemException(sampleLoadPlace, "Колонка классов должна иметь целочисленный тип: " + columnName(k - 1));
    }

    useSnapshotSource();
    SampleRead read(*sourceConnection, queryTimeout);
    CResultSetPtr sample = read.execute(statement);
    // The statement names the task's columns, one each; a result of others is no sample.
    if (sample->getColumnCount() != k)
        throw SystemException(sampleLoadPlace, "Количество колонок результата не равно числу колонок задачи: " +
                                                   IntToStr(sample->getColumnCount()) + "<>" + IntToStr(k) +
                                                   " \nSql = " + statement);
    sample->setTypes(declared);
    read.load(*sample);
    read.end();
    const int n = sample->getRowCount();
    if (n == 0)
        throw SystemException(sampleLoadPlace, " Результат запроса данных из таблицы источника пуст. \nSql = " + statement);

    auto dataset = std::make_shared<Dataset>(sample);
    dataset->setColumnTypes(logicalTypes);
    auto mask = Vector::repeat(nullptr, n);
    if (hasOutput) {
        dataset->setInColumns(Vector::range(0, k - 2));
        dataset->setOutValues(sample->getColumnValues(k - 1));
        // A row without a class belongs to no class: it takes part in no statistics and
        // is never scored.
        auto noClass = std::make_shared<CInteger>(1);
        for (int row = 0; row < n; ++row) {
            if (!sample->getValue(row, k - 1))
                mask->set(row, noClass);
        }
    } else {
        dataset->setInColumns(Vector::range(0, k - 1));
    }
    dataset->setMask(mask);

    sampleInputIds.clear();
    for (int j = 0; j < inputCount; ++j)
        sampleInputIds.push_back(columns->getValue(j, "ColID"));
    objectRows = inputRows;
    return dataset;
}

std::string RepApi::resultStatement(const DataPack& pack, int taskId)
{
    std::string sql = "INSERT INTO TskResult (ResID, ResSysName, ResOrder, ResValue1, ResValue2, ResValue3, ColID, "
                      "ResTableName, TskID) VALUES( GetNextPK('TskResult'), ";
    const std::pair<const char*, bool> columns[] = {{"ResSysName", true}, {"ResOrder", false}, {"ResValue1", true},
                                                    {"ResValue2", true},  {"ResValue3", true}, {"ColID", false},
                                                    {"ResTableName", true}};
    for (const auto& [name, quoted] : columns)
        sql += rendered(pack, name, quoted, "RepApi.saveResult(DataPack*)") + ", ";
    return sql + IntToStr(taskId) + ");";
}

std::string RepApi::logStatement(const DataPack& pack, int taskId)
{
    return "INSERT INTO TskLog (LogID, LogType, LogMessage, TskID) VALUES( GetNextPK('TskLog'), "
           + rendered(pack, "LogType", false, "RepApi.saveLog(DataPack*)") + ", "
           + rendered(pack, "LogMessage", true, "RepApi.saveLog(DataPack*)") + ", " + IntToStr(taskId)
           + ");";
}

// A trigger or a rule may turn a write into nothing without an error; a set with a row
// missing, or an old row left beside the new ones, would reach the host as complete.
void RepApi::saveResult(const DataPack& pack)
{
    const long rows = driver->executeUpdate(resultStatement(pack, taskId));
    if (rows != 1)
        throw SystemException("RepApi.saveResult(DataPack*)",
                              "Строка результата не добавлена в TskResult (добавлено строк: " + std::to_string(rows) +
                                  "), ResSysName = " + Object::toText(pack.find("ResSysName")) +
                                  ", TskID = " + IntToStr(taskId));
    written.addResult(pack);
}

void RepApi::saveLog(const DataPack& pack)
{
    const long rows = driver->executeUpdate(logStatement(pack, taskId));
    if (rows != 1)
        throw SystemException("RepApi.saveLog(DataPack*)", "Строка журнала не добавлена в TskLog (добавлено строк: " +
                                                               std::to_string(rows) + "), TskID = " + IntToStr(taskId));
    written.addLog(pack);
}

long RepApi::countTaskRows(const std::string& table)
{
    CResultSetPtr result = driver->executeQuery("SELECT COUNT(*) FROM " + table + " where TskID = " + IntToStr(taskId));
    result->load();
    if (result->getRowCount() != 1 || result->getColumnCount() != 1)
        throw SystemException("RepApi.deleteResults()", "Не удалось подсчитать строки задачи в " + table);
    return StrToInt(Object::toText(result->getValue(0, 0)));
}

void RepApi::deleteResults()
{
    deleteTaskRows({"TskResult", "TskLog"});
}

void RepApi::deleteLogs()
{
    deleteTaskRows({"TskLog"});
}

void RepApi::deleteTaskRows(std::initializer_list<const char*> tables)
{
    const std::string key = IntToStr(taskId);
    for (const char* table : tables)
        driver->executeCommand(std::string("DELETE FROM ") + table + " where TskID = " + key);
    for (const char* table : tables) {
        const long left = countTaskRows(table);
        if (left != 0)
            throw SystemException("RepApi.deleteResults()", std::string("Строки задачи не удалены из ") + table +
                                                                " (осталось строк: " + std::to_string(left) +
                                                                "), TskID = " + key);
    }
    written.clear();
}

void RepApi::checkSavedRows()
{
    written.check(*driver, taskId);
}

void RepApi::checkTaskUnchanged()
{
    const char* const place = "RepApi.checkTaskUnchanged()";
    if (!used)
        throw SystemException(place, "Задача не считана: TskID = " + IntToStr(taskId));
    const std::string changed = used->changedPart(TaskState::read(*this));
    if (!changed.empty())
        throw SystemException(place, "Задача изменена во время анализа: " + changed +
                                         "; результаты не записаны, TskID = " + IntToStr(taskId));
}

// Both databases take a write lock here: PostgreSQL on the row, held to the end of the
// transaction; SQLite on the whole database. Being a write, it also makes a transaction
// that starts with it wait for SQLite's lock instead of failing at once when it would
// otherwise have to turn a read lock into a write lock.
void RepApi::lockTask()
{
    driver->executeCommand("UPDATE Task SET TskID = TskID WHERE TskID = " + IntToStr(taskId));
}

void RepApi::beginTrans()
{
    driver->beginTrans();
}

void RepApi::commitTrans()
{
    driver->commitTrans();
}

void RepApi::close()
{
    if (sourceConnection)
        sourceConnection->close();
    if (connection)
        connection->close();
}
