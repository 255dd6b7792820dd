// The package as a site gets it: made by CPack from this build, unpacked with dpkg-deb
// into a temporary directory, and a whole task run with the programs, the extension and
// the schemas inside it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>

#include "tests/support/Process.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::Process;
using testsupport::ProcessResult;

std::string programOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        fs::path candidate = fs::path(dir) / name;
        if (!dir.empty() && access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
    }
    throw std::runtime_error(name + " is not on PATH");
}

// Runs a program to its end; a failure to end with 0 fails the test with its stderr.
std::string succeed(const std::vector<std::string>& args, const fs::path& workDir,
                    const std::vector<std::string>& env = {})
{
    ProcessResult r = Process::run(args, env, workDir, 300s);
    EXPECT_EQ(r.exitCode, 0) << args[0] << ": " << r.describe();
    return r.out;
}

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

class PackageTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        work_ = std::make_unique<TempDir>("dodoz-package");
        const fs::path out = work_->path() / "cpack";
        succeed({DODOZ_CPACK, "--config", DODOZ_CPACK_CONFIG, "-B", out.string()}, work_->path());
        for (const auto& entry : fs::directory_iterator(out))
            if (entry.path().extension() == ".deb")
                deb_ = entry.path();
        ASSERT_FALSE(deb_.empty()) << "cpack made no .deb in " << out;
        root_ = work_->path() / "root";
        succeed({programOnPath("dpkg-deb"), "-x", deb_.string(), root_.string()}, work_->path());
    }
    static void TearDownTestSuite() { work_.reset(); }

    void SetUp() override
    {
        if (deb_.empty() || !fs::exists(root_ / "usr/bin/dodoz"))
            FAIL() << "the package was not made or not unpacked";
    }

    static std::string field(const std::string& name)
    {
        return trimmed(succeed({programOnPath("dpkg-deb"), "-f", deb_.string(), name}, work_->path()));
    }

    // Every file of the package below usr/ whose name is name.
    static std::vector<fs::path> find(const std::string& name)
    {
        std::vector<fs::path> found;
        for (const auto& entry : fs::recursive_directory_iterator(root_))
            if (entry.path().filename() == name)
                found.push_back(entry.path());
        return found;
    }

    static std::unique_ptr<TempDir> work_;
    static fs::path deb_;
    static fs::path root_;
};

std::unique_ptr<TempDir> PackageTest::work_;
fs::path PackageTest::deb_;
fs::path PackageTest::root_;

TEST_F(PackageTest, HoldsTheProgramsTheExtensionTheSchemasAndTheDocumentation)
{
    const fs::path usr = root_ / "usr";
    for (const char* program : {"bin/dodoz", "bin/dodoz-register", "bin/dodoz-results", "bin/dodoz-explain",
                                "bin/dodoz-classify", "bin/dodoz-make-dsn"}) {
        EXPECT_TRUE(fs::is_regular_file(usr / program)) << program;
        EXPECT_EQ(access((usr / program).c_str(), X_OK), 0) << program;
    }
    EXPECT_EQ(find("getnextpk.so").size(), 1u);
    for (const char* script : {"sqlite/repository.sql", "sqlite/source.sql", "postgresql/repository.sql",
                               "postgresql/source.sql", "mariadb/repository.sql", "mariadb/source.sql"})
        EXPECT_TRUE(fs::is_regular_file(usr / "share/dodoz" / script)) << script;
    for (const char* page : {"dodoz.1.gz", "dodoz-register.1.gz", "dodoz-results.1.gz", "dodoz-explain.1.gz",
                             "dodoz-classify.1.gz", "dodoz-make-dsn.1.gz"})
        EXPECT_TRUE(fs::is_regular_file(usr / "share/man/man1" / page)) << page;
    for (const char* doc : {"copyright", "changelog.gz", "README.md", "examples/iris.csv"})
        EXPECT_TRUE(fs::is_regular_file(usr / "share/doc/dodoz" / doc)) << doc;
}

TEST_F(PackageTest, ControlFieldsComeFromTheProjectAndTheBinaries)
{
    EXPECT_EQ(field("Package"), "dodoz");
    EXPECT_EQ(field("Version"), DODOZ_VERSION);
    const std::string depends = field("Depends");
    for (const char* library : {"libodbc2", "libfltk1.3", "libcairo2", "libstdc++6", "libc6"})
        EXPECT_NE(depends.find(library), std::string::npos) << library << " missing from " << depends;
    EXPECT_NE(field("Recommends").find("libsqliteodbc"), std::string::npos);
    EXPECT_NE(field("Suggests").find("odbc-postgresql"), std::string::npos);
}

// Warnings depend on the build flags (scripts/package adds Debian's hardening flags,
// this build does not); errors do not.
TEST_F(PackageTest, LintianFindsNoError)
{
    ProcessResult r = Process::run({programOnPath("lintian"), "--fail-on", "error", deb_.string()}, {},
                                   work_->path(), 600s);
    EXPECT_EQ(r.exitCode, 0) << r.out << r.describe();
    EXPECT_EQ(("\n" + r.out).find("\nE: "), std::string::npos) << r.out;
}

TEST_F(PackageTest, PackagedProgramsClassifyTheIrisFlowerOnSQLite)
{
    const fs::path usr = root_ / "usr";
    TempDir dir("dodoz-package-run");
    const fs::path dsn = dir.path() / "dsn";
    // No --ext: the packaged make-dsn must find the packaged extension by itself.
    std::string exports = succeed({(usr / "bin/dodoz-make-dsn").string(), "sqlite", dsn.string()}, dir.path());
    EXPECT_NE(exports.find("export ODBCINI='" + (dsn / "odbc.ini").string() + "'"), std::string::npos) << exports;
    const std::string odbcIni = testsupport::readFile(dsn / "odbc.ini");
    ASSERT_EQ(find("getnextpk.so").size(), 1u);
    EXPECT_NE(odbcIni.find("LoadExt=" + find("getnextpk.so").front().string() + "\n"), std::string::npos)
        << odbcIni;
    const std::vector<std::string> env{"ODBCSYSINI=" + dsn.string(), "ODBCINI=" + (dsn / "odbc.ini").string(),
                                       "DODOZ_NO_GUI=1"};

    const std::string key = trimmed(succeed({(usr / "bin/dodoz-register").string(), "--csv",
                                             (usr / "share/doc/dodoz/examples/iris.csv").string(), "--class", "class",
                                             "--table", "iris", "--object", "6.0,2.9,4.5,1.5"},
                                            dir.path(), env));
    ASSERT_FALSE(key.empty());
    fs::create_directory(dir.path() / "run");
    succeed({(usr / "bin/dodoz").string(), key}, dir.path() / "run", env);

    auto query = [&](const std::string& sql) {
        return trimmed(succeed({programOnPath("sqlite3"), (dsn / "repository.db").string(), sql}, dir.path()));
    };
    EXPECT_EQ(query("SELECT ResValue1 FROM TskResult WHERE TskID = " + key + " AND ResSysName = 'class'"), "1");
    EXPECT_EQ(query("SELECT LogType || ' ' || LogMessage FROM TskLog WHERE TskID = " + key),
              reinterpret_cast<const char*>(u8"1 Анализ завершен"));
    EXPECT_TRUE(fs::is_regular_file(dir.path() / "run/log/Dodoz.log"));

    const std::string explained = succeed({(usr / "bin/dodoz-explain").string(), "--plot", "iris.png", key},
                                          dir.path() / "run", env);
    EXPECT_NE(explained.find("c_min = 1.06"), std::string::npos) << explained;
    EXPECT_TRUE(fs::is_regular_file(dir.path() / "run/iris.png")) << "the package's dodoz-explain draws";
    const std::string again = succeed({(usr / "bin/dodoz-make-dsn").string(), "exports", dsn.string()}, dir.path());
    EXPECT_EQ(again, exports.substr(exports.find("export ODBCSYSINI"))) << "the same export lines once more";
}

// The installed make-dsn's help names itself and the installed files, not a checkout's.
TEST_F(PackageTest, InstalledHelpSpeaksOfInstalledPaths)
{
    const std::string help = succeed({(root_ / "usr/bin/dodoz-make-dsn").string(), "--help"}, work_->path());
    EXPECT_NE(help.find("dodoz-make-dsn sqlite DIR"), std::string::npos) << help;
    EXPECT_EQ(help.find("scripts/"), std::string::npos) << help;
    EXPECT_EQ(help.find("build/"), std::string::npos) << help;
    EXPECT_EQ(help.find("db/"), std::string::npos) << help;
    EXPECT_NE(help.find("/usr/lib/"), std::string::npos) << help;
}

}  // namespace
