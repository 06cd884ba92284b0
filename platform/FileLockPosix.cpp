#include "platform/FileLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
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

TFileLock::~TFileLock()
{
    if (FHandle >= 0)
        ::close(static_cast<int>(FHandle)); // closing the last descriptor releases the lock
}

} // namespace orvant::platform
