#pragma once
// TIdStackPosix: the socket stack on Linux's BSD socket calls and getaddrinfo. It takes
// the place of the Windows Sockets stack (TIdStackWindows, with its TIdStackBSDBase
// layer folded in): the same operations, codes and messages, with errno and resolver
// results translated by net/IdStackErrors.h.
//
// Differences from a Winsock stack that callers can notice:
// - sockets are created close-on-exec, so programs we start do not inherit them;
// - a send never raises SIGPIPE (MSG_NOSIGNAL), and the first stack of the process
//   sets SIGPIPE to ignored while it is still at its default, because the TLS
//   library writes to the socket itself;
// - a call interrupted by a signal (EINTR) is resumed instead of failing;
// - names under ".invalid" are answered "Host not found." without asking the
//   resolver (RFC 6761 section 6.4).

#include "net/IdStack.h"

class TIdStackPosix : public TIdStack {
public:
    TIdStackPosix();
    // The stack class: see TIdStack::SetStackClass.
    static std::unique_ptr<TIdStack> Create();

    String LookupHostAddress(const String& AHost, TIdIPVersion AIPVersion) override;
    String QueryLocalHostName() override;
    bool SupportsIPv6() override;

    TIdStackSocketHandle NewSocketHandle(int ASocketType, int AProtocol, TIdIPVersion AIPVersion,
                                         bool AOverlapped) override;
    void Bind(TIdStackSocketHandle ASocket, const String& AIP, TIdPort APort,
              TIdIPVersion AIPVersion) override;
    void Connect(TIdStackSocketHandle ASocket, const String& AIP, TIdPort APort,
                 TIdIPVersion AIPVersion) override;
    void Listen(TIdStackSocketHandle ASocket, int ABacklog) override;
    TIdStackSocketHandle Accept(TIdStackSocketHandle ASocket, String& VIP, TIdPort& VPort,
                                TIdIPVersion& VIPVersion) override;
    void Disconnect(TIdStackSocketHandle ASocket) override;
    void WSShutdownHandle(TIdStackSocketHandle ASocket, int AHow) override;
    void GetSocketName(TIdStackSocketHandle ASocket, String& VIP, TIdPort& VPort,
                       TIdIPVersion& VIPVersion) override;
    void GetPeerName(TIdStackSocketHandle ASocket, String& VIP, TIdPort& VPort,
                     TIdIPVersion& VIPVersion) override;

    int Receive(TIdStackSocketHandle ASocket, TIdBytes& VBuffer) override;
    int Send(TIdStackSocketHandle ASocket, const TIdBytes& ABuffer, int AOffset, int ASize) override;

    void GetSocketOption(TIdStackSocketHandle ASocket, int ALevel, int AOptName,
                         std::int32_t& AOptVal) override;
    void SetSocketOption(TIdStackSocketHandle ASocket, int ALevel, int AOptName,
                         std::int32_t AOptVal) override;

    std::int32_t WSGetLastError() override;
    void WSSetLastError(std::int32_t AErr) override;

private:
    // One send of ASize bytes; raises on failure.
    int WSSendRaw(TIdStackSocketHandle ASocket, const std::uint8_t* ABuffer, std::size_t ASize);
};
