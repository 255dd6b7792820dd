#include "tests/tools/ToolsFixture.h"

namespace tools {

std::filesystem::path exportFile(const std::string& name)
{
    return e2e::sourceDir() / "tests/tools/csv" / name;
}

std::string decimalNote(e2e::Regional regional)
{
    const std::string separator(1, e2e::decimalSeparator(regional));
    return "dodoz-register: the object's values are stored with the decimal separator '" + separator +
           "' of these regional settings (" + e2e::localeName(regional) +
           "); run dodoz under settings whose decimal separator is '" + separator +
           "' as well, or register the task again under the run's settings\n";
}

e2e::ProcessResult ToolsTest::registerWith(const std::vector<std::string>& args, e2e::Regional regional)
{
    std::vector<std::string> argv{DODOZ_REGISTER};
    argv.insert(argv.end(), args.begin(), args.end());
    return e2e::Process::run(argv, fx->environment(regional), fx->newWorkDir(), std::chrono::minutes(2));
}

int ToolsTest::keyOf(const e2e::ProcessResult& registration)
{
    EXPECT_EQ(registration.exitCode, 0) << registration.describe();
    try {
        return std::stoi(registration.out);
    } catch (const std::exception&) {
        ADD_FAILURE() << "no task key on stdout: '" << registration.out << "'";
        return -1;
    }
}

int ToolsTest::registered(const std::vector<std::string>& args, e2e::Regional regional)
{
    return keyOf(registerWith(args, regional));
}

e2e::ProcessResult ToolsTest::resultsWith(const std::vector<std::string>& args)
{
    std::vector<std::string> argv{DODOZ_RESULTS};
    argv.insert(argv.end(), args.begin(), args.end());
    return e2e::Process::run(argv, fx->environment(e2e::Regional::C), fx->newWorkDir(), std::chrono::minutes(1));
}

e2e::ProcessResult ToolsTest::toolWith(const std::string& program, const std::vector<std::string>& args,
                                      e2e::Regional regional, std::filesystem::path workDir)
{
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    if (workDir.empty())
        workDir = fx->newWorkDir();
    return e2e::Process::run(argv, fx->environment(regional), workDir, std::chrono::minutes(2));
}

void ToolsTest::expectVersicolor(int key, e2e::Regional regional)
{
    const e2e::RunOutcome run = fx->runDodoz(key, regional);
    EXPECT_EQ(run.process.err, e2e::console::progress(5)) << "task " << key;
    std::string chosen = "none";
    for (const e2e::ResultRow& row : fx->results(key)) {
        if (row.sysName == "class")
            chosen = row.value1.value_or("NULL");
    }
    EXPECT_EQ(chosen, "1") << "task " << key;
    const auto logs = fx->logs(key);
    ASSERT_EQ(logs.size(), 1u) << "task " << key;
    EXPECT_EQ(logs[0].message, std::string("Анализ завершен"));
}

int ToolsTest::taskCount() const
{
    return std::stoi(fx->db().repositoryValue("SELECT COUNT(*) FROM Task").value_or("-1"));
}

std::string jsonField(const std::string& json, const std::string& name)
{
    const std::string key = "\"" + name + "\": ";
    const size_t at = json.find(key);
    if (at == std::string::npos)
        return "";
    const size_t from = at + key.size();
    int depth = 0;
    bool inText = false;
    for (size_t i = from; i < json.size(); ++i) {
        const char c = json[i];
        if (inText) {
            i += c == '\\' ? 1 : 0;
            inText = c != '"';
        } else if (c == '"') {
            inText = true;
        } else if (c == '[' || c == '{') {
            ++depth;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        } else if ((c == ',' || c == '}' || c == ']' || c == '\n') && depth == 0) {
            return json.substr(from, i - from);
        }
        if (depth == 0 && !inText && (c == ']' || c == '}') && i > from)
            return json.substr(from, i + 1 - from);
    }
    return json.substr(from);
}

std::vector<double> jsonNumbers(const std::string& array)
{
    std::vector<double> numbers;
    std::string item;
    for (char c : array.substr(1)) {
        if (c == ',' || c == ']') {
            if (!Trim(item).empty())
                numbers.push_back(std::stod(item));
            item.clear();
        } else {
            item += c;
        }
    }
    return numbers;
}

}  // namespace tools
