// Registering never destroys what other tasks read or what the repository is made of,
// and the command line reads as GNU programs' do.

#include "tests/tools/ToolsFixture.h"

namespace tools {
namespace {

class TableGuardTest : public ToolsTest {
protected:
    std::vector<std::string> iris(const std::string& table)
    {
        return {e2e::irisCsv().string(), "--class", "class", "--table", table, "--object", kVersicolor};
    }
    std::vector<std::string> labels(const std::string& table)
    {
        return {exportFile("iris-labels.csv").string(), "--class", "species", "--table", table, "--object", kVersicolor};
    }
};

TEST_P(TableGuardTest, AnotherFileOntoATableATaskReadsIsRefused)
{
    const int first = registered(iris("wine"));
    expectVersicolor(first);
    const auto resultsBefore = fx->results(first);

    const auto refused = registerWith(labels("wine"));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "dodoz-register: the table wine exists in DODOZ_SOURCE (read by task " +
                               std::to_string(first) +
                               ") and holds other data; give another --table NAME, or --replace to replace it "
                               "(those tasks then read the new data)\n");
    EXPECT_EQ(taskCount(), 1);
    EXPECT_EQ(fx->results(first).size(), resultsBefore.size());
    expectVersicolor(first);
}

TEST_P(TableGuardTest, TheSameRowsAgainShareTheTable)
{
    const int first = registered(iris("iris"));
    const auto again = registerWith(iris("iris"));
    const int second = keyOf(again);
    EXPECT_EQ(again.err, "dodoz-register: the table iris of DODOZ_SOURCE holds these rows already; the new task reads "
                         "it as it is\n");
    expectVersicolor(first);
    expectVersicolor(second);
}

TEST_P(TableGuardTest, ReplaceTakesTheNewDataForEveryTaskOfTheTable)
{
    const int first = registered(iris("wine"));
    std::vector<std::string> args = labels("wine");
    args.push_back("--replace");
    const auto r = registerWith(args);
    const int second = keyOf(r);
    EXPECT_NE(r.err.find("the table wine of DODOZ_SOURCE (read by task " + std::to_string(first) + ") is replaced"),
              std::string::npos)
        << r.err;
    expectVersicolor(second);
    EXPECT_EQ(fx->db().querySource("SELECT species FROM wine").size(), 150u);
}

TEST_P(TableGuardTest, ATableOfTheSourceThatNoTaskReadsIsKeptToo)
{
    // The source schema's own table; MariaDB's table names are case-sensitive on Linux,
    // so there it is met only under the schema's spelling.
    const std::string table = GetParam() == e2e::Backend::MariaDB ? "Clients" : "clients";
    const auto refused = registerWith(iris(table));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "dodoz-register: the table " + table +
                               " exists in DODOZ_SOURCE and holds other data; give "
                               "another --table NAME, or --replace to replace it\n");
}

TEST_P(TableGuardTest, RepositoryTablesAreRefusedBeforeAnyConnection)
{
    for (const std::string table : {"TskResult", "task", "PKCounter", "TskLog_PK"}) {
        std::vector<std::string> args = iris(table);
        args.insert(args.end(), {"--source", "MIRELON"});
        const auto r = registerWith(args);
        EXPECT_EQ(r.exitCode, 1) << table;
        EXPECT_EQ(r.err, "dodoz-register: the table name '" + table +
                             "' is a table of the repository itself; give --table with another name\n");
    }
    EXPECT_EQ(taskCount(), 0);
}

TEST_P(TableGuardTest, SourceInTheRepositoryDatabaseNeedsNoSecondLock)
{
    std::vector<std::string> args = iris("iris_here");
    args.insert(args.end(), {"--source", "MIRELON"});
    const auto r = registerWith(args);
    EXPECT_LT(r.seconds, 30.0) << "waited for its own lock";
    expectVersicolor(keyOf(r));
}

TEST_P(TableGuardTest, TaskNameLongerThanItsColumnIsRefusedBeforeWriting)
{
    std::vector<std::string> args = iris("iris");
    args.insert(args.end(), {"--task-name", std::string(101, 'x')});
    const auto refused = registerWith(args);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "dodoz-register: the task name has 101 characters, but Task.TskName of the repository "
                           "holds at most 100; give a shorter --task-name\n");
    EXPECT_EQ(taskCount(), 0);
    args.back() = std::string(100, 'x');
    registered(args);
}

TEST_P(TableGuardTest, GnuCommandLine)
{
    const auto help = registerWith({"-h"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("Usage: dodoz-register", 0), 0u) << help.out;

    const auto noObject = registerWith({e2e::irisCsv().string(), "--class", "class"});
    EXPECT_EQ(noObject.exitCode, 2);
    EXPECT_EQ(noObject.err, "dodoz-register: --object is missing (the object to classify, one value per input "
                            "column)\nTry 'dodoz-register --help' for more information.\n");
    const auto noFile = registerWith({"--class=class", "--object=1"});
    EXPECT_EQ(noFile.err.substr(0, noFile.err.find('\n')),
              "dodoz-register: the file is missing (give it as the argument or with --csv FILE)");
    const auto unknown = registerWith({"--tabel=x"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.err.substr(0, unknown.err.find('\n')), "dodoz-register: unknown option --tabel=x");
    EXPECT_EQ(taskCount(), 0);
}

DODOZ_E2E_ON_BOTH_BACKENDS(TableGuardTest);

}  // namespace
}  // namespace tools
