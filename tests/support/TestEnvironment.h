#pragma once
// Environment variables set and cleared by tests, on either system.

#include <cstdlib>

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
