#include "runtime/Runtime.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <langinfo.h>
#include <optional>

namespace {

bool isAsciiPunct(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    return u > 32 && u < 127 && !(c >= '0' && c <= '9') && !(c >= 'A' && c <= 'Z') && !(c >= 'a' && c <= 'z');
}

// A strftime pattern broken into fields (one letter each) and the literal text between
// them; the composite conversions are spelt out so that "%D" reads like "%m/%d/%y".
struct Pattern {
    std::vector<char> fields;
    std::vector<std::string> gaps;  // gaps[i] precedes fields[i]; one more trails the last field
    bool readable = true;
};

Pattern readPattern(const std::string& format)
{
    Pattern p;
    p.gaps.emplace_back();
    auto field = [&p](char f) {
        p.fields.push_back(f);
        p.gaps.emplace_back();
    };
    auto literal = [&p](const std::string& text) { p.gaps.back() += text; };
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            literal(std::string(1, format[i]));
            continue;
        }
        if (++i < format.size() && (format[i] == 'E' || format[i] == 'O'))
            ++i;
        if (i >= format.size()) {
            p.readable = false;
            break;
        }
        switch (format[i]) {
        case 'd': case 'e': field('D'); break;
        case 'm': field('M'); break;
        case 'y': case 'Y': field('Y'); break;
        case 'D': field('M'); literal("/"); field('D'); literal("/"); field('Y'); break;
        case 'F': field('Y'); literal("-"); field('M'); literal("-"); field('D'); break;
        case 'H': case 'k': case 'I': case 'l': field('h'); break;
        case 'M': field('n'); break;
        case 'S': field('s'); break;
        case 'T': field('h'); literal(":"); field('n'); literal(":"); field('s'); break;
        case 'R': field('h'); literal(":"); field('n'); break;
        case 'p': case 'P': field('p'); break;
        case '%': literal("%"); break;
        default: p.readable = false; break;
        }
    }
    return p;
}

}  // namespace

FormatSettings FormatSettings::russian()
{
    FormatSettings s;
    s.decimalSeparator = ',';
    s.dateSeparator = '.';
    s.dateOrder = DateOrder::DMY;
    s.timeSeparator = ':';
    return s;
}

FormatSettings FormatSettings::english()
{
    return FormatSettings();
}

FormatSettings FormatSettings::fromLocaleFormats(const std::string& decimalPoint, const std::string& dateFormat,
                                                 const std::string& timeFormat)
{
    FormatSettings s = english();
    if (decimalPoint.size() == 1 && isAsciiPunct(decimalPoint[0]))
        s.decimalSeparator = decimalPoint[0];

    Pattern date = readPattern(dateFormat);
    if (date.readable && date.fields.size() == 3 && date.gaps[0].empty() && !date.gaps[1].empty()
        && !date.gaps[2].empty() && date.gaps[1][0] == date.gaps[2][0] && isAsciiPunct(date.gaps[1][0])) {
        std::string order(date.fields.begin(), date.fields.end());
        std::optional<DateOrder> known;
        if (order == "DMY")
            known = DateOrder::DMY;
        else if (order == "MDY")
            known = DateOrder::MDY;
        else if (order == "YMD")
            known = DateOrder::YMD;
        if (known) {
            s.dateOrder = *known;
            s.dateSeparator = date.gaps[1][0];
        }
    }

    Pattern time = readPattern(timeFormat);
    if (time.readable && time.fields.size() >= 2 && time.fields[0] == 'h' && time.fields[1] == 'n'
        && !time.gaps[1].empty() && isAsciiPunct(time.gaps[1][0]))
        s.timeSeparator = time.gaps[1][0];
    return s;
}

FormatSettings FormatSettings::fromLocale()
{
    const lconv* conv = std::localeconv();
    return fromLocaleFormats(conv && conv->decimal_point ? conv->decimal_point : "", nl_langinfo(D_FMT),
                             nl_langinfo(T_FMT));
}

FormatSettings& formatSettings()
{
    static FormatSettings settings = FormatSettings::english();
    return settings;
}

void setFormatSettings(const FormatSettings& settings)
{
    formatSettings() = settings;
}

int32_t StrToInt(const std::string& text)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    // from_chars takes a minus but no plus; after a plus a digit must follow, so "+-1"
    // stays an error.
    if (begin != end && *begin == '+' && end - begin > 1 && begin[1] >= '0' && begin[1] <= '9')
        ++begin;
    int32_t value = 0;
    auto [ptr, ec] = std::from_chars(begin, end, value, 10);
    if (ec != std::errc() || ptr != end || begin == end)
        throw Exception("'" + text + "' is not a valid integer value");
    return value;
}

double StrToFloat(const std::string& text)
{
    const char separator = formatSettings().decimalSeparator;
    auto fail = [&text]() { return Exception("'" + text + "' is not a valid floating point value"); };

    // The grammar is checked here rather than left to from_chars, which would also take
    // "inf", "nan" and a point where the regional settings want a comma.
    std::string plain;
    plain.reserve(text.size());
    size_t i = 0;
    auto digits = [&]() {
        size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            plain += text[i++];
        return i - start;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
            plain += '-';
        ++i;
    }
    size_t mantissaDigits = digits();
    if (i < text.size() && text[i] == separator) {
        plain += '.';
        ++i;
        mantissaDigits += digits();
    }
    if (mantissaDigits == 0)
        throw fail();
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            plain += text[i++];
        if (digits() == 0)
            throw fail();
    }
    if (i != text.size())
        throw fail();

    double value = 0.0;
    auto [ptr, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (ec != std::errc() || ptr != plain.data() + plain.size())
        throw fail();
    return value;
}

std::string FloatToStr(double value)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value > 0 ? "INF" : "-INF";
    if (value == 0.0)
        return "0";

    // Rounded to 15 significant digits first: the digits and the decimal exponent of the
    // rounded value decide both the notation and the text.
    char buffer[40];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    std::string sci(buffer, result.ptr);  // [-]d.dddddddddddddde[+-]x
    bool negative = sci[0] == '-';
    size_t ePos = sci.find('e');
    std::string digits = sci.substr(negative ? 1 : 0, ePos - (negative ? 1 : 0));
    digits.erase(1, 1);
    int exponent = std::stoi(sci.substr(ePos + 1));
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    const char separator = formatSettings().decimalSeparator;
    std::string out = negative ? "-" : "";
    if (exponent >= -5 && exponent < 15) {
        if (exponent < 0) {
            out += '0';
            out += separator;
            out.append(static_cast<size_t>(-exponent - 1), '0');
            out += digits;
        } else {
            size_t integerDigits = static_cast<size_t>(exponent) + 1;
            if (digits.size() <= integerDigits) {
                out += digits;
                out.append(integerDigits - digits.size(), '0');
            } else {
                out += digits.substr(0, integerDigits);
                out += separator;
                out += digits.substr(integerDigits);
            }
        }
    } else {
        out += digits[0];
        if (digits.size() > 1) {
            out += separator;
            out += digits.substr(1);
        }
        out += 'E';
        out += std::to_string(exponent);
    }
    return out;
}

std::string FormatFixed(double value, int decimals)
{
    if (decimals < 0)
        decimals = 0;
    // to_chars rather than printf: printf would follow LC_NUMERIC once the process has
    // taken the user's locale, and this text always carries a point.
    std::string buffer(static_cast<size_t>(decimals) + 330, '\0');
    auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, decimals);
    buffer.resize(static_cast<size_t>(result.ptr - buffer.data()));
    return buffer;
}

std::string IntToStr(int64_t value)
{
    return std::to_string(value);
}

namespace {

// Unicode code points of the cp1251 bytes 0x80-0xBF; 0xC0-0xFF are U+0410-U+044F in
// order. 0x98 has no character in cp1251; it is carried as the control U+0098 (as
// Windows does), so every byte survives a round trip.
constexpr std::array<char16_t, 64> cp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

constexpr char32_t toUnicode(unsigned char byte)
{
    if (byte < 0x80)
        return byte;
    if (byte < 0xC0)
        return cp1251High[byte - 0x80];
    return 0x0410 + (byte - 0xC0);
}

constexpr int fromUnicode(char32_t code)
{
    if (code < 0x80)
        return static_cast<int>(code);
    if (code >= 0x0410 && code <= 0x044F)
        return static_cast<int>(code - 0x0410 + 0xC0);
    for (size_t i = 0; i < cp1251High.size(); ++i)
        if (cp1251High[i] == code)
            return static_cast<int>(0x80 + i);
    return -1;
}

// The upper-case partner by the Unicode rules of the letters cp1251 holds: Latin, the
// basic Cyrillic alphabet and the extra Cyrillic letters U+0450-U+045F and U+0491.
constexpr char32_t upperUnicode(char32_t c)
{
    if (c >= U'a' && c <= U'z')
        return c - 0x20;
    if (c >= 0x0430 && c <= 0x044F)
        return c - 0x20;
    if (c >= 0x0450 && c <= 0x045F)
        return c - 0x50;
    if (c == 0x0491)
        return 0x0490;
    return c;
}

constexpr std::array<unsigned char, 256> makeUpperTable()
{
    std::array<unsigned char, 256> table{};
    for (int b = 0; b < 256; ++b) {
        int upper = fromUnicode(upperUnicode(toUnicode(static_cast<unsigned char>(b))));
        table[static_cast<size_t>(b)] = static_cast<unsigned char>(upper >= 0 ? upper : b);
    }
    return table;
}

constexpr std::array<unsigned char, 256> upperTable = makeUpperTable();

// Sort weight of an upper-cased byte: the byte itself, except that Ё sits between Е and Ж
// as in the alphabet rather than at its code 0xA8.
constexpr int collationWeight(unsigned char upper)
{
    if (upper == 0xA8)
        return 0xC5 * 2 + 1;
    return upper * 2;
}

void appendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string hexCode(char32_t code)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(code));
    return buffer;
}

}  // namespace

int AnsiCompareText(const std::string& a, const std::string& b)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int wa = collationWeight(upperTable[static_cast<unsigned char>(a[i])]);
        int wb = collationWeight(upperTable[static_cast<unsigned char>(b[i])]);
        if (wa != wb)
            return wa < wb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string AnsiUpperCase(const std::string& text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(upperTable[static_cast<unsigned char>(c)]);
    return out;
}

std::string Trim(const std::string& text)
{
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

int AnsiPos(const std::string& sub, const std::string& text)
{
    if (sub.empty())
        return 0;
    size_t at = text.find(sub);
    return at == std::string::npos ? 0 : static_cast<int>(at) + 1;
}

std::string AnsiReplaceStr(const std::string& text, const std::string& from, const std::string& to)
{
    if (from.empty())
        return text;
    std::string out;
    out.reserve(text.size());
    size_t start = 0;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, start)) {
        out.append(text, start, at - start);
        out += to;
        start = at + from.size();
    }
    out.append(text, start, std::string::npos);
    return out;
}

std::string Cp1251ToUtf8(const std::string& text)
{
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text)
        appendUtf8(out, toUnicode(static_cast<unsigned char>(c)));
    return out;
}

std::string Utf8ToCp1251(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    auto invalid = [&text](size_t at) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "Invalid UTF-8 byte 0x%02X at offset %zu",
                      static_cast<unsigned>(static_cast<unsigned char>(text[at])), at);
        return Exception(buffer);
    };
    while (i < text.size()) {
        size_t start = i;
        unsigned char lead = static_cast<unsigned char>(text[i++]);
        char32_t code;
        size_t more;
        char32_t least;
        if (lead < 0x80) {
            code = lead, more = 0, least = 0;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            code = lead & 0x1F, more = 1, least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            code = lead & 0x0F, more = 2, least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            code = lead & 0x07, more = 3, least = 0x10000;
        } else {
            throw invalid(start);
        }
        for (size_t k = 0; k < more; ++k) {
            if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
                throw invalid(i < text.size() ? i : start);
            code = (code << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            throw invalid(start);
        int byte = fromUnicode(code);
        if (byte < 0)
            throw Exception("The character " + hexCode(code) + " at offset " + std::to_string(start)
                            + " has no cp1251 form");
        out += static_cast<char>(byte);
    }
    return out;
}

namespace {

// The code point of the valid UTF-8 sequence that starts at text[i], i then past it;
// nothing, with i where it was, when none starts there.
std::optional<char32_t> readUtf8(const std::string& text, size_t& i)
{
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    char32_t code;
    size_t more;
    char32_t least;
    if (lead < 0x80)
        code = lead, more = 0, least = 0;
    else if (lead >= 0xC2 && lead <= 0xDF)
        code = lead & 0x1F, more = 1, least = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF)
        code = lead & 0x0F, more = 2, least = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4)
        code = lead & 0x07, more = 3, least = 0x10000;
    else
        return std::nullopt;
    size_t at = i + 1;
    for (size_t k = 0; k < more; ++k, ++at) {
        if (at >= text.size() || (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80)
            return std::nullopt;
        code = (code << 6) | (static_cast<unsigned char>(text[at]) & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return std::nullopt;
    i = at;
    return code;
}

}  // namespace

std::string Utf8ToCp1251Replacing(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        std::optional<char32_t> code = readUtf8(text, i);
        if (!code) {
            out += '?';
            ++i;
            continue;
        }
        int byte = fromUnicode(*code);
        out += byte >= 0 ? static_cast<char>(byte) : '?';
    }
    return out;
}
