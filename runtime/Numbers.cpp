#include "runtime/Numbers.h"

#include <cmath>

#include "runtime/Exception.h"
#include "runtime/Locale.h"

int32_t StrToInt(const std::string& text)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    // from_chars takes a minus but no plus; after a plus a digit must follow, so "+-1"
    // stays an error.
    if (begin != end && *begin == '+' && end - begin > 1 && begin[1] >= '0' && begin[1] <= '9')
        ++begin;
    std::optional<int32_t> value = parseWhole<int32_t>(std::string_view(begin, static_cast<size_t>(end - begin)));
    if (!value)
        throw Exception("'" + text + "' is not a valid integer value");
    return *value;
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

    std::optional<double> value = parseWhole<double>(plain);
    if (!value)
        throw fail();
    return *value;
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
