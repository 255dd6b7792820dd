// The source's user and password, and its data source name, are repository contents
// that reach the ODBC driver. Whatever they hold, they must not become settings of the
// connection: the SQLite driver would load a library named by LoadExt (and run its
// constructor) or open, even create, any database file named by Database. Each case
// watches for a marker the library leaves and for any file the run had no business
// making, and ends either refused at stage 2 or with the unbroken task's results.

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <set>

#include "repository/odbc/OdbcConnection.h"
#include "tests/hostile/HostileFixture.h"

namespace hostile {
namespace {

class SmuggledLoginTest : public IrisTaskTest {
protected:
    void SetUp() override
    {
        IrisTaskTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        expected = referenceRun(task, 3).rows;
        watched = db().dir() / ("watched-" + task.keyText());
        std::filesystem::create_directories(watched);
        marker = watched / "marker";
        otherDatabase = watched / "other.db";
        runEnvironment = {"HOSTILE_MARKER=" + marker.string()};
        before = filesBelow(db().dir());
        escapedCheck = [this] { return escapedSomething(); };
    }

    void TearDown() override
    {
        // A case skipped for want of its server, or stopped in SetUp, has no databases
        // to look at.
        if (IsSkipped() || HasFatalFailure())
            return;
        EXPECT_FALSE(std::filesystem::exists(marker)) << "the smuggled library was loaded";
        EXPECT_FALSE(std::filesystem::exists(otherDatabase)) << "the smuggled database file was made";
        EXPECT_EQ(filesBelow(db().dir()), before) << "the run made files";
    }

    bool escapedSomething()
    {
        return std::filesystem::exists(marker) || filesBelow(db().dir()) != before;
    }

    void setSource(const std::string& column, const std::string& value)
    {
        std::string quoted;
        for (char c : value)
            quoted += c == '\'' ? std::string("''") : std::string(1, c);
        db().repository({"UPDATE DtsSource SET " + column + " = '" + quoted + "' WHERE SrcID = " +
                         std::to_string(task.source)});
    }

    // The source's connection failed; the driver's reason follows on its own line.
    void expectSourceRefused(const std::string& name, const std::string& driverState)
    {
        expectRefused(task, Stage::Open, systemError("RepApi.getSourceConnect(int)", "Ошибка соединения с источником " + name),
                      driverState);
    }

    void expectUnbrokenResults() { EXPECT_EQ(expectCompleted(task, 3).rows, expected); }

    static std::string library() { return HOSTILE_MARKER_LIBRARY; }
    std::string databaseUser() const
    {
        const char* user = std::getenv(mariadb() ? "DODOZ_MARIADB_USER" : "DODOZ_PG_USER");
        return user ? user : "";
    }
    bool mariadb() const { return GetParam() == e2e::Backend::MariaDB; }
    // MariaDB checks any password given against the user's, and the test server's user
    // has none: a password, whatever it smuggles, is refused there.
    void expectUnbrokenOrRefusedPassword()
    {
        if (mariadb())
            expectSourceRefused(e2e::TestDatabases::sourceDsn, "28000");
        else
            expectUnbrokenResults();
    }

    std::vector<std::string> expected;
    std::filesystem::path watched;
    std::filesystem::path marker;
    std::filesystem::path otherDatabase;
    std::set<std::string> before;
};

// SQLite ignores the user; PostgreSQL knows no such role, nor MariaDB such a user.
TEST_P(SmuggledLoginTest, LibraryInTheUser)
{
    setSource("SrcUser", "u};LoadExt=" + library() + ";X={");
    if (sqlite())
        expectUnbrokenResults();
    else
        expectSourceRefused(e2e::TestDatabases::sourceDsn, mariadb() ? "28000" : "08001");
}

// Neither SQLite nor PostgreSQL asks for a password here (SQLite has none, the test
// server trusts).
TEST_P(SmuggledLoginTest, LibraryInThePassword)
{
    setSource("SrcPassword", "p;LoadExt=" + library());
    expectUnbrokenOrRefusedPassword();
}

TEST_P(SmuggledLoginTest, LibraryInTheBracedPassword)
{
    setSource("SrcPassword", "p};LoadExt=" + library() + ";X={");
    expectUnbrokenOrRefusedPassword();
}

TEST_P(SmuggledLoginTest, OtherDatabaseInThePassword)
{
    setSource("SrcPassword", "p;Database=" + otherDatabase.string() + ";NoCreat=0");
    expectUnbrokenOrRefusedPassword();
}

// On PostgreSQL the user is the real one followed by another database: were it parsed,
// the run would reach the database "postgres" and fail only at the sample.
TEST_P(SmuggledLoginTest, OtherDatabaseInTheUser)
{
    if (sqlite()) {
        setSource("SrcUser", "u;Database=" + otherDatabase.string() + ";NoCreat=0");
        expectUnbrokenResults();
    } else if (mariadb()) {
        setSource("SrcUser", databaseUser() + ";DATABASE=mysql");
        expectSourceRefused(e2e::TestDatabases::sourceDsn, "28000");
    } else {
        setSource("SrcUser", databaseUser() + ";Database=postgres");
        expectSourceRefused(e2e::TestDatabases::sourceDsn, "08001");
    }
}

// The name is looked up as it stands: no data source is called that.
TEST_P(SmuggledLoginTest, LibraryInTheDataSourceName)
{
    const std::string name = std::string(e2e::TestDatabases::sourceDsn) + ";LoadExt=" + library();
    setSource("SrcSysName", name);
    expectSourceRefused(name, missingDataSourceState(name));
}

// Not a case: the marker library does leave its marker once loaded, and the SQLite
// driver does load it when a connection string names it, so the cases above would see
// a smuggled setting that took effect.
TEST_P(SmuggledLoginTest, MarkerAppearsWhenTheLibraryIsLoaded)
{
    escapedCheck = nullptr;
    ASSERT_EQ(setenv("HOSTILE_MARKER", marker.c_str(), 1), 0);
    if (sqlite()) {
        // In a child of its own, so that the library is loaded into that process only and
        // what the driver keeps of the load is not counted by this process's leak
        // checker: _exit skips the check in the child.
        const std::string connectionString =
            db().connectionString(e2e::TestDatabases::sourceDsn) + "LoadExt=" + library() + ";";
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            try {
                OdbcConnection connection;
                connection.open(connectionString);
            } catch (...) {
            }
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    } else {
        void* handle = dlopen(library().c_str(), RTLD_NOW);
        ASSERT_NE(handle, nullptr) << dlerror();
        dlclose(handle);
    }
    EXPECT_TRUE(std::filesystem::exists(marker));
    std::filesystem::remove(marker);
    unsetenv("HOSTILE_MARKER");
}

DODOZ_ON_EVERY_BACKEND(SmuggledLoginTest);

}  // namespace
}  // namespace hostile
