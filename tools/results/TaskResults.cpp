#include "tools/results/TaskResults.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "repository/odbc/OdbcConnection.h"
#include "repository/odbc/OdbcStatement.h"
#include "runtime/Runtime.h"
#include "tools/common/ClassLabels.h"
#include "tools/common/Json.h"
#include "tools/common/RepositoryColumns.h"

namespace {

const std::string kCompleteMessage = "Анализ завершен";

std::string text(const OdbcValue& value)
{
    if (const double* d = std::get_if<double>(&value)) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.15g", *d);
        return buffer;
    }
    if (const std::string* s = std::get_if<std::string>(&value))
        return *s;
    return "";
}

bool allDigits(const std::string& text)
{
    return text.find_first_not_of("0123456789") == std::string::npos;
}

// A decimal number text (sign, digits, a point, digits, an exponent) in JSON's stricter
// form of the same value: no "+" sign, no leading zeros, no point without digits on
// both sides (".5" -> 0.5, "5." -> 5, "007" -> 7). Nothing for any other text.
std::optional<std::string> jsonDecimal(const std::string& text)
{
    size_t at = 0;
    const bool negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        ++at;
    const size_t exponentAt = text.find_first_of("eE", at);
    const std::string mantissa = text.substr(at, exponentAt == std::string::npos ? std::string::npos : exponentAt - at);
    const size_t point = mantissa.find('.');
    std::string whole = mantissa.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : mantissa.substr(point + 1);
    if ((whole.empty() && fraction.empty()) || !allDigits(whole) || !allDigits(fraction))
        return std::nullopt;
    std::string exponent;
    if (exponentAt != std::string::npos) {
        exponent = text.substr(exponentAt + 1);
        const size_t digits = !exponent.empty() && (exponent[0] == '-' || exponent[0] == '+') ? 1 : 0;
        if (exponent.size() == digits || !allDigits(exponent.substr(digits)))
            return std::nullopt;
        exponent = "e" + exponent;
    }
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    return std::string(negative ? "-" : "") + (whole.empty() ? "0" : whole) + (fraction.empty() ? "" : "." + fraction) +
           exponent;
}

// A number text of the repository (either decimal separator) as a JSON number, or as a
// JSON string when it is none, so that nothing is lost.
std::string jsonNumber(const std::optional<std::string>& stored)
{
    if (!stored)
        return "null";
    if (auto number = jsonDecimal(AnsiReplaceStr(Trim(*stored), ",", ".")))
        return *number;
    return jsonString(Cp1251ToUtf8(*stored));
}

std::string padded(const std::string& cp1251, size_t width)
{
    std::string out = Cp1251ToUtf8(cp1251);
    for (size_t n = cp1251.size(); n < width; ++n)
        out += ' ';
    return out;
}

}  // namespace

std::vector<std::string> TaskResults::classLabels() const
{
    size_t classes = 0;
    for (const auto& row : rows)
        classes += row.sysName == "dens" ? 1 : 0;
    return classLabelsOf(name, classes);
}

std::string TaskResults::classInWords(const std::string& code) const
{
    const std::vector<std::string> labels = classLabels();
    std::string out = "class " + Cp1251ToUtf8(code);
    std::optional<int> index = parseWhole<int>(code);
    if (index && *index >= 0 && *index < static_cast<int>(labels.size()))
        out += " (" + Cp1251ToUtf8(labels[static_cast<size_t>(*index)]) + ")";
    return out;
}

TaskResults TaskResults::read(OdbcConnection& repository, int key)
{
    TaskResults r;
    r.key = key;
    const std::string id = std::to_string(key);
    {
        // The labels live in the task's name, which a host's Task need not have.
        const bool named = RepositoryColumns(repository).has("Task", "TskName");
        OdbcStatement task(repository);
        task.execute(std::string("SELECT ") + (named ? "TskName" : "TskID") + " FROM Task WHERE TskID = " + id);
        if (!task.fetch())
            throw NoSuchTask(key);
        if (named)
            r.name = text(task.getValue(0));
    }
    {
        OdbcStatement rows(repository);
        rows.execute("SELECT ResSysName, ResOrder, ResValue1, ResValue2 FROM TskResult WHERE TskID = " + id +
                     " ORDER BY ResID");
        while (rows.fetch())
            r.rows.push_back({Trim(text(rows.getValue(0))), Trim(text(rows.getValue(1))), Trim(text(rows.getValue(2))),
                              Trim(text(rows.getValue(3)))});
    }
    {
        OdbcStatement logs(repository);
        logs.execute("SELECT LogType, LogMessage FROM TskLog WHERE TskID = " + id + " ORDER BY LogID");
        while (logs.fetch())
            r.logs.push_back({Trim(text(logs.getValue(0))), text(logs.getValue(1))});
    }
    return r;
}

std::vector<int> TaskResults::keysWithRows(OdbcConnection& repository)
{
    OdbcStatement statement(repository);
    statement.execute("SELECT TskID FROM TskResult UNION SELECT TskID FROM TskLog ORDER BY 1");
    std::vector<int> keys;
    while (statement.fetch()) {
        if (auto key = parseWhole<int>(Trim(text(statement.getValue(0)))))
            keys.push_back(*key);
    }
    return keys;
}

bool TaskResults::complete() const
{
    for (const auto& log : logs) {
        if (log.type == "1" && log.message == kCompleteMessage)
            return true;
    }
    return false;
}

std::optional<std::string> TaskResults::chosenClass() const
{
    for (const auto& row : rows) {
        if (row.sysName == "class")
            return row.value1;
    }
    return std::nullopt;
}

std::optional<std::string> TaskResults::errorPercent() const
{
    for (const auto& row : rows) {
        if (row.sysName == "p_min")
            return row.value1;
    }
    return std::nullopt;
}

std::optional<std::string> TaskResults::shareOf(const std::string& classCode) const
{
    for (const auto& row : rows) {
        if (row.sysName == "dens" && row.value1 == classCode)
            return row.value2;
    }
    return std::nullopt;
}

std::string TaskResults::inWords() const
{
    std::string out = "Task " + std::to_string(key) + (name.empty() ? "" : ": " + Cp1251ToUtf8(name)) + "\n";
    const auto chosen = chosenClass();
    const auto error = errorPercent();
    if (chosen && *chosen == kNoClass) {
        out += "In words: no class has a density at the object, so it is not classified (class " +
               kNoClass + ")";
        out += error ? "; the estimated probability of a wrong answer is " + Cp1251ToUtf8(*error) + " %.\n" : ".\n";
    } else if (chosen) {
        const auto share = shareOf(*chosen);
        out += "In words: the object is " + classInWords(*chosen) + ", which holds " +
               (share ? Cp1251ToUtf8(*share) : std::string("an unknown share")) +
               " % of the summed class densities at it;\n";
        out += "the estimated probability of a wrong answer is " +
               (error ? Cp1251ToUtf8(*error) + " %" : std::string("not recorded")) + ".\n";
    } else if (rows.empty()) {
        out += "The task has no results: it has not run yet, or its last run failed.\n";
    } else {
        out += "The task's results hold no chosen class.\n";
    }
    std::string shares;
    for (const auto& row : rows) {
        if (row.sysName == "dens")
            shares += (shares.empty() ? "" : ", ") + classInWords(row.value1) + ": " +
                      Cp1251ToUtf8(row.value2) + " %";
    }
    if (!shares.empty())
        out += "Shares of the summed class densities: " + shares + ".\n";
    if (complete())
        out += "The run is complete (TskLog: \"" + Cp1251ToUtf8(kCompleteMessage) + "\").\n";
    else
        out += "The run is not complete: there is no TskLog row \"" + Cp1251ToUtf8(kCompleteMessage) +
               "\" (run dodoz " + std::to_string(key) + ", and read its errors on stderr).\n";
    return out;
}

std::string TaskResults::asRows() const
{
    std::string out = "TskResult rows:\n";
    out += "ResSysName  ResOrder  ResValue1  ResValue2\n";
    for (const auto& row : rows)
        out += padded(row.sysName, 10) + "  " + padded(row.order, 8) + "  " + padded(row.value1, 9) + "  " +
               Cp1251ToUtf8(row.value2) + "\n";
    if (rows.empty())
        out += "(none)\n";
    out += "\nTskLog rows:\nLogType  LogMessage\n";
    for (const auto& log : logs)
        out += padded(log.type, 7) + "  " + Cp1251ToUtf8(log.message) + "\n";
    if (logs.empty())
        out += "(none)\n";
    return out;
}

std::string TaskResults::labelJson(const std::optional<std::string>& code) const
{
    const std::string text = label(code);
    return text.empty() ? "null" : jsonString(text);
}

std::string TaskResults::asJson() const
{
    const auto chosen = chosenClass();
    std::string out = "{\"task\": " + std::to_string(key) + ", \"name\": " + jsonString(Cp1251ToUtf8(name)) +
                      ", \"complete\": " + (complete() ? "true" : "false") + ", \"class\": " + jsonNumber(chosen) +
                      ", \"label\": " + labelJson(chosen) + ", \"shares\": [";
    bool first = true;
    for (const auto& row : rows) {
        if (row.sysName != "dens")
            continue;
        out += std::string(first ? "" : ", ") + "{\"class\": " + jsonNumber(row.value1) +
               ", \"label\": " + labelJson(row.value1) + ", \"share\": " + jsonNumber(row.value2) + "}";
        first = false;
    }
    out += "], \"p_min\": " + jsonNumber(errorPercent()) + ", \"log\": [";
    first = true;
    for (const auto& log : logs) {
        out += std::string(first ? "" : ", ") + "{\"type\": " + jsonNumber(log.type) +
               ", \"message\": " + jsonString(Cp1251ToUtf8(log.message)) + "}";
        first = false;
    }
    return out + "]}\n";
}

namespace {

std::string csvField(const std::string& utf8)
{
    if (utf8.find_first_of(",\"\n\r") == std::string::npos)
        return utf8;
    return "\"" + AnsiReplaceStr(utf8, "\"", "\"\"") + "\"";
}

}  // namespace

std::string TaskResults::label(const std::optional<std::string>& code) const
{
    const std::vector<std::string> labels = classLabels();
    const std::optional<int> index = code ? parseWhole<int>(*code) : std::nullopt;
    if (!index || *index < 0 || *index >= static_cast<int>(labels.size()))
        return "";
    return Cp1251ToUtf8(labels[static_cast<size_t>(*index)]);
}

std::string TaskResults::sharesText(const char* separator) const
{
    std::string out;
    for (const auto& row : rows) {
        if (row.sysName == "dens")
            out += (out.empty() ? "" : separator) + Cp1251ToUtf8(row.value1) + "=" + Cp1251ToUtf8(row.value2);
    }
    return out;
}

std::string TaskResults::tableHeader()
{
    return "task      complete  class     label           p_min     shares (class=share %)\n";
}

std::string TaskResults::asTableLine() const
{
    const auto chosen = chosenClass();
    const auto error = errorPercent();
    auto cell = [](const std::string& utf8, size_t width) {
        std::string out = utf8;
        for (size_t n = Utf8ToCp1251Replacing(utf8).size(); n < width; ++n)
            out += ' ';
        return out + " ";
    };
    return cell(std::to_string(key), 9) + cell(complete() ? "yes" : "no", 9) +
           cell(chosen ? Cp1251ToUtf8(*chosen) : "-", 9) + cell(label(chosen).empty() ? "-" : label(chosen), 15) +
           cell(error ? Cp1251ToUtf8(*error) : "-", 9) + sharesText(" ") + "\n";
}

std::string TaskResults::csvHeader()
{
    return "task,name,complete,class,label,p_min,shares\n";
}

std::string TaskResults::asCsvLine() const
{
    const auto chosen = chosenClass();
    const auto error = errorPercent();
    return std::to_string(key) + "," + csvField(Cp1251ToUtf8(name)) + "," + (complete() ? "true" : "false") + "," +
           (chosen ? csvField(Cp1251ToUtf8(*chosen)) : "") + "," + csvField(label(chosen)) + "," +
           (error ? csvField(Cp1251ToUtf8(*error)) : "") + "," + csvField(sharesText(" ")) + "\n";
}
