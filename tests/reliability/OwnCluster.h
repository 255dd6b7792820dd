#pragma once
// A PostgreSQL server of one test's own (tests/reliability/own-cluster), for tests that
// stop the server under a run: the shared server of the other tests stays untouched.
// While the object lives, DODOZ_PG_HOST, DODOZ_PG_PORT, DODOZ_PG_USER, DODOZ_PG_BIN and
// DODOZ_PG_DIR of this process name it, so e2e::Databases made meanwhile live on it
// (destroy them first); the earlier values come back when it goes. The server keeps
// every commit it acknowledged, also across stop().

#include <memory>
#include <string>
#include <vector>

#include "tests/support/EnvironmentGuard.h"

namespace reliability {

class OwnCluster {
public:
    OwnCluster();
    OwnCluster(const OwnCluster&) = delete;
    OwnCluster& operator=(const OwnCluster&) = delete;
    ~OwnCluster();

    // Immediate shutdown: the server dies as in a crash, and its connections with it.
    void stop();
    // Starts the stopped server again on the same port.
    void restart();

private:
    std::string helper(const std::string& command) const;

    std::vector<std::unique_ptr<EnvVar>> saved_;
};

}  // namespace reliability
