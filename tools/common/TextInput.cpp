#include "tools/common/TextInput.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "runtime/Runtime.h"
#include "tools/common/ReservedWords.h"

namespace {

constexpr size_t kNameBytes = 63;

bool isLetter(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0xC0 || c == 0xA8 || c == 0xB8;
}

bool isDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

// The length of the UTF-8 sequence starting at text[i], 0 when it is not valid there.
size_t sequenceLength(const std::string& text, size_t i)
{
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t more;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        more = 1;
    else if (lead >= 0xE0 && lead <= 0xEF)
        more = 2;
    else if (lead >= 0xF0 && lead <= 0xF4)
        more = 3;
    else
        return 0;
    for (size_t k = 1; k <= more; ++k) {
        if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
            return 0;
    }
    const unsigned char second = static_cast<unsigned char>(text[i + 1]);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second > 0x8F))
        return 0;
    return more + 1;
}

int lineAt(const std::string& bytes, size_t offset)
{
    int line = 1;
    for (size_t i = 0; i < offset; ++i)
        line += bytes[i] == '\n';
    return line;
}

[[noreturn]] void notConverted(const std::string& bytes, size_t offset, const std::string& encoding,
                               const std::string& sourceName)
{
    char code[8];
    std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(bytes[offset])));
    if (encoding.empty())
        throw Exception(sourceName + ", line " + std::to_string(lineAt(bytes, offset)) + ": the byte " + code +
                        " is not UTF-8; give the file's encoding, e.g. --encoding cp1251 (or --encoding latin1)");
    throw Exception(sourceName + ", line " + std::to_string(lineAt(bytes, offset)) + ": the byte " + code +
                    " is not " + encoding + "; give the file's own encoding with --encoding");
}

std::string lowered(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::erase(text, '-');
    std::erase(text, '_');
    return text;
}

std::string throughIconv(const std::string& bytes, const std::string& encoding, const std::string& sourceName)
{
    iconv_t descriptor = iconv_open("UTF-8", encoding.c_str());
    if (descriptor == reinterpret_cast<iconv_t>(-1))
        throw Exception("the encoding '" + encoding + "' is unknown (iconv --list shows the known ones)");
    std::unique_ptr<void, int (*)(iconv_t)> owner(descriptor, iconv_close);
    std::string out;
    std::string input = bytes;
    char* in = input.data();
    size_t inLeft = input.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t done = iconv(descriptor, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, outPtr);
        if (done == static_cast<size_t>(-1) && errno != E2BIG)
            notConverted(bytes, static_cast<size_t>(in - input.data()), encoding, sourceName);
    }
    return out;
}

}  // namespace

namespace {

class ReadDescriptor {
public:
    explicit ReadDescriptor(const std::string& path)
        // O_NONBLOCK: opening a FIFO would otherwise wait for a writer.
        : fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC))
    {
        if (fd < 0)
            throw Exception("cannot open " + path + ": " + std::strerror(errno));
    }
    ReadDescriptor(const ReadDescriptor&) = delete;
    ReadDescriptor& operator=(const ReadDescriptor&) = delete;
    ~ReadDescriptor() { ::close(fd); }

    const int fd;
};

const char* kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "no regular file";
}

std::string tooLarge(const std::string& path)
{
    return path + " is larger than " + std::to_string(kLargestExport >> 20) +
           " MiB, the most dodoz-register reads; split the export or register a sample of it";
}

}  // namespace

std::string readExport(const std::string& path)
{
    ReadDescriptor file(path);
    struct stat info {};
    if (::fstat(file.fd, &info) != 0)
        throw Exception("cannot read " + path + ": " + std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        throw Exception(path + " is " + kindOf(info.st_mode) + ", not a file: give the export itself");
    if (info.st_size > kLargestExport)
        throw Exception(tooLarge(path));
    std::string bytes;
    bytes.reserve(static_cast<size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(file.fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw Exception("cannot read " + path + ": " + std::strerror(errno));
        if (got == 0)
            return bytes;
        // The file may grow while it is read.
        if (bytes.size() + static_cast<size_t>(got) > static_cast<size_t>(kLargestExport))
            throw Exception(tooLarge(path));
        bytes.append(buffer, static_cast<size_t>(got));
    }
}

std::string textToUtf8(const std::string& bytes, const std::string& encoding, const std::string& sourceName)
{
    const std::string name = lowered(encoding);
    if (name == "cp1251" || name == "windows1251")
        return Cp1251ToUtf8(bytes);
    if (!name.empty() && name != "utf8")
        return throughIconv(bytes, encoding, sourceName);
    for (size_t i = 0; i < bytes.size();) {
        const size_t length = sequenceLength(bytes, i);
        if (length == 0)
            notConverted(bytes, i, name.empty() ? "" : encoding, sourceName);
        i += length;
    }
    return bytes;
}

bool isPlainName(const std::string& utf8)
{
    if (utf8.empty() || utf8.size() > kNameBytes)
        return false;
    std::string name;
    try {
        name = Utf8ToCp1251(utf8);
    } catch (const Exception&) {
        return false;
    }
    if (!isLetter(static_cast<unsigned char>(name[0])))
        return false;
    for (unsigned char c : name) {
        if (!isLetter(c) && !isDigit(c))
            return false;
    }
    return !isReservedWord(AnsiUpperCase(name));
}

std::string makePlainName(const std::string& utf8, const std::string& prefix)
{
    std::string name;  // cp1251
    bool gap = false;
    for (size_t i = 0; i < utf8.size();) {
        size_t length = sequenceLength(utf8, i);
        if (length == 0)
            length = 1;
        int byte = -1;
        try {
            const std::string one = Utf8ToCp1251(utf8.substr(i, length));
            byte = static_cast<unsigned char>(one[0]);
        } catch (const Exception&) {
        }
        i += length;
        if (byte >= 0 && (isLetter(static_cast<unsigned char>(byte)) || isDigit(static_cast<unsigned char>(byte)))) {
            if (gap && !name.empty() && name.back() != '_')
                name += '_';
            name += static_cast<char>(byte);
            gap = false;
        } else {
            gap = true;
        }
    }
    while (!name.empty() && name.back() == '_')
        name.pop_back();
    if (name.empty() || !isLetter(static_cast<unsigned char>(name[0])))
        name = prefix + name;
    else if (isReservedWord(AnsiUpperCase(name)))
        name += '_';
    std::string out = Cp1251ToUtf8(name);
    while (out.size() > kNameBytes) {
        name.pop_back();
        out = Cp1251ToUtf8(name);
    }
    return out;
}
