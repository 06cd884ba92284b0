#include "platform/FileHandle.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvant::platform {

std::intptr_t OpenFileHandle(const std::string& utf8Path, TFileAccess access, int& error)
{
    int flags = O_CLOEXEC;
    switch (access) {
    case TFileAccess::CreateReadWrite: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case TFileAccess::Read: flags |= O_RDONLY; break;
    case TFileAccess::Write: flags |= O_WRONLY; break;
    case TFileAccess::ReadWrite: flags |= O_RDWR; break;
    }
    const int fd = ::open(utf8Path.c_str(), flags, 0644);
    if (fd < 0) {
        error = errno;
        return kNoFile;
    }
    if (access != TFileAccess::CreateReadWrite) {
        // Opening a folder succeeds on Linux; as a file it is an error.
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd);
            error = EISDIR;
            return kNoFile;
        }
    }
    return fd;
}

void CloseFileHandle(std::intptr_t file)
{
    if (file != kNoFile)
        ::close(static_cast<int>(file));
}

std::int64_t ReadFileHandle(std::intptr_t file, void* buffer, std::int64_t count, int& error)
{
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(file), buffer, static_cast<std::size_t>(std::max<std::int64_t>(0, count)));
        if (n >= 0)
            return n;
        if (errno != EINTR) {
            error = errno;
            return -1;
        }
    }
}

std::int64_t WriteFileHandle(std::intptr_t file, const void* buffer, std::int64_t count, int& error)
{
    for (;;) {
        const ssize_t n = ::write(static_cast<int>(file), buffer, static_cast<std::size_t>(std::max<std::int64_t>(0, count)));
        if (n >= 0)
            return n;
        if (errno != EINTR) {
            error = errno;
            return -1;
        }
    }
}

std::int64_t SeekFileHandle(std::intptr_t file, std::int64_t offset, TFileSeek origin, int& error)
{
    const int whence = origin == TFileSeek::Current ? SEEK_CUR : origin == TFileSeek::End ? SEEK_END : SEEK_SET;
    const off_t r = ::lseek(static_cast<int>(file), static_cast<off_t>(offset), whence);
    if (r < 0) {
        error = errno;
        return -1;
    }
    return r;
}

bool ResizeFileHandle(std::intptr_t file, std::int64_t size, int& error)
{
    if (::ftruncate(static_cast<int>(file), static_cast<off_t>(size)) != 0) {
        error = errno;
        return false;
    }
    return true;
}

} // namespace orvant::platform
