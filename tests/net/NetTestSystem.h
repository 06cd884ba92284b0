#pragma once
// What the net tests need of the system they run on: the system's stack class (the
// tests derive counting and probing stacks from it) and an environment variable set
// for a scope (support/TestEnvironment.h).

#ifdef _WIN32
#include "net/IdStackWindows.h"
#else
#include "net/IdStackPosix.h"

#include <unistd.h>
#endif

#ifdef _WIN32
// Lean: the full windows.h names SetPort and others as macros (winspool.h).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#endif

#include "support/TestEnvironment.h"

#include <string>

#ifdef _WIN32
using TSystemStack = TIdStackWindows;
#else
using TSystemStack = TIdStackPosix;
#endif

// A second handle of a test peer's socket, for a binding to take over and close
// (dup on POSIX; WSADuplicateSocketW into this same process on Windows).
inline TIdStackSocketHandle DuplicateSocket(int socket)
{
#ifdef _WIN32
    WSAPROTOCOL_INFOW info{};
    if (::WSADuplicateSocketW(static_cast<SOCKET>(socket), ::GetCurrentProcessId(), &info) != 0)
        return Id_INVALID_SOCKET;
    return static_cast<TIdStackSocketHandle>(
        ::WSASocketW(FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, &info, 0, WSA_FLAG_OVERLAPPED));
#else
    return ::dup(socket);
#endif
}

// Wine, not Windows, runs the program. Wine 8 reads a connection the peer reset as an
// orderly close: recv gives 0 where Windows (and Linux) report 10054. A test of what a
// reset raises cannot pass there, whatever the library does.
inline bool RunningUnderWine()
{
#ifdef _WIN32
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}
