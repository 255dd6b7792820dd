#include "repository/odbc/Field.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "repository/odbc/OdbcCall.h"
#include "runtime/Runtime.h"

namespace Field {

FieldType typeOf(OdbcSmallInt sqlType)
{
    switch (sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
        return FieldType::String;
    case SQL_SMALLINT:
    case SQL_TINYINT:
        return FieldType::SmallInt;
    case SQL_INTEGER:
        return FieldType::Integer;
    case SQL_BIT:
        return FieldType::Boolean;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return FieldType::Float;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        return FieldType::Decimal;
    case SQL_TYPE_DATE:
    case SQL_DATE:
        return FieldType::Date;
    case SQL_TYPE_TIME:
    case SQL_TIME:
        return FieldType::Time;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
        return FieldType::DateTime;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        return FieldType::Bytes;
    case SQL_LONGVARCHAR:
        return FieldType::Memo;
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
        return FieldType::WideString;
    case SQL_BIGINT:
        return FieldType::LargeInt;
    case SQL_UNKNOWN_TYPE:
        return FieldType::Unknown;
    default:
        return FieldType::Other;
    }
}

namespace {

// How the driver writes the values of a column as text.
enum class Form { Integral, Decimal, Characters, Dates, Floating };

Form formOf(const OdbcColumn& column)
{
    switch (typeOf(column.sqlType)) {
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::Word:
    case FieldType::LargeInt:
    case FieldType::Boolean:
        return Form::Integral;
    case FieldType::Decimal:
    case FieldType::Currency:
        return Form::Decimal;
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::DateTime:
        return Form::Dates;
    case FieldType::Float:
        return Form::Floating;
    default:
        return Form::Characters;
    }
}

std::string numberText(double value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

[[noreturn]] void refuse(const OdbcColumn& column, const std::string& shown, const char* kind)
{
    throw Exception("Field " + column.name + ": '" + shown + "' cannot be read as " + kind);
}

[[noreturn]] void refuse(const OdbcColumn& column, const OdbcValue& value, const char* kind)
{
    if (const double* number = std::get_if<double>(&value))
        refuse(column, numberText(*number), kind);
    refuse(column, std::get<std::string>(value), kind);
}

// The whole text must be the number.
std::optional<int64_t> integerOf(const std::string& text)
{
    return parseWhole<int64_t>(text);
}

// A decimal text "[-]digits[.digits]" whose fraction is zero.
std::optional<int64_t> integralDecimalOf(const std::string& text)
{
    size_t point = text.find('.');
    if (point == std::string::npos)
        return integerOf(text);
    if (point + 1 == text.size() || text.find_first_not_of('0', point + 1) != std::string::npos)
        return std::nullopt;
    std::string whole = text.substr(0, point);
    if (whole.empty() || whole == "-")
        return std::nullopt;
    return integerOf(whole);
}

std::optional<double> floatOf(const std::string& text)
{
    std::optional<double> result = parseWhole<double>(text);
    if (result && !std::isfinite(*result))
        return std::nullopt;
    return result;
}

int32_t narrow(int64_t value, const OdbcColumn& column, const OdbcValue& shown)
{
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        refuse(column, shown, "a 32-bit integer");
    return static_cast<int32_t>(value);
}

// The runtime's parsers raise Exception in their own words; the field's name goes first.
template <typename Parse>
auto regional(const OdbcColumn& column, Parse parse)
{
    try {
        return parse();
    } catch (const Exception& e) {
        throw Exception("Field " + column.name + ": " + e.text());
    }
}

}  // namespace

int32_t asInteger(const OdbcValue& value, const OdbcColumn& column)
{
    if (const double* number = std::get_if<double>(&value)) {
        if (!std::isfinite(*number) || *number != std::trunc(*number)
            || *number < std::numeric_limits<int32_t>::min() || *number > std::numeric_limits<int32_t>::max())
            refuse(column, value, "a 32-bit integer");
        return static_cast<int32_t>(*number);
    }
    const std::string& text = std::get<std::string>(value);
    std::optional<int64_t> result;
    switch (formOf(column)) {
    case Form::Integral:
    case Form::Characters:
        result = integerOf(text);
        break;
    case Form::Decimal:
        result = integralDecimalOf(text);
        break;
    default:
        break;
    }
    if (!result)
        refuse(column, value, "an integer");
    return narrow(*result, column, value);
}

double asFloat(const OdbcValue& value, const OdbcColumn& column)
{
    // Infinity and NaN, which PostgreSQL and SQLite store, would poison every sum over
    // the column.
    if (const double* number = std::get_if<double>(&value)) {
        if (!std::isfinite(*number))
            refuse(column, value, "a finite number");
        return *number;
    }
    const std::string& text = std::get<std::string>(value);
    switch (formOf(column)) {
    case Form::Integral:
    case Form::Decimal:
        if (std::optional<double> result = floatOf(text))
            return *result;
        break;
    case Form::Characters:
        return regional(column, [&] { return StrToFloat(text); });
    case Form::Dates:
        return asDateTime(value, column);
    default:
        break;
    }
    refuse(column, value, "a number");
}

bool asBoolean(const OdbcValue& value, const OdbcColumn& column)
{
    if (std::holds_alternative<std::string>(value)) {
        const std::string& text = std::get<std::string>(value);
        Form form = formOf(column);
        if (form == Form::Integral) {
            if (std::optional<int64_t> result = integerOf(text))
                return *result != 0;
        } else if (form == Form::Characters) {
            std::string upper = AnsiUpperCase(text);
            if (upper == "TRUE" || upper == "1")
                return true;
            if (upper == "FALSE" || upper == "0")
                return false;
        }
    }
    refuse(column, value, "a boolean");
}

double asDateTime(const OdbcValue& value, const OdbcColumn& column)
{
    if (std::holds_alternative<std::string>(value)) {
        const std::string& text = std::get<std::string>(value);
        double result = 0;
        Form form = formOf(column);
        if (form == Form::Dates || form == Form::Characters) {
            if (parseIsoDateTime(text, result))
                return result;
        }
        // Dates kept in text columns may also follow the regional format.
        if (form == Form::Characters)
            return regional(column, [&] { return StrToDateTime(text); });
    }
    refuse(column, value, "a date");
}

std::string asText(const OdbcValue& value, const OdbcColumn& column)
{
    if (const double* number = std::get_if<double>(&value))
        return FloatToStr(*number);
    const std::string& text = std::get<std::string>(value);
    switch (typeOf(column.sqlType)) {
    case FieldType::Date:
        return DateToStr(asDateTime(value, column));
    case FieldType::DateTime:
        return DateTimeToStr(asDateTime(value, column));
    default:
        return text;
    }
}

}  // namespace Field
