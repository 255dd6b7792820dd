#include "repository/SampleLoader.h"

#include "core/Utils.h"
#include "repository/ColumnTypes.h"
#include "repository/SampleRead.h"
#include "repository/SampleSql.h"
#include "runtime/Runtime.h"

using SampleSql::sampleLoadPlace;

SampleLoader::SampleLoader(DataModelPtr columns, const std::string& dtsSql)
    : columns(std::move(columns)), statement(SampleSql::statement(*this->columns, dtsSql))
{
    logicalTypes = this->columns->getColumnValues("ColType");
    declared = this->columns->getColumnValues("ColType");
    for (int j = 0; j < declared->size(); ++j)
        declared->set(j, std::make_shared<CInteger>(ColumnTypes::valueType(declared->elementAt(j))));
    checkTypes();
}

void SampleLoader::checkTypes() const
{
    const int classColumn = columns->getRowCount() - 1;
    auto columnName = [&](int j) { return Object::toText(columns->getValue(j, "ColSysName")); };
    for (int j = 0; j < classColumn; ++j) {
        if (logicalTypes->getInt(j) == ColumnTypes::text)
            throw SystemException(sampleLoadPlace, "Входная колонка должна иметь числовой тип: " + columnName(j));
    }
    if (!ColumnTypes::coded(logicalTypes->getInt(classColumn)))
        throw SystemException(sampleLoadPlace,
                              "Колонка классов должна иметь целочисленный тип: " + columnName(classColumn));
}

DatasetPtr SampleLoader::read(OdbcConnection& source, unsigned long timeLimit) const
{
    const int k = columns->getRowCount();
    SampleRead read(source, timeLimit);
    CResultSetPtr sample = read.execute(statement);
    // The statement names the task's columns, one each; a result of others is no sample.
    if (sample->getColumnCount() != k)
        throw SystemException(sampleLoadPlace, "Количество колонок результата не равно числу колонок задачи: " +
                                                   IntToStr(sample->getColumnCount()) + "<>" + IntToStr(k) +
                                                   " \nSql = " + statement);
    sample->setTypes(declared);
    read.load(*sample);
    read.end();
    if (sample->getRowCount() == 0)
        throw SystemException(sampleLoadPlace, " Результат запроса данных из таблицы источника пуст. \nSql = " + statement);
    return datasetOf(sample);
}

DatasetPtr SampleLoader::datasetOf(const CResultSetPtr& sample) const
{
    const int k = sample->getColumnCount();
    const int n = sample->getRowCount();
    auto dataset = std::make_shared<Dataset>(sample);
    dataset->setColumnTypes(logicalTypes);
    dataset->setInColumns(Vector::range(0, k - 2));
    dataset->setOutValues(sample->getColumnValues(k - 1));
    auto mask = Vector::repeat(nullptr, n);
    auto noClass = std::make_shared<CInteger>(1);
    for (int row = 0; row < n; ++row) {
        if (!sample->getValue(row, k - 1))
            mask->set(row, noClass);
    }
    dataset->setMask(mask);
    return dataset;
}
