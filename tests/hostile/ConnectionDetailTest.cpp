// Connections that cannot be made. The message stays the fixed one the host's users
// know; the driver's SQLSTATE and text follow it on stderr as one line of their own, so
// that a missing data source, a wrong database file and a server that is not there can
// be told apart.

#include "runtime/Runtime.h"
#include "tests/hostile/HostileFixture.h"

namespace hostile {
namespace {

class ConnectionDetailTest : public IrisTaskTest {
protected:
    // SQLite: a database file that is not there (the DSN forbids creating it);
    // PostgreSQL: a port where no server listens; MariaDB: a socket that is not there.
    std::string unreachable(const std::string& dsn)
    {
        if (sqlite()) {
            missing = db().dir() / ("missing-" + task.keyText() + ".db");
            changeDataSource(dsn, "Database", missing.string());
            return "HY000";
        }
        if (GetParam() == e2e::Backend::MariaDB) {
            changeDataSource(dsn, "SOCKET", (db().dir() / "missing.sock").string());
            return "HY000";
        }
        changeDataSource(dsn, "Port", "1");
        return "08001";
    }

    void expectRepositoryRefused(const std::string& driverState)
    {
        expectRefused(task, Stage::Open,
                      systemError("RepApi(int)", "Ошибка соединения с репозиторием системы MIRELON"), driverState,
                      Earlier::Kept);
    }

    void expectSourceRefused(const std::string& name, const std::string& driverState)
    {
        expectRefused(task, Stage::Open,
                      systemError("RepApi.getSourceConnect(int)", "Ошибка соединения с источником " + name), driverState);
    }

    void TearDown() override
    {
        if (!missing.empty()) {
            EXPECT_FALSE(std::filesystem::exists(missing)) << "the missing database was created";
        }
    }

    std::filesystem::path missing;
};

TEST_P(ConnectionDetailTest, RepositoryDataSourceMissing)
{
    const std::filesystem::path empty = db().dir() / ("empty-" + task.keyText());
    std::filesystem::create_directories(empty);
    e2e::writeFile(empty / "odbc.ini", "");
    runEnvironment = {"ODBCSYSINI=" + empty.string(), "ODBCINI=" + (empty / "odbc.ini").string()};
    expectRepositoryRefused("IM002");
}

TEST_P(ConnectionDetailTest, SourceDataSourceMissing)
{
    db().repository({"UPDATE DtsSource SET SrcSysName = 'DODOZ_NO_SUCH_SOURCE' WHERE SrcID = " +
                     std::to_string(task.source)});
    expectSourceRefused("DODOZ_NO_SUCH_SOURCE", "IM002");
}

TEST_P(ConnectionDetailTest, RepositoryUnreachable)
{
    const std::string state = unreachable(e2e::TestDatabases::repositoryDsn);
    expectRepositoryRefused(state);
}

TEST_P(ConnectionDetailTest, SourceUnreachable)
{
    const std::string state = unreachable(e2e::TestDatabases::sourceDsn);
    expectSourceRefused(e2e::TestDatabases::sourceDsn, state);
}

DODOZ_ON_EVERY_BACKEND(ConnectionDetailTest);

}  // namespace
}  // namespace hostile
