#pragma once
// TCP on 127.0.0.1 for the benchmark programs: a listener on a free port and a
// client connection to it. A failing call throws std::runtime_error naming it and
// the system's error.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace bench {

inline sockaddr_in LoopbackAddress(std::uint16_t port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

[[noreturn]] inline void LoopbackFailure(const char* what, int fd)
{
    const std::string text = std::string(what) + " 127.0.0.1: " + std::strerror(errno);
    if (fd != -1)
        ::close(fd);
    throw std::runtime_error(text);
}

// A listening socket on a free port of 127.0.0.1; `port` receives the port.
inline int ListenOnLoopback(std::uint16_t& port, int backlog)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    const int on = 1;
    if (fd == -1 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
        || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 || ::listen(fd, backlog) != 0)
        LoopbackFailure("listen on", fd);
    port = ntohs(address.sin_port);
    return fd;
}

// A connection to 127.0.0.1:port; `noDelay` turns Nagle's algorithm off.
inline int ConnectToLoopback(std::uint16_t port, bool noDelay)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = LoopbackAddress(port);
    if (fd == -1 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        LoopbackFailure("connect to", fd);
    if (noDelay) {
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return fd;
}

} // namespace bench
