#include "tests/reliability/OwnCluster.h"

#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "tests/e2e/RunFixture.h"
#include "tests/support/Process.h"

namespace reliability {

namespace {

const std::vector<std::string> kPostgresVariables{"DODOZ_PG_HOST", "DODOZ_PG_PORT", "DODOZ_PG_USER", "DODOZ_PG_BIN",
                                                  "DODOZ_PG_DIR"};
const std::vector<std::string> kMariadbVariables{"DODOZ_MARIADB_HOST", "DODOZ_MARIADB_PORT", "DODOZ_MARIADB_SOCKET",
                                                 "DODOZ_MARIADB_USER", "DODOZ_MARIADB_DIR"};

}  // namespace

OwnCluster::OwnCluster(testsupport::Backend backend)
    : script_(backend == testsupport::Backend::MariaDB ? "own-mariadb" : "own-cluster")
{
    const std::vector<std::string>& variables =
        backend == testsupport::Backend::MariaDB ? kMariadbVariables : kPostgresVariables;
    std::istringstream values(helper("start"));
    std::vector<std::string> given;
    for (std::string line; std::getline(values, line);)
        given.push_back(line);
    if (given.size() != variables.size())
        throw std::runtime_error(script_ + " start printed " + std::to_string(given.size()) + " values, not " +
                                 std::to_string(variables.size()));
    for (size_t i = 0; i < given.size(); ++i)
        saved_.push_back(std::make_unique<EnvVar>(variables[i].c_str(), given[i]));
}

OwnCluster::~OwnCluster()
{
    try {
        helper("remove");
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
    }
}

void OwnCluster::stop()
{
    helper("stop");
}

void OwnCluster::restart()
{
    helper("restart");
}

std::string OwnCluster::helper(const std::string& command) const
{
    const std::filesystem::path script = e2e::sourceDir() / "tests/reliability" / script_;
    e2e::TempDir dir("dodoz-own-cluster");
    e2e::ProcessResult r = e2e::Process::run({script.string(), command}, {}, dir.path(), std::chrono::minutes(2));
    if (r.exitCode != 0)
        throw std::runtime_error(script_ + " " + command + " failed: " + r.describe());
    return r.out;
}

}  // namespace reliability
