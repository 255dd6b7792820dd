#pragma once
// A PostgreSQL or MariaDB server of one test's own (tests/reliability/own-cluster,
// own-mariadb), for tests that stop the server under a run: the shared server of the
// other tests stays untouched. While the object lives, the DODOZ_PG_* (DODOZ_MARIADB_*)
// variables of this process name it, so e2e::TestDatabases made meanwhile live on it
// (destroy them first); the earlier values come back when it goes. The server keeps
// every commit it acknowledged, also across stop().

#include <memory>
#include <string>
#include <vector>

#include "tests/support/Backend.h"
#include "tests/support/EnvironmentGuard.h"

namespace reliability {

class OwnCluster {
public:
    explicit OwnCluster(testsupport::Backend backend);
    OwnCluster(const OwnCluster&) = delete;
    OwnCluster& operator=(const OwnCluster&) = delete;
    ~OwnCluster();

    // Immediate shutdown: the server dies as in a crash, and its connections with it.
    void stop();
    // Starts the stopped server again on the same port.
    void restart();

private:
    std::string helper(const std::string& command) const;

    std::string script_;
    std::vector<std::unique_ptr<EnvVar>> saved_;
};

}  // namespace reliability
