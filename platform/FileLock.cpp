#include "platform/FileLock.h"

#include <cerrno>
#include <thread>

namespace orvant::platform {

std::optional<TFileLock> TFileLock::Lock(const std::string& path, std::chrono::milliseconds wait, int& error,
                                         std::chrono::milliseconds poll)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        auto lock = TryLock(path, error);
        if (lock || error != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline)
            return lock;
        std::this_thread::sleep_for(poll);
    }
}

TFileLock::TFileLock(TFileLock&& other) noexcept : FHandle(other.FHandle)
{
    other.FHandle = -1;
}

} // namespace orvant::platform
