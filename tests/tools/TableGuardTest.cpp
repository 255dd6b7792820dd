// Registering never destroys what other tasks read or what the repository is made of,
// and the command line reads as GNU programs' do.

#include "tests/tools/ToolsFixture.h"

#include <sys/stat.h>

#include <fstream>

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
                         "it as it is\n" + decimalNote(e2e::Regional::C));
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

// The tables of the source database, to see that a registration left none behind.
std::vector<std::string> sourceTables(e2e::RunFixture& fx)
{
    const char* sql = fx.backend() == e2e::Backend::SQLite
                          ? "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"
                      : fx.backend() == e2e::Backend::MariaDB
                          ? "SELECT table_name FROM information_schema.tables WHERE table_schema = DATABASE() "
                            "ORDER BY table_name"
                          : "SELECT table_name FROM information_schema.tables WHERE table_schema = current_schema() "
                            "ORDER BY table_name";
    std::vector<std::string> names;
    for (const auto& row : fx.db().querySource(sql))
        names.push_back(row[0].value_or("NULL"));
    return names;
}

// A --replace refused after the new table was built (here: the repository has no
// Dataset key left) changes nothing: the table other tasks read keeps its rows, no table
// is left behind, nothing is registered. On MariaDB, whose DDL commits at once, the old
// table used to be dropped first and was gone.
TEST_P(TableGuardTest, RefusedReplaceLeavesTheTableItsTasksRead)
{
    const int first = registered(iris("wine"));
    const std::vector<std::string> tablesBefore = sourceTables(*fx);
    fx->db().repository({"INSERT INTO Dataset (DtsID) VALUES (2147483647)"});
    std::vector<std::string> args = labels("wine");
    args.push_back("--replace");
    const auto refused = registerWith(args);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("GetNextPK: no key left for"), std::string::npos) << refused.err;
    EXPECT_EQ(sourceTables(*fx), tablesBefore);
    EXPECT_EQ(fx->db().querySource("SELECT class FROM wine").size(), 150u);
    EXPECT_EQ(taskCount(), 1);
    expectVersicolor(first);
}

// A header that one of the databases reserves (MariaDB: RANGE, SIGNAL, READ) is stored
// under a plain name on every database, so --replace with it goes through everywhere.
TEST_P(TableGuardTest, ReservedHeadersAreStoredUnderPlainNames)
{
    registered(iris("wine"));
    const std::vector<std::string> tablesBefore = sourceTables(*fx);
    const std::filesystem::path csv = fx->newWorkDir() / "reserved.csv";
    {
        std::ifstream in(e2e::irisCsv());
        std::ofstream out(csv);
        std::string line;
        std::getline(in, line);
        out << "range,signal,read,petal_width,class\n" << in.rdbuf();
    }
    const auto r = registerWith({csv.string(), "--class", "class", "--table", "wine", "--object", kVersicolor,
                                 "--replace"});
    const int second = keyOf(r);
    for (const char* name : {"range", "signal", "read"})
        EXPECT_NE(r.err.find(std::string("the column '") + name + "' is stored as " + name + "_"), std::string::npos)
            << r.err;
    EXPECT_EQ(fx->db().querySource("SELECT range_, signal_, read_ FROM wine").size(), 150u);
    expectVersicolor(second);
    EXPECT_EQ(sourceTables(*fx), tablesBefore);
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

// What is not a regular file is refused before a byte is read: /dev/zero used to fill
// the memory until an uncaught bad_alloc aborted the tool, a FIFO nobody writes to kept
// it waiting for good (the run's time limit would kill it here).
TEST_P(TableGuardTest, InputsThatAreNoFileAreRefusedAtOnce)
{
    const std::filesystem::path fifo = fx->newWorkDir() / "export.csv";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const auto& [path, kind] : std::vector<std::pair<std::string, std::string>>{
             {"/dev/zero", "a device"}, {fifo.string(), "a FIFO"}, {fifo.parent_path().string(), "a directory"}}) {
        const auto r = registerWith({path, "--class", "class", "--object", kVersicolor});
        EXPECT_EQ(r.exitCode, 1) << r.describe();
        EXPECT_EQ(r.err, "dodoz-register: " + path + " is " + kind + ", not a file: give the export itself\n");
    }
    EXPECT_EQ(taskCount(), 0);
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

DODOZ_ON_EVERY_BACKEND(TableGuardTest);

}  // namespace
}  // namespace tools
