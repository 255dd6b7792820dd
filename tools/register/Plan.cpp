#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "runtime/Runtime.h"
#include "tools/register/Registration.h"
#include "tools/register/TextInput.h"

namespace {

std::string listed(const std::vector<std::string>& names)
{
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

// The number of a field whose decimal separator is decimal ('.', ',' or 0 for either).
std::optional<double> number(const std::optional<std::string>& field, char decimal, const std::string& where,
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

std::optional<int> integer(const std::string& text)
{
    return parseWhole<int>(text);
}

std::string displayName(const std::string& utf8)
{
    return "'" + utf8 + "'";
}

// The cp1251 form of a name that isPlainName accepted.
std::string cp1251(const std::string& utf8)
{
    return Utf8ToCp1251(utf8);
}

struct ColumnNames {
    std::map<std::string, std::string> stored;  // header name -> plain name, UTF-8
    std::set<std::string> taken;                // upper-case cp1251 plain names

    std::string add(const std::string& header, std::vector<std::string>& notes)
    {
        std::string name = isPlainName(header) ? header : makePlainName(header, "c_");
        std::string unique = name;
        for (int n = 2; !taken.insert(AnsiUpperCase(cp1251(unique))).second; ++n)
            unique = name + "_" + std::to_string(n);
        if (unique != header)
            notes.push_back("the column " + displayName(header) + " is stored as " + unique);
        stored[header] = unique;
        return unique;
    }
};

}  // namespace

bool isRepositoryTable(const std::string& name)
{
    static const std::set<std::string> own = {"TASK",   "TSKRESULT",   "TSKLOG",   "DATASET",
                                              "DTSCOLUMN", "DTSSOURCE", "TSKALGPARAM"};
    const std::string upper = AnsiUpperCase(name);
    if (upper == "PKCOUNTER" || own.count(upper))
        return true;
    return upper.size() > 3 && upper.ends_with("_PK") && own.count(upper.substr(0, upper.size() - 3));
}

RegistrationPlan planRegistration(const RegistrationRequest& request)
{
    const CsvTable& csv = request.csv;
    const std::string& file = request.csvName;
    RegistrationPlan plan;
    plan.replace = request.replace;

    std::string table = request.table;
    if (!isPlainName(table)) {
        const std::string suggestion = makePlainName(table, "t_");
        if (!request.tableFromFileName)
            throw Exception("the table name " + displayName(table) +
                            " is not a plain name (letters, digits and _, starting with a letter, no SQL keyword); "
                            "give --table " + suggestion + " or another such name");
        plan.notes.push_back("the table is named " + suggestion + " after the file (--table NAME chooses another)");
        table = suggestion;
    }
    if (isRepositoryTable(cp1251(table)))
        throw Exception("the table name " + displayName(table) +
                        " is a table of the repository itself; give --table with another name");
    plan.table = cp1251(table);

    std::map<std::string, size_t> position;
    for (size_t j = 0; j < csv.header.size(); ++j)
        position.emplace(csv.header[j], j);
    auto duplicated = [&](const std::string& name) {
        return std::count(csv.header.begin(), csv.header.end(), name) > 1;
    };
    const std::string headerList = "; the header holds " + listed(csv.header);

    auto classAt = position.find(request.classColumn);
    if (classAt == position.end())
        throw Exception(file + ": there is no class column " + displayName(request.classColumn) + headerList);
    if (duplicated(request.classColumn))
        throw Exception(file + ", line 1: the class column " + displayName(request.classColumn) +
                        " appears twice; rename one of them in the header");
    const size_t classIndex = classAt->second;

    std::vector<std::string> inputColumns = request.inputColumns;
    if (inputColumns.empty()) {
        for (const auto& name : csv.header) {
            if (name != request.classColumn)
                inputColumns.push_back(name);
        }
    }
    std::vector<size_t> inputIndex;
    std::set<std::string> chosen;
    for (const auto& name : inputColumns) {
        auto at = position.find(name);
        if (at == position.end())
            throw Exception(file + ": there is no input column " + displayName(name) + headerList);
        if (at->second == classIndex)
            throw Exception("the class column " + displayName(name) + " cannot be an input as well; leave it out of --inputs");
        if (!chosen.insert(name).second)
            throw Exception("--inputs names " + displayName(name) + " twice");
        if (duplicated(name))
            throw Exception(file + ", line 1: the column name " + displayName(name) +
                            " appears twice; rename one of them, or choose the inputs with --inputs");
        inputIndex.push_back(at->second);
    }
    if (inputIndex.empty())
        throw Exception(file + ": there is no input column besides the class column; a task needs at least one");
    if (csv.rows.empty())
        throw Exception(file + ": there are no data rows below the header");

    ColumnNames names;
    for (const auto& name : inputColumns)
        plan.inputNames.push_back(cp1251(names.add(name, plan.notes)));
    plan.className = cp1251(names.add(request.classColumn, plan.notes));

    const std::string remedy = request.inputColumns.empty()
                                   ? "leave the column out with --inputs (the input columns, separated by commas)"
                                   : "leave the column out of --inputs, or clean the file";
    for (size_t i = 0; i < csv.rows.size(); ++i) {
        const std::string line = file + ", line " + std::to_string(csv.lineNumbers[i]);
        std::vector<std::optional<double>> inputs;
        for (size_t j : inputIndex)
            inputs.push_back(number(csv.rows[i][j], request.decimal, line + ", column " + csv.header[j], remedy));
        plan.inputs.push_back(std::move(inputs));
    }

    // Integer class codes stay as they are; any other text makes every class a label,
    // coded 0, 1, ... in the order the labels first appear.
    bool integers = true;
    for (const auto& row : csv.rows) {
        const std::optional<std::string>& field = row[classIndex];
        if (field && !Trim(*field).empty() && !integer(Trim(*field)))
            integers = false;
    }
    std::map<std::string, int> codes;
    for (const auto& row : csv.rows) {
        const std::optional<std::string>& field = row[classIndex];
        if (!field || Trim(*field).empty()) {
            plan.classes.push_back(std::nullopt);
        } else if (integers) {
            plan.classes.push_back(integer(Trim(*field)));
        } else {
            const std::string label = Trim(*field);
            auto [at, added] = codes.emplace(label, static_cast<int>(plan.classLabels.size()));
            if (added)
                plan.classLabels.push_back(label);
            plan.classes.push_back(at->second);
        }
    }
    std::string labels;
    for (size_t k = 0; k < plan.classLabels.size(); ++k)
        labels += (k ? ", " : "") + std::to_string(k) + " " + plan.classLabels[k];
    if (!labels.empty())
        plan.notes.push_back("the classes of " + displayName(request.classColumn) + " are coded " + labels);

    if (request.objectValues.size() != plan.inputNames.size())
        throw Exception("the object to classify has " + std::to_string(request.objectValues.size()) +
                        " values, but the data has " + std::to_string(plan.inputNames.size()) + " input columns (" +
                        listed(inputColumns) + "); give one value for each, in that order");
    for (size_t j = 0; j < request.objectValues.size(); ++j) {
        const std::string where = "the object's value " + std::to_string(j + 1) + " (" + inputColumns[j] + ")";
        auto v = number(request.objectValues[j], 0, where, "give a number");
        if (!v)
            throw Exception(where + " is empty; every input needs a value");
        plan.object.push_back(*v);
    }

    std::string taskName = request.taskName;
    if (taskName.empty())
        taskName = "Classification of one object of " + table;
    if (!labels.empty())
        taskName += " (classes: " + labels + ")";
    try {
        plan.taskName = Utf8ToCp1251(taskName);
    } catch (const Exception& e) {
        throw Exception("the task name cannot be stored: " + Cp1251ToUtf8(e.text()) +
                        "; give --task-name without that character" + (labels.empty() ? "" : ", and code the class labels"));
    }
    return plan;
}
