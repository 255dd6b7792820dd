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
    // The same from the locale's decimal point and its nl_langinfo D_FMT and T_FMT
    // patterns; a piece it cannot read ("%d %b %Y") keeps the english() value.
    static FormatSettings fromLocaleFormats(const std::string& decimalPoint, const std::string& dateFormat,
                                            const std::string& timeFormat);

    bool operator==(const FormatSettings&) const = default;
};

FormatSettings& formatSettings();
void setFormatSettings(const FormatSettings& settings);

// Makes the process independent of how it was started; the entry calls it before anything
// opens a descriptor. Descriptors 0-2 left closed by the launcher are opened on /dev/null,
// since otherwise the journal or a database socket would take their numbers and receive
// what is written to stderr. SIGPIPE is ignored for the process's whole life: a reader of
// stderr that has gone costs the writes to it, not the run. Raises Exception when
// /dev/null cannot be opened.
void prepareStandardStreams();

// The character set in which the platform hands over command-line arguments, paths and
// its own error texts: the locale's (nl_langinfo(CODESET)), given once by the entry. UTF-8
// until then. The plain C locale's ASCII counts as UTF-8, as file names on this system are
// UTF-8 whatever the locale and the program writes UTF-8 to stderr; the cp1251 locale
// needs no conversion; any other goes through iconv.
void setLocaleCharset(const std::string& codeset);
// Text of the platform into cp1251: a character cp1251 cannot hold, and a byte that is not
// valid in the locale's character set, become '?'. Raises Exception when iconv does not
// know the character set.
std::string LocaleToCp1251(const std::string& text);
// cp1251 text (a file name) into the locale's character set; a character the locale's set
// cannot hold becomes '?'.
std::string Cp1251ToLocale(const std::string& text);

// Command line, stored by the entry; ParamStr gives the argument in cp1251.
void setCommandLine(int argc, char** argv);
int ParamCount();
std::string ParamStr(int index);  // 0 is the program, 1 the first argument

// Signed 32-bit decimal; blanks around the digits are not allowed. Anything else,
// overflow included, raises Exception("'abc' is not a valid integer value").
int32_t StrToInt(const std::string& text);
// Decimal number with the regional separator (and no other) and an optional exponent;
// no blanks, no "inf" or "nan"; a magnitude outside the double range either way raises
// Exception("'1e999' is not a valid floating point value").
double StrToFloat(const std::string& text);
// General number text: at most 15 significant digits, regional separator, fixed
// notation for 0 and for magnitudes from 0.00001 with at most 15 integer digits,
// otherwise scientific (1E20, 1.5E-7). The notation is decided on the value rounded to
// 15 digits. Negative zero prints as 0; NaN as NAN, infinities as INF and -INF.
std::string FloatToStr(double value);
// printf-style fixed text with the given number of decimals and a point.
std::string FormatFixed(double value, int decimals);
// printf "%i".
std::string IntToStr(int64_t value);

// Dates in the regional short date format (four-digit year), times as hh:mm:ss.
// The whole part of a date-time number is the day, truncated toward zero; the fraction,
// whatever the sign, is the time of day: -1.25 is 29.12.1899 06:00. Years 1 to 9999.
// Parsing takes day and month with one or two digits and the year with four, or with two
// as strptime reads them (69-99 are 1969-1999, 00-68 are 2000-2068); the date must exist.
// StrToDateTime takes an optional blank and hh:mm or hh:mm:ss after the date. Errors:
// Exception("'<text>' is not a valid date") and ("... is not a valid date and time").
double StrToDate(const std::string& text);       // date only
double StrToDateTime(const std::string& text);   // date with an optional time
// A date-time number outside years 1 to 9999 (or NaN) raises Exception.
std::string DateToStr(double dateTime);
// Date, a blank, hh:mm:ss; the time is left out when it is exactly midnight (to the
// millisecond), as the usual runtime does.
std::string DateTimeToStr(double dateTime);
double Now();                                    // local date and time, to the millisecond

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

// Files: paths are cp1251 and reach the system in the locale's character set; handles are
// POSIX descriptors, -1 on failure (errno tells why).
std::string GetCurrentDir();
bool ForceDirectories(const std::string& dir);
bool FileExists(const std::string& path);
int FileOpen(const std::string& path, int mode);  // mode 2: read and write
int64_t FileSeek(int handle, int64_t offset, int origin);  // origin 2: from the end
// Creates a new, empty file for reading and writing; fails when anything at all stands at
// the path already, so that no symlink, device or FIFO there is ever opened. A symlink in
// place of the directory that is to hold the file is followed only when it belongs to this
// process's user or to root, who could have put the file anywhere themselves; one that
// someone else planted would take the file out of the directory.
int FileCreate(const std::string& path);
// Removes the entry itself (a symlink is not followed; a directory stays); the directory
// that holds it is reached as in FileCreate.
bool DeleteFile(const std::string& path);
int FileWrite(int handle, const void* buffer, int count);
void FileClose(int handle);
