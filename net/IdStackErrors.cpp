#include "net/IdStackErrors.h"

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

} // namespace

StringView SocketErrorText(std::int32_t code)
{
    for (const TCodeText& entry : kTexts)
        if (entry.Code == code)
            return entry.Text;
    return {};
}
