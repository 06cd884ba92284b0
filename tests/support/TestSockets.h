#pragma once
// The BSD socket calls of the test peers on either system: Winsock on Windows
// (started once per test program), the POSIX calls elsewhere. Sockets are kept as
// int on both: the test peers open a handful, and Winsock's handles are small.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <string>

namespace testsockets {

#ifdef _WIN32
inline constexpr int kNoSignal = 0;  // Winsock raises no signal on a closed peer
inline constexpr int kDontWait = 0;  // no per-call flag: callers wait for POLLOUT first
using TPollCount = ULONG;
inline int NewSocket(int family, int type) { return static_cast<int>(::socket(family, type, 0)); }
inline int AcceptOn(int listener) { return static_cast<int>(::accept(static_cast<SOCKET>(listener), nullptr, nullptr)); }
inline void CloseSocket(int s) { ::closesocket(static_cast<SOCKET>(s)); }
inline int Poll(pollfd* entries, TPollCount count, int timeoutMs) { return ::WSAPoll(entries, count, timeoutMs); }
inline int LastError() { return ::WSAGetLastError(); }
inline bool Interrupted(int) { return false; }
inline bool WouldBlock(int error) { return error == WSAEWOULDBLOCK; }
#else
inline constexpr int kNoSignal = MSG_NOSIGNAL;
inline constexpr int kDontWait = MSG_DONTWAIT;
using TPollCount = nfds_t;
inline int NewSocket(int family, int type) { return ::socket(family, type | SOCK_CLOEXEC, 0); }
inline int AcceptOn(int listener) { return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC); }
inline void CloseSocket(int s) { ::close(s); }
inline int Poll(pollfd* entries, TPollCount count, int timeoutMs) { return ::poll(entries, count, timeoutMs); }
int LastError();
inline bool Interrupted(int error) { return error == EINTR; }
inline bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }
#endif

inline pollfd PollEntry(int socket, short events)
{
    pollfd entry{};
    entry.fd = static_cast<decltype(entry.fd)>(socket);
    entry.events = events;
    return entry;
}

// The system's text for a socket error code.
std::string ErrorText(int error);

// A socket that becomes readable once Signal is called on it, to wake a poll from
// another thread (an eventfd on Linux, a loopback datagram socket on Windows).
int NewWakeEvent();
void SignalWakeEvent(int event);

} // namespace testsockets
