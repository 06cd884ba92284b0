#include "support/LoopbackPeer.h"

#include "support/TestSockets.h"

#include <stdexcept>

namespace {

[[noreturn]] void Fail(const char* what)
{
    throw std::runtime_error(std::string(what) + ": " + testsockets::ErrorText(testsockets::LastError()));
}

struct LoopbackAddress {
    sockaddr_storage Storage{};
    socklen_t Length = 0;

    LoopbackAddress(bool ipv6, std::uint16_t port)
    {
        if (ipv6) {
            auto& in6 = reinterpret_cast<sockaddr_in6&>(Storage);
            in6 = sockaddr_in6{AF_INET6, htons(port), 0, in6addr_loopback, 0};
            Length = sizeof in6;
        } else {
            auto& in = reinterpret_cast<sockaddr_in&>(Storage);
            in.sin_family = AF_INET;
            in.sin_port = htons(port);
            in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            Length = sizeof in;
        }
    }
    sockaddr* Data() { return reinterpret_cast<sockaddr*>(&Storage); }
};

ScopedFd NewTcpSocket(bool ipv6)
{
    ScopedFd fd(testsockets::NewSocket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM));
    if (fd.Get() == -1)
        Fail("socket");
    return fd;
}

} // namespace

void CloseTestSocket(int socket)
{
    testsockets::CloseSocket(socket);
}

LoopbackListener::LoopbackListener(bool ipv6, bool listen)
    : FIPv6(ipv6)
    , FSocket(NewTcpSocket(ipv6))
{
    LoopbackAddress address(ipv6, 0);
    if (::bind(FSocket.Get(), address.Data(), address.Length) != 0)
        Fail("bind");
    if (::getsockname(FSocket.Get(), address.Data(), &address.Length) != 0)
        Fail("getsockname");
    FPort = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6&>(address.Storage).sin6_port
                       : reinterpret_cast<sockaddr_in&>(address.Storage).sin_port);
    if (listen && ::listen(FSocket.Get(), 8) != 0)
        Fail("listen");
}

ScopedFd LoopbackListener::Accept()
{
    ScopedFd fd(testsockets::AcceptOn(FSocket.Get()));
    if (fd.Get() == -1)
        Fail("accept");
    return fd;
}

ScopedFd ConnectLoopback(std::uint16_t port, bool ipv6)
{
    ScopedFd fd = NewTcpSocket(ipv6);
    LoopbackAddress address(ipv6, port);
    if (::connect(fd.Get(), address.Data(), address.Length) != 0)
        Fail("connect");
    return fd;
}

bool LoopbackPortIsFree(std::uint16_t port)
{
    ScopedFd fd = NewTcpSocket(false);
    LoopbackAddress address(false, port);
    return ::bind(fd.Get(), address.Data(), address.Length) == 0;
}

void CloseWithReset(ScopedFd& socket)
{
    const linger abort{1, 0};
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
    socket.Reset();
}

void WriteAll(int fd, const std::string& bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const auto n = ::send(fd, bytes.data() + done, static_cast<int>(bytes.size() - done), testsockets::kNoSignal);
        if (n <= 0)
            Fail("send");
        done += static_cast<std::size_t>(n);
    }
}

std::string ReadBytes(int fd, std::size_t count)
{
    std::string bytes(count, '\0');
    std::size_t done = 0;
    while (done < count) {
        const auto n = ::recv(fd, bytes.data() + done, static_cast<int>(count - done), 0);
        if (n < 0)
            Fail("recv");
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}
