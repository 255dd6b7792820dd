#include "runtime/Locale.h"

#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <optional>
#include <vector>

#include "runtime/Cp1251.h"
#include "runtime/Exception.h"

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

namespace {

enum class Charset { Utf8, Cp1251, Other };

struct LocaleCharset {
    Charset kind = Charset::Utf8;
    std::string name = "UTF-8";
};

LocaleCharset& localeCharset()
{
    static LocaleCharset charset;
    return charset;
}

// "UTF-8", "utf8" and "UTF_8" are one name to the C library.
std::string plainName(const std::string& codeset)
{
    std::string out;
    for (char c : codeset)
        if (c != '-' && c != '_')
            out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

class Converter {
public:
    Converter(const std::string& to, const std::string& from) : handle(iconv_open(to.c_str(), from.c_str()))
    {
        if (handle == reinterpret_cast<iconv_t>(-1))
            throw Exception("The character set " + from + " cannot be converted to " + to + ": "
                            + Utf8ToCp1251Replacing(std::strerror(errno)));
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    ~Converter() { iconv_close(handle); }

    // A sequence that has no form on the other side, or is not valid on this one, becomes
    // '?'; the input moves on by `skip` of its bytes there.
    std::string convert(const std::string& text, size_t (*skip)(const std::string&, size_t))
    {
        std::string out;
        char buffer[256];
        size_t at = 0;
        while (at < text.size()) {
            char* in = const_cast<char*>(text.data()) + at;
            size_t inLeft = text.size() - at;
            char* put = buffer;
            size_t room = sizeof buffer;
            size_t done = iconv(handle, &in, &inLeft, &put, &room);
            const int error = errno;
            out.append(buffer, static_cast<size_t>(put - buffer));
            at = text.size() - inLeft;
            if (done != static_cast<size_t>(-1) || error == E2BIG)
                continue;
            // EILSEQ, or EINVAL for a sequence cut off at the end.
            out += '?';
            at += skip(text, at);
        }
        char* put = buffer;
        size_t room = sizeof buffer;
        if (iconv(handle, nullptr, nullptr, &put, &room) != static_cast<size_t>(-1))
            out.append(buffer, static_cast<size_t>(put - buffer));
        return out;
    }

private:
    iconv_t handle;
};

size_t oneByte(const std::string&, size_t)
{
    return 1;
}

size_t oneUtf8Character(const std::string& text, size_t at)
{
    size_t next = at + 1;
    while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80)
        ++next;
    return next - at;
}

}  // namespace

void setLocaleCharset(const std::string& codeset)
{
    const std::string plain = plainName(codeset);
    Charset kind = Charset::Other;
    if (plain == "UTF8" || plain == "ANSIX3.41968" || plain == "ASCII" || plain == "USASCII" || plain.empty())
        kind = Charset::Utf8;
    else if (plain == "CP1251" || plain == "WINDOWS1251")
        kind = Charset::Cp1251;
    if (kind == Charset::Other)
        Converter("UTF-8", codeset);
    localeCharset() = {kind, codeset};
}

std::string LocaleToCp1251(const std::string& text)
{
    const LocaleCharset& charset = localeCharset();
    switch (charset.kind) {
    case Charset::Utf8: return Utf8ToCp1251Replacing(text);
    case Charset::Cp1251: return text;
    case Charset::Other: break;
    }
    return Utf8ToCp1251Replacing(Converter("UTF-8", charset.name).convert(text, oneByte));
}

std::string Cp1251ToLocale(const std::string& text)
{
    const LocaleCharset& charset = localeCharset();
    switch (charset.kind) {
    case Charset::Utf8: return Cp1251ToUtf8(text);
    case Charset::Cp1251: return text;
    case Charset::Other: break;
    }
    return Converter(charset.name, "UTF-8").convert(Cp1251ToUtf8(text), oneUtf8Character);
}
