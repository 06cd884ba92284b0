#include "net/IdStackWindows.h"

#include "net/IdStackErrors.h"
#include "net/IdWinsock.h"
#include "platform/HostName.h"
#include "smtp/IdExceptionCore.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>
#include <string>

static_assert(Id_SOCK_STREAM == SOCK_STREAM && Id_SOCK_DGRAM == SOCK_DGRAM);
static_assert(Id_IPPROTO_IP == IPPROTO_IP && Id_IPPROTO_TCP == IPPROTO_TCP);
static_assert(Id_SOL_SOCKET == SOL_SOCKET && Id_SO_REUSEADDR == SO_REUSEADDR && Id_SO_TYPE == SO_TYPE);
static_assert(Id_SO_KEEPALIVE == SO_KEEPALIVE && Id_TCP_NODELAY == TCP_NODELAY);
static_assert(Id_SO_RCVTIMEO == SO_RCVTIMEO && Id_SO_SNDTIMEO == SO_SNDTIMEO);
static_assert(Id_SD_Recv == SD_RECEIVE && Id_SD_Send == SD_SEND && Id_SD_Both == SD_BOTH);
static_assert(Id_AF_INET == AF_INET && Id_AF_INET6 == AF_INET6);
static_assert(Id_INVALID_SOCKET == INVALID_SOCKET && Id_SOCKET_ERROR == SOCKET_ERROR);
static_assert(sizeof(TIdStackSocketHandle) == sizeof(SOCKET));
// The BSD base lays the addresses out itself.
static_assert(sizeof(TIdSockAddrIn) == sizeof(sockaddr_in) && offsetof(sockaddr_in, sin_family) == 0
              && offsetof(sockaddr_in, sin_port) == offsetof(TIdSockAddrIn, Port)
              && offsetof(sockaddr_in, sin_addr) == offsetof(TIdSockAddrIn, Address));
static_assert(sizeof(TIdSockAddrIn6) == sizeof(sockaddr_in6) && offsetof(sockaddr_in6, sin6_family) == 0
              && offsetof(sockaddr_in6, sin6_port) == offsetof(TIdSockAddrIn6, Port)
              && offsetof(sockaddr_in6, sin6_flowinfo) == offsetof(TIdSockAddrIn6, FlowInfo)
              && offsetof(sockaddr_in6, sin6_addr) == offsetof(TIdSockAddrIn6, Address)
              && offsetof(sockaddr_in6, sin6_scope_id) == offsetof(TIdSockAddrIn6, ScopeId));
static_assert(sizeof(SOCKADDR_STORAGE) == TIdSockAddr::Room && sizeof(ADDRESS_FAMILY) == sizeof(std::uint16_t));
// The library's codes are the system's.
static_assert(Id_WSAEINVAL == WSAEINVAL && Id_WSAENOTSOCK == WSAENOTSOCK && Id_WSAETIMEDOUT == WSAETIMEDOUT);
static_assert(Id_WSAECONNREFUSED == WSAECONNREFUSED && Id_WSAECONNRESET == WSAECONNRESET);
static_assert(Id_WSAEWOULDBLOCK == WSAEWOULDBLOCK && Id_WSAEFAULT == WSAEFAULT);
static_assert(Id_WSAHOST_NOT_FOUND == WSAHOST_NOT_FOUND && Id_WSATRY_AGAIN == WSATRY_AGAIN);
static_assert(Id_WSANO_RECOVERY == WSANO_RECOVERY && Id_WSANO_DATA == WSANO_DATA);
static_assert(Id_WSATYPE_NOT_FOUND == WSATYPE_NOT_FOUND && Id_WSA_NOT_ENOUGH_MEMORY == WSA_NOT_ENOUGH_MEMORY);
static_assert(EAI_NONAME == Id_WSAHOST_NOT_FOUND && EAI_AGAIN == Id_WSATRY_AGAIN && EAI_FAIL == Id_WSANO_RECOVERY);

#ifndef WSA_FLAG_NO_HANDLE_INHERIT
#define WSA_FLAG_NO_HANDLE_INHERIT 0x80
#endif

namespace {

const TIdWinsockEntryPoints& Api()
{
    // A stack exists only once the binding succeeded (the constructor checks it).
    return *Winsock();
}

SOCKET AsSocket(TIdStackSocketHandle AHandle)
{
    return static_cast<SOCKET>(AHandle);
}

const sockaddr* Data(const TIdSockAddr& AAddress)
{
    return reinterpret_cast<const sockaddr*>(AAddress.Bytes);
}

sockaddr* Data(TIdSockAddr& AAddress)
{
    return reinterpret_cast<sockaddr*>(AAddress.Bytes);
}

// A program we start must not inherit our sockets (like close-on-exec on POSIX).
void KeepFromChildren(SOCKET ASocket)
{
    if (ASocket != INVALID_SOCKET)
        ::SetHandleInformation(reinterpret_cast<HANDLE>(ASocket), HANDLE_FLAG_INHERIT, 0);
}

std::wstring WideText(const String& AText)
{
    return std::wstring(AText.begin(), AText.end());
}

} // namespace

TIdStackWindows::TIdStackWindows()
{
    String problem;
    const TIdWinsockEntryPoints* api = Winsock(&problem);
    if (api == nullptr)
        EIdException::Toss<EIdStackInitializationFailed>(problem);
    WSADATA data{};
    if (const int error = api->WSAStartup(MAKEWORD(2, 2), &data); error != 0)
        EIdException::Toss<EIdStackInitializationFailed>(
            Format(u"Winsock Initialization Error (%d).", {std::int64_t(error)}));
}

TIdStackWindows::~TIdStackWindows()
{
    Api().WSACleanup();
}

std::unique_ptr<TIdStack> TIdStackWindows::Create()
{
    return std::make_unique<TIdStackWindows>();
}

String TIdStackWindows::QueryLocalHostName()
{
    return FromUtf8(orvant::platform::HostName());
}

TIdStackSocketHandle TIdStackWindows::WSSocket(int AFamily, int AType, int AProtocol)
{
    // WSA_FLAG_OVERLAPPED as socket() sets it: the time-out options need it.
    SOCKET handle = Api().WSASocketW(AFamily, AType, AProtocol, nullptr, 0,
                                     WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (handle == INVALID_SOCKET && Api().WSAGetLastError() == WSAEINVAL) {
        // A system older than Windows 7 SP1 does not know the flag.
        handle = Api().WSASocketW(AFamily, AType, AProtocol, nullptr, 0, WSA_FLAG_OVERLAPPED);
        KeepFromChildren(handle);
    }
    return static_cast<TIdStackSocketHandle>(handle);
}

int TIdStackWindows::WSBind(TIdStackSocketHandle ASocket, const TIdSockAddr& AAddress)
{
    return Api().bind(AsSocket(ASocket), Data(AAddress), AAddress.Length);
}

int TIdStackWindows::WSConnect(TIdStackSocketHandle ASocket, const TIdSockAddr& AAddress)
{
    return Api().connect(AsSocket(ASocket), Data(AAddress), AAddress.Length);
}

int TIdStackWindows::WSListen(TIdStackSocketHandle ASocket, int ABacklog)
{
    return Api().listen(AsSocket(ASocket), ABacklog);
}

TIdStackSocketHandle TIdStackWindows::WSAccept(TIdStackSocketHandle ASocket, TIdSockAddr& VAddress)
{
    int length = sizeof VAddress.Bytes;
    const SOCKET accepted = Api().accept(AsSocket(ASocket), Data(VAddress), &length);
    VAddress.Length = length;
    KeepFromChildren(accepted);
    return static_cast<TIdStackSocketHandle>(accepted);
}

int TIdStackWindows::WSGetSockName(TIdStackSocketHandle ASocket, TIdSockAddr& VAddress)
{
    int length = sizeof VAddress.Bytes;
    const int result = Api().getsockname(AsSocket(ASocket), Data(VAddress), &length);
    VAddress.Length = length;
    return result;
}

int TIdStackWindows::WSGetPeerName(TIdStackSocketHandle ASocket, TIdSockAddr& VAddress)
{
    int length = sizeof VAddress.Bytes;
    const int result = Api().getpeername(AsSocket(ASocket), Data(VAddress), &length);
    VAddress.Length = length;
    return result;
}

int TIdStackWindows::WSRecv(TIdStackSocketHandle ASocket, void* ABuffer, int ALength)
{
    return Api().recv(AsSocket(ASocket), static_cast<char*>(ABuffer), ALength, 0);
}

int TIdStackWindows::WSSend(TIdStackSocketHandle ASocket, const void* ABuffer, int ALength)
{
    return Api().send(AsSocket(ASocket), static_cast<const char*>(ABuffer), ALength, 0);
}

// Linux ends a connect or a receive that another thread is blocked in when the socket
// stops receiving; Windows does not, so what is pending on the socket is cancelled
// (the blocked call fails with 10004 "Interrupted system call." or the cancellation's
// code). The bounded connect of TIdIOHandlerStack ends this way (AbortConnect).
int TIdStackWindows::WSShutdown(TIdStackSocketHandle ASocket, int AHow)
{
    const int result = Api().shutdown(AsSocket(ASocket), AHow);
    if (AHow == SD_RECEIVE || AHow == SD_BOTH) {
        const int error = Api().WSAGetLastError(); // the shutdown's, for the caller
        ::CancelIoEx(reinterpret_cast<HANDLE>(AsSocket(ASocket)), nullptr);
        Api().WSASetLastError(error);
    }
    return result;
}

int TIdStackWindows::WSCloseSocket(TIdStackSocketHandle ASocket)
{
    return Api().closesocket(AsSocket(ASocket));
}

int TIdStackWindows::WSGetSockOpt(TIdStackSocketHandle ASocket, int ALevel, int AOptName, void* AOptVal,
                                  int& VOptLen)
{
    return Api().getsockopt(AsSocket(ASocket), ALevel, AOptName, static_cast<char*>(AOptVal), &VOptLen);
}

int TIdStackWindows::WSSetSockOpt(TIdStackSocketHandle ASocket, int ALevel, int AOptName, const void* AOptVal,
                                  int AOptLen)
{
    return Api().setsockopt(AsSocket(ASocket), ALevel, AOptName, static_cast<const char*>(AOptVal), AOptLen);
}

// Windows keeps the time-outs as a DWORD of milliseconds, 0 meaning none.
int TIdStackWindows::WSGetTimeout(TIdStackSocketHandle ASocket, int AOptName, std::int32_t& VMSec)
{
    DWORD msec = 0;
    int length = sizeof msec;
    const int result = Api().getsockopt(AsSocket(ASocket), SOL_SOCKET, AOptName, reinterpret_cast<char*>(&msec),
                                        &length);
    VMSec = static_cast<std::int32_t>(std::min<DWORD>(msec, INT32_MAX));
    return result;
}

int TIdStackWindows::WSSetTimeout(TIdStackSocketHandle ASocket, int AOptName, std::int32_t AMSec)
{
    const DWORD msec = static_cast<DWORD>(std::max<std::int32_t>(AMSec, 0));
    return Api().setsockopt(AsSocket(ASocket), SOL_SOCKET, AOptName, reinterpret_cast<const char*>(&msec),
                            sizeof msec);
}

std::int32_t TIdStackWindows::WSGetAddrInfo(const String& AHost, int AFamily, TIdSockAddr& VAddress)
{
    ADDRINFOW hints{};
    hints.ai_family = AFamily;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* list = nullptr;
    const std::wstring name = WideText(AHost);
    // The result is the Windows Sockets code of the failure (EAI_NONAME is 11001 ...).
    const int result = Api().GetAddrInfoW(name.c_str(), nullptr, &hints, &list);
    if (result != 0)
        return result;
    std::int32_t outcome = Id_WSAHOST_NOT_FOUND;
    if (list != nullptr && list->ai_addr != nullptr) {
        const std::size_t length = std::min<std::size_t>(list->ai_addrlen, sizeof VAddress.Bytes);
        std::memcpy(VAddress.Bytes, list->ai_addr, length);
        VAddress.Length = static_cast<int>(length);
        outcome = 0;
    }
    if (list != nullptr)
        Api().FreeAddrInfoW(list);
    return outcome;
}

std::int32_t TIdStackWindows::WSGetLastError()
{
    return Api().WSAGetLastError();
}

void TIdStackWindows::WSSetLastError(std::int32_t AErr)
{
    Api().WSASetLastError(AErr);
}
