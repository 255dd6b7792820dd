#include "core/Utils.h"

#include <cerrno>

// The combined path names the directory in the error only: a current directory whose name
// has characters cp1251 cannot hold comes back with '?' in their place, and creating that
// path would make directories somewhere else.
void Log::makeDir(const std::string& dir, bool relative)
{
    std::string path = relative ? GetCurrentDir() + "/" + dir : dir;
    if (!ForceDirectories(relative ? dir : path))
        throw SystemException("Log.Log()", "Ошибка создания каталога: " + path);
}

Log::Log(const std::string& fileName, bool append) : fileName(fileName), append(append)
{
    if (append && FileExists(fileName)) {
        handle = FileOpen(fileName, 2);
        if (handle != -1)
            FileSeek(handle, 0, 2);
    } else {
        // Whatever stands at the name (a file, a symlink, a FIFO, a device node) goes as an
        // entry and is never opened; the new file is made exclusively. A directory stays and
        // the creation fails. Another run in the same folder may put its journal there
        // between the two steps, which a few rounds ride out.
        for (int round = 0; round < 3 && handle == -1; ++round) {
            DeleteFile(fileName);
            handle = FileCreate(fileName);
            if (handle == -1 && errno != EEXIST)
                break;
        }
    }
    if (handle == -1)
        throw SystemException("Log.Log()", "Ошибка открытия файла журнала: " + fileName);
}

// The journal of a failed run stays open until the process ends; releasing the
// descriptor here only matters to objects that go out of scope earlier, as in tests.
Log::~Log()
{
    close();
}

void Log::write(const std::string& text)
{
    std::string out = indent > 0 ? Utils::replaceAll(text, "\n", "\n" + Utils::repeat(' ', 2 * indent)) : text;
    if (!out.empty() && handle != -1)
        FileWrite(handle, out.data(), static_cast<int>(out.size()));
}

void Log::writeLine(const std::string& text)
{
    write("\n" + text);
}

void Log::close()
{
    if (handle != -1) {
        FileClose(handle);
        handle = -1;
    }
}

namespace Utils {

std::string replaceAll(const std::string& text, const std::string& from, const std::string& to)
{
    return AnsiReplaceStr(text, from, to);
}

std::string repeat(char c, int n)
{
    return n > 0 ? std::string(static_cast<size_t>(n), c) : std::string();
}

std::string pad(const std::string& text, int width, char fill)
{
    std::string s = text == "0" ? std::string() : text;
    if (width == -1)
        return s;
    s.resize(static_cast<size_t>(width), fill);
    return s;
}

std::string cutTail(const std::string& text, int n)
{
    if (text == "0")
        return std::string();
    if (static_cast<int>(text.size()) < n)
        return text;
    return text.substr(0, text.size() - static_cast<size_t>(n));
}

}  // namespace Utils
