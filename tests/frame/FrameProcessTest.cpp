// The built program, run in a fresh directory: exit code, what it shows on stderr and the
// journal it leaves, byte for byte apart from the date-time texts. No repository is
// configured here (the DSN files point into the empty test directory), so a run with a
// key goes through stage 1 and fails to open the repository in stage 2; whole runs
// against real databases are the end-to-end tests' business.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "runtime/Runtime.h"
#include "tests/frame/SilentXServer.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::chrono_literals;

struct Outcome {
    int exitCode = -1;
    std::string err;  // UTF-8, as written
    double seconds = 0;
};

// Start line, stage-1 heading and stage-2 heading of a run (cp1251); DT stands for a
// date-time text.
const std::string kStart = "\n Время начала: DT\n";
const std::string kHeading = "\n 1. Считывание ключа задачи: ";
const std::string kStage2 = "\n 2. Открытие репозитория: ";

// The console bar's first line, before anything else goes to stderr.
const std::string kCaptionLine = reinterpret_cast<const char*>(u8"Анализ данных\n");

// stderr of a run that read its key and found no repository: the caption, the console
// bar's first text, then the error of stage 2 and the driver manager's reason.
const std::string kNoRepository =
    kCaptionLine +
    reinterpret_cast<const char*>(
        u8"Открытие...\n RepApi(int):\nОшибка соединения с репозиторием системы MIRELON\n"
        u8"IM002 [unixODBC][Driver Manager]Data source name not found and no default driver specified\n");

std::string platformError(const std::string& key)
{
    try {
        StrToInt(key);
    } catch (const Exception& e) {
        return e.text();
    }
    return "no error for " + key;
}

class FrameProcessTest : public testing::Test {
protected:
    Outcome run(const std::vector<std::string>& args, std::vector<std::string> env = {"DODOZ_NO_GUI=1"},
                const LaunchStreams& streams = {})
    {
        return runIn(dir.path(), args, env, streams);
    }

    Outcome runIn(const std::filesystem::path& workDir, const std::vector<std::string>& args,
                  std::vector<std::string> env = {"DODOZ_NO_GUI=1"}, const LaunchStreams& streams = {})
    {
        std::vector<std::string> argv{DODOZ_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        env.push_back("ODBCSYSINI=" + dir.path().string());
        env.push_back("ODBCINI=" + (dir / "odbc.ini"));
        testsupport::Process child(argv, env, workDir, streams);
        const testsupport::ProcessResult ended = child.wait(30s);
        Outcome r;
        r.exitCode = ended.exitCode.value_or(ended.signal ? 128 + *ended.signal : -1);
        r.err = ended.err;
        r.seconds = ended.seconds;
        return r;
    }

    std::string journalPath() const { return dir / "log/Dodoz.log"; }
    std::string journal() const { return TempDir::read(journalPath()); }

    // The journal with each date-time text replaced by DT.
    std::string maskedJournal() const
    {
        static const std::regex dateTime(R"(\d{1,4}[./-]\d{1,2}[./-]\d{1,4}( \d{1,2}:\d{2}:\d{2})?)");
        return std::regex_replace(journal(), dateTime, "DT");
    }

    TempDir dir;
};

TEST_F(FrameProcessTest, NoArgumentShowsThePlaceAndStopsAfterTheHeading)
{
    Outcome r = run({});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, kCaptionLine + std::string(reinterpret_cast<const char*>(
                         u8" DifType.init():\n Данный файл запускается только из программы Мирелон\n")));
    EXPECT_EQ(maskedJournal(), kStart + kHeading);
}

TEST_F(FrameProcessTest, KeyWithLeadingZerosIsWrittenAsANumber)
{
    Outcome r = run({"0042"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, kNoRepository);
    EXPECT_EQ(maskedJournal(), kStart + kHeading + "42" + kStage2);
}

TEST_F(FrameProcessTest, NegativeKeyKeepsItsSign)
{
    Outcome r = run({"-7"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, kNoRepository);
    EXPECT_EQ(maskedJournal(), kStart + kHeading + "-7" + kStage2);
}

TEST_F(FrameProcessTest, OnlyTheFirstArgumentCounts)
{
    Outcome r = run({"7", "abc"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, kNoRepository);
    EXPECT_EQ(maskedJournal(), kStart + kHeading + "7" + kStage2);
}

TEST_F(FrameProcessTest, KeyThatIsNotANumberShowsThePlatformTextWithoutAPlace)
{
    Outcome r = run({"abc"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, kCaptionLine + Cp1251ToUtf8(platformError("abc")) + "\n");
    EXPECT_EQ(r.err.find("DifType"), std::string::npos);
    EXPECT_EQ(maskedJournal(), kStart + kHeading);
}

TEST_F(FrameProcessTest, KeyBeyondThirtyTwoBitsIsAConversionError)
{
    Outcome r = run({"99999999999"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, kCaptionLine + Cp1251ToUtf8(platformError("99999999999")) + "\n");
    EXPECT_EQ(maskedJournal(), kStart + kHeading);
}

TEST_F(FrameProcessTest, EmptyArgumentIsAConversionErrorNotAMissingOne)
{
    Outcome r = run({""});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, kCaptionLine + Cp1251ToUtf8(platformError("")) + "\n");
}

TEST_F(FrameProcessTest, SecondRunLeavesOnlyItsOwnJournal)
{
    ASSERT_EQ(run({"12345"}).exitCode, 0);
    ASSERT_NE(journal().find("12345"), std::string::npos);
    Outcome r = run({});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(maskedJournal(), kStart + kHeading);
}

TEST_F(FrameProcessTest, ExistingLogDirectoryIsUsedAsItIs)
{
    std::filesystem::create_directory(dir / "log");
    TempDir::write(dir / "log/other.txt", "keep");
    Outcome r = run({"5"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, kNoRepository);
    EXPECT_EQ(maskedJournal(), kStart + kHeading + "5" + kStage2);
    EXPECT_EQ(TempDir::read(dir / "log/other.txt"), "keep");
}

TEST_F(FrameProcessTest, LogPathThatIsAFileCannotBecomeTheDirectory)
{
    TempDir::write(dir / "log", "not a directory");
    Outcome r = run({"5"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, kCaptionLine + Cp1251ToUtf8(" Log.Log():\nОшибка создания каталога: " + (dir / "log")) + "\n");
    EXPECT_EQ(TempDir::read(dir / "log"), "not a directory");
}

TEST_F(FrameProcessTest, JournalPathThatIsADirectoryCannotBeOpened)
{
    std::filesystem::create_directories(dir / "log/Dodoz.log");
    Outcome r = run({"5"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, kCaptionLine + Cp1251ToUtf8(" Log.Log():\nОшибка открытия файла журнала: log/Dodoz.log") + "\n");
}

TEST_F(FrameProcessTest, DateAndTimeFollowTheRegionalSettings)
{
    if (!std::setlocale(LC_ALL, "ru_RU.UTF-8"))
        GTEST_SKIP() << "the ru_RU.UTF-8 locale is not installed (scripts/setup generates it)";
    std::setlocale(LC_ALL, "C");
    Outcome r = run({"1"}, {"DODOZ_NO_GUI=1", "LANG=ru_RU.UTF-8"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(std::regex_search(journal(), std::regex(R"(^\n [^\n]+: \d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\n)")))
        << journal();
}

// A careless launcher: standard descriptors left closed, or a reader of stderr that has
// gone. The run goes as usual and its journal holds nothing but the journal.
class FrameStandardStreamsTest : public FrameProcessTest {};

TEST_F(FrameStandardStreamsTest, ClosedDescriptorsLeaveTheJournalAlone)
{
    for (const std::vector<int>& closed : std::vector<std::vector<int>>{{2}, {1, 2}, {0, 1, 2}, {0}}) {
        SCOPED_TRACE("closed: " + testing::PrintToString(closed));
        Outcome r = run({"5"}, {"DODOZ_NO_GUI=1"}, {.closed = closed});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(maskedJournal(), kStart + kHeading + "5" + kStage2);
    }
}

TEST_F(FrameStandardStreamsTest, StderrWhoseReaderHasGoneDoesNotEndTheRun)
{
    Outcome r = run({"5"}, {"DODOZ_NO_GUI=1"}, {.closed = {}, .stderrReaderGone = true});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(maskedJournal(), kStart + kHeading + "5" + kStage2);
}

std::string utf8(const char8_t* text)
{
    return reinterpret_cast<const char*>(text);
}

// Arguments and folder names come in from the locale's character set (UTF-8, and the plain
// C locale reads as UTF-8 too) and the texts go out as UTF-8 on stderr.
class FrameCharsetTest : public FrameProcessTest {
protected:
    // The folder is named in UTF-8 on disk.
    std::filesystem::path folder(const char8_t* name)
    {
        std::filesystem::path path = dir.path() / utf8(name);
        std::filesystem::create_directory(path);
        return path;
    }

    static std::vector<std::string> locales()
    {
        std::vector<std::string> names{"C.UTF-8", "C"};
        if (std::setlocale(LC_ALL, "ru_RU.UTF-8"))
            names.push_back("ru_RU.UTF-8");
        std::setlocale(LC_ALL, "C");
        return names;
    }
};

TEST_F(FrameCharsetTest, CyrillicArgumentIsShownIntact)
{
    for (const std::string& locale : locales()) {
        SCOPED_TRACE(locale);
        Outcome r = run({utf8(u8"абв")}, {"DODOZ_NO_GUI=1", "LC_ALL=" + locale});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, kCaptionLine + Cp1251ToUtf8(platformError("абв")) + "\n");
        EXPECT_NE(r.err.find(utf8(u8"'абв'")), std::string::npos);
    }
}

TEST_F(FrameCharsetTest, WhatCp1251CannotHoldBecomesAQuestionMark)
{
    Outcome r = run({utf8(u8"5\u4E2D")}, {"DODOZ_NO_GUI=1", "LC_ALL=C.UTF-8"});
    EXPECT_EQ(r.err, kCaptionLine + Cp1251ToUtf8(platformError("5?")) + "\n");
    r = run({"\xFF" "5"}, {"DODOZ_NO_GUI=1", "LC_ALL=C.UTF-8"});
    EXPECT_EQ(r.err, kCaptionLine + Cp1251ToUtf8(platformError("?5")) + "\n");
}

TEST_F(FrameCharsetTest, JournalIsWrittenInACyrillicFolder)
{
    std::filesystem::path work = folder(u8"папка");
    Outcome r = runIn(work, {"5"}, {"DODOZ_NO_GUI=1", "LC_ALL=C.UTF-8"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, kNoRepository);
    EXPECT_NE(TempDir::read((work / "log/Dodoz.log").string()).find(kStage2), std::string::npos);
}

TEST_F(FrameCharsetTest, FolderErrorShowsTheCyrillicPathIntact)
{
    std::filesystem::path work = folder(u8"папка");
    TempDir::write((work / "log").string(), "not a directory");
    for (const std::string& locale : locales()) {
        SCOPED_TRACE(locale);
        Outcome r = runIn(work, {"5"}, {"DODOZ_NO_GUI=1", "LC_ALL=" + locale});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, kCaptionLine + Cp1251ToUtf8(" Log.Log():\nОшибка создания каталога: ") + (work / "log").string() + "\n");
    }
}

TEST_F(FrameCharsetTest, FolderNamedBeyondCp1251StillGetsTheJournal)
{
    std::filesystem::path work = folder(u8"\u65E5\u672C");
    Outcome r = runIn(work, {"5"}, {"DODOZ_NO_GUI=1", "LC_ALL=C.UTF-8"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, kNoRepository);
    EXPECT_NE(TempDir::read((work / "log/Dodoz.log").string()).find(kStage2), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "??"));
}

// What stands at log and log/Dodoz.log before the run.
class FrameJournalEntryTest : public FrameProcessTest {
protected:
    TempDir elsewhere{"dodoz-elsewhere"};
};

TEST_F(FrameJournalEntryTest, DanglingSymlinkAtTheJournalCreatesNothingOutside)
{
    std::filesystem::create_directory(dir.path() / "log");
    std::filesystem::create_symlink(elsewhere / "planted", dir.path() / "log/Dodoz.log");
    Outcome r = run({"5"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, kNoRepository);
    EXPECT_EQ(maskedJournal(), kStart + kHeading + "5" + kStage2);
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(journalPath())));
    EXPECT_FALSE(std::filesystem::exists(elsewhere.path() / "planted"));
}

TEST_F(FrameJournalEntryTest, DanglingLogSymlinkIsTheFolderError)
{
    std::filesystem::create_symlink(elsewhere / "a/log", dir.path() / "log");
    Outcome r = run({"5"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, kCaptionLine + Cp1251ToUtf8(" Log.Log():\nОшибка создания каталога: " + (dir / "log")) + "\n");
    EXPECT_FALSE(std::filesystem::exists(elsewhere.path() / "a"));
}

TEST_F(FrameJournalEntryTest, LogSymlinkOfTheUserTakesTheJournal)
{
    std::filesystem::create_directory_symlink(elsewhere.path(), dir.path() / "log");
    Outcome r = run({"5"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, kNoRepository);
    EXPECT_EQ(TempDir::read(elsewhere / "Dodoz.log"), journal());
    EXPECT_NE(journal().find(kStage2), std::string::npos);
}

// Where DISPLAY names no usable X server, the run goes on with the console instead: the
// progress text of stage 2 comes on stderr, before the stage's error.
class FrameDisplayFallbackTest : public FrameProcessTest {
protected:
    void expectConsoleRun(const Outcome& r)
    {
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, kNoRepository);
        EXPECT_EQ(maskedJournal(), kStart + kHeading + "3" + kStage2);
    }
};

TEST_F(FrameDisplayFallbackTest, DisplayWithNothingThereFallsBackAtOnce)
{
    Outcome r = run({"3"}, {"DISPLAY=:" + std::to_string(freeDisplay())});
    expectConsoleRun(r);
    EXPECT_LT(r.seconds, 2.0);
}

TEST_F(FrameDisplayFallbackTest, DisplayThatNeverAnswersFallsBackAfterTheProbe)
{
    int display = freeDisplay();
    SilentXServer server(display);
    Outcome r = run({"3"}, {"DISPLAY=:" + std::to_string(display)});
    expectConsoleRun(r);
    EXPECT_GT(r.seconds, 2.5);
    EXPECT_LT(r.seconds, 8.0);
}

TEST_F(FrameDisplayFallbackTest, NoGuiSkipsTheProbeOfASilentServer)
{
    int display = freeDisplay();
    SilentXServer server(display);
    Outcome r = run({"3"}, {"DISPLAY=:" + std::to_string(display), "DODOZ_NO_GUI=1"});
    expectConsoleRun(r);
    EXPECT_LT(r.seconds, 2.0);
}

TEST_F(FrameDisplayFallbackTest, EmptyDisplayMeansTheConsole)
{
    Outcome r = run({"3"}, {"DISPLAY="});
    expectConsoleRun(r);
    EXPECT_LT(r.seconds, 2.0);
}

}  // namespace
