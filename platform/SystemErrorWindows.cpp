#include "platform/SystemError.h"

#include "platform/WindowsText.h"

#include <windows.h>

namespace orvant::platform {

namespace {

// ERROR_DISK_QUOTA_EXCEEDED, which the MinGW headers lack.
constexpr DWORD kDiskQuotaExceeded = 1295;

} // namespace

TSystemErrorKind SystemErrorKind(int error)
{
    switch (static_cast<DWORD>(error)) {
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
    case ERROR_NETWORK_ACCESS_DENIED: return TSystemErrorKind::AccessDenied;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_INVALID_NAME: return TSystemErrorKind::NotFound;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return TSystemErrorKind::DiskFull;
    case kDiskQuotaExceeded: return TSystemErrorKind::QuotaExceeded;
    case ERROR_WRITE_PROTECT: return TSystemErrorKind::ReadOnly;
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_CRC:
    case ERROR_IO_DEVICE: return TSystemErrorKind::InputOutput;
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_NETNAME_DELETED:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_SEM_TIMEOUT:
    case ERROR_HOST_UNREACHABLE:
    case ERROR_NETWORK_UNREACHABLE:
    case ERROR_REM_NOT_LIST: return TSystemErrorKind::Unreachable;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return TSystemErrorKind::InUse;
    default: return TSystemErrorKind::Other;
    }
}

std::string SystemErrorText(int error)
{
    const auto code = static_cast<DWORD>(error);
    // Brazilian Portuguese when the system carries it, else the system's own language.
    for (const DWORD language : {static_cast<DWORD>(MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN)),
                                 static_cast<DWORD>(0)}) {
        wchar_t* text = nullptr;
        const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                             | FORMAT_MESSAGE_IGNORE_INSERTS,
                                         nullptr, code, language, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        if (n == 0 || text == nullptr)
            continue;
        std::wstring message(text, n);
        ::LocalFree(text);
        // The system's texts end with a full stop and CR LF; the callers add their own.
        while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '
                                    || message.back() == L'.'))
            message.pop_back();
        return Utf8Of(message);
    }
    return "erro " + std::to_string(error) + " do Windows";
}

} // namespace orvant::platform
