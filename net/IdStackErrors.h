#pragma once
// The socket error codes the library reports, their texts, and the translation of
// Linux errno values and getaddrinfo results onto them.
//
// The codes keep the Windows Sockets numbering (10061 = connection refused, 11001 =
// host not found, ...) because callers, messages and tests are written against those
// numbers. On Windows they are the system's own codes (WSAGetLastError and the
// getaddrinfo results, used as they are); the Linux values are translated in exactly
// one place, IdStackErrorsPosix.cpp. The texts (IdStackErrors.cpp) serve both.

#include "mime/IdGlobal.h"

#include <cstdint>

inline constexpr std::int32_t Id_WSA_NOT_ENOUGH_MEMORY = 8;
inline constexpr std::int32_t Id_WSAEINTR = 10004;
inline constexpr std::int32_t Id_WSAEBADF = 10009;
inline constexpr std::int32_t Id_WSAEACCES = 10013;
inline constexpr std::int32_t Id_WSAEFAULT = 10014;
inline constexpr std::int32_t Id_WSAEINVAL = 10022;
inline constexpr std::int32_t Id_WSAEMFILE = 10024;
inline constexpr std::int32_t Id_WSAEWOULDBLOCK = 10035;
inline constexpr std::int32_t Id_WSAEINPROGRESS = 10036;
inline constexpr std::int32_t Id_WSAEALREADY = 10037;
inline constexpr std::int32_t Id_WSAENOTSOCK = 10038;
inline constexpr std::int32_t Id_WSAEDESTADDRREQ = 10039;
inline constexpr std::int32_t Id_WSAEMSGSIZE = 10040;
inline constexpr std::int32_t Id_WSAEPROTOTYPE = 10041;
inline constexpr std::int32_t Id_WSAENOPROTOOPT = 10042;
inline constexpr std::int32_t Id_WSAEPROTONOSUPPORT = 10043;
inline constexpr std::int32_t Id_WSAESOCKTNOSUPPORT = 10044;
inline constexpr std::int32_t Id_WSAEOPNOTSUPP = 10045;
inline constexpr std::int32_t Id_WSAEPFNOSUPPORT = 10046;
inline constexpr std::int32_t Id_WSAEAFNOSUPPORT = 10047;
inline constexpr std::int32_t Id_WSAEADDRINUSE = 10048;
inline constexpr std::int32_t Id_WSAEADDRNOTAVAIL = 10049;
inline constexpr std::int32_t Id_WSAENETDOWN = 10050;
inline constexpr std::int32_t Id_WSAENETUNREACH = 10051;
inline constexpr std::int32_t Id_WSAENETRESET = 10052;
inline constexpr std::int32_t Id_WSAECONNABORTED = 10053;
inline constexpr std::int32_t Id_WSAECONNRESET = 10054;
inline constexpr std::int32_t Id_WSAENOBUFS = 10055;
inline constexpr std::int32_t Id_WSAEISCONN = 10056;
inline constexpr std::int32_t Id_WSAENOTCONN = 10057;
inline constexpr std::int32_t Id_WSAESHUTDOWN = 10058;
inline constexpr std::int32_t Id_WSAETOOMANYREFS = 10059;
inline constexpr std::int32_t Id_WSAETIMEDOUT = 10060;
inline constexpr std::int32_t Id_WSAECONNREFUSED = 10061;
inline constexpr std::int32_t Id_WSAELOOP = 10062;
inline constexpr std::int32_t Id_WSAENAMETOOLONG = 10063;
inline constexpr std::int32_t Id_WSAEHOSTDOWN = 10064;
inline constexpr std::int32_t Id_WSAEHOSTUNREACH = 10065;
inline constexpr std::int32_t Id_WSAENOTEMPTY = 10066;
inline constexpr std::int32_t Id_WSATYPE_NOT_FOUND = 10109;
inline constexpr std::int32_t Id_WSAHOST_NOT_FOUND = 11001;
inline constexpr std::int32_t Id_WSATRY_AGAIN = 11002;
inline constexpr std::int32_t Id_WSANO_RECOVERY = 11003;
inline constexpr std::int32_t Id_WSANO_DATA = 11004;

// The readable text of a code ("Connection refused."), or an empty text for a code
// that has none.
StringView SocketErrorText(std::int32_t code);

#ifndef _WIN32
// --- POSIX only (IdStackErrorsPosix.cpp) ---------------------------------------------
// The code for an errno value. 0 stays 0; an errno without a counterpart is passed on
// unchanged, and so is a value that already is a code (>= 10000, see ErrnoFromSocketError).
std::int32_t SocketErrorFromErrno(int error);

// The errno value that SocketErrorFromErrno turns back into `code`. A code without an
// errno counterpart is returned as it is: errno may hold any int, and the round trip
// then still gives the code.
int ErrnoFromSocketError(std::int32_t code);

// The code for a non-zero getaddrinfo result; `error` is errno as it was right after
// the call (used for EAI_SYSTEM).
std::int32_t SocketErrorFromResolver(int result, int error);
#endif
