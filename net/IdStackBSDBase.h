#pragma once
// TIdStackBSDBase: what the POSIX stack and the Windows Sockets stack share. Both
// systems offer the same BSD socket calls (socket, bind, connect, listen, accept, recv,
// send, getsockopt, setsockopt, shutdown, getsockname, getpeername, getaddrinfo); this
// class makes every operation of TIdStack out of them: the checks of the arguments,
// the socket addresses, the results and the errors they raise.
//
// The calls themselves are the WS... primitives below, one per BSD call, which each
// system's stack implements with what that system adds around the call: TIdStackPosix
// (close-on-exec sockets, no SIGPIPE, calls resumed after EINTR, errno translated) and
// TIdStackWindows (WS2_32.DLL bound at run time, sockets not inherited, the system's
// own error codes). This unit includes no system header: the socket addresses are laid
// out here as the BSD calls take them, and each backend checks that layout against its
// system's headers.

#include "net/IdStack.h"

#include <cstdint>

// Address families as the socket calls take them: AF_INET is 2 on both systems,
// AF_INET6 is 10 on Linux and 23 on Windows.
inline constexpr int Id_AF_INET = 2;
#ifdef _WIN32
inline constexpr int Id_AF_INET6 = 23;
#else
inline constexpr int Id_AF_INET6 = 10;
#endif

// sockaddr_in and sockaddr_in6 as Linux and Windows lay them out (static_assert'ed
// against the system's structures in IdStackPosix.cpp and IdStackWindows.cpp).
struct TIdSockAddrIn {
    std::uint16_t Family;  // host order
    std::uint16_t Port;    // network order
    std::uint8_t Address[4];
    std::uint8_t Zero[8];
};
struct TIdSockAddrIn6 {
    std::uint16_t Family;
    std::uint16_t Port;
    std::uint32_t FlowInfo;
    std::uint8_t Address[16];
    std::uint32_t ScopeId;
};

// A socket address of any family as the calls fill it in or take it (the room of a
// sockaddr_storage), with its length in bytes.
struct TIdSockAddr {
    static constexpr int Room = 128;
    alignas(8) std::uint8_t Bytes[Room] = {};
    int Length = Room;

    int Family() const;
};

class TIdStackBSDBase : public TIdStack {
public:
    String LookupHostAddress(const String& AHost, TIdIPVersion AIPVersion) override;
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

    // The time-out options (SO_RCVTIMEO, SO_SNDTIMEO) are milliseconds, 0 (or less)
    // meaning none, whatever form the system keeps them in.
    void GetSocketOption(TIdStackSocketHandle ASocket, int ALevel, int AOptName,
                         std::int32_t& AOptVal) override;
    void SetSocketOption(TIdStackSocketHandle ASocket, int ALevel, int AOptName,
                         std::int32_t AOptVal) override;

protected:
    // --- The system's socket calls ------------------------------------------------
    // Each returns what its BSD call returns, -1 (Id_SOCKET_ERROR) or Id_INVALID_SOCKET
    // on failure with the error left for WSGetLastError. Lengths are in bytes.
    virtual TIdStackSocketHandle WSSocket(int AFamily, int AType, int AProtocol) = 0;
    virtual int WSBind(TIdStackSocketHandle ASocket, const TIdSockAddr& AAddress) = 0;
    // Blocks until the connection is made or refused.
    virtual int WSConnect(TIdStackSocketHandle ASocket, const TIdSockAddr& AAddress) = 0;
    virtual int WSListen(TIdStackSocketHandle ASocket, int ABacklog) = 0;
    virtual TIdStackSocketHandle WSAccept(TIdStackSocketHandle ASocket, TIdSockAddr& VAddress) = 0;
    virtual int WSGetSockName(TIdStackSocketHandle ASocket, TIdSockAddr& VAddress) = 0;
    virtual int WSGetPeerName(TIdStackSocketHandle ASocket, TIdSockAddr& VAddress) = 0;
    virtual int WSRecv(TIdStackSocketHandle ASocket, void* ABuffer, int ALength) = 0;
    virtual int WSSend(TIdStackSocketHandle ASocket, const void* ABuffer, int ALength) = 0;
    virtual int WSShutdown(TIdStackSocketHandle ASocket, int AHow) = 0;
    virtual int WSCloseSocket(TIdStackSocketHandle ASocket) = 0;
    virtual int WSGetSockOpt(TIdStackSocketHandle ASocket, int ALevel, int AOptName, void* AOptVal,
                             int& VOptLen) = 0;
    virtual int WSSetSockOpt(TIdStackSocketHandle ASocket, int ALevel, int AOptName, const void* AOptVal,
                             int AOptLen) = 0;
    // A receive or send time-out option in milliseconds (0: none), in the system's form.
    virtual int WSGetTimeout(TIdStackSocketHandle ASocket, int AOptName, std::int32_t& VMSec) = 0;
    virtual int WSSetTimeout(TIdStackSocketHandle ASocket, int AOptName, std::int32_t AMSec) = 0;
    // getaddrinfo for a stream socket of the family: the first address it gives. 0, or
    // the socket error code of the failure (11001 "Host not found." and the others).
    virtual std::int32_t WSGetAddrInfo(const String& AHost, int AFamily, TIdSockAddr& VAddress) = 0;

    // The family number of an IP version; raises EIdIPVersionUnsupported for others.
    static int FamilyOf(TIdIPVersion AIPVersion);
    // The address text of a socket address of either family.
    static String AddressText(const TIdSockAddr& AAddress);

private:
    // The socket address for an address text and port. An empty text is the
    // any-address. A text that is not an address of the version raises "Invalid
    // argument." rather than reaching some other host.
    TIdSockAddr MakeAddress(const String& AIP, TIdPort APort, TIdIPVersion AIPVersion);
    // Address, port and version of a socket address the system filled in.
    static void TakeAddress(const TIdSockAddr& AAddress, String& VIP, TIdPort& VPort, TIdIPVersion& VIPVersion);
    // One send of ASize bytes; raises on failure.
    int WSSendRaw(TIdStackSocketHandle ASocket, const std::uint8_t* ABuffer, std::size_t ASize);
};
