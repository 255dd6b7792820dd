#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "runtime/Runtime.h"
#include "tests/support/TempDir.h"
#include "tools/common/TextInput.h"

namespace {

std::string refusal(const std::string& bytes, const std::string& encoding)
{
    try {
        textToUtf8(bytes, encoding, "data.csv");
    } catch (const Exception& e) {
        return e.text();
    }
    return "no error";
}

TEST(FileEncodingTest, Cp1251KeepsTheByteIconvRefuses)
{
    // 0x98 is unassigned in cp1251; glibc's iconv stops at it.
    const std::string bytes = "\xE2\xE8\xE4;\x98\n";
    EXPECT_EQ(textToUtf8(bytes, "cp1251", "data.csv"), "\xD0\xB2\xD0\xB8\xD0\xB4;\xC2\x98\n");
    EXPECT_EQ(textToUtf8(bytes, "Windows-1251", "data.csv"), textToUtf8(bytes, "CP1251", "data.csv"));
}

TEST(FileEncodingTest, OtherSingleByteEncodingsGoThroughIconv)
{
    EXPECT_EQ(textToUtf8("caf\xE9\n", "latin1", "data.csv"), "caf\xC3\xA9\n");
}

TEST(FileEncodingTest, RefusalsNameTheLineAndTheOption)
{
    EXPECT_EQ(refusal("a,b\n1,\xEB\n", ""),
              "data.csv, line 2: the byte 0xEB is not UTF-8; give the file's encoding, e.g. --encoding cp1251 "
              "(or --encoding latin1)");
    EXPECT_EQ(refusal("a\n\xC3\n", "utf-8"),
              "data.csv, line 2: the byte 0xC3 is not utf-8; give the file's own encoding with --encoding");
    EXPECT_EQ(refusal("a\n", "no-such-encoding"),
              "the encoding 'no-such-encoding' is unknown (iconv --list shows the known ones)");
    EXPECT_EQ(refusal("a\n\xFF\xFE\n", "ascii"),
              "data.csv, line 2: the byte 0xFF is not ascii; give the file's own encoding with --encoding");
}

TEST(FileEncodingTest, Utf8PassesAsItIs)
{
    const std::string text = "\xD0\xB2\xD0\xB8\xD0\xB4,\xE2\x82\xAC\n";
    EXPECT_EQ(textToUtf8(text, "", "data.csv"), text);
    // Overlong forms and surrogates are no UTF-8.
    EXPECT_NE(refusal("\xC0\xAF", ""), "no error");
    EXPECT_NE(refusal("\xED\xA0\x80", ""), "no error");
}

TEST(PlainNameTest, WhatTheDatabasesTakeUnquoted)
{
    EXPECT_TRUE(isPlainName("sepal_length"));
    EXPECT_TRUE(isPlainName("\xD0\xB2\xD0\xB8\xD0\xB4"));  // Cyrillic
    EXPECT_FALSE(isPlainName("Sepal Length"));
    EXPECT_FALSE(isPlainName("2024_wine"));
    EXPECT_FALSE(isPlainName("select"));
    EXPECT_FALSE(isPlainName(""));
    EXPECT_FALSE(isPlainName(std::string(64, 'a')));
    EXPECT_TRUE(isPlainName(std::string(63, 'a')));
}

// A word one database alone refuses is no plain name on any: the table may be created on
// another one later. Words the three take as names stay plain.
TEST(PlainNameTest, WordsReservedByAnyOfTheDatabases)
{
    for (const char* word : {"range", "Signal", "READ", "int", "array", "analyse", "autoincrement", "escape"}) {
        EXPECT_FALSE(isPlainName(word)) << word;
        EXPECT_EQ(makePlainName(word, "c_"), std::string(word) + "_");
    }
    for (const char* word : {"name", "year", "data", "value", "type", "count", "sepal_range"})
        EXPECT_TRUE(isPlainName(word)) << word;
}

TEST(PlainNameTest, MadeFromAnyHeader)
{
    EXPECT_EQ(makePlainName("Sepal Length", "c_"), "Sepal_Length");
    EXPECT_EQ(makePlainName("Petal Length (cm)", "c_"), "Petal_Length_cm");
    EXPECT_EQ(makePlainName("2024-wine", "t_"), "t_2024_wine");
    EXPECT_EQ(makePlainName("order", "c_"), "order_");
    EXPECT_EQ(makePlainName("%%", "c_"), "c_");
    EXPECT_EQ(makePlainName("\xE2\x82\xAC price", "c_"), "price");
    EXPECT_EQ(makePlainName("\xF0\x9F\x8D\xB7 wine", "c_"), "wine");
    EXPECT_EQ(makePlainName(std::string(70, 'a') + " b", "c_"), std::string(63, 'a'));
    for (const std::string header : {"Sepal Length", "2024-wine", "order", "%%", "a b c", "\xD0\xB2 \xD0\xB8"})
        EXPECT_TRUE(isPlainName(makePlainName(header, "c_"))) << header;
}

std::string readRefusal(const std::string& path)
{
    try {
        readExport(path);
    } catch (const Exception& e) {
        return e.text();
    }
    return "no error";
}

// Only a regular file is read, and only up to the limit: a FIFO nobody writes is refused
// at once (the open does not wait for a writer), a device such as /dev/zero before it
// could fill the memory, a file past the limit by its size (a sparse one costs no disk).
TEST(ExportFileTest, OnlyARegularFileWithinTheLimitIsRead)
{
    TempDir dir("dodoz-export");
    const std::string csv = (dir.path() / "a.csv").string();
    std::ofstream(csv) << "x,c\n1,0\n";
    EXPECT_EQ(readExport(csv), "x,c\n1,0\n");

    const std::string fifo = (dir.path() / "pipe.csv").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(readRefusal(fifo), fifo + " is a FIFO, not a file: give the export itself");
    EXPECT_EQ(readRefusal("/dev/zero"), "/dev/zero is a device, not a file: give the export itself");
    EXPECT_EQ(readRefusal(dir.path().string()), dir.path().string() + " is a directory, not a file: give the export itself");
    const std::string none = (dir.path() / "none.csv").string();
    EXPECT_EQ(readRefusal(none), "cannot open " + none + ": No such file or directory");

    const std::string big = (dir.path() / "big.csv").string();
    std::ofstream{big};
    std::filesystem::resize_file(big, kLargestExport + 1);
    EXPECT_EQ(readRefusal(big), big + " is larger than 256 MiB, the most dodoz-register reads; split the export "
                                      "or register a sample of it");
}

}  // namespace
