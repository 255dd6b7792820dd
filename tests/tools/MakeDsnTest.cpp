// scripts/make-dsn as a user meets it: its help, its refusals, and the care it takes of
// a password.

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "tests/tools/ToolsFixture.h"

namespace tools {
namespace {

class MakeDsnTest : public ::testing::Test {
protected:
    e2e::ProcessResult makeDsn(const std::vector<std::string>& args, const std::vector<std::string>& env = {})
    {
        std::vector<std::string> argv{(e2e::sourceDir() / "scripts/make-dsn").string()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> environment = env;
        for (const char* name : {"DODOZ_PG_HOST", "DODOZ_PG_PORT", "DODOZ_PG_USER", "DODOZ_PG_BIN",
                                 "DODOZ_MARIADB_HOST", "DODOZ_MARIADB_PORT", "DODOZ_MARIADB_SOCKET",
                                 "DODOZ_MARIADB_USER"}) {
            const std::string prefix = std::string(name) + "=";
            const bool given = std::any_of(env.begin(), env.end(),
                                           [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
            if (const char* value = std::getenv(name); value && !given)
                environment.push_back(prefix + value);
        }
        return e2e::Process::run(argv, environment, dir.path(), std::chrono::minutes(2));
    }

    TempDir dir{"dodoz-make-dsn"};
};

TEST_F(MakeDsnTest, HelpIsNoError)
{
    const auto r = makeDsn({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("scripts/make-dsn sqlite DIR"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");
}

TEST_F(MakeDsnTest, ExportLinesAgainForAFolderItMade)
{
    const auto none = makeDsn({"exports", (dir.path() / "none").string()});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("holds no odbc.ini and odbcinst.ini; make it with: scripts/make-dsn sqlite"),
              std::string::npos)
        << none.err;
    const std::filesystem::path made = dir.path() / "made";
    std::filesystem::create_directories(made);
    for (const char* name : {"odbc.ini", "odbcinst.ini"})
        std::ofstream(made / name) << "\n";
    const auto r = makeDsn({"exports", made.string()});
    EXPECT_EQ(r.exitCode, 0) << r.describe();
    EXPECT_EQ(r.out, "export ODBCSYSINI='" + made.string() + "'\nexport ODBCINI='" + made.string() + "/odbc.ini'\n");
}

TEST_F(MakeDsnTest, ErrorsNameWhatIsMissing)
{
    const auto noDir = makeDsn({"sqlite"});
    EXPECT_EQ(noDir.exitCode, 2);
    EXPECT_EQ(noDir.err, "make-dsn: DIR is missing (the directory for the databases and ini files)\n"
                         "Try 'scripts/make-dsn --help' for more information.\n");
    const auto noValue = makeDsn({"sqlite", (dir.path() / "x").string(), "--ext"});
    EXPECT_EQ(noValue.exitCode, 2);
    EXPECT_EQ(noValue.err.substr(0, noValue.err.find('\n')), "make-dsn: --ext needs a value");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "x")) << "nothing is made on a wrong command line";
}

// The export lines are for eval: a folder name with a blank or a command substitution is
// one word there and runs nothing, and the variables name the folder; a line break,
// which no ini line can carry, is refused before anything is made.
TEST_F(MakeDsnTest, ExportLinesSurviveEvalOfAnyFolderName)
{
    for (const std::string name : {"a b", "$(touch X)", "it's `touch X`"}) {
        const std::filesystem::path target = dir.path() / name;
        const auto made = makeDsn({"sqlite", target.string()});
        ASSERT_EQ(made.exitCode, 0) << name << ": " << made.describe();
        const auto shown = e2e::Process::run(
            {"/bin/sh", "-c", "eval \"$1\" && printf '%s|%s' \"$ODBCSYSINI\" \"$ODBCINI\"", "sh", made.out}, {},
            dir.path(), std::chrono::seconds(30));
        EXPECT_EQ(shown.exitCode, 0) << shown.describe();
        EXPECT_EQ(shown.out, target.string() + "|" + (target / "odbc.ini").string()) << made.out;
        EXPECT_TRUE(std::filesystem::exists(target / "repository.db")) << name;
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "X")) << name << ": eval ran a command";
    }
    const auto broken = makeDsn({"sqlite", (dir.path() / "a\nb").string()});
    EXPECT_EQ(broken.exitCode, 2);
    EXPECT_EQ(broken.err.substr(0, broken.err.find('\n')),
              "make-dsn: DIR holds a line break, which the ini files and the export lines cannot carry; choose a "
              "folder name without one");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "a\nb"));
}

TEST_F(MakeDsnTest, PasswordStaysTheOwnersAndDatabasesThereSayHowToDropThem)
{
    DODOZ_REQUIRE(e2e::backendUnavailable(e2e::Backend::PostgreSQL));
    const std::string target = (dir.path() / "pg").string();
    // The throwaway server trusts every connection, whatever the password.
    const auto made = makeDsn({"postgresql", target}, {"DODOZ_PG_PASSWORD=secret"});
    ASSERT_EQ(made.exitCode, 0) << made.describe();
    struct stat info {};
    ASSERT_EQ(stat((target + "/odbc.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_NE(e2e::readFile(target + "/odbc.ini").find("Password=secret"), std::string::npos);

    const auto again = makeDsn({"postgresql", target});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("holds databases already"), std::string::npos) << again.err;
    EXPECT_NE(again.err.find("drop them with: scripts/make-dsn drop " + target), std::string::npos) << again.err;
    EXPECT_EQ(makeDsn({"drop", target}).exitCode, 0);
}

// A MariaDB user with a password of its own: the databases are made with it, the file
// that holds it is the owner's, and drop finds the databases again.
TEST_F(MakeDsnTest, MariadbPasswordStaysTheOwnersAndDropRemovesTheDatabases)
{
    DODOZ_REQUIRE(e2e::backendUnavailable(e2e::Backend::MariaDB));
    std::vector<std::string> client{"/usr/bin/mariadb", "--no-defaults", "--batch", "--skip-column-names", "-u",
                                    std::getenv("DODOZ_MARIADB_USER")};
    if (const char* socket = std::getenv("DODOZ_MARIADB_SOCKET"); socket && *socket)
        client.insert(client.end(), {"-S", socket});
    else
        client.insert(client.end(), {"--protocol=TCP", "-h", std::getenv("DODOZ_MARIADB_HOST"), "-P",
                                     std::getenv("DODOZ_MARIADB_PORT")});
    auto admin = [&](const std::string& sql) {
        std::vector<std::string> argv = client;
        argv.insert(argv.end(), {"-e", sql});
        return e2e::Process::run(argv, {}, dir.path(), std::chrono::minutes(1));
    };
    ASSERT_EQ(admin("CREATE OR REPLACE USER dodoz_owner@localhost IDENTIFIED BY 'se cret';"
                    " GRANT ALL ON *.* TO dodoz_owner@localhost")
                  .exitCode,
              0);
    const std::string target = (dir.path() / "maria").string();
    const auto refused = makeDsn({"mariadb", target}, {"DODOZ_MARIADB_USER=dodoz_owner"});
    EXPECT_NE(refused.exitCode, 0) << "without the password the server refuses";

    const std::string other = (dir.path() / "maria2").string();
    const auto made = makeDsn({"mariadb", other}, {"DODOZ_MARIADB_USER=dodoz_owner", "DODOZ_MARIADB_PASSWORD=se cret"});
    ASSERT_EQ(made.exitCode, 0) << made.describe();
    struct stat info {};
    ASSERT_EQ(stat((other + "/odbc.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_NE(e2e::readFile(other + "/odbc.ini").find("PASSWORD=se cret"), std::string::npos);
    const std::string databases = e2e::readFile(other + "/mariadb.databases");
    const std::string first = databases.substr(0, databases.find(' '));
    EXPECT_EQ(admin("SHOW DATABASES LIKE '" + first + "'").out, first + "\n");

    EXPECT_EQ(makeDsn({"drop", other}, {"DODOZ_MARIADB_USER=dodoz_owner", "DODOZ_MARIADB_PASSWORD=se cret"}).exitCode, 0);
    EXPECT_EQ(admin("SHOW DATABASES LIKE '" + first + "'").out, "");
    EXPECT_FALSE(std::filesystem::exists(other + "/mariadb.databases"));
    admin("DROP USER dodoz_owner@localhost");
}

}  // namespace
}  // namespace tools
