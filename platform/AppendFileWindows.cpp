#include "platform/AppendFile.h"

#include "platform/WindowsText.h"

#include <algorithm>
#include <system_error>
#include <windows.h>

namespace orvant::platform {

namespace {

[[noreturn]] void Raise(const char* what, const std::string& path)
{
    const DWORD error = ::GetLastError(); // before anything that could change it
    throw std::system_error(static_cast<int>(error), std::system_category(), std::string(what) + " " + path);
}

struct THandleCloser {
    HANDLE Handle;
    ~THandleCloser() { ::CloseHandle(Handle); }
};

} // namespace

void AppendLine(const std::string& path, std::string_view firstLine, std::string_view line)
{
    // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end of the
    // file as one piece, as O_APPEND does, also against another process appending.
    // Read as well: the last byte says whether the last line was cut short.
    const HANDLE file = ::CreateFileW(WideOf(path).c_str(), FILE_APPEND_DATA | GENERIC_READ | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        Raise("CreateFileW", path);
    const THandleCloser closer {file};
    LARGE_INTEGER size {};
    if (!::GetFileSizeEx(file, &size))
        Raise("GetFileSizeEx", path);
    std::string bytes;
    if (size.QuadPart == 0) {
        bytes = firstLine;
    } else {
        char last = '\n';
        DWORD got = 0;
        OVERLAPPED at {};
        at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(size.QuadPart - 1) & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(size.QuadPart - 1) >> 32);
        if (::ReadFile(file, &last, 1, &got, &at) && got == 1 && last != '\n')
            bytes = "\r\n";
    }
    bytes += line;
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
            Raise("WriteFile", path);
        done += written;
    }
    if (!::FlushFileBuffers(file))
        Raise("FlushFileBuffers", path);
}

} // namespace orvant::platform
