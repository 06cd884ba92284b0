#include "support/TestSockets.h"

#include <stdexcept>

namespace testsockets {

namespace {

// The test peers call Winsock before (or without) the library's stack: start it once
// for the whole test program.
struct TWinsockSession {
    TWinsockSession()
    {
        WSADATA data{};
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0)
            throw std::runtime_error("WSAStartup failed");
    }
    ~TWinsockSession() { ::WSACleanup(); }
};
const TWinsockSession gSession;

} // namespace

std::string ErrorText(int error)
{
    char text[256] = {};
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                     static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
    return n ? std::string(text, n) + " (" + std::to_string(error) + ")" : "error " + std::to_string(error);
}

int NewWakeEvent()
{
    const int event = NewSocket(AF_INET, SOCK_DGRAM);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (event == -1 || ::bind(static_cast<SOCKET>(event), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return -1;
    return event;
}

void SignalWakeEvent(int event)
{
    sockaddr_in address{};
    int length = sizeof address;
    if (::getsockname(static_cast<SOCKET>(event), reinterpret_cast<sockaddr*>(&address), &length) == 0)
        ::sendto(static_cast<SOCKET>(event), "x", 1, 0, reinterpret_cast<sockaddr*>(&address), length);
}

} // namespace testsockets
