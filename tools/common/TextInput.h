#pragma once
// What a spreadsheet export needs before its texts can become table and column names:
// the file's bytes in UTF-8, and names the databases take unquoted.

#include <string>

// The largest export read: more would need several times as much memory again while
// the table is parsed and written (a million rows of 30 columns take about 200 MB).
inline constexpr long long kLargestExport = 256LL << 20;

// The bytes of the export at path. Anything but a regular file (a FIFO, a device such as
// /dev/zero, a directory) is refused before a byte is read, without waiting for a writer,
// and so is a file larger than kLargestExport. Raises Exception naming the file.
std::string readExport(const std::string& path);

// The bytes of a file in UTF-8. encoding empty or "UTF-8": the bytes must be UTF-8
// already; "cp1251" (or "windows-1251"): the project's own table, which keeps the byte
// 0x98 that iconv refuses; anything else: iconv. Raises Exception naming the line of a
// byte that does not convert and the option that helps.
std::string textToUtf8(const std::string& bytes, const std::string& encoding, const std::string& sourceName);

// A plain name is letters (Latin, Cyrillic, _) and digits, starting with a letter, at
// most 63 bytes in UTF-8 (PostgreSQL cuts longer names), and no word SQLite, PostgreSQL
// or MariaDB reserves (ReservedWords.h). Names go
// into SQL unquoted (the program builds its SELECT that way).
bool isPlainName(const std::string& utf8);
// A plain name made from any UTF-8 text: every run of other characters becomes one _,
// a name that does not start with a letter gets prefix in front, a keyword gets _ after
// it, and the result is cut to the length limit. UTF-8.
std::string makePlainName(const std::string& utf8, const std::string& prefix);
