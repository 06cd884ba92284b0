#include "net/IdStackErrors.h"

#include <netdb.h>

#include <cerrno>

namespace {

struct TCodeText {
    std::int32_t Code;
    StringView Text;
};

// Texts of the socket error messages ("Socket Error # %d\r\n%s"). Codes missing here
// (11002, 11003, ...) have no text: their message ends with the line break.
constexpr TCodeText kTexts[] = {
    {Id_WSAEINTR, u"Interrupted system call."},
    {Id_WSAEBADF, u"Bad file number."},
    {Id_WSAEACCES, u"Access denied."},
    {Id_WSAEFAULT, u"Buffer fault."},
    {Id_WSAEINVAL, u"Invalid argument."},
    {Id_WSAEMFILE, u"Too many open files."},
    {Id_WSAEWOULDBLOCK, u"Operation would block."},
    {Id_WSAEINPROGRESS, u"Operation now in progress."},
    {Id_WSAEALREADY, u"Operation already in progress."},
    {Id_WSAENOTSOCK, u"Socket operation on non-socket."},
    {Id_WSAEDESTADDRREQ, u"Destination address required."},
    {Id_WSAEMSGSIZE, u"Message too long."},
    {Id_WSAEPROTOTYPE, u"Protocol wrong type for socket."},
    {Id_WSAENOPROTOOPT, u"Bad protocol option."},
    {Id_WSAEPROTONOSUPPORT, u"Protocol not supported."},
    {Id_WSAESOCKTNOSUPPORT, u"Socket type not supported."},
    {Id_WSAEOPNOTSUPP, u"Operation not supported on socket."},
    {Id_WSAEPFNOSUPPORT, u"Protocol family not supported."},
    {Id_WSAEAFNOSUPPORT, u"Address family not supported by protocol family."},
    {Id_WSAEADDRINUSE, u"Address already in use."},
    {Id_WSAEADDRNOTAVAIL, u"Cannot assign requested address."},
    {Id_WSAENETDOWN, u"Network is down."},
    {Id_WSAENETUNREACH, u"Network is unreachable."},
    {Id_WSAENETRESET, u"Net dropped connection or reset."},
    {Id_WSAECONNABORTED, u"Software caused connection abort."},
    {Id_WSAECONNRESET, u"Connection reset by peer."},
    {Id_WSAENOBUFS, u"No buffer space available."},
    {Id_WSAEISCONN, u"Socket is already connected."},
    {Id_WSAENOTCONN, u"Socket is not connected."},
    {Id_WSAESHUTDOWN, u"Cannot send or receive after socket is closed."},
    {Id_WSAETOOMANYREFS, u"Too many references, cannot splice."},
    {Id_WSAETIMEDOUT, u"Connection timed out."},
    {Id_WSAECONNREFUSED, u"Connection refused."},
    {Id_WSAELOOP, u"Too many levels of symbolic links."},
    {Id_WSAENAMETOOLONG, u"File name too long."},
    {Id_WSAEHOSTDOWN, u"Host is down."},
    {Id_WSAEHOSTUNREACH, u"No route to host."},
    {Id_WSAENOTEMPTY, u"Directory not empty"},
    {Id_WSAHOST_NOT_FOUND, u"Host not found."},
};

struct TErrnoCode {
    int Errno;
    std::int32_t Code;
};

// Linux errno -> code. Where several errno values share a code, the first one listed
// is the one ErrnoFromSocketError gives back.
constexpr TErrnoCode kErrnoCodes[] = {
    {0, 0},
    {EINTR, Id_WSAEINTR},
    {EBADF, Id_WSAEBADF},
    {EACCES, Id_WSAEACCES},
    {EPERM, Id_WSAEACCES}, // e.g. a packet filter refusing the connection
    {EFAULT, Id_WSAEFAULT},
    {EINVAL, Id_WSAEINVAL},
    {EMFILE, Id_WSAEMFILE},
    {ENFILE, Id_WSAEMFILE},
    {EINPROGRESS, Id_WSAEINPROGRESS},
    {EALREADY, Id_WSAEALREADY},
    {ENOTSOCK, Id_WSAENOTSOCK},
    {EDESTADDRREQ, Id_WSAEDESTADDRREQ},
    {EMSGSIZE, Id_WSAEMSGSIZE},
    {EPROTOTYPE, Id_WSAEPROTOTYPE},
    {ENOPROTOOPT, Id_WSAENOPROTOOPT},
    {EPROTONOSUPPORT, Id_WSAEPROTONOSUPPORT},
    {ESOCKTNOSUPPORT, Id_WSAESOCKTNOSUPPORT},
    {EOPNOTSUPP, Id_WSAEOPNOTSUPP},
    {EPFNOSUPPORT, Id_WSAEPFNOSUPPORT},
    {EAFNOSUPPORT, Id_WSAEAFNOSUPPORT},
    {EADDRINUSE, Id_WSAEADDRINUSE},
    {EADDRNOTAVAIL, Id_WSAEADDRNOTAVAIL},
    {ENETDOWN, Id_WSAENETDOWN},
    {ENETUNREACH, Id_WSAENETUNREACH},
    {ENETRESET, Id_WSAENETRESET},
    {ECONNABORTED, Id_WSAECONNABORTED},
    {ECONNRESET, Id_WSAECONNRESET},
    // Linux reports a send to a peer that has gone away (reset or fully closed) as
    // EPIPE once the reset has been reported; Windows calls that a reset.
    {EPIPE, Id_WSAECONNRESET},
    {ENOBUFS, Id_WSAENOBUFS},
    {ENOMEM, Id_WSAENOBUFS},
    {EISCONN, Id_WSAEISCONN},
    {ENOTCONN, Id_WSAENOTCONN},
    {ESHUTDOWN, Id_WSAESHUTDOWN},
    {ETOOMANYREFS, Id_WSAETOOMANYREFS},
    {ETIMEDOUT, Id_WSAETIMEDOUT},
    // The library's sockets are blocking: EAGAIN from them means the receive or send
    // time-out option ran out, which Windows reports as a time-out.
    {EAGAIN, Id_WSAETIMEDOUT},
    {ECONNREFUSED, Id_WSAECONNREFUSED},
    {ELOOP, Id_WSAELOOP},
    {ENAMETOOLONG, Id_WSAENAMETOOLONG},
    {EHOSTDOWN, Id_WSAEHOSTDOWN},
    {EHOSTUNREACH, Id_WSAEHOSTUNREACH},
    {ENOTEMPTY, Id_WSAENOTEMPTY},
};

} // namespace

StringView SocketErrorText(std::int32_t code)
{
    for (const TCodeText& entry : kTexts)
        if (entry.Code == code)
            return entry.Text;
    return {};
}

std::int32_t SocketErrorFromErrno(int error)
{
    for (const TErrnoCode& entry : kErrnoCodes)
        if (entry.Errno == error)
            return entry.Code;
    return error;
}

int ErrnoFromSocketError(std::int32_t code)
{
    for (const TErrnoCode& entry : kErrnoCodes)
        if (entry.Code == code)
            return entry.Errno;
    return code;
}

std::int32_t SocketErrorFromResolver(int result, int error)
{
    switch (result) {
    case EAI_AGAIN:
        return Id_WSATRY_AGAIN;
    case EAI_BADFLAGS:
        return Id_WSAEINVAL;
    case EAI_FAIL:
        return Id_WSANO_RECOVERY;
    case EAI_FAMILY:
        return Id_WSAEAFNOSUPPORT;
    case EAI_MEMORY:
        return Id_WSA_NOT_ENOUGH_MEMORY;
    case EAI_NONAME:
        return Id_WSAHOST_NOT_FOUND;
    case EAI_SERVICE:
        return Id_WSATYPE_NOT_FOUND;
    case EAI_SOCKTYPE:
        return Id_WSAESOCKTNOSUPPORT;
    case EAI_SYSTEM:
        return SocketErrorFromErrno(error);
#ifdef EAI_NODATA
    case EAI_NODATA:
        return Id_WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    // The name exists but has no address of the family asked for.
    case EAI_ADDRFAMILY:
        return Id_WSANO_DATA;
#endif
#ifdef EAI_IDN_ENCODE
    // A name that cannot be written in the DNS's ASCII form cannot be found.
    case EAI_IDN_ENCODE:
        return Id_WSAHOST_NOT_FOUND;
#endif
    default:
        return Id_WSANO_RECOVERY;
    }
}
