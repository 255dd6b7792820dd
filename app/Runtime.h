#pragma once
// The runtime-library services the program relies on: command line, conversions under
// the regional settings, cp1251 text operations and file operations. Texts are cp1251
// bytes in std::string; date-time numbers count days since 30 December 1899, the
// fraction being the time of day.

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

// The base of every error the program shows: one text.
class Exception : public std::exception {
public:
    explicit Exception(std::string text) : text_(std::move(text)) {}
    const std::string& text() const { return text_; }
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::string text_;
};

// Regional settings used to print and parse numbers and dates. Initialised once from
// the process locale; tests replace them.
struct FormatSettings {
    enum class DateOrder { DMY, MDY, YMD };
    char decimalSeparator = '.';
    char dateSeparator = '/';
    DateOrder dateOrder = DateOrder::MDY;
    char timeSeparator = ':';

    static FormatSettings russian();  // 0,5   31.12.2024 23:59:58
    static FormatSettings english();  // 0.5   12/31/2024 23:59:58
    // Reads LC_NUMERIC/LC_TIME of the current C locale (call after setlocale(LC_ALL, "")).
    static FormatSettings fromLocale();
};

FormatSettings& formatSettings();
void setFormatSettings(const FormatSettings& settings);

// Command line, stored by the entry.
void setCommandLine(int argc, char** argv);
int ParamCount();
std::string ParamStr(int index);  // 0 is the program, 1 the first argument

// Signed 32-bit decimal; blanks around the digits are not allowed. Anything else,
// overflow included, raises Exception("'abc' is not a valid integer value").
int32_t StrToInt(const std::string& text);
// Decimal number with the regional separator and an optional exponent.
double StrToFloat(const std::string& text);
// General number text: at most 15 significant digits, regional separator, fixed
// notation for 0 and for magnitudes from 0.00001 with at most 15 integer digits,
// otherwise scientific (1E20, 1.5E-7).
std::string FloatToStr(double value);
// printf-style fixed text with the given number of decimals and a point.
std::string FormatFixed(double value, int decimals);
// printf "%i".
std::string IntToStr(int64_t value);

// Dates in the regional short date format (four-digit year), times as hh:mm:ss.
double StrToDate(const std::string& text);       // date only
double StrToDateTime(const std::string& text);   // date with an optional time
std::string DateToStr(double dateTime);
std::string DateTimeToStr(double dateTime);      // date, a blank, time (time omitted at midnight)
double Now();                                    // local date and time

// cp1251 text operations (case rules cover Latin and Cyrillic letters, Ё/ё included).
int AnsiCompareText(const std::string& a, const std::string& b);  // sign only
std::string AnsiUpperCase(const std::string& text);
std::string Trim(const std::string& text);  // drops leading/trailing bytes <= 32
int AnsiPos(const std::string& sub, const std::string& text);  // 1-based, 0 when absent
std::string AnsiReplaceStr(const std::string& text, const std::string& from, const std::string& to);

// cp1251 <-> UTF-8 at the display and database boundaries. A UTF-8 text that is not
// valid, or holds a character without a cp1251 form, raises Exception naming it.
std::string Cp1251ToUtf8(const std::string& text);
std::string Utf8ToCp1251(const std::string& text);

// Files: handles are POSIX descriptors, -1 on failure.
std::string GetCurrentDir();
bool ForceDirectories(const std::string& dir);
bool FileExists(const std::string& path);
int FileOpen(const std::string& path, int mode);  // mode 2: read and write
int64_t FileSeek(int handle, int64_t offset, int origin);  // origin 2: from the end
int FileCreate(const std::string& path);
bool DeleteFile(const std::string& path);
int FileWrite(int handle, const void* buffer, int count);
void FileClose(int handle);
