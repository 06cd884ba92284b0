#include "platform/FileLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace orvant::platform {

std::optional<TFileLock> TFileLock::TryLock(const std::string& path, int& error)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0660);
    if (fd < 0) {
        error = errno;
        return std::nullopt;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno;
        ::close(fd);
        return std::nullopt;
    }
    error = 0;
    return TFileLock(fd);
}

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

TFileLock::TFileLock(TFileLock&& other) noexcept : FFd(other.FFd)
{
    other.FFd = -1;
}

TFileLock::~TFileLock()
{
    if (FFd >= 0)
        ::close(FFd); // closing the last descriptor releases the lock
}

} // namespace orvant::platform
