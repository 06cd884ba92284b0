#include "net/IdStackErrors.h"

// The POSIX side of the socket error codes: Linux errno values and getaddrinfo results
// turned into the Windows Sockets numbering the library reports. (Windows reports
// those numbers itself: TIdStackWindows needs no table.)

#include <netdb.h>

#include <cerrno>

namespace {

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
