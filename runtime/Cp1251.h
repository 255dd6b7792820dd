#pragma once
// cp1251 texts: case rules, search and replace, and the conversions to and from UTF-8.

#include <string>

// cp1251 text operations (case rules cover Latin and Cyrillic letters, Ё/ё included).
int AnsiCompareText(const std::string& a, const std::string& b);  // sign only
std::string AnsiUpperCase(const std::string& text);
std::string Trim(const std::string& text);  // drops leading/trailing bytes <= 32
int AnsiPos(const std::string& sub, const std::string& text);  // 1-based, 0 when absent
std::string AnsiReplaceStr(const std::string& text, const std::string& from, const std::string& to);

// cp1251 <-> UTF-8 at the display and database boundaries. A UTF-8 text that is not
// valid, or holds a character without a cp1251 form, raises Exception naming it. The
// byte 0x98, unassigned in cp1251, travels as U+0098, so every byte round-trips.
std::string Cp1251ToUtf8(const std::string& text);
std::string Utf8ToCp1251(const std::string& text);
// The same for texts nobody can be asked to correct (arguments, paths): a character
// without a cp1251 form, and every byte outside a valid UTF-8 sequence, become '?'.
std::string Utf8ToCp1251Replacing(const std::string& text);
