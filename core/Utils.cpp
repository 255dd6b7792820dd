#include "core/Utils.h"

#include <algorithm>
#include <cerrno>

ErrorDisplay ErrorDisplay::of(const Exception& error)
{
    if (const auto* system = dynamic_cast<const SystemException*>(&error))
        return {" " + system->place + ":\n" + system->message, system->detail};
    if (const auto* explained = dynamic_cast<const ExplainedException*>(&error))
        return {explained->text(), explained->detail};
    return {error.text(), {}};
}

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

// The text goes out in pieces of about 64 KB with the indentation put in on the way: the
// detailed journal writes whole samples, and an indented copy of one (plus the copies
// its building took) was most of the program's peak memory on large samples.
void Log::write(const std::string& text)
{
    if (text.empty() || handle == -1)
        return;
    constexpr std::size_t kPiece = 1 << 16;
    if (indent <= 0) {
        // In pieces as well: a write takes an int count, and a sample of some ten million
        // rows is longer than that.
        for (std::size_t at = 0; at < text.size(); at += kPiece)
            FileWrite(handle, text.data() + at, static_cast<int>(std::min(kPiece, text.size() - at)));
        return;
    }
    const std::string lineBreak = "\n" + Utils::repeat(' ', 2 * indent);
    std::string piece;
    piece.reserve(kPiece + lineBreak.size());
    auto flush = [&] {
        FileWrite(handle, piece.data(), static_cast<int>(piece.size()));
        piece.clear();
    };
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t at = text.find('\n', start);
        const std::size_t end = at == std::string::npos ? text.size() : at;
        while (start < end) {
            const std::size_t take = std::min(end - start, kPiece - std::min(piece.size(), kPiece));
            piece.append(text, start, take);
            start += take;
            if (piece.size() >= kPiece)
                flush();
        }
        if (at == std::string::npos)
            break;
        piece += lineBreak;
        start = at + 1;
        if (piece.size() >= kPiece)
            flush();
    }
    if (!piece.empty())
        flush();
}

void Log::writeLine(const std::string& text)
{
    // One write for an ordinary line; a long text is not copied to put the break before it.
    if (text.size() < 4096) {
        write("\n" + text);
        return;
    }
    write("\n");
    write(text);
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
