// A shared library that only proves it was loaded: its constructor appends a line to the
// file named by HOSTILE_MARKER, or to "hostile-marker" in the current directory. Cases
// smuggle its path into settings that would make a driver load it, or into SQL that
// would make SQLite load it; its SQLite entry point lets such a load succeed, so that a
// run it got into would go on to complete.

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

namespace {

__attribute__((constructor)) void leaveMarker()
{
    const char* path = std::getenv("HOSTILE_MARKER");
    if (!path || !*path)
        path = "hostile-marker";
    int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const char line[] = "loaded\n";
    if (write(fd, line, sizeof line - 1) < 0) {
        // Nothing to report to: the marker's absence tells the test.
    }
    close(fd);
}

}  // namespace

// SQLite's fallback name for an extension's entry point: the one it derives from the file
// name (sqlite3_hostilemarker_init) is not there. The library adds nothing.
extern "C" int sqlite3_extension_init(void*, char**, const void*)
{
    return 0;
}
