#include "runtime/Cp1251.h"

#include <array>
#include <optional>

#include "runtime/Exception.h"

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
