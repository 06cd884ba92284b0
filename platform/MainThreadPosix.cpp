#include "platform/MainThread.h"

#include <unistd.h>

namespace orvant::platform {

bool IsMainThread()
{
    // On Linux the main thread's id equals the process id.
    return gettid() == getpid();
}

} // namespace orvant::platform
