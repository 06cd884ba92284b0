#include "platform/FileHandle.h"

#include "platform/WindowsText.h"

#include <algorithm>
#include <windows.h>

namespace orvant::platform {

namespace {

HANDLE Handle(std::intptr_t file)
{
    return reinterpret_cast<HANDLE>(file);
}

// One call moves at most a DWORD's worth; the callers repeat.
DWORD Chunk(std::int64_t count)
{
    return static_cast<DWORD>(std::clamp<std::int64_t>(count, 0, 1 << 30));
}

} // namespace

std::intptr_t OpenFileHandle(const std::string& utf8Path, TFileAccess access, int& error)
{
    DWORD desired = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    // Readers share as POSIX does (another may read, write or rename); a writer
    // lets others read only.
    DWORD share = FILE_SHARE_READ;
    switch (access) {
    case TFileAccess::CreateReadWrite: desired = GENERIC_READ | GENERIC_WRITE; disposition = CREATE_ALWAYS; break;
    case TFileAccess::Read: share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE; break;
    case TFileAccess::Write: desired = GENERIC_WRITE; break;
    case TFileAccess::ReadWrite: desired = GENERIC_READ | GENERIC_WRITE; break;
    }
    // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open (access denied).
    const HANDLE file = ::CreateFileW(WideOf(utf8Path).c_str(), desired, share, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = static_cast<int>(::GetLastError());
        return kNoFile;
    }
    return reinterpret_cast<std::intptr_t>(file);
}

void CloseFileHandle(std::intptr_t file)
{
    if (file != kNoFile)
        ::CloseHandle(Handle(file));
}

std::int64_t ReadFileHandle(std::intptr_t file, void* buffer, std::int64_t count, int& error)
{
    DWORD done = 0;
    if (!::ReadFile(Handle(file), buffer, Chunk(count), &done, nullptr)) {
        error = static_cast<int>(::GetLastError());
        return -1;
    }
    return done;
}

std::int64_t WriteFileHandle(std::intptr_t file, const void* buffer, std::int64_t count, int& error)
{
    DWORD done = 0;
    if (!::WriteFile(Handle(file), buffer, Chunk(count), &done, nullptr)) {
        error = static_cast<int>(::GetLastError());
        return -1;
    }
    return done;
}

std::int64_t SeekFileHandle(std::intptr_t file, std::int64_t offset, TFileSeek origin, int& error)
{
    const DWORD method = origin == TFileSeek::Current ? FILE_CURRENT : origin == TFileSeek::End ? FILE_END : FILE_BEGIN;
    LARGE_INTEGER distance {};
    distance.QuadPart = offset;
    LARGE_INTEGER position {};
    if (!::SetFilePointerEx(Handle(file), distance, &position, method)) {
        error = static_cast<int>(::GetLastError());
        return -1;
    }
    return position.QuadPart;
}

bool ResizeFileHandle(std::intptr_t file, std::int64_t size, int& error)
{
    // SetEndOfFile cuts or extends at the file pointer, which must come back after.
    int ignored = 0;
    const std::int64_t here = SeekFileHandle(file, 0, TFileSeek::Current, ignored);
    if (SeekFileHandle(file, size, TFileSeek::Begin, error) < 0)
        return false;
    const bool done = ::SetEndOfFile(Handle(file)) != 0;
    if (!done)
        error = static_cast<int>(::GetLastError());
    if (here >= 0)
        SeekFileHandle(file, here, TFileSeek::Begin, ignored);
    return done;
}

} // namespace orvant::platform
