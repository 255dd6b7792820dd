#pragma once
// Stand-ins for a display that cannot be used: a display number with nothing there, and an
// X server that accepts connections and never answers (its socket listens, nobody reads).

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// A display number with no server and no socket; tests may run side by side, each in a
// process of its own, so the search starts at a number of this process.
inline int freeDisplay()
{
    for (int n = 400 + getpid() % 500;; ++n)
        if (!std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)) &&
            !std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock"))
            return n;
}

class SilentXServer {
public:
    explicit SilentXServer(int display)
        : path("/tmp/.X11-unix/X" + std::to_string(display)), fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        std::filesystem::create_directories("/tmp/.X11-unix");
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 8) != 0) {
            close(fd);
            throw std::runtime_error("cannot listen on " + path);
        }
    }
    SilentXServer(const SilentXServer&) = delete;
    SilentXServer& operator=(const SilentXServer&) = delete;
    ~SilentXServer()
    {
        close(fd);
        unlink(path.c_str());
    }

private:
    std::string path;
    int fd;
};
