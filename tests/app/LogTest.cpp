#include "app/Utils.h"

#include <gtest/gtest.h>

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
