#pragma once
// The far end of loopback TCP connections for socket tests, written directly on the
// system's socket calls so that it does not share a fault with the code under test. Everything
// binds to 127.0.0.1 or ::1 on a port the system chooses. Failing calls throw
// std::runtime_error.

#include <cstdint>
#include <string>
#include <utility>

void CloseTestSocket(int socket);

// A socket closed when the object goes.
class ScopedFd {
public:
    explicit ScopedFd(int fd = -1) : FFd(fd) {}
    ~ScopedFd() { Reset(); }
    ScopedFd(ScopedFd&& other) noexcept : FFd(std::exchange(other.FFd, -1)) {}
    ScopedFd& operator=(ScopedFd&& other) noexcept
    {
        if (this != &other)
            Reset(std::exchange(other.FFd, -1));
        return *this;
    }
    int Get() const { return FFd; }
    void Reset(int fd = -1)
    {
        if (FFd != -1)
            CloseTestSocket(FFd);
        FFd = fd;
    }

private:
    int FFd;
};

// A TCP socket bound to a free loopback port: listening, or (listen = false) only
// holding the port, so that a connection to it is refused and no one else takes it.
class LoopbackListener {
public:
    explicit LoopbackListener(bool ipv6 = false, bool listen = true);
    std::uint16_t Port() const { return FPort; }
    const char* Address() const { return FIPv6 ? "::1" : "127.0.0.1"; }
    // Takes the next queued connection (blocks until there is one).
    ScopedFd Accept();

private:
    bool FIPv6;
    ScopedFd FSocket;
    std::uint16_t FPort = 0;
};

// A connected socket to a loopback port.
ScopedFd ConnectLoopback(std::uint16_t port, bool ipv6 = false);
// Whether a TCP port of 127.0.0.1 can be bound right now.
bool LoopbackPortIsFree(std::uint16_t port);
// Closes a connected socket so that the peer sees a reset, not an orderly close.
void CloseWithReset(ScopedFd& socket);
void WriteAll(int fd, const std::string& bytes);
// Reads `count` bytes (fewer only when the sender closes).
std::string ReadBytes(int fd, std::size_t count);
