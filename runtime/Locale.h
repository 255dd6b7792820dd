#pragma once
// The regional settings that numbers and dates are printed and read with, and the
// character set in which the platform hands over its texts.

#include <string>

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
