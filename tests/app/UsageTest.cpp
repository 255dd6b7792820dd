// dodoz --help and dodoz --version, and the arguments that only look like them: those
// stay task keys and fail as any text that is not an integer does.

#include <gtest/gtest.h>

#include <filesystem>

#include "runtime/Runtime.h"
#include "tests/support/Process.h"

namespace {

using namespace std::chrono_literals;
using testsupport::Process;
using testsupport::ProcessResult;

class UsageTest : public testing::Test {
protected:
    ProcessResult run(const std::vector<std::string>& args)
    {
        std::vector<std::string> argv{DODOZ_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        // No repository is configured: a run that takes its argument as a key stops in
        // stage 2 at the latest.
        return Process::run(argv,
                            {"DODOZ_NO_GUI=1", "ODBCSYSINI=" + dir.path().string(), "ODBCINI=" + (dir / "odbc.ini")},
                            dir.path(), 60s);
    }

    bool journalWritten() const { return std::filesystem::exists(dir.path() / "log/Dodoz.log"); }

    static std::string conversionError(const std::string& text)
    {
        try {
            StrToInt(text);
        } catch (const Exception& e) {
            // The console bar's caption comes first.
            return Cp1251ToUtf8("Анализ данных\n" + e.text()) + "\n";
        }
        return "no error for " + text;
    }

    TempDir dir;
};

TEST_F(UsageTest, HelpPrintsTheUsageOnStdoutAndStartsNoRun)
{
    ProcessResult r = run({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind("usage: dodoz KEY\n", 0), 0u) << r.out;
    for (const char* mention : {"MIRELON", "log/Dodoz.log", "man 1 dodoz", "TskLog", "DODOZ_NO_GUI"})
        EXPECT_NE(r.out.find(mention), std::string::npos) << mention << " missing from\n" << r.out;
    EXPECT_FALSE(journalWritten());
}

TEST_F(UsageTest, VersionPrintsTheProjectVersion)
{
    ProcessResult r = run({"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, std::string("dodoz ") + DODOZ_VERSION + "\n");
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(journalWritten());
}

TEST_F(UsageTest, QuestionsAfterAKeyAreIgnoredLikeAnyFurtherArgument)
{
    ProcessResult r = run({"7", "--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.find("usage"), std::string::npos);
    EXPECT_NE(testsupport::readFile(dir.path() / "log/Dodoz.log").find(": 7"), std::string::npos);
}

class UsageLookalikeTest : public UsageTest, public testing::WithParamInterface<std::string> {};

TEST_P(UsageLookalikeTest, IsATaskKeyThatIsNotANumber)
{
    ProcessResult r = run({GetParam()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, conversionError(GetParam()));
    EXPECT_TRUE(journalWritten());
}

INSTANTIATE_TEST_SUITE_P(Arguments, UsageLookalikeTest,
                         testing::Values("-h", "--HELP", "--help=1", "--help ", "-v", "--version2", "-help"));

}  // namespace
