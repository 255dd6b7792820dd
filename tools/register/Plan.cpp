#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "runtime/Runtime.h"
#include "tools/register/Registration.h"
#include "tools/common/CsvNumbers.h"
#include "tools/common/TextInput.h"

namespace {

std::string listed(const std::vector<std::string>& names)
{
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
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

namespace {

std::string plannedTable(const RegistrationRequest& request, RegistrationPlan& plan)
{
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
    return table;
}

// The header's columns by name, for the checks of the class and the inputs.
class HeaderColumns {
public:
    explicit HeaderColumns(const RegistrationRequest& request) : request(request), header(request.csv.header)
    {
        for (size_t j = 0; j < header.size(); ++j)
            position.emplace(header[j], j);
    }

    size_t classIndex() const
    {
        auto at = position.find(request.classColumn);
        if (at == position.end())
            throw Exception(request.csvName + ": there is no class column " + displayName(request.classColumn) +
                            headerList());
        if (duplicated(request.classColumn))
            throw Exception(request.csvName + ", line 1: the class column " + displayName(request.classColumn) +
                            " appears twice; rename one of them in the header");
        return at->second;
    }

    // The input columns: those asked for, or every column but the class and the excluded.
    std::vector<std::string> inputs() const
    {
        if (!request.inputColumns.empty())
            return request.inputColumns;
        for (const auto& name : request.excludedColumns) {
            if (!position.count(name))
                throw Exception(request.csvName + ": there is no column " + displayName(name) + " to exclude" +
                                headerList());
        }
        std::vector<std::string> names;
        for (const auto& name : header) {
            const auto& out = request.excludedColumns;
            if (name != request.classColumn && std::find(out.begin(), out.end(), name) == out.end())
                names.push_back(name);
        }
        return names;
    }

    std::vector<size_t> indexesOf(const std::vector<std::string>& inputs, size_t classIndex) const
    {
        std::vector<size_t> indexes;
        std::set<std::string> chosen;
        for (const auto& name : inputs) {
            auto at = position.find(name);
            if (at == position.end())
                throw Exception(request.csvName + ": there is no input column " + displayName(name) + headerList());
            if (at->second == classIndex)
                throw Exception("the class column " + displayName(name) +
                                " cannot be an input as well; leave it out of --inputs");
            if (!chosen.insert(name).second)
                throw Exception("--inputs names " + displayName(name) + " twice");
            if (duplicated(name))
                throw Exception(request.csvName + ", line 1: the column name " + displayName(name) +
                                " appears twice; rename one of them, or choose the inputs with --inputs");
            indexes.push_back(at->second);
        }
        if (indexes.empty())
            throw Exception(request.csvName + ": there is no input column besides the class column; a task needs at least one");
        return indexes;
    }

private:
    bool duplicated(const std::string& name) const { return std::count(header.begin(), header.end(), name) > 1; }
    std::string headerList() const { return "; the header holds " + listed(header); }

    const RegistrationRequest& request;
    const std::vector<std::string>& header;
    std::map<std::string, size_t> position;
};

void parseInputs(const RegistrationRequest& request, const std::vector<size_t>& inputIndex, RegistrationPlan& plan)
{
    const CsvTable& csv = request.csv;
    const bool chosen = !request.inputColumns.empty();
    for (size_t i = 0; i < csv.rows.size(); ++i) {
        const std::string line = request.csvName + ", line " + std::to_string(csv.lineNumbers[i]);
        std::vector<std::optional<double>> inputs;
        for (size_t j : inputIndex) {
            const std::string remedy = chosen ? "leave the column out of --inputs, or clean the file"
                                              : "leave the column out with --exclude " + csv.header[j] +
                                                    " (or choose the inputs with --inputs)";
            inputs.push_back(csvNumber(csv.rows[i][j], request.decimal, line + ", column " + csv.header[j], remedy));
        }
        plan.inputs.push_back(std::move(inputs));
    }
}

// Integer class codes stay as they are; any other text makes every class a label,
// coded 0, 1, ... in the order the labels first appear. The codes' list, "" for codes.
std::string codeClasses(const RegistrationRequest& request, size_t classIndex, RegistrationPlan& plan)
{
    bool integers = true;
    for (const auto& row : request.csv.rows) {
        const std::optional<std::string>& field = row[classIndex];
        if (field && !Trim(*field).empty() && !integer(Trim(*field)))
            integers = false;
    }
    std::map<std::string, int> codes;
    for (const auto& row : request.csv.rows) {
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
    return labels;
}

void parseObject(const RegistrationRequest& request, const std::vector<std::string>& inputColumns, RegistrationPlan& plan)
{
    if (request.objectValues.size() != plan.inputNames.size())
        throw Exception("the object to classify has " + std::to_string(request.objectValues.size()) +
                        " values, but the data has " + std::to_string(plan.inputNames.size()) + " input columns (" +
                        listed(inputColumns) + "); give one value for each, in that order");
    for (size_t j = 0; j < request.objectValues.size(); ++j) {
        const std::string where = "the object's value " + std::to_string(j + 1) + " (" + inputColumns[j] + ")";
        auto v = csvNumber(request.objectValues[j], 0, where, "give a number");
        if (!v)
            throw Exception(where + " is empty; every input needs a value");
        plan.object.push_back(*v);
    }
}

void nameTask(const RegistrationRequest& request, const std::string& table, const std::string& labels,
              RegistrationPlan& plan)
{
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
}

}  // namespace

RegistrationPlan planRegistration(const RegistrationRequest& request)
{
    RegistrationPlan plan;
    plan.replace = request.replace;
    const std::string table = plannedTable(request, plan);
    const HeaderColumns header(request);
    const size_t classIndex = header.classIndex();
    const std::vector<std::string> inputColumns = header.inputs();
    const std::vector<size_t> inputIndex = header.indexesOf(inputColumns, classIndex);
    if (request.csv.rows.empty())
        throw Exception(request.csvName + ": there are no data rows below the header");

    ColumnNames names;
    for (const auto& name : inputColumns)
        plan.inputNames.push_back(cp1251(names.add(name, plan.notes)));
    plan.className = cp1251(names.add(request.classColumn, plan.notes));
    parseInputs(request, inputIndex, plan);
    const std::string labels = codeClasses(request, classIndex, plan);
    parseObject(request, inputColumns, plan);
    nameTask(request, table, labels, plan);
    return plan;
}
