#pragma once
// TIdStackPosix: the socket stack on Linux's BSD socket calls and getaddrinfo, the
// POSIX side of TIdStackBSDBase. It takes the place of the Windows Sockets stack
// (TIdStackWindows): the same operations, codes and messages, with errno and resolver
// results translated by net/IdStackErrors.h.
//
// Differences from a Winsock stack that callers can notice:
// - sockets are created close-on-exec, so programs we start do not inherit them;
// - a send never raises SIGPIPE (MSG_NOSIGNAL), and the first stack of the process
//   sets SIGPIPE to ignored while it is still at its default, because the TLS
//   library writes to the socket itself;
// - a call interrupted by a signal (EINTR) is resumed instead of failing;
// - names under ".invalid" are answered "Host not found." without asking the
//   resolver (RFC 6761 section 6.4; the BSD base does this for both systems).

#include "net/IdStackBSDBase.h"

class TIdStackPosix : public TIdStackBSDBase {
public:
    TIdStackPosix();
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
