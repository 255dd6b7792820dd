// Floating texts under the regional decimal separator: StrToFloat accepts only the
// promised grammar and gives the correctly rounded value; FloatToStr prints any double
// in the general number form, and that text reads back as (nearly) the same value.

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "objects/Object.h"
#include "objects/Values.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

std::string show(double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

// The grammar of the header, read independently: [+-] digits [sep digits] [e [+-] digits],
// at least one mantissa digit. On a match, the text with a point as separator and the
// number of significant mantissa digits.
struct Reading {
    std::string plain;
    int significant = 0;
};

std::optional<Reading> readGrammar(const std::string& text, char separator)
{
    Reading r;
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        r.plain += text[i++];
    std::string mantissa;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
        mantissa += text[i], r.plain += text[i++];
    if (i < text.size() && text[i] == separator) {
        r.plain += '.';
        ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
            mantissa += text[i], r.plain += text[i++];
    }
    if (mantissa.empty())
        return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        r.plain += text[i++];
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            r.plain += text[i++];
        size_t start = i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
            r.plain += text[i++];
        if (i == start)
            return std::nullopt;
    }
    if (i != text.size())
        return std::nullopt;
    size_t first = mantissa.find_first_not_of('0');
    if (first != std::string::npos)
        r.significant = static_cast<int>(mantissa.find_last_not_of('0') - first + 1);
    return r;
}

// The general number form: [-] digits [sep digits] or [-] digit [sep digits] E [-] digits,
// at most 15 significant digits, no trailing zero after the separator.
void checkGeneralForm(const std::string& text, double value)
{
    const char separator = formatSettings().decimalSeparator;
    if (std::isnan(value)) {
        fuzz::check(text == "NAN", "NaN prints as NAN", text);
        return;
    }
    if (std::isinf(value)) {
        fuzz::check(text == (value > 0 ? "INF" : "-INF"), "infinities print as INF", text);
        return;
    }
    size_t i = text[0] == '-' ? 1 : 0;
    fuzz::check((text[0] == '-') == (value < 0), "a minus sign exactly for negatives", text);
    size_t ePos = text.find('E');
    std::string mantissa = text.substr(i, ePos == std::string::npos ? std::string::npos : ePos - i);
    size_t sep = mantissa.find(separator);
    std::string whole = mantissa.substr(0, sep);
    std::string fraction = sep == std::string::npos ? "" : mantissa.substr(sep + 1);
    auto allDigits = [](const std::string& s) {
        return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
    };
    fuzz::check(allDigits(whole), "digits before the separator", text);
    fuzz::check(sep == std::string::npos || (allDigits(fraction) && fraction.back() != '0'),
                "no trailing zero or separator", text);
    std::string digits = whole + fraction;
    size_t first = digits.find_first_not_of('0');
    size_t significant = first == std::string::npos ? 0 : digits.size() - first;
    if (sep == std::string::npos && first != std::string::npos)
        significant = digits.find_last_not_of('0') - first + 1;
    fuzz::check(significant <= 15, "at most 15 significant digits", text);
    if (ePos != std::string::npos) {
        fuzz::check(whole.size() == 1 && whole != "0", "one nonzero digit before a scientific separator", text);
        std::string exponent = text.substr(ePos + 1);
        if (!exponent.empty() && exponent[0] == '-')
            exponent.erase(0, 1);
        fuzz::check(allDigits(exponent) && exponent[0] != '0', "exponent without leading zeros", text);
    }
}

void checkPrintsBack(double value)
{
    const std::string text = FloatToStr(value);
    checkGeneralForm(text, value);
    fuzz::check(CDouble(value).toString() == text, "CDouble prints as FloatToStr", text);
    if (!std::isfinite(value))
        return;
    // The largest doubles round up to 1.79769313486232E308, just beyond the double range,
    // so that text is refused when read; every other finite value reads back.
    const std::string beyond = std::string(value < 0 ? "-" : "") + "1" + formatSettings().decimalSeparator
                               + "79769313486232E308";
    if (text == beyond) {
        fuzz::check(std::fabs(value) > 1.79769313486231e308, "only the largest doubles print beyond the range",
                    show(value));
        return;
    }
    double back = 0.0;
    try {
        back = StrToFloat(text);
    } catch (const Exception& e) {
        fuzz::fail("FloatToStr text reads back", show(value) + " -> " + e.text());
    }
    // 15 digits keep the value to 5e-15 of itself; reading adds half a unit of the last
    // place, which for the smallest (subnormal) doubles is all their precision.
    fuzz::check(std::fabs(back - value) <= 1e-14 * std::fabs(value) + 4.95e-324, "FloatToStr keeps 15 digits",
                show(value) + " -> " + text + " -> " + show(back));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    fuzz::chooseSettings(data[0]);
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    // The second bit asks for the bytes taken as a double, to reach every bit pattern.
    if ((data[0] & 2) && size >= 9) {
        double raw;
        std::memcpy(&raw, data + 1, sizeof raw);
        checkPrintsBack(raw);
        return 0;
    }

    std::optional<double> parsed;
    try {
        parsed = StrToFloat(text);
    } catch (const Exception& e) {
        fuzz::check(e.text() == "'" + text + "' is not a valid floating point value", "StrToFloat error text",
                    e.text());
    }
    std::optional<Reading> grammar = readGrammar(text, formatSettings().decimalSeparator);
    if (parsed) {
        fuzz::check(grammar.has_value(), "StrToFloat accepts only the grammar", text);
        fuzz::check(std::isfinite(*parsed), "StrToFloat gives finite values", text);
    }
    if (grammar) {
        errno = 0;
        double reference = std::strtod(grammar->plain.c_str(), nullptr);
        bool inRange = errno != ERANGE && std::isfinite(reference);
        if (inRange)
            fuzz::check(parsed.has_value(), "StrToFloat accepts every number in range", text);
        if (parsed)
            fuzz::check(*parsed == reference || (*parsed == 0 && reference == 0), "StrToFloat rounds correctly",
                        text + " -> " + show(*parsed) + ", strtod " + show(reference));
    }

    if (parsed) {
        checkPrintsBack(*parsed);
        // Up to 15 significant digits a decimal survives the trip through a normal double.
        if (grammar->significant <= 15 && std::fabs(*parsed) >= 2.2250738585072014e-308)
            fuzz::check(StrToFloat(FloatToStr(*parsed)) == *parsed, "15-digit texts print back exactly",
                        text + " -> " + FloatToStr(*parsed));
    }

    auto source = std::make_shared<CString>(text);
    try {
        ObjectPtr value = Object::convert(source, TYPE_DOUBLE);
        fuzz::check(parsed.has_value() && value && value->getType() == TYPE_DOUBLE, "convert to double gives a double",
                    text);
        double converted = static_cast<const CDouble&>(*value).getValue();
        fuzz::check(std::memcmp(&*parsed, &converted, sizeof converted) == 0, "convert to double agrees with StrToFloat",
                    text);
    } catch (const Exception& e) {
        fuzz::check(!parsed.has_value(), "convert to double fails only where StrToFloat does", e.text());
    }
    return 0;
}
