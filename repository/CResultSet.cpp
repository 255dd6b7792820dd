#include "repository/CResultSet.h"

#include "runtime/Runtime.h"

CResultSet::CResultSet(std::unique_ptr<OdbcStatement> dataSet, bool trimStrings)
    : DataModel(TYPE_RESULTSET), dataSet(std::move(dataSet)), trimStrings(trimStrings)
{
    const OdbcStatement& statement = current();
    for (int i = 0; i < statement.getColumnCount(); ++i)
        getColumnNames()->add(std::make_shared<CString>(AnsiUpperCase(statement.getColumn(i).name)));
}

const OdbcStatement& CResultSet::current() const
{
    if (!dataSet || !dataSet->isOpen())
        throw Exception("The result set has no open data set");
    return *dataSet;
}

FieldType CResultSet::getFieldType(int index) const
{
    return Field::typeOf(current().getColumn(index).sqlType);
}

CResultSet& CResultSet::load()
{
    current();
    while (dataSet->fetch())
        addRow(readRow());
    if (getRowCount() > 0)
        setCurrentRow(0);
    dataSet.reset();
    return *this;
}

VectorPtr CResultSet::readRow() const
{
    const int count = current().getColumnCount();
    auto row = std::make_shared<Vector>(count);
    for (int i = 0; i < count; ++i)
        row->add(types ? readTypedField(i) : readField(i));
    return row;
}

std::string CResultSet::text(const OdbcValue& value, const OdbcColumn& column, bool trim) const
{
    std::string result = Field::asText(value, column);
    return trim ? Trim(result) : result;
}

ObjectPtr CResultSet::readField(int index) const
{
    const OdbcStatement& statement = current();
    const OdbcValue& value = statement.getValue(index);
    if (std::holds_alternative<std::monostate>(value))
        return nullptr;
    const OdbcColumn& column = statement.getColumn(index);
    switch (Field::typeOf(column.sqlType)) {
    case FieldType::String:
        return std::make_shared<CString>(text(value, column, trimStrings));
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::Word:
        return std::make_shared<CInteger>(Field::asInteger(value, column));
    case FieldType::Boolean:
        return std::make_shared<CBoolean>(Field::asBoolean(value, column));
    case FieldType::Float:
        return std::make_shared<CDouble>(Field::asFloat(value, column));
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::DateTime:
        return std::make_shared<CDate>(Field::asDateTime(value, column));
    default:
        return std::make_shared<CString>(text(value, column, false));
    }
}

ObjectPtr CResultSet::readTypedField(int index) const
{
    const OdbcStatement& statement = current();
    const OdbcValue& value = statement.getValue(index);
    if (std::holds_alternative<std::monostate>(value))
        return nullptr;
    const OdbcColumn& column = statement.getColumn(index);
    switch (types->getInt(index)) {
    case TYPE_INTEGER:
        return std::make_shared<CInteger>(Field::asInteger(value, column));
    case TYPE_DOUBLE:
        return std::make_shared<CDouble>(Field::asFloat(value, column));
    case TYPE_BOOLEAN:
        return std::make_shared<CBoolean>(Field::asBoolean(value, column));
    case TYPE_STRING:
        return std::make_shared<CString>(text(value, column, trimStrings));
    case TYPE_DATE:
        return std::make_shared<CDate>(Field::asDateTime(value, column));
    default:
        return std::make_shared<CString>(text(value, column, false));
    }
}
