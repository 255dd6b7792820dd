#pragma once
// Errors of the system, the journal and the small text helpers used by the text dumps.

#include <string>

#include "runtime/Runtime.h"

// Every failure the system detects itself: where it arose ("Vector.elementAt(int)")
// and what went wrong. The text of the base Exception is the message alone. The detail,
// when there is one, is the lower layer's own account (a driver's SQLSTATE and text)
// behind a fixed message; it is for the console only.
class SystemException : public Exception {
public:
    SystemException(std::string place, std::string message, std::string detail = {})
        : Exception(message), place(std::move(place)), message(std::move(message)), detail(std::move(detail)) {}

    std::string place;
    std::string message;
    std::string detail;
};

// A failure the platform reports in its own words (a text that is no number), shown as
// it is, with the program's account of its cause as the detail, for the console only.
class ExplainedException : public Exception {
public:
    ExplainedException(const Exception& failure, std::string detail)
        : Exception(failure.text()), detail(std::move(detail)) {}

    std::string detail;
};

// What the user is shown of a failure the run raised: the box's text (" " + place + ":\n"
// + message for a SystemException, any other Exception's own text) and the detail line
// the console adds after it, empty when there is none.
struct ErrorDisplay {
    std::string text;
    std::string detail;

    static ErrorDisplay of(const Exception& error);
};

// The journal: unbuffered, every write reaches the file at once so that it holds
// everything up to a failure.
class Log {
public:
    // Creates dir (below the current directory when relative is set) with its parents.
    static void makeDir(const std::string& dir, bool relative);

    Log(const std::string& fileName, bool append);
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;
    ~Log();

    // Writes the text; line feeds inside it are followed by 2 * indent blanks.
    void write(const std::string& text);
    // A line feed, then the text.
    void writeLine(const std::string& text);
    void close();

    int detail = 1;
    int indent = 0;

    const std::string& getFileName() const { return fileName; }

private:
    std::string fileName;
    bool append;
    int handle = -1;
};

namespace Utils {
std::string replaceAll(const std::string& text, const std::string& from, const std::string& to);
std::string repeat(char c, int n);
// The text "0" counts as empty; width -1 leaves the text as it is, otherwise the result
// is cut or filled on the right to exactly width characters.
std::string pad(const std::string& text, int width, char fill);
// The text without its last n characters ("0" gives the empty text).
std::string cutTail(const std::string& text, int n);
}  // namespace Utils
