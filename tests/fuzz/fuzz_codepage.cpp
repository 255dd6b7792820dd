// cp1251 and UTF-8: every byte string survives cp1251 -> UTF-8 -> cp1251, the UTF-8 form
// is the one the C library's iconv gives, a UTF-8 text either converts and comes back
// unchanged or is refused with an Exception, and the case operations keep their laws.

#include <iconv.h>

#include <optional>

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

void checkUtf8(const std::string& text)
{
    static Iconv toCp1251("CP1251", "UTF-8");
    std::optional<std::string> bytes;
    try {
        bytes = Utf8ToCp1251(text);
    } catch (const Exception& e) {
        fuzz::check(!e.text().empty(), "UTF-8 errors say what is wrong");
    }
    if (bytes) {
        fuzz::check(bytes->size() <= text.size(), "cp1251 is never longer", text);
        fuzz::check(Cp1251ToUtf8(*bytes) == text, "UTF-8 -> cp1251 -> UTF-8 keeps the text", text);
    }
    if (text.find("\xC2\x98") == std::string::npos) {
        std::optional<std::string> reference = toCp1251.convert(text);
        fuzz::check(reference == bytes, "UTF-8 -> cp1251 as iconv",
                    text + " -> " + (bytes ? *bytes : "error") + ", iconv " + (reference ? *reference : "error"));
    }
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
