#include "core/Utils.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "tests/support/TempDir.h"

namespace {

class LogTest : public ::testing::Test {
protected:
    std::string file(const std::string& name) const { return dir / name; }

    TempDir dir;
};

}  // namespace

TEST_F(LogTest, StartsWithDetailOneAndNoIndent)
{
    Log log(file("j.log"), false);
    EXPECT_EQ(1, log.detail);
    EXPECT_EQ(0, log.indent);
    EXPECT_EQ(file("j.log"), log.getFileName());
}

TEST_F(LogTest, WritesBytesAsGivenWithoutIndent)
{
    const std::string text = "\n Время начала: 31.12.2024\r\n\tA\n\n";
    {
        Log log(file("j.log"), false);
        log.write(text);
        log.write("");
        log.writeLine("конец");
    }
    EXPECT_EQ(text + "\nконец", TempDir::read(file("j.log")));
}

TEST_F(LogTest, IndentFollowsEveryLineFeed)
{
    Log log(file("j.log"), false);
    log.indent = 1;
    log.write("A\nB");
    EXPECT_EQ("A\n  B", TempDir::read(file("j.log")));
    log.writeLine("X");
    EXPECT_EQ("A\n  B\n  X", TempDir::read(file("j.log")));
}

TEST_F(LogTest, TrailingLineFeedEndsInIndentBlanks)
{
    Log log(file("j.log"), false);
    log.indent = 2;
    log.write("text\n");
    EXPECT_EQ("text\n    ", TempDir::read(file("j.log")));
}

// Long texts go out in pieces; the bytes must be those of one indented copy, whatever
// falls on a piece's edge (a line feed, a line longer than a piece, runs of line feeds).
TEST_F(LogTest, LongTextsAreWrittenAsOneIndentedCopy)
{
    std::string text;
    for (int i = 0; i < 40000; ++i) {
        text += " | " + std::to_string(i * 7919 % 100003) + " | строка";
        if (i % 97 == 0)
            text += std::string(70000, 'x');
        text += i % 5 == 0 ? "\n\n" : "\n";
    }
    std::string expected;
    for (char c : "\n" + text + "\nend")
        expected += c == '\n' ? std::string("\n      ") : std::string(1, c);
    {
        Log log(file("j.log"), false);
        log.indent = 3;
        log.writeLine(text);
        log.writeLine("end");
    }
    EXPECT_EQ(expected, TempDir::read(file("j.log")));
    {
        Log log(file("plain.log"), false);
        log.writeLine(text);
    }
    EXPECT_EQ("\n" + text, TempDir::read(file("plain.log")));
}

TEST_F(LogTest, EmptyLineIsALineFeedAndIndent)
{
    Log log(file("j.log"), false);
    log.writeLine("");
    log.indent = 1;
    log.writeLine("");
    EXPECT_EQ("\n\n  ", TempDir::read(file("j.log")));
}

TEST_F(LogTest, WithoutAppendTheOldJournalIsGone)
{
    TempDir::write(file("j.log"), "previous run");
    Log log(file("j.log"), false);
    EXPECT_EQ("", TempDir::read(file("j.log")));
    log.write("new");
    EXPECT_EQ("new", TempDir::read(file("j.log")));
}

TEST_F(LogTest, AppendContinuesRightAfterTheOldContent)
{
    TempDir::write(file("j.log"), "old");
    Log log(file("j.log"), true);
    log.write("new");
    EXPECT_EQ("oldnew", TempDir::read(file("j.log")));
}

TEST_F(LogTest, AppendOnAMissingFileCreatesIt)
{
    Log log(file("j.log"), true);
    log.write("x");
    EXPECT_EQ("x", TempDir::read(file("j.log")));
}

TEST_F(LogTest, WritesAfterCloseAreDropped)
{
    Log log(file("j.log"), false);
    log.write("a");
    log.close();
    log.write("b");
    log.close();
    EXPECT_EQ("a", TempDir::read(file("j.log")));
}

TEST_F(LogTest, UnopenableFileNamesTheFile)
{
    TempDir::write(file("plain"), "");
    const std::string name = file("plain") + "/j.log";
    try {
        Log log(name, false);
        FAIL() << "no error";
    } catch (const SystemException& e) {
        EXPECT_EQ("Log.Log()", e.place);
        EXPECT_EQ("Ошибка открытия файла журнала: " + name, e.message);
        EXPECT_EQ(e.message, e.text());
    }
    EXPECT_THROW(Log(dir.path().string(), false), SystemException);
}

// Whatever a previous run, a careless host or someone else left at the journal's name
// goes as an entry; nothing there is ever followed or opened.
class JournalEntryTest : public LogTest {
protected:
    std::string name() const { return file("j.log"); }

    void expectNewJournal()
    {
        {
            Log log(name(), false);
            log.write("new");
        }
        struct stat entry {};
        ASSERT_EQ(0, lstat(name().c_str(), &entry));
        // Reading a FIFO left there would wait for a writer.
        ASSERT_TRUE(S_ISREG(entry.st_mode));
        EXPECT_EQ("new", TempDir::read(name()));
    }

    TempDir elsewhere{"dodoz-elsewhere"};
};

TEST_F(JournalEntryTest, SymlinkToAFileGoesAndItsTargetStays)
{
    const std::string target = elsewhere / "precious";
    TempDir::write(target, "keep");
    std::filesystem::create_symlink(target, name());
    expectNewJournal();
    EXPECT_EQ("keep", TempDir::read(target));
}

TEST_F(JournalEntryTest, DanglingSymlinkCreatesNothingWhereItPoints)
{
    const std::string target = elsewhere / "planted.log";
    std::filesystem::create_symlink(target, name());
    expectNewJournal();
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(JournalEntryTest, SymlinkToADeviceGoesWithoutTheDeviceBeingOpened)
{
    std::filesystem::create_symlink("/dev/full", name());
    expectNewJournal();
}

TEST_F(JournalEntryTest, FifoGoesInsteadOfTakingTheJournal)
{
    ASSERT_EQ(0, mkfifo(name().c_str(), 0644));
    expectNewJournal();
}

TEST_F(JournalEntryTest, SocketGoes)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(name().size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, name().c_str());
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_NE(-1, listener);
    ASSERT_EQ(0, bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address));
    expectNewJournal();
    close(listener);
}

TEST_F(JournalEntryTest, DirectoryStaysAndIsTheOpeningError)
{
    std::filesystem::create_directory(name());
    TempDir::write(name() + "/inside", "keep");
    try {
        Log log(name(), false);
        FAIL() << "no error";
    } catch (const SystemException& e) {
        EXPECT_EQ("Ошибка открытия файла журнала: " + name(), e.message);
    }
    EXPECT_EQ("keep", TempDir::read(name() + "/inside"));
}

// A symlink in place of the journal's folder: one that the user or root set up (a site
// keeping its journals on another disk) is followed; one that somebody else planted would
// take the journal out of the working directory and is refused.
class JournalFolderTest : public LogTest {
protected:
    void SetUp() override
    {
        std::filesystem::create_directory(store);
        std::filesystem::create_directory_symlink(store, link);
    }

    const std::string store = file("store");
    const std::string link = file("log");
};

TEST_F(JournalFolderTest, SymlinkOfTheUserIsFollowed)
{
    TempDir::write(store + "/j.log", "previous run");
    {
        Log log(link + "/j.log", false);
        log.write("new");
    }
    EXPECT_EQ("new", TempDir::read(store + "/j.log"));
}

TEST_F(JournalFolderTest, SymlinkOfAnotherUserIsRefused)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can give the symlink to another user";
    ASSERT_EQ(0, lchown(link.c_str(), 65534, 65534));
    TempDir::write(store + "/j.log", "keep");
    try {
        Log log(link + "/j.log", false);
        FAIL() << "no error";
    } catch (const SystemException& e) {
        EXPECT_EQ("Ошибка открытия файла журнала: " + link + "/j.log", e.message);
    }
    EXPECT_EQ("keep", TempDir::read(store + "/j.log"));
}

class MakeDirTest : public LogTest {};

TEST_F(MakeDirTest, RelativeDirGoesBelowTheCurrentOne)
{
    CurrentDir inside(dir.path());
    Log::makeDir("log", true);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "log"));
    Log::makeDir("log", true);
    Log::makeDir("deep/er/log", true);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "deep/er/log"));
}

TEST_F(MakeDirTest, AbsoluteDirIsTakenAsItIs)
{
    Log::makeDir(file("a/b"), false);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "a/b"));
    Log::makeDir(file("a/b"), false);
}

TEST_F(MakeDirTest, FailureNamesTheFullPath)
{
    TempDir::write(file("plain"), "");
    try {
        Log::makeDir(file("plain/log"), false);
        FAIL() << "no error";
    } catch (const SystemException& e) {
        EXPECT_EQ("Log.Log()", e.place);
        EXPECT_EQ("Ошибка создания каталога: " + file("plain/log"), e.message);
    }
    CurrentDir inside(dir.path());
    try {
        Log::makeDir("plain", true);
        FAIL() << "no error";
    } catch (const SystemException& e) {
        EXPECT_EQ("Ошибка создания каталога: " + file("plain"), e.message);
    }
}

// Folder names are UTF-8 on disk and cp1251 in the program's texts.
TEST_F(MakeDirTest, CyrillicCurrentDirIsNamedIntactInTheError)
{
    const std::filesystem::path folder = dir.path() / reinterpret_cast<const char*>(u8"папка");
    std::filesystem::create_directory(folder);
    TempDir::write((folder / "plain").string(), "");
    CurrentDir inside(folder);
    Log::makeDir("log", true);
    EXPECT_TRUE(std::filesystem::is_directory(folder / "log"));
    try {
        Log::makeDir("plain", true);
        FAIL() << "no error";
    } catch (const SystemException& e) {
        EXPECT_EQ("Ошибка создания каталога: " + dir.path().string() + "/папка/plain", e.message);
    }
}

TEST_F(MakeDirTest, CurrentDirBeyondCp1251GetsTheDirectoryItself)
{
    const std::filesystem::path folder = dir.path() / reinterpret_cast<const char*>(u8"日本");
    std::filesystem::create_directory(folder);
    CurrentDir inside(folder);
    Log::makeDir("log", true);
    EXPECT_TRUE(std::filesystem::is_directory(folder / "log"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "??"));
}

TEST_F(MakeDirTest, DanglingSymlinkIsNotTurnedIntoItsTarget)
{
    TempDir elsewhere("dodoz-elsewhere");
    std::filesystem::create_symlink(elsewhere / "a/log", dir.path() / "log");
    CurrentDir inside(dir.path());
    EXPECT_THROW(Log::makeDir("log", true), SystemException);
    EXPECT_FALSE(std::filesystem::exists(elsewhere.path() / "a"));
}

class TextUtilsTest : public ::testing::Test {};

TEST_F(TextUtilsTest, PadCutsOrFillsToTheWidth)
{
    EXPECT_EQ("   ", Utils::pad("0", 3, ' '));
    EXPECT_EQ("10 ", Utils::pad("10", 3, ' '));
    EXPECT_EQ("abcdefghijkl", Utils::pad("abcdefghijklmno", 12, ' '));
    EXPECT_EQ("ab..", Utils::pad("ab", 4, '.'));
    EXPECT_EQ("", Utils::pad("abc", 0, ' '));
    EXPECT_EQ("abc", Utils::pad("abc", -1, ' '));
    EXPECT_EQ("", Utils::pad("0", -1, ' '));
    EXPECT_EQ("00", Utils::pad("00", 2, ' '));
}

TEST_F(TextUtilsTest, CutTailDropsTheLastCharacters)
{
    EXPECT_EQ("a, b", Utils::cutTail("a, b, ", 2));
    EXPECT_EQ("a", Utils::cutTail("a", 2));
    EXPECT_EQ("", Utils::cutTail("ab", 2));
    EXPECT_EQ("", Utils::cutTail("0", 2));
    EXPECT_EQ("abc", Utils::cutTail("abc", 0));
}

TEST_F(TextUtilsTest, RepeatAndReplaceAll)
{
    EXPECT_EQ("    ", Utils::repeat(' ', 4));
    EXPECT_EQ("", Utils::repeat('x', 0));
    EXPECT_EQ("", Utils::repeat('x', -1));
    EXPECT_EQ("a\n  b\n  ", Utils::replaceAll("a\nb\n", "\n", "\n  "));
    EXPECT_EQ("Сумма", Utils::replaceAll("Сумма", "сумма", "x"));
}
