#include "tools/results/TaskResults.h"

#include <cstdio>

#include "repository/odbc/OdbcConnection.h"
#include "repository/odbc/OdbcStatement.h"
#include "runtime/Runtime.h"
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

std::string jsonString(const std::string& utf8)
{
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// A number text of the repository (either decimal separator) as a JSON number, or as a
// JSON string when it is none, so that nothing is lost.
std::string jsonNumber(const std::optional<std::string>& stored)
{
    if (!stored)
        return "null";
    std::string t = AnsiReplaceStr(Trim(*stored), ",", ".");
    if (!parseWhole<double>(t) || t.find_first_of("xXnN") != std::string::npos)
        return jsonString(Cp1251ToUtf8(*stored));
    return t;
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
    const std::string marker = " (classes: ";
    const size_t start = name.rfind(marker);
    if (start == std::string::npos || name.empty() || name.back() != ')')
        return {};
    const std::string list = name.substr(start + marker.size(), name.size() - start - marker.size() - 1);
    std::vector<std::string> labels;
    size_t at = 0;
    for (;;) {
        const std::string code = std::to_string(labels.size()) + " ";
        if (list.compare(at, code.size(), code) != 0)
            return {};
        at += code.size();
        const size_t next = list.find(", " + std::to_string(labels.size() + 1) + " ", at);
        labels.push_back(list.substr(at, next == std::string::npos ? std::string::npos : next - at));
        if (next == std::string::npos)
            return labels;
        at = next + 2;
    }
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
            throw Exception("there is no task " + id + " in the repository");
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
               std::string(kNoClass) + ")";
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

std::string TaskResults::asJson() const
{
    const auto chosen = chosenClass();
    std::string out = "{\"task\": " + std::to_string(key) + ", \"name\": " + jsonString(Cp1251ToUtf8(name)) +
                      ", \"complete\": " + (complete() ? "true" : "false") + ", \"class\": " + jsonNumber(chosen) +
                      ", \"shares\": [";
    bool first = true;
    for (const auto& row : rows) {
        if (row.sysName != "dens")
            continue;
        out += std::string(first ? "" : ", ") + "{\"class\": " + jsonNumber(row.value1) +
               ", \"share\": " + jsonNumber(row.value2) + "}";
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
