#include "platform/FileLock.h"

#include "platform/WindowsText.h"

#include <cerrno>
#include <windows.h>

namespace orvant::platform {

std::optional<TFileLock> TFileLock::TryLock(const std::string& path, int& error)
{
    // Shared for reading and writing: the lock is the byte range below, not the
    // open, so a second Orvant can open the file and learn that the lock is held.
    // Not inherited: a 7-Zip started meanwhile must not keep the month locked.
    const HANDLE file = ::CreateFileW(WideOf(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = static_cast<int>(::GetLastError());
        return std::nullopt;
    }
    // One byte far beyond any content, exclusive, without waiting. The system drops
    // the lock when the handle is closed, also when the process is killed.
    OVERLAPPED where {};
    where.Offset = 0xFFFFFFFEu;
    where.OffsetHigh = 0x7FFFFFFFu;
    if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where)) {
        const DWORD why = ::GetLastError();
        ::CloseHandle(file);
        // The callers tell "held elsewhere" by the same code on both systems.
        error = why == ERROR_LOCK_VIOLATION || why == ERROR_IO_PENDING ? EWOULDBLOCK : static_cast<int>(why);
        return std::nullopt;
    }
    error = 0;
    return TFileLock(reinterpret_cast<std::intptr_t>(file));
}

TFileLock::~TFileLock()
{
    if (FHandle != -1)
        ::CloseHandle(reinterpret_cast<HANDLE>(FHandle)); // closing the handle releases the lock
}

} // namespace orvant::platform
