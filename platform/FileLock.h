#pragma once
// An exclusive lock on a file, held while the object lives and released by the
// system when the process ends in any way (a killed run leaves no stale lock).
// Two extractions of one month at once would move each other's files aside; two
// sends of one month at once would both pass the duplicate check. The file is
// created readable and writable by its owner and group only.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace orvant::platform {

class TFileLock {
public:
    // Creates the file when missing and takes the lock without waiting; empty when
    // another process holds it or the file cannot be opened (`error` says which:
    // EWOULDBLOCK for a lock held elsewhere, else the system's error: errno on
    // Linux, GetLastError on Windows).
    static std::optional<TFileLock> TryLock(const std::string& path, int& error);
    // As TryLock, but while another process holds the lock it tries again every
    // `poll` until `wait` has passed (then `error` is EWOULDBLOCK). A lock that is
    // never released must not hold a scheduled run for ever.
    static std::optional<TFileLock> Lock(const std::string& path, std::chrono::milliseconds wait, int& error,
                                         std::chrono::milliseconds poll = std::chrono::milliseconds(200));

    TFileLock(TFileLock&& other) noexcept;
    TFileLock& operator=(TFileLock&&) = delete;
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;
    ~TFileLock();

private:
    explicit TFileLock(std::intptr_t handle) : FHandle(handle) {}
    // A file descriptor on Linux, a file HANDLE on Windows; -1 when given up.
    std::intptr_t FHandle;
};

} // namespace orvant::platform
