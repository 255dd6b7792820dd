#pragma once
// An environment variable set (or removed) for the lifetime of the object, and put back
// as it was afterwards.

#include <cstdlib>
#include <optional>
#include <string>

class EnvVar {
public:
    EnvVar(const char* name, const std::string& value) : name(name), saved(current(name))
    {
        setenv(name, value.c_str(), 1);
    }
    // Removes the variable.
    explicit EnvVar(const char* name) : name(name), saved(current(name)) { unsetenv(name); }
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;
    ~EnvVar()
    {
        if (saved)
            setenv(name, saved->c_str(), 1);
        else
            unsetenv(name);
    }

private:
    static std::optional<std::string> current(const char* name)
    {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }

    const char* name;
    std::optional<std::string> saved;
};
