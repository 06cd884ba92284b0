#include "net/IdStackBSDBase.h"

#include "net/IdIPAddress.h"
#include "net/IdStackErrors.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

// The port as the socket addresses hold it: most significant byte first.
std::uint16_t PortToNetwork(TIdPort APort)
{
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(APort >> 8), static_cast<std::uint8_t>(APort)};
    std::uint16_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

TIdPort PortFromNetwork(std::uint16_t AValue)
{
    std::uint8_t bytes[2];
    std::memcpy(bytes, &AValue, sizeof bytes);
    return static_cast<TIdPort>((bytes[0] << 8) | bytes[1]);
}

template <class T>
T Read(const TIdSockAddr& AAddress)
{
    T value;
    std::memcpy(&value, AAddress.Bytes, sizeof value);
    return value;
}

template <class T>
void Write(TIdSockAddr& VAddress, const T& AValue)
{
    std::memcpy(VAddress.Bytes, &AValue, sizeof AValue);
    VAddress.Length = static_cast<int>(sizeof AValue);
}

// RFC 6761 section 6.4: "invalid" and names below it never exist, and resolvers
// should say so at once rather than ask the network.
bool IsInvalidDomainName(const String& AHost)
{
    String name = LowerCase(AHost);
    if (!name.empty() && name.back() == u'.')
        name.pop_back();
    return name == u"invalid" || TextEndsWith(name, u".invalid");
}

bool IsTimeoutOption(int ALevel, int AOptName)
{
    return ALevel == Id_SOL_SOCKET && (AOptName == Id_SO_RCVTIMEO || AOptName == Id_SO_SNDTIMEO);
}

} // namespace

int TIdSockAddr::Family() const
{
    return Read<TIdSockAddrIn>(*this).Family;
}

int TIdStackBSDBase::FamilyOf(TIdIPVersion AIPVersion)
{
    switch (AIPVersion) {
    case TIdIPVersion::Id_IPv4:
        return Id_AF_INET;
    case TIdIPVersion::Id_IPv6:
        return Id_AF_INET6;
    }
    RaiseIPVersionUnsupported();
}

TIdSockAddr TIdStackBSDBase::MakeAddress(const String& AIP, TIdPort APort, TIdIPVersion AIPVersion)
{
    TIdSockAddr address;
    if (FamilyOf(AIPVersion) == Id_AF_INET) {
        TIdSockAddrIn in{};
        in.Family = Id_AF_INET;
        in.Port = PortToNetwork(APort);
        if (!AIP.empty()) {
            if (!IsIP(AIP))
                RaiseSocketError(Id_WSAEINVAL);
            String rest = AIP;
            for (int part = 0; part < 4; ++part)
                in.Address[part] = static_cast<std::uint8_t>(StrToIntDef(part < 3 ? Fetch(rest, u".") : rest, 0));
        }
        Write(address, in);
        return address;
    }
    TIdSockAddrIn6 in6{};
    in6.Family = Id_AF_INET6;
    in6.Port = PortToNetwork(APort);
    if (!AIP.empty()) {
        TIdIPv6Bytes bytes{};
        if (AIP.find(u'\0') != String::npos || !ParseIPv6Address(ToUtf8(AIP), bytes))
            RaiseSocketError(Id_WSAEINVAL);
        std::memcpy(in6.Address, bytes.data(), bytes.size());
    }
    Write(address, in6);
    return address;
}

String TIdStackBSDBase::AddressText(const TIdSockAddr& AAddress)
{
    if (AAddress.Family() == Id_AF_INET) {
        TIdIPv4Bytes bytes;
        std::memcpy(bytes.data(), Read<TIdSockAddrIn>(AAddress).Address, bytes.size());
        return IPv4AddressText(bytes);
    }
    TIdIPv6Bytes bytes;
    std::memcpy(bytes.data(), Read<TIdSockAddrIn6>(AAddress).Address, bytes.size());
    return IPv6AddressText(bytes);
}

void TIdStackBSDBase::TakeAddress(const TIdSockAddr& AAddress, String& VIP, TIdPort& VPort,
                                  TIdIPVersion& VIPVersion)
{
    const int family = AAddress.Family();
    if (family == Id_AF_INET) {
        VIPVersion = TIdIPVersion::Id_IPv4;
        VPort = PortFromNetwork(Read<TIdSockAddrIn>(AAddress).Port);
    } else if (family == Id_AF_INET6) {
        VIPVersion = TIdIPVersion::Id_IPv6;
        VPort = PortFromNetwork(Read<TIdSockAddrIn6>(AAddress).Port);
    } else {
        RaiseIPVersionUnsupported();
    }
    VIP = AddressText(AAddress);
}

String TIdStackBSDBase::LookupHostAddress(const String& AHost, TIdIPVersion AIPVersion)
{
    const int family = FamilyOf(AIPVersion);
    // A zero inside the text would make the resolver look up a shorter, different name.
    if (IsInvalidDomainName(AHost) || AHost.find(u'\0') != String::npos)
        RaiseSocketError(Id_WSAHOST_NOT_FOUND);
    TIdSockAddr address;
    if (const std::int32_t error = WSGetAddrInfo(AHost, family, address); error != 0)
        RaiseSocketError(error);
    return AddressText(address);
}

bool TIdStackBSDBase::SupportsIPv6()
{
    static const bool supported = [this] {
        const TIdStackSocketHandle probe = WSSocket(Id_AF_INET6, Id_SOCK_STREAM, 0);
        if (probe == Id_INVALID_SOCKET)
            return false;
        WSCloseSocket(probe);
        return true;
    }();
    return supported;
}

TIdStackSocketHandle TIdStackBSDBase::NewSocketHandle(int ASocketType, int AProtocol, TIdIPVersion AIPVersion,
                                                      bool /*AOverlapped: sockets block; see the backends*/)
{
    const TIdStackSocketHandle handle = WSSocket(FamilyOf(AIPVersion), ASocketType, AProtocol);
    if (handle == Id_INVALID_SOCKET)
        RaiseLastSocketError();
    return handle;
}

void TIdStackBSDBase::Bind(TIdStackSocketHandle ASocket, const String& AIP, TIdPort APort, TIdIPVersion AIPVersion)
{
    const TIdSockAddr address = MakeAddress(AIP, APort, AIPVersion);
    CheckForSocketError(WSBind(ASocket, address));
}

void TIdStackBSDBase::Connect(TIdStackSocketHandle ASocket, const String& AIP, TIdPort APort,
                              TIdIPVersion AIPVersion)
{
    const TIdSockAddr address = MakeAddress(AIP, APort, AIPVersion);
    CheckForSocketError(WSConnect(ASocket, address));
}

void TIdStackBSDBase::Listen(TIdStackSocketHandle ASocket, int ABacklog)
{
    CheckForSocketError(WSListen(ASocket, ABacklog));
}

TIdStackSocketHandle TIdStackBSDBase::Accept(TIdStackSocketHandle ASocket, String& VIP, TIdPort& VPort,
                                             TIdIPVersion& VIPVersion)
{
    TIdSockAddr address;
    const TIdStackSocketHandle accepted = WSAccept(ASocket, address);
    if (accepted == Id_INVALID_SOCKET)
        RaiseLastSocketError();
    try {
        TakeAddress(address, VIP, VPort, VIPVersion);
    } catch (...) {
        WSCloseSocket(accepted); // the caller never learns the handle: do not leak it
        throw;
    }
    return accepted;
}

void TIdStackBSDBase::Disconnect(TIdStackSocketHandle ASocket)
{
    // Both results are ignored: the socket is going away whatever they say.
    WSShutdown(ASocket, Id_SD_Send);
    WSCloseSocket(ASocket);
}

void TIdStackBSDBase::WSShutdownHandle(TIdStackSocketHandle ASocket, int AHow)
{
    CheckForSocketError(WSShutdown(ASocket, AHow));
}

void TIdStackBSDBase::GetSocketName(TIdStackSocketHandle ASocket, String& VIP, TIdPort& VPort,
                                    TIdIPVersion& VIPVersion)
{
    TIdSockAddr address;
    CheckForSocketError(WSGetSockName(ASocket, address));
    TakeAddress(address, VIP, VPort, VIPVersion);
}

void TIdStackBSDBase::GetPeerName(TIdStackSocketHandle ASocket, String& VIP, TIdPort& VPort,
                                  TIdIPVersion& VIPVersion)
{
    TIdSockAddr address;
    CheckForSocketError(WSGetPeerName(ASocket, address));
    TakeAddress(address, VIP, VPort, VIPVersion);
}

int TIdStackBSDBase::Receive(TIdStackSocketHandle ASocket, TIdBytes& VBuffer)
{
    const int length = static_cast<int>(std::min<std::size_t>(VBuffer.size(), INT_MAX));
    return CheckForSocketError(WSRecv(ASocket, VBuffer.data(), length));
}

int TIdStackBSDBase::Send(TIdStackSocketHandle ASocket, const TIdBytes& ABuffer, int AOffset, int ASize)
{
    if (AOffset < 0)
        RaiseSocketError(Id_WSAEFAULT); // would read before the buffer
    const std::size_t offset = std::min<std::size_t>(static_cast<std::size_t>(AOffset), ABuffer.size());
    std::size_t count = ABuffer.size() - offset;
    if (ASize >= 0 && static_cast<std::size_t>(ASize) < count)
        count = static_cast<std::size_t>(ASize);
    return WSSendRaw(ASocket, ABuffer.data() + offset, count);
}

int TIdStackBSDBase::WSSendRaw(TIdStackSocketHandle ASocket, const std::uint8_t* ABuffer, std::size_t ASize)
{
    const int length = static_cast<int>(std::min<std::size_t>(ASize, INT_MAX));
    return CheckForSocketError(WSSend(ASocket, ABuffer, length));
}

void TIdStackBSDBase::GetSocketOption(TIdStackSocketHandle ASocket, int ALevel, int AOptName,
                                      std::int32_t& AOptVal)
{
    if (IsTimeoutOption(ALevel, AOptName)) {
        std::int32_t msec = 0;
        CheckForSocketError(WSGetTimeout(ASocket, AOptName, msec));
        AOptVal = msec;
        return;
    }
    std::int32_t value = 0;
    int length = sizeof value;
    CheckForSocketError(WSGetSockOpt(ASocket, ALevel, AOptName, &value, length));
    AOptVal = value;
}

void TIdStackBSDBase::SetSocketOption(TIdStackSocketHandle ASocket, int ALevel, int AOptName,
                                      std::int32_t AOptVal)
{
    if (IsTimeoutOption(ALevel, AOptName)) {
        CheckForSocketError(WSSetTimeout(ASocket, AOptName, AOptVal > 0 ? AOptVal : 0));
        return;
    }
    CheckForSocketError(WSSetSockOpt(ASocket, ALevel, AOptName, &AOptVal, sizeof AOptVal));
}
