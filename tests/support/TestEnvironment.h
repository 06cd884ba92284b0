#pragma once
// Environment variables set and cleared by tests, on either system.

#include <cstdlib>
#include <optional>
#include <string>

inline void SetTestEnv(const char* name, const char* value)
{
#ifdef _WIN32
    _putenv_s(name, value);
#else
    setenv(name, value, 1);
#endif
}

inline void UnsetTestEnv(const char* name)
{
#ifdef _WIN32
    _putenv_s(name, ""); // an empty value removes the variable on Windows
#else
    unsetenv(name);
#endif
}

// Sets an environment variable for the life of the object and restores it after.
class TScopedEnvironment {
public:
    TScopedEnvironment(const char* name, const std::string& value) : FName(name)
    {
        if (const char* old = std::getenv(name))
            FOld = old;
        SetTestEnv(FName, value.c_str());
    }
    ~TScopedEnvironment()
    {
        if (FOld)
            SetTestEnv(FName, FOld->c_str());
        else
            UnsetTestEnv(FName);
    }
    TScopedEnvironment(const TScopedEnvironment&) = delete;
    TScopedEnvironment& operator=(const TScopedEnvironment&) = delete;

private:
    const char* FName;
    std::optional<std::string> FOld;
};
