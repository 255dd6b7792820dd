#include "tools/common/CsvNumbers.h"

#include <cmath>

#include "runtime/Runtime.h"

std::optional<double> csvNumber(const std::optional<std::string>& field, char decimal, const std::string& where,
                                const std::string& remedy)
{
    if (!field)
        return std::nullopt;
    std::string text = Trim(*field);
    if (text.empty())
        return std::nullopt;
    const bool comma = text.find(',') != std::string::npos;
    const bool point = text.find('.') != std::string::npos;
    if (comma && decimal == '.')
        throw Exception(where + ": '" + *field +
                        "' is not a number; if the file writes decimal commas, give --decimal ,");
    if (point && decimal == ',')
        throw Exception(where + ": '" + *field +
                        "' has a decimal point where --decimal , asks for a comma; give --decimal . or leave it out");
    if (comma)
        text = AnsiReplaceStr(text, ",", ".");
    std::optional<double> value = parseWhole<double>(text);
    if (!value || !std::isfinite(*value))
        throw Exception(where + ": '" + *field + "' is not a number; " + remedy);
    return *value;
}

