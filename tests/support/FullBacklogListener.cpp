#include "support/FullBacklogListener.h"

#include "support/TestSockets.h"

#include <stdexcept>
#include <string>

FullBacklogListener::FullBacklogListener()
    : FSocket(testsockets::NewSocket(AF_INET, SOCK_STREAM))
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (FSocket.Get() == -1 || ::bind(FSocket.Get(), reinterpret_cast<sockaddr*>(&address), length) != 0
        || ::getsockname(FSocket.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0
        || ::listen(FSocket.Get(), 0) != 0)
        throw std::runtime_error(std::string("full backlog listener: ") + testsockets::ErrorText(testsockets::LastError()));
    FPort = ntohs(address.sin_port);
    FQueued = ConnectLoopback(FPort);
}
