#include "tests/reliability/OwnCluster.h"

#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "tests/e2e/RunFixture.h"
#include "tests/support/Process.h"

namespace reliability {

namespace {

const char* const kVariables[] = {"DODOZ_PG_HOST", "DODOZ_PG_PORT", "DODOZ_PG_USER", "DODOZ_PG_BIN", "DODOZ_PG_DIR"};

}  // namespace

OwnCluster::OwnCluster()
{
    std::istringstream values(helper("start"));
    std::vector<std::string> given;
    for (std::string line; std::getline(values, line);)
        given.push_back(line);
    if (given.size() != std::size(kVariables))
        throw std::runtime_error("own-cluster start printed " + std::to_string(given.size()) + " values, not 5");
    for (size_t i = 0; i < given.size(); ++i)
        saved_.push_back(std::make_unique<EnvVar>(kVariables[i], given[i]));
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
    const std::filesystem::path script = e2e::sourceDir() / "tests/reliability/own-cluster";
    e2e::TempDir dir("dodoz-own-cluster");
    e2e::ProcessResult r = e2e::Process::run({script.string(), command}, {}, dir.path(), std::chrono::minutes(2));
    if (r.exitCode != 0)
        throw std::runtime_error("own-cluster " + command + " failed: " + r.describe());
    return r.out;
}

}  // namespace reliability
