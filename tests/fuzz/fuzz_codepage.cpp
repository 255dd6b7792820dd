// cp1251 and UTF-8: every byte string survives cp1251 -> UTF-8 -> cp1251, the UTF-8 form
// is the one the C library's iconv gives, and the case operations keep their laws.
//
// UTF-8 -> cp1251 is exact or refused: a text converts when it is valid UTF-8 and every
// character of it has a cp1251 byte, each character becoming that byte; any other text is
// an Exception, and one naming the character when the text is valid UTF-8. A character
// has a cp1251 byte when iconv turns it alone into exactly one byte, or it is U+0098
// (0x98, for which iconv knows no character). Whole texts are not compared with iconv:
// glibc silently drops the tag characters U+E0000-U+E007F, which the program refuses
// like any other character cp1251 lacks.

#include <iconv.h>

#include <optional>
#include <unordered_map>
#include <vector>

#include "tests/fuzz/FuzzCheck.h"

namespace {

// glibc's converter as the reference; it knows no character for the byte 0x98.
class Iconv {
public:
    Iconv(const char* to, const char* from) : handle(iconv_open(to, from))
    {
        if (handle == reinterpret_cast<iconv_t>(-1))
            fuzz::fail("iconv_open", std::string(from) + " -> " + to);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    ~Iconv() { iconv_close(handle); }

    std::optional<std::string> convert(const std::string& text)
    {
        iconv(handle, nullptr, nullptr, nullptr, nullptr);
        std::string out(text.size() * 4 + 4, '\0');
        char* in = const_cast<char*>(text.data());
        size_t inLeft = text.size();
        char* outPtr = out.data();
        size_t outLeft = out.size();
        if (iconv(handle, &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1))
            return std::nullopt;
        out.resize(out.size() - outLeft);
        return out;
    }

private:
    iconv_t handle;
};

int sign(int value)
{
    return (value > 0) - (value < 0);
}

void checkBytes(const std::string& bytes)
{
    static Iconv toUtf8("UTF-8", "CP1251");
    std::string utf8 = Cp1251ToUtf8(bytes);
    fuzz::check(utf8.size() >= bytes.size() && utf8.size() <= 3 * bytes.size(), "UTF-8 length", bytes);
    std::string back;
    try {
        back = Utf8ToCp1251(utf8);
    } catch (const Exception& e) {
        fuzz::fail("cp1251 -> UTF-8 reads back", bytes + " : " + e.text());
    }
    fuzz::check(back == bytes, "cp1251 -> UTF-8 -> cp1251 keeps every byte", bytes);
    if (bytes.find('\x98') == std::string::npos) {
        std::optional<std::string> reference = toUtf8.convert(bytes);
        fuzz::check(reference && *reference == utf8, "cp1251 -> UTF-8 as iconv", bytes + " -> " + utf8);
    } else {
        fuzz::check(utf8.find("\xC2\x98") != std::string::npos, "0x98 travels as U+0098", utf8);
    }
}

// The characters of a UTF-8 text as glibc decodes it, or nothing when it is not valid UTF-8.
std::optional<std::vector<char32_t>> decode(const std::string& text)
{
    static Iconv toUtf32("UTF-32LE", "UTF-8");
    std::optional<std::string> units = toUtf32.convert(text);
    if (!units)
        return std::nullopt;
    std::vector<char32_t> codes(units->size() / 4);
    for (size_t k = 0; k < codes.size(); ++k) {
        const auto* b = reinterpret_cast<const unsigned char*>(units->data() + 4 * k);
        codes[k] = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<char32_t>(b[3]) << 24);
    }
    return codes;
}

// The cp1251 byte of one character, or -1 when it has none.
int cp1251Byte(char32_t code)
{
    static Iconv toCp1251("CP1251", "UTF-32LE");
    static std::unordered_map<char32_t, int> known;
    if (code == 0x98)
        return 0x98;
    auto found = known.find(code);
    if (found != known.end())
        return found->second;
    const unsigned char unit[4] = {static_cast<unsigned char>(code), static_cast<unsigned char>(code >> 8),
                                   static_cast<unsigned char>(code >> 16), static_cast<unsigned char>(code >> 24)};
    std::optional<std::string> one = toCp1251.convert(std::string(reinterpret_cast<const char*>(unit), 4));
    const int byte = one && one->size() == 1 ? static_cast<unsigned char>((*one)[0]) : -1;
    known.emplace(code, byte);
    return byte;
}

std::string codeText(char32_t code)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(code));
    return buffer;
}

void checkUtf8(const std::string& text)
{
    std::optional<std::string> bytes;
    std::string error;
    try {
        bytes = Utf8ToCp1251(text);
    } catch (const Exception& e) {
        error = e.text();
        fuzz::check(!error.empty(), "UTF-8 errors say what is wrong");
    }
    if (bytes) {
        fuzz::check(bytes->size() <= text.size(), "cp1251 is never longer", text);
        fuzz::check(Cp1251ToUtf8(*bytes) == text, "UTF-8 -> cp1251 -> UTF-8 keeps the text", text);
    }

    std::optional<std::vector<char32_t>> codes = decode(text);
    if (!codes) {
        fuzz::check(!bytes, "invalid UTF-8 is refused", text + " -> " + (bytes ? *bytes : ""));
        return;
    }
    std::string expected;
    for (char32_t code : *codes) {
        const int byte = cp1251Byte(code);
        if (byte < 0) {
            fuzz::check(!bytes, "a character without a cp1251 byte is refused",
                        text + " -> " + (bytes ? *bytes : "") + ", " + codeText(code));
            fuzz::check(error.find(codeText(code)) != std::string::npos, "the refusal names the character",
                        text + " : " + error + ", " + codeText(code));
            return;
        }
        expected += static_cast<char>(byte);
    }
    fuzz::check(bytes.has_value(), "valid UTF-8 of cp1251 characters converts", text + " : " + error);
    fuzz::check(*bytes == expected, "UTF-8 -> cp1251 character by character as iconv",
                text + " -> " + *bytes + ", iconv " + expected);
}

void checkCase(const std::string& a, const std::string& b)
{
    std::string upperA = AnsiUpperCase(a);
    fuzz::check(upperA.size() == a.size(), "upper case keeps the length", a);
    fuzz::check(AnsiUpperCase(upperA) == upperA, "upper case is idempotent", a);
    fuzz::check(AnsiCompareText(a, upperA) == 0, "comparison ignores case", a);
    fuzz::check(AnsiCompareText(a, a) == 0, "a text equals itself", a);
    int ab = sign(AnsiCompareText(a, b));
    fuzz::check(ab == -sign(AnsiCompareText(b, a)), "comparison is antisymmetric", a + " | " + b);
    fuzz::check(ab == sign(AnsiCompareText(upperA, AnsiUpperCase(b))), "comparison sees the upper case",
                a + " | " + b);
    fuzz::check(Trim(Trim(a)) == Trim(a), "Trim is idempotent", a);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    checkBytes(input);
    checkUtf8(input);
    checkCase(input.substr(0, size / 2), input.substr(size / 2));
    return 0;
}
