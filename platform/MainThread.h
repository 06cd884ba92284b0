#pragma once
// Whether the caller runs on the process's main thread (the one that runs the user
// interface). On Linux the main thread's id equals the process id.
//
// Header-only so that the library can use it without linking the platform library.

#include <unistd.h>

namespace orvant::platform {

inline bool IsMainThread()
{
    return gettid() == getpid();
}

} // namespace orvant::platform
