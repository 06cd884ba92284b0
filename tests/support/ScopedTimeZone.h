#pragma once
// Puts the process into a time zone (TZ) for the life of the object and restores the
// one before. Tests that read local time use it so that they do not depend on the
// machine's zone.

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            FOld = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone()
    {
        if (FOld)
            setenv("TZ", FOld->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> FOld;
};
