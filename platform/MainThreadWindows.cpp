#include "platform/MainThread.h"

#include <windows.h>

namespace orvant::platform {

namespace {

// Windows gives the main thread no id of its own to compare with, so it is taken
// while the program starts: static initialisation runs on the main thread, before
// main and before any thread the program starts.
const DWORD gMainThreadId = ::GetCurrentThreadId();

} // namespace

bool IsMainThread()
{
    return ::GetCurrentThreadId() == gMainThreadId;
}

} // namespace orvant::platform
