#pragma once
// Windows only: the entry points of Windows Sockets 2, bound at run time from
// WS2_32.DLL (LoadLibraryW and GetProcAddress), so that the program does not link the
// socket library. Included by the Windows units of net/ alone (IdStackWindows.cpp,
// IdSocketListWindows.cpp, IdWinsockWindows.cpp, IdSSLLibraryWindows.cpp).

#ifndef _WIN32
#error "net/IdWinsock.h belongs to the Windows units"
#endif

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "mime/IdGlobal.h"

// X(name): every function the Windows units call.
#define ID_WINSOCK_ENTRY_POINTS(X)                                                             \
    X(WSAStartup)                                                                              \
    X(WSACleanup)                                                                              \
    X(WSAGetLastError)                                                                         \
    X(WSASetLastError)                                                                         \
    X(WSASocketW)                                                                              \
    X(bind)                                                                                    \
    X(connect)                                                                                 \
    X(listen)                                                                                  \
    X(accept)                                                                                  \
    X(getsockname)                                                                             \
    X(getpeername)                                                                             \
    X(recv)                                                                                    \
    X(send)                                                                                    \
    X(shutdown)                                                                                \
    X(closesocket)                                                                             \
    X(getsockopt)                                                                              \
    X(setsockopt)                                                                              \
    X(select)                                                                                  \
    X(GetAddrInfoW)                                                                            \
    X(FreeAddrInfoW)

struct TIdWinsockEntryPoints {
#define ID_WINSOCK_DECLARE_ENTRY(name) decltype(&::name) name = nullptr;
    ID_WINSOCK_ENTRY_POINTS(ID_WINSOCK_DECLARE_ENTRY)
#undef ID_WINSOCK_DECLARE_ENTRY
};

// The file's name: a known DLL of the system, which Windows always takes from its
// own folder.
inline constexpr wchar_t IdWinsockLibraryName[] = L"WS2_32.DLL";

// The bound entry points, loaded by the first call of the process and kept for its
// life; null when the file or one of the names is missing (VProblem then says which).
// WSAStartup is not called here: each TIdStackWindows starts and cleans up its use.
const TIdWinsockEntryPoints* Winsock(String* VProblem = nullptr);
