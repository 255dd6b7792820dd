// The runtime services that meet the operating system: the process's standard
// descriptors, the locale's character set, the command line and the files.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/Runtime.h"

namespace {

std::string systemError(int error)
{
    return LocaleToCp1251(std::strerror(error));
}

}  // namespace

void prepareStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lower descriptors are open by now, so /dev/null comes in at this number.
        int opened = open("/dev/null", O_RDWR);
        if (opened == -1)
            throw Exception("Cannot open /dev/null in place of the closed descriptor " + std::to_string(fd) + ": "
                            + systemError(errno));
        if (opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
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

namespace {
std::vector<std::string>& commandLine()
{
    static std::vector<std::string> args;
    return args;
}
}  // namespace

void setCommandLine(int argc, char** argv)
{
    commandLine().assign(argv, argv + (argc > 0 ? argc : 0));
}

int ParamCount()
{
    return commandLine().empty() ? 0 : static_cast<int>(commandLine().size()) - 1;
}

std::string ParamStr(int index)
{
    if (index < 0 || index >= static_cast<int>(commandLine().size()))
        return std::string();
    return LocaleToCp1251(commandLine()[static_cast<size_t>(index)]);
}

std::string GetCurrentDir()
{
    std::string buffer(256, '\0');
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            throw Exception("Cannot read the current directory: " + systemError(errno));
        buffer.resize(buffer.size() * 2);
    }
    buffer.resize(std::strlen(buffer.c_str()));
    if (buffer.size() > 1 && buffer.back() == '/')
        buffer.pop_back();
    return LocaleToCp1251(buffer);
}

bool ForceDirectories(const std::string& dir)
{
    if (dir.empty())
        return false;
    const std::filesystem::path path(Cp1251ToLocale(dir));
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return std::filesystem::is_directory(path, ec);
}

bool FileExists(const std::string& path)
{
    struct stat info {};
    return stat(Cp1251ToLocale(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

int FileOpen(const std::string& path, int mode)
{
    // The sharing bits above the access mode have no POSIX counterpart.
    int access;
    switch (mode & 3) {
    case 0: access = O_RDONLY; break;
    case 1: access = O_WRONLY; break;
    case 2: access = O_RDWR; break;
    default: return -1;
    }
    const std::string name = Cp1251ToLocale(path);
    int handle;
    do
        handle = open(name.c_str(), access | O_CLOEXEC);
    while (handle == -1 && errno == EINTR);
    return handle;
}

int64_t FileSeek(int handle, int64_t offset, int origin)
{
    int whence;
    switch (origin) {
    case 0: whence = SEEK_SET; break;
    case 1: whence = SEEK_CUR; break;
    case 2: whence = SEEK_END; break;
    default: return -1;
    }
    return static_cast<int64_t>(lseek(handle, static_cast<off_t>(offset), whence));
}

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (fd >= 0)
            close(fd);
    }
    int get() const { return fd; }

private:
    int fd;
};

// The directory that holds the entry `path` names, opened so that the entry is reached
// without the path being looked up a second time, and the entry's own name. The
// directory is -1 (errno set) when it cannot be opened or is a symlink that may not be
// followed (see FileCreate).
Descriptor openParent(const std::string& path, std::string& name)
{
    const std::string local = Cp1251ToLocale(path);
    const size_t slash = local.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : local.substr(0, slash);
    name = slash == std::string::npos ? local : local.substr(slash + 1);

    struct stat entry {};
    if (lstat(parent.c_str(), &entry) != 0)
        return Descriptor(-1);
    int follow = O_NOFOLLOW;
    if (S_ISLNK(entry.st_mode)) {
        if (entry.st_uid != geteuid() && entry.st_uid != 0) {
            errno = ELOOP;
            return Descriptor(-1);
        }
        follow = 0;
    }
    return Descriptor(open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC | follow));
}

}  // namespace

int FileCreate(const std::string& path)
{
    std::string name;
    Descriptor parent = openParent(path, name);
    if (parent.get() == -1)
        return -1;
    int handle;
    do
        handle = openat(parent.get(), name.c_str(), O_CREAT | O_EXCL | O_NOFOLLOW | O_RDWR | O_CLOEXEC, 0644);
    while (handle == -1 && errno == EINTR);
    return handle;
}

bool DeleteFile(const std::string& path)
{
    std::string name;
    Descriptor parent = openParent(path, name);
    return parent.get() != -1 && unlinkat(parent.get(), name.c_str(), 0) == 0;
}

int FileWrite(int handle, const void* buffer, int count)
{
    if (count < 0)
        return -1;
    const char* data = static_cast<const char*>(buffer);
    int written = 0;
    while (written < count) {
        ssize_t n = write(handle, data + written, static_cast<size_t>(count - written));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return written > 0 ? written : -1;
        }
        written += static_cast<int>(n);
    }
    return written;
}

void FileClose(int handle)
{
    if (handle >= 0)
        close(handle);
}
