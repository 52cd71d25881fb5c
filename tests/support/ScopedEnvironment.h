// Sets or clears one environment variable for the life of the object, then restores it.
#pragma once
#include <cstdlib>
#include <optional>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) saved_ = old;
        Set(value);
    }
    ~ScopedEnvironment() { Set(saved_); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    void Set(const std::optional<std::string>& value) {
#if defined(_WIN32)
        // Both the C runtime's copy and the process block that GetEnvironmentVariableA reads.
        ::_putenv_s(name_.c_str(), value ? value->c_str() : "");
        ::SetEnvironmentVariableA(name_.c_str(), value ? value->c_str() : nullptr);
#else
        value ? ::setenv(name_.c_str(), value->c_str(), 1) : ::unsetenv(name_.c_str());
#endif
    }
    std::string name_;
    std::optional<std::string> saved_;
};
