#include "tests/tools/ToolsFixture.h"

namespace tools {

std::filesystem::path exportFile(const std::string& name)
{
    return e2e::sourceDir() / "tests/tools/csv" / name;
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

}  // namespace tools
