#pragma once
// Plain file access by a UTF-8 path for the library's file streams: open, read,
// write, seek, resize, close. Handles are the system's (a descriptor on Linux, a
// file HANDLE on Windows) as a number; errors are the system's codes, with text from
// SystemErrorText.

#include <cstdint>
#include <string>

namespace orvant::platform {

enum class TFileAccess {
    CreateReadWrite, // create or truncate, read and write
    Read,            // existing file, read only
    Write,           // existing file, write only
    ReadWrite,       // existing file, read and write
};

enum class TFileSeek { Begin, Current, End };

inline constexpr std::intptr_t kNoFile = -1;

// kNoFile with `error` set when the file cannot be opened; a folder is refused.
std::intptr_t OpenFileHandle(const std::string& utf8Path, TFileAccess access, int& error);
void CloseFileHandle(std::intptr_t file);
// Bytes moved (0 at the end of the file on reading), or -1 with `error` set.
std::int64_t ReadFileHandle(std::intptr_t file, void* buffer, std::int64_t count, int& error);
std::int64_t WriteFileHandle(std::intptr_t file, const void* buffer, std::int64_t count, int& error);
// The new position, or -1 with `error` set.
std::int64_t SeekFileHandle(std::intptr_t file, std::int64_t offset, TFileSeek origin, int& error);
bool ResizeFileHandle(std::intptr_t file, std::int64_t size, int& error);

} // namespace orvant::platform
