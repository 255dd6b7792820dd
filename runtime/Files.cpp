// The runtime services that meet the operating system: the process's standard
// descriptors and the files.

#include "runtime/Files.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/Exception.h"
#include "runtime/Locale.h"

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
    sigaction(SIGXFSZ, &ignore, nullptr);
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
