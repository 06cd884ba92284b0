#pragma once
// Puts the process into a time zone (TZ) for the life of the object and restores the
// one before. Tests that read local time use it so that they do not depend on the
// machine's zone.

#include "support/TestEnvironment.h"

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

// Whether TZ moves the zone the program reads. On Windows the zone is the system's
// setting (GetTimeZoneInformation) and TZ only moves the C runtime's own functions:
// a test that needs a given zone skips there, saying why.
#ifdef _WIN32
inline constexpr bool kTimeZoneFollowsTZ = false;
#define ORVANT_SKIP_UNLESS_TZ_APPLIES() \
    GTEST_SKIP() << "Windows takes the time zone from its settings, not from TZ"
#else
inline constexpr bool kTimeZoneFollowsTZ = true;
#define ORVANT_SKIP_UNLESS_TZ_APPLIES() (void)0
#endif

class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            FOld = old;
        SetTZ(zone);
    }
    ~ScopedTimeZone()
    {
        SetTZ(FOld ? FOld->c_str() : nullptr);
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    static void SetTZ(const char* zone)
    {
        if (zone)
            SetTestEnv("TZ", zone);
        else
            UnsetTestEnv("TZ");
#ifdef _WIN32
        _tzset();
#else
        tzset();
#endif
    }

    std::optional<std::string> FOld;
};
