#include "support/TestSockets.h"

#include <sys/eventfd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace testsockets {

int LastError()
{
    return errno;
}

std::string ErrorText(int error)
{
    return std::strerror(error);
}

int NewWakeEvent()
{
    return ::eventfd(0, EFD_CLOEXEC);
}

void SignalWakeEvent(int event)
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(event, &one, sizeof one);
}

} // namespace testsockets
