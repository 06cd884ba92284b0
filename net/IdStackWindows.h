#pragma once
// TIdStackWindows: the socket stack on Windows Sockets 2, the Windows side of
// TIdStackBSDBase. WS2_32.DLL is loaded at run time by name (net/IdWinsock.h) and each
// stack object holds one WSAStartup, given back by WSACleanup when it goes.
//
// The error codes are the system's own: WSAGetLastError and the getaddrinfo results
// already are the library's socket codes (net/IdStackErrors.h), so nothing is
// translated. Like the POSIX stack:
// - sockets are not inherited by programs we start (WSA_FLAG_NO_HANDLE_INHERIT);
// - the receive and send time-outs are milliseconds (a DWORD on Windows), and a
//   blocking call whose time-out ran out fails with 10060 "Connection timed out.";
// - names are resolved with GetAddrInfoW, which writes non-ASCII names in their
//   ASCII-compatible form (RFC 5891) itself.
// - stopping a socket's receiving (WSShutdownHandle with Id_SD_Recv or Id_SD_Both)
//   also cancels what is pending on it, so that a connect or receive another thread
//   is blocked in ends at once, as on Linux.
// Windows has no SIGPIPE and no EINTR, so nothing is done about either.

#include "net/IdStackBSDBase.h"

class TIdStackWindows : public TIdStackBSDBase {
public:
    // Raises EIdStackInitializationFailed when WS2_32.DLL cannot be loaded or started.
    TIdStackWindows();
    ~TIdStackWindows() override;
    // The stack class: see TIdStack::SetStackClass.
    static std::unique_ptr<TIdStack> Create();

    String QueryLocalHostName() override;

    std::int32_t WSGetLastError() override;
    void WSSetLastError(std::int32_t AErr) override;

protected:
    TIdStackSocketHandle WSSocket(int AFamily, int AType, int AProtocol) override;
    int WSBind(TIdStackSocketHandle ASocket, const TIdSockAddr& AAddress) override;
    int WSConnect(TIdStackSocketHandle ASocket, const TIdSockAddr& AAddress) override;
    int WSListen(TIdStackSocketHandle ASocket, int ABacklog) override;
    TIdStackSocketHandle WSAccept(TIdStackSocketHandle ASocket, TIdSockAddr& VAddress) override;
    int WSGetSockName(TIdStackSocketHandle ASocket, TIdSockAddr& VAddress) override;
    int WSGetPeerName(TIdStackSocketHandle ASocket, TIdSockAddr& VAddress) override;
    int WSRecv(TIdStackSocketHandle ASocket, void* ABuffer, int ALength) override;
    int WSSend(TIdStackSocketHandle ASocket, const void* ABuffer, int ALength) override;
    int WSShutdown(TIdStackSocketHandle ASocket, int AHow) override;
    int WSCloseSocket(TIdStackSocketHandle ASocket) override;
    int WSGetSockOpt(TIdStackSocketHandle ASocket, int ALevel, int AOptName, void* AOptVal,
                     int& VOptLen) override;
    int WSSetSockOpt(TIdStackSocketHandle ASocket, int ALevel, int AOptName, const void* AOptVal,
                     int AOptLen) override;
    int WSGetTimeout(TIdStackSocketHandle ASocket, int AOptName, std::int32_t& VMSec) override;
    int WSSetTimeout(TIdStackSocketHandle ASocket, int AOptName, std::int32_t AMSec) override;
    std::int32_t WSGetAddrInfo(const String& AHost, int AFamily, TIdSockAddr& VAddress) override;
};
