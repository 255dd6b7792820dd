// Integer texts: StrToInt accepts exactly an optional sign and decimal digits within
// the 32-bit range, its value prints back to a text that reads the same, and the text
// conversion of the value library agrees with it.

#include <charconv>
#include <optional>

#include "objects/Object.h"
#include "objects/Values.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

// An independent reading of the grammar the header promises.
std::optional<int32_t> expected(const std::string& text)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return std::nullopt;
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > 2147483648LL)
            return std::nullopt;
    }
    int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX)
        return std::nullopt;
    return static_cast<int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    fuzz::chooseSettings(data[0]);
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    std::optional<int32_t> parsed;
    try {
        parsed = StrToInt(text);
    } catch (const Exception& e) {
        fuzz::check(e.text() == "'" + text + "' is not a valid integer value", "StrToInt error text", e.text());
    }
    std::optional<int32_t> oracle = expected(text);
    fuzz::check(parsed == oracle, "StrToInt accepts exactly a signed 32-bit decimal",
                text + " -> " + (parsed ? IntToStr(*parsed) : "error") + ", expected "
                    + (oracle ? IntToStr(*oracle) : "error"));

    if (parsed) {
        std::string canonical = IntToStr(*parsed);
        int32_t reference = 0;
        auto [end, ec] = std::from_chars(canonical.data(), canonical.data() + canonical.size(), reference);
        fuzz::check(ec == std::errc() && end == canonical.data() + canonical.size() && reference == *parsed,
                    "IntToStr gives canonical decimal", canonical);
        fuzz::check(StrToInt(canonical) == *parsed, "IntToStr re-parses equal", canonical);
        fuzz::check(CInteger(*parsed).toString() == canonical, "CInteger prints as IntToStr", canonical);
    }

    // Object::convert to an integer goes through the same conversion and leaves its
    // source untouched.
    auto source = std::make_shared<CString>(text);
    try {
        ObjectPtr value = Object::convert(source, TYPE_INTEGER);
        fuzz::check(parsed.has_value() && value && value->getType() == TYPE_INTEGER
                        && static_cast<const CInteger&>(*value).getValue() == *parsed,
                    "convert to integer agrees with StrToInt", text);
    } catch (const Exception& e) {
        fuzz::check(!parsed.has_value(), "convert to integer fails only where StrToInt does", e.text());
    }
    fuzz::check(source->getValue() == text, "convert leaves the text alone", source->getValue());
    return 0;
}
