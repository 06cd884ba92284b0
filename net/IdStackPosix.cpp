#include "net/IdStackPosix.h"

#include "net/IdStackErrors.h"
#include "platform/HostName.h"
#include "smtp/IdExceptionCore.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <memory>
#include <mutex>

static_assert(Id_SOCK_STREAM == SOCK_STREAM && Id_SOCK_DGRAM == SOCK_DGRAM);
static_assert(Id_IPPROTO_IP == IPPROTO_IP && Id_IPPROTO_TCP == IPPROTO_TCP);
static_assert(Id_SOL_SOCKET == SOL_SOCKET && Id_SO_REUSEADDR == SO_REUSEADDR && Id_SO_TYPE == SO_TYPE);
static_assert(Id_SO_KEEPALIVE == SO_KEEPALIVE && Id_TCP_NODELAY == TCP_NODELAY);
static_assert(Id_SO_RCVTIMEO == SO_RCVTIMEO && Id_SO_SNDTIMEO == SO_SNDTIMEO);
static_assert(Id_SD_Recv == SHUT_RD && Id_SD_Send == SHUT_WR && Id_SD_Both == SHUT_RDWR);

namespace {

// Once per process, like the start-up of a socket library. Our own sends pass
// MSG_NOSIGNAL, but the TLS library writes to the socket with plain write(), and a
// peer that has gone away must give an error there too, not end the program. A
// handler someone else installed is left alone.
void StartSocketLibrary()
{
    static std::once_flag started;
    std::call_once(started, [] {
        struct sigaction current{};
        if (::sigaction(SIGPIPE, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) != 0 ||
            current.sa_handler != SIG_DFL)
            return;
        struct sigaction ignore{};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGPIPE, &ignore, nullptr);
    });
}

// Repeats a system call that a signal interrupted before it did anything.
template <class Call>
auto RetryOnInterrupt(Call call)
{
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

// A blocking connect interrupted by a signal goes on in the background; wait for its
// outcome instead of reporting EINTR. Returns 0 or -1 with errno set.
int FinishInterruptedConnect(int socket)
{
    pollfd entry{socket, POLLOUT, 0};
    if (RetryOnInterrupt([&] { return ::poll(&entry, 1, -1); }) == -1)
        return -1;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) == -1)
        return -1;
    if (error != 0) {
        errno = error;
        return -1;
    }
    return 0;
}

int FamilyOf(TIdIPVersion version)
{
    switch (version) {
    case TIdIPVersion::Id_IPv4:
        return AF_INET;
    case TIdIPVersion::Id_IPv6:
        return AF_INET6;
    }
    TIdStack::RaiseIPVersionUnsupported();
}

struct TSocketAddress {
    sockaddr_storage Storage{};
    socklen_t Length = sizeof(sockaddr_storage);

    sockaddr* Data() { return reinterpret_cast<sockaddr*>(&Storage); }
    sockaddr_in& V4() { return *reinterpret_cast<sockaddr_in*>(&Storage); }
    sockaddr_in6& V6() { return *reinterpret_cast<sockaddr_in6*>(&Storage); }
};

// The socket address for an address text and port. An empty text is the any-address.
// A text that is not an address of the version raises "Invalid argument." rather than
// reaching some other host.
TSocketAddress MakeAddress(TIdStack& stack, const String& AIP, TIdPort APort, TIdIPVersion AIPVersion)
{
    TSocketAddress address;
    if (FamilyOf(AIPVersion) == AF_INET) {
        sockaddr_in& in = address.V4();
        address.Length = sizeof in;
        in.sin_family = AF_INET;
        in.sin_port = htons(APort);
        if (AIP.empty())
            return address;
        if (!stack.IsIP(AIP))
            stack.RaiseSocketError(Id_WSAEINVAL);
        auto* bytes = reinterpret_cast<std::uint8_t*>(&in.sin_addr);
        String rest = AIP;
        for (int part = 0; part < 4; ++part)
            bytes[part] = static_cast<std::uint8_t>(StrToIntDef(part < 3 ? Fetch(rest, u".") : rest, 0));
        return address;
    }
    sockaddr_in6& in6 = address.V6();
    address.Length = sizeof in6;
    in6.sin6_family = AF_INET6;
    in6.sin6_port = htons(APort);
    if (AIP.empty())
        return address;
    if (AIP.find(u'\0') != String::npos ||
        ::inet_pton(AF_INET6, ToUtf8(AIP).c_str(), &in6.sin6_addr) != 1)
        stack.RaiseSocketError(Id_WSAEINVAL);
    return address;
}

String AddressText(const sockaddr* address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address->sa_family == AF_INET) {
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
        return FromUtf8(text);
    }
    ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
    return TIdStack::CanonicalIPv6Address(FromUtf8(text));
}

// Address, port and version of a socket address the system filled in.
void TakeAddress(TSocketAddress& address, String& VIP, TIdPort& VPort, TIdIPVersion& VIPVersion)
{
    switch (address.Storage.ss_family) {
    case AF_INET:
        VIPVersion = TIdIPVersion::Id_IPv4;
        VPort = ntohs(address.V4().sin_port);
        break;
    case AF_INET6:
        VIPVersion = TIdIPVersion::Id_IPv6;
        VPort = ntohs(address.V6().sin6_port);
        break;
    default:
        TIdStack::RaiseIPVersionUnsupported();
    }
    VIP = AddressText(address.Data());
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
    return ALevel == SOL_SOCKET && (AOptName == SO_RCVTIMEO || AOptName == SO_SNDTIMEO);
}

int ClampToInt(ssize_t value)
{
    return static_cast<int>(std::min<ssize_t>(value, INT_MAX));
}

} // namespace

TIdStackPosix::TIdStackPosix()
{
    StartSocketLibrary();
}

std::unique_ptr<TIdStack> TIdStackPosix::Create()
{
    return std::make_unique<TIdStackPosix>();
}

String TIdStackPosix::LookupHostAddress(const String& AHost, TIdIPVersion AIPVersion)
{
    addrinfo hints{};
    hints.ai_family = FamilyOf(AIPVersion);
    hints.ai_socktype = SOCK_STREAM;
    // Non-ASCII names go to the DNS in their ASCII-compatible form (RFC 5891).
    hints.ai_flags = AI_IDN;
    const std::string name = ToUtf8(AHost);
    // A zero inside the text would make the resolver look up a shorter, different name.
    if (IsInvalidDomainName(AHost) || name.find('\0') != std::string::npos)
        RaiseSocketError(Id_WSAHOST_NOT_FOUND);

    addrinfo* list = nullptr;
    const int result = ::getaddrinfo(name.c_str(), nullptr, &hints, &list);
    const int error = errno;
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> release(list, &::freeaddrinfo);
    if (result != 0)
        RaiseSocketError(SocketErrorFromResolver(result, error));
    if (list == nullptr || list->ai_addr == nullptr)
        RaiseSocketError(Id_WSAHOST_NOT_FOUND);
    return AddressText(list->ai_addr);
}

String TIdStackPosix::QueryLocalHostName()
{
    return FromUtf8(orvant::platform::HostName());
}

bool TIdStackPosix::SupportsIPv6()
{
    static const bool supported = [] {
        const int probe = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (probe == -1)
            return false;
        ::close(probe);
        return true;
    }();
    return supported;
}

TIdStackSocketHandle TIdStackPosix::NewSocketHandle(int ASocketType, int AProtocol, TIdIPVersion AIPVersion,
                                                    bool /*AOverlapped: no overlapped I/O here; sockets block*/)
{
    return CheckForSocketError(::socket(FamilyOf(AIPVersion), ASocketType | SOCK_CLOEXEC, AProtocol));
}

void TIdStackPosix::Bind(TIdStackSocketHandle ASocket, const String& AIP, TIdPort APort, TIdIPVersion AIPVersion)
{
    TSocketAddress address = MakeAddress(*this, AIP, APort, AIPVersion);
    CheckForSocketError(::bind(ASocket, address.Data(), address.Length));
}

void TIdStackPosix::Connect(TIdStackSocketHandle ASocket, const String& AIP, TIdPort APort,
                            TIdIPVersion AIPVersion)
{
    TSocketAddress address = MakeAddress(*this, AIP, APort, AIPVersion);
    int result = ::connect(ASocket, address.Data(), address.Length);
    if (result == -1 && errno == EINTR)
        result = FinishInterruptedConnect(ASocket);
    CheckForSocketError(result);
}

void TIdStackPosix::Listen(TIdStackSocketHandle ASocket, int ABacklog)
{
    CheckForSocketError(::listen(ASocket, ABacklog));
}

TIdStackSocketHandle TIdStackPosix::Accept(TIdStackSocketHandle ASocket, String& VIP, TIdPort& VPort,
                                           TIdIPVersion& VIPVersion)
{
    TSocketAddress address;
    const int accepted = CheckForSocketError(RetryOnInterrupt([&] {
        address.Length = sizeof address.Storage;
        return ::accept4(ASocket, address.Data(), &address.Length, SOCK_CLOEXEC);
    }));
    try {
        TakeAddress(address, VIP, VPort, VIPVersion);
    } catch (...) {
        ::close(accepted); // the caller never learns the handle: do not leak it
        throw;
    }
    return accepted;
}

void TIdStackPosix::Disconnect(TIdStackSocketHandle ASocket)
{
    // Both results are ignored: the socket is going away whatever they say.
    ::shutdown(ASocket, SHUT_WR);
    ::close(ASocket);
}

void TIdStackPosix::WSShutdownHandle(TIdStackSocketHandle ASocket, int AHow)
{
    CheckForSocketError(::shutdown(ASocket, AHow));
}

void TIdStackPosix::GetSocketName(TIdStackSocketHandle ASocket, String& VIP, TIdPort& VPort,
                                  TIdIPVersion& VIPVersion)
{
    TSocketAddress address;
    CheckForSocketError(::getsockname(ASocket, address.Data(), &address.Length));
    TakeAddress(address, VIP, VPort, VIPVersion);
}

void TIdStackPosix::GetPeerName(TIdStackSocketHandle ASocket, String& VIP, TIdPort& VPort,
                                TIdIPVersion& VIPVersion)
{
    TSocketAddress address;
    CheckForSocketError(::getpeername(ASocket, address.Data(), &address.Length));
    TakeAddress(address, VIP, VPort, VIPVersion);
}

int TIdStackPosix::Receive(TIdStackSocketHandle ASocket, TIdBytes& VBuffer)
{
    const std::size_t length = std::min<std::size_t>(VBuffer.size(), INT_MAX);
    return CheckForSocketError(
        ClampToInt(RetryOnInterrupt([&] { return ::recv(ASocket, VBuffer.data(), length, 0); })));
}

int TIdStackPosix::Send(TIdStackSocketHandle ASocket, const TIdBytes& ABuffer, int AOffset, int ASize)
{
    if (AOffset < 0)
        RaiseSocketError(Id_WSAEFAULT); // would read before the buffer
    const std::size_t offset = std::min<std::size_t>(static_cast<std::size_t>(AOffset), ABuffer.size());
    std::size_t count = ABuffer.size() - offset;
    if (ASize >= 0 && static_cast<std::size_t>(ASize) < count)
        count = static_cast<std::size_t>(ASize);
    return WSSendRaw(ASocket, ABuffer.data() + offset, count);
}

int TIdStackPosix::WSSendRaw(TIdStackSocketHandle ASocket, const std::uint8_t* ABuffer, std::size_t ASize)
{
    const std::size_t length = std::min<std::size_t>(ASize, INT_MAX);
    return CheckForSocketError(
        ClampToInt(RetryOnInterrupt([&] { return ::send(ASocket, ABuffer, length, MSG_NOSIGNAL); })));
}

// The time-out options are milliseconds in a 32-bit value, as callers give them; Linux
// takes a timeval. 0 (or less) means no time-out.
void TIdStackPosix::GetSocketOption(TIdStackSocketHandle ASocket, int ALevel, int AOptName,
                                    std::int32_t& AOptVal)
{
    if (IsTimeoutOption(ALevel, AOptName)) {
        timeval time{};
        socklen_t length = sizeof time;
        CheckForSocketError(::getsockopt(ASocket, ALevel, AOptName, &time, &length));
        const long long msec = static_cast<long long>(time.tv_sec) * 1000 + time.tv_usec / 1000;
        AOptVal = static_cast<std::int32_t>(std::min<long long>(msec, INT32_MAX));
        return;
    }
    std::int32_t value = 0;
    socklen_t length = sizeof value;
    CheckForSocketError(::getsockopt(ASocket, ALevel, AOptName, &value, &length));
    AOptVal = value;
}

void TIdStackPosix::SetSocketOption(TIdStackSocketHandle ASocket, int ALevel, int AOptName,
                                    std::int32_t AOptVal)
{
    if (IsTimeoutOption(ALevel, AOptName)) {
        timeval time{};
        if (AOptVal > 0) {
            time.tv_sec = AOptVal / 1000;
            time.tv_usec = (AOptVal % 1000) * 1000;
        }
        CheckForSocketError(::setsockopt(ASocket, ALevel, AOptName, &time, sizeof time));
        return;
    }
    CheckForSocketError(::setsockopt(ASocket, ALevel, AOptName, &AOptVal, sizeof AOptVal));
}

std::int32_t TIdStackPosix::WSGetLastError()
{
    return SocketErrorFromErrno(errno);
}

void TIdStackPosix::WSSetLastError(std::int32_t AErr)
{
    errno = ErrnoFromSocketError(AErr);
}
