#include "net/IdStackPosix.h"

#include "net/IdStackErrors.h"
#include "platform/HostName.h"

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
#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>

static_assert(Id_SOCK_STREAM == SOCK_STREAM && Id_SOCK_DGRAM == SOCK_DGRAM);
static_assert(Id_IPPROTO_IP == IPPROTO_IP && Id_IPPROTO_TCP == IPPROTO_TCP);
static_assert(Id_SOL_SOCKET == SOL_SOCKET && Id_SO_REUSEADDR == SO_REUSEADDR && Id_SO_TYPE == SO_TYPE);
static_assert(Id_SO_KEEPALIVE == SO_KEEPALIVE && Id_TCP_NODELAY == TCP_NODELAY);
static_assert(Id_SO_RCVTIMEO == SO_RCVTIMEO && Id_SO_SNDTIMEO == SO_SNDTIMEO);
static_assert(Id_SD_Recv == SHUT_RD && Id_SD_Send == SHUT_WR && Id_SD_Both == SHUT_RDWR);
static_assert(Id_AF_INET == AF_INET && Id_AF_INET6 == AF_INET6);
// The BSD base lays the addresses out itself.
static_assert(sizeof(TIdSockAddrIn) == sizeof(sockaddr_in) && offsetof(sockaddr_in, sin_family) == 0
              && offsetof(sockaddr_in, sin_port) == offsetof(TIdSockAddrIn, Port)
              && offsetof(sockaddr_in, sin_addr) == offsetof(TIdSockAddrIn, Address));
static_assert(sizeof(TIdSockAddrIn6) == sizeof(sockaddr_in6) && offsetof(sockaddr_in6, sin6_family) == 0
              && offsetof(sockaddr_in6, sin6_port) == offsetof(TIdSockAddrIn6, Port)
              && offsetof(sockaddr_in6, sin6_flowinfo) == offsetof(TIdSockAddrIn6, FlowInfo)
              && offsetof(sockaddr_in6, sin6_addr) == offsetof(TIdSockAddrIn6, Address)
              && offsetof(sockaddr_in6, sin6_scope_id) == offsetof(TIdSockAddrIn6, ScopeId));
static_assert(sizeof(sockaddr_storage) == TIdSockAddr::Room && sizeof(sa_family_t) == sizeof(std::uint16_t));

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

const sockaddr* Data(const TIdSockAddr& AAddress)
{
    return reinterpret_cast<const sockaddr*>(AAddress.Bytes);
}

sockaddr* Data(TIdSockAddr& AAddress)
{
    return reinterpret_cast<sockaddr*>(AAddress.Bytes);
}

// Calls a function that fills in a socket address and its length.
template <class Call>
int FillAddress(TIdSockAddr& VAddress, Call call)
{
    socklen_t length = sizeof VAddress.Bytes;
    const int result = call(Data(VAddress), &length);
    VAddress.Length = static_cast<int>(length);
    return result;
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

String TIdStackPosix::QueryLocalHostName()
{
    return FromUtf8(orvant::platform::HostName());
}

TIdStackSocketHandle TIdStackPosix::WSSocket(int AFamily, int AType, int AProtocol)
{
    return ::socket(AFamily, AType | SOCK_CLOEXEC, AProtocol);
}

int TIdStackPosix::WSBind(TIdStackSocketHandle ASocket, const TIdSockAddr& AAddress)
{
    return ::bind(ASocket, Data(AAddress), static_cast<socklen_t>(AAddress.Length));
}

int TIdStackPosix::WSConnect(TIdStackSocketHandle ASocket, const TIdSockAddr& AAddress)
{
    int result = ::connect(ASocket, Data(AAddress), static_cast<socklen_t>(AAddress.Length));
    if (result == -1 && errno == EINTR)
        result = FinishInterruptedConnect(ASocket);
    return result;
}

int TIdStackPosix::WSListen(TIdStackSocketHandle ASocket, int ABacklog)
{
    return ::listen(ASocket, ABacklog);
}

TIdStackSocketHandle TIdStackPosix::WSAccept(TIdStackSocketHandle ASocket, TIdSockAddr& VAddress)
{
    return RetryOnInterrupt([&] {
        return FillAddress(VAddress, [&](sockaddr* address, socklen_t* length) {
            return ::accept4(ASocket, address, length, SOCK_CLOEXEC);
        });
    });
}

int TIdStackPosix::WSGetSockName(TIdStackSocketHandle ASocket, TIdSockAddr& VAddress)
{
    return FillAddress(VAddress, [&](sockaddr* address, socklen_t* length) {
        return ::getsockname(ASocket, address, length);
    });
}

int TIdStackPosix::WSGetPeerName(TIdStackSocketHandle ASocket, TIdSockAddr& VAddress)
{
    return FillAddress(VAddress, [&](sockaddr* address, socklen_t* length) {
        return ::getpeername(ASocket, address, length);
    });
}

int TIdStackPosix::WSRecv(TIdStackSocketHandle ASocket, void* ABuffer, int ALength)
{
    const std::size_t length = static_cast<std::size_t>(std::max(ALength, 0));
    return ClampToInt(RetryOnInterrupt([&] { return ::recv(ASocket, ABuffer, length, 0); }));
}

int TIdStackPosix::WSSend(TIdStackSocketHandle ASocket, const void* ABuffer, int ALength)
{
    const std::size_t length = static_cast<std::size_t>(std::max(ALength, 0));
    return ClampToInt(RetryOnInterrupt([&] { return ::send(ASocket, ABuffer, length, MSG_NOSIGNAL); }));
}

int TIdStackPosix::WSShutdown(TIdStackSocketHandle ASocket, int AHow)
{
    return ::shutdown(ASocket, AHow);
}

int TIdStackPosix::WSCloseSocket(TIdStackSocketHandle ASocket)
{
    return ::close(ASocket);
}

int TIdStackPosix::WSGetSockOpt(TIdStackSocketHandle ASocket, int ALevel, int AOptName, void* AOptVal,
                                int& VOptLen)
{
    socklen_t length = static_cast<socklen_t>(VOptLen);
    const int result = ::getsockopt(ASocket, ALevel, AOptName, AOptVal, &length);
    VOptLen = static_cast<int>(length);
    return result;
}

int TIdStackPosix::WSSetSockOpt(TIdStackSocketHandle ASocket, int ALevel, int AOptName, const void* AOptVal,
                                int AOptLen)
{
    return ::setsockopt(ASocket, ALevel, AOptName, AOptVal, static_cast<socklen_t>(AOptLen));
}

// Linux keeps the time-outs as a timeval.
int TIdStackPosix::WSGetTimeout(TIdStackSocketHandle ASocket, int AOptName, std::int32_t& VMSec)
{
    timeval time{};
    socklen_t length = sizeof time;
    const int result = ::getsockopt(ASocket, SOL_SOCKET, AOptName, &time, &length);
    const long long msec = static_cast<long long>(time.tv_sec) * 1000 + time.tv_usec / 1000;
    VMSec = static_cast<std::int32_t>(std::min<long long>(msec, INT32_MAX));
    return result;
}

int TIdStackPosix::WSSetTimeout(TIdStackSocketHandle ASocket, int AOptName, std::int32_t AMSec)
{
    timeval time{};
    time.tv_sec = AMSec / 1000;
    time.tv_usec = (AMSec % 1000) * 1000;
    return ::setsockopt(ASocket, SOL_SOCKET, AOptName, &time, sizeof time);
}

std::int32_t TIdStackPosix::WSGetAddrInfo(const String& AHost, int AFamily, TIdSockAddr& VAddress)
{
    addrinfo hints{};
    hints.ai_family = AFamily;
    hints.ai_socktype = SOCK_STREAM;
    // Non-ASCII names go to the DNS in their ASCII-compatible form (RFC 5891).
    hints.ai_flags = AI_IDN;
    addrinfo* list = nullptr;
    const int result = ::getaddrinfo(ToUtf8(AHost).c_str(), nullptr, &hints, &list);
    const int error = errno;
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> release(list, &::freeaddrinfo);
    if (result != 0)
        return SocketErrorFromResolver(result, error);
    if (list == nullptr || list->ai_addr == nullptr)
        return Id_WSAHOST_NOT_FOUND;
    const std::size_t length = std::min<std::size_t>(list->ai_addrlen, sizeof VAddress.Bytes);
    std::memcpy(VAddress.Bytes, list->ai_addr, length);
    VAddress.Length = static_cast<int>(length);
    return 0;
}

std::int32_t TIdStackPosix::WSGetLastError()
{
    return SocketErrorFromErrno(errno);
}

void TIdStackPosix::WSSetLastError(std::int32_t AErr)
{
    errno = ErrnoFromSocketError(AErr);
}
