#include "support/FullBacklogListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

FullBacklogListener::FullBacklogListener()
    : FSocket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (FSocket.Get() == -1 || ::bind(FSocket.Get(), reinterpret_cast<sockaddr*>(&address), length) != 0
        || ::getsockname(FSocket.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0
        || ::listen(FSocket.Get(), 0) != 0)
        throw std::runtime_error(std::string("full backlog listener: ") + std::strerror(errno));
    FPort = ntohs(address.sin_port);
    FQueued = ConnectLoopback(FPort);
}
