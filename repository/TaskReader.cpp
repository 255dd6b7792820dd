#include "repository/TaskReader.h"

#include "core/Utils.h"
#include "repository/ColumnTypes.h"
#include "repository/ReadSnapshot.h"
#include "repository/RepositorySql.h"
#include "repository/SampleSql.h"
#include "runtime/Runtime.h"

namespace {

using SampleSql::sampleLoadPlace;

[[noreturn]] void refuse(const std::string& rule, const ObjectPtr& id)
{
    throw SystemException(sampleLoadPlace, rule + ": ColID = " + Object::toText(id));
}

// The DtsColumn rows of the task's columns, as far as a parameter needs them: how often
// a column is described, and whether a description names another dataset (one without
// a dataset is taken as the task's own: the host's DtsColumn need not say).
class Descriptions {
public:
    Descriptions(CResultSetPtr rows, int datasetId) : rows(std::move(rows)), dataset(IntToStr(datasetId))
    {
        idColumn = this->rows->getColumnIndex("ColID");
        const CString datasetName("DtsID");
        datasetColumn = this->rows->getColumnNames()->indexOf(&datasetName);
    }

    // A parameter's column is described once, in the task's dataset.
    void check(const ObjectPtr& id) const
    {
        int count = 0;
        bool foreign = false;
        for (int i = 0; id && i < rows->getRowCount(); ++i) {
            if (Object::compare(rows->getValue(i, idColumn), id) != 0)
                continue;
            ++count;
            const ObjectPtr* named = datasetColumn >= 0 ? &rows->getValue(i, datasetColumn) : nullptr;
            foreign = foreign || (named && *named && Object::toText(*named) != dataset);
        }
        if (count == 0)
            refuse("Колонка параметра задачи не описана в DtsColumn", id);
        if (count > 1)
            refuse("Колонка параметра задачи описана в DtsColumn более одного раза", id);
        if (foreign)
            refuse("Колонка параметра задачи принадлежит другому набору данных", id);
    }

private:
    CResultSetPtr rows;
    std::string dataset;
    int idColumn = -1;
    int datasetColumn = -1;
};

// One class column at most, never an input too; each input once (the ids come sorted).
void checkRoles(const std::vector<ObjectPtr>& inputs, const std::vector<ObjectPtr>& outputs)
{
    if (outputs.size() > 1)
        refuse("В задаче больше одной колонки классов (out_col)", outputs[1]);
    for (size_t j = 0; j < inputs.size(); ++j) {
        if (!outputs.empty() && Object::compare(inputs[j], outputs[0]) == 0)
            refuse("Колонка классов не может быть входной колонкой", inputs[j]);
        if (j > 0 && Object::compare(inputs[j], inputs[j - 1]) == 0)
            refuse("Входная колонка задана в задаче дважды", inputs[j]);
    }
}

}  // namespace

DataModelPtr TaskDefinition::inputRows(bool intInputsAsReal) const
{
    DataModelPtr rows = inputs->cloneModel();
    if (intInputsAsReal)
        ColumnTypes::readCodedAsReal(*rows);
    return rows;
}

DataModelPtr TaskDefinition::sampleColumns(bool intInputsAsReal) const
{
    DataModelPtr rows = inputRows(intInputsAsReal);
    rows->addModel(*classColumn);
    return rows;
}

std::vector<ObjectPtr> TaskDefinition::inputIds() const
{
    std::vector<ObjectPtr> ids;
    for (int i = 0; i < inputs->getRowCount(); ++i)
        ids.push_back(inputs->getValue(i, "ColID"));
    return ids;
}

DataPackPtr TaskReader::readRow(const std::string& sql, const char* place, const std::string& emptyMessage)
{
    CResultSetPtr result = driver.executeQuery(sql);
    result->load();
    if (result->getRowCount() == 0)
        throw SystemException(place, emptyMessage);
    return result->getCurrentPack();
}

DataPackPtr TaskReader::task()
{
    return readRow(RepositorySql::taskRow(taskId), "RepApi.getTask()",
                   " Результат запроса из Task с ключом TskID = " + IntToStr(taskId) + " пуст.");
}

DataPackPtr TaskReader::dataset(int datasetId)
{
    return readRow(RepositorySql::datasetRow(datasetId), "RepApi.getDataset()",
                   " Результат запроса из Dataset с ключом DtsID = " + IntToStr(datasetId) + " пуст.");
}

DataPackPtr TaskReader::source(int sourceId)
{
    return readRow(RepositorySql::sourceRow(sourceId), "RepApi.getSource(int)",
                   " Результат запроса из DtsSource с ключом SrcID = " + IntToStr(sourceId) + " пуст.");
}

CResultSetPtr TaskReader::columns(const std::string& parameterName)
{
    CResultSetPtr result = driver.executeQuery(RepositorySql::taskColumns(taskId, parameterName));
    result->load();
    if (result->getRowCount() == 0)
        throw SystemException("RepApi.getTaskColumns(CString)",
                              " Результат запроса из TskAlgParam, DtsColumn с ключами ParSysName = " + parameterName +
                                  ", TskID = " + IntToStr(taskId) + " пуст.");
    return result;
}

// The reads that follow join the parameter rows with DtsColumn and would silently drop a
// row whose column is not described there, let the class column in as an input (the
// answer leaking into the question), or give a column two values of the object. No
// parameter row of a name at all is left to those reads, which say so.
void TaskReader::checkParameters(int datasetId)
{
    CResultSetPtr parameters = driver.executeQuery(RepositorySql::parameterIds(taskId));
    parameters->load();
    CResultSetPtr described = driver.executeQuery(RepositorySql::describedColumns(taskId));
    described->load();
    const Descriptions descriptions(described, datasetId);
    std::vector<ObjectPtr> inputs;
    std::vector<ObjectPtr> outputs;
    for (int i = 0; i < parameters->getRowCount(); ++i) {
        const ObjectPtr& id = parameters->getValue(i, 0);
        descriptions.check(id);
        (Object::toText(parameters->getValue(i, 1)) == "out_col" ? outputs : inputs).push_back(id);
    }
    checkRoles(inputs, outputs);
}

// The snapshot ends before the source is read, so the repository is not held while the
// sample loads.
TaskDefinition TaskReader::readDefinition()
{
    ReadSnapshot snapshot(*driver.getConnection(), sampleLoadPlace);
    TaskDefinition definition{TaskState::read(*this), nullptr, nullptr};
    checkParameters(definition.state.datasetId);
    if (Trim(definition.state.dtsSql).empty())
        throw SystemException(sampleLoadPlace,
                              "Не задан запрос набора данных: DtsID = " + IntToStr(definition.state.datasetId));
    definition.inputs = columns("in_col");
    definition.classColumn = columns("out_col");
    snapshot.end();
    return definition;
}
