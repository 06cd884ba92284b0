#pragma once
// TIdStack: the one object through which every socket operation passes. It resolves
// host names, creates, binds, connects and closes sockets, moves bytes, reads and
// writes socket options, and turns every failed call into EIdSocketError (or
// EIdNotASocket) whose LastError is the socket error code of net/IdStackErrors.h and
// whose message is "Socket Error # <code>\r\n<text>".
//
// There is one stack per process, shared by every component of the library. Each
// component holds a usage reference (IncUsage/DecUsage); the stack object exists while
// at least one reference is held and is reached through GStack(). The socket calls both
// systems share are made in TIdStackBSDBase (net/IdStackBSDBase.h); the operating-system
// side lives in TIdStackPosix (net/IdStackPosix.h) and TIdStackWindows
// (net/IdStackWindows.h), and SystemStackClass names the one of the system built for.

#include "mime/IdGlobal.h"

#include <cstdint>
#include <initializer_list>
#include <memory>

enum class TIdIPVersion { Id_IPv4 = 0, Id_IPv6 = 1 };

// A socket is a file descriptor on POSIX (-1 means "no socket") and a SOCKET on Windows,
// a 64-bit unsigned handle (INVALID_SOCKET, all bits set, means "no socket").
#ifdef _WIN32
using TIdStackSocketHandle = std::uintptr_t;
inline constexpr TIdStackSocketHandle Id_INVALID_SOCKET = ~TIdStackSocketHandle(0);
#else
using TIdStackSocketHandle = int;
inline constexpr TIdStackSocketHandle Id_INVALID_SOCKET = -1;
#endif
inline constexpr int Id_SOCKET_ERROR = -1;

using TIdPort = std::uint16_t;

// Socket types, levels and option names as the system's socket calls take them: the
// BSD values of Linux, or those of Windows Sockets (checked against the system headers
// in IdStackPosix.cpp and IdStackWindows.cpp). All options are 32-bit values; the
// receive and send time-outs are in milliseconds on both systems.
inline constexpr int Id_SOCK_STREAM = 1;
inline constexpr int Id_SOCK_DGRAM = 2;
inline constexpr int Id_IPPROTO_IP = 0;
inline constexpr int Id_IPPROTO_TCP = 6;
inline constexpr int Id_TCP_NODELAY = 1;
#ifdef _WIN32
inline constexpr int Id_SOL_SOCKET = 0xffff;
inline constexpr int Id_SO_REUSEADDR = 0x0004;
inline constexpr int Id_SO_TYPE = 0x1008;
inline constexpr int Id_SO_KEEPALIVE = 0x0008;
inline constexpr int Id_SO_RCVTIMEO = 0x1006;
inline constexpr int Id_SO_SNDTIMEO = 0x1005;
#else
inline constexpr int Id_SOL_SOCKET = 1;
inline constexpr int Id_SO_REUSEADDR = 2;
inline constexpr int Id_SO_TYPE = 3;
inline constexpr int Id_SO_KEEPALIVE = 9;
inline constexpr int Id_SO_RCVTIMEO = 20;
inline constexpr int Id_SO_SNDTIMEO = 21;
#endif
// How a shutdown stops a socket: no more receiving, no more sending, or both.
inline constexpr int Id_SD_Recv = 0;
inline constexpr int Id_SD_Send = 1;
inline constexpr int Id_SD_Both = 2;

// Waiting without a time limit (SelectRead and the readability waits above it).
inline constexpr int IdWaitWithoutLimit = -2;

class TIdStack;
// Makes the shared stack when the first usage reference is taken.
using TIdStackClass = std::unique_ptr<TIdStack> (*)();

class TIdStack {
public:
    TIdStack() = default;
    virtual ~TIdStack() = default;
    TIdStack(const TIdStack&) = delete;
    TIdStack& operator=(const TIdStack&) = delete;

    // --- The shared stack -------------------------------------------------------
    // IncUsage makes the shared stack (from StackClass) when the count is 0, then
    // counts one more holder; DecUsage frees it when the last holder goes.
    static void IncUsage();
    static void DecUsage();
    static int UsageCount();
    // The class IncUsage makes the stack from: SystemStackClass until one is set.
    static TIdStackClass StackClass();
    static void SetStackClass(TIdStackClass stackClass);
    // The stack of the system the program was built for (TIdStackPosix::Create or
    // TIdStackWindows::Create), defined in IdStackSystemPosix.cpp / ...Windows.cpp.
    static TIdStackClass SystemStackClass();

    // --- Names and addresses ----------------------------------------------------
    // "localhost" (any case) is 127.0.0.1 and a dotted IPv4 text is used as it is
    // (IPv4); a numeric IPv6 text becomes its canonical form (IPv6); anything else is
    // asked of the resolver.
    String ResolveHost(const String& AHost, TIdIPVersion AIPVersion = TIdIPVersion::Id_IPv4);
    // Four dot-separated decimal numbers 0-255; blanks around each number are allowed.
    bool IsIP(StringView AIP) const;
    // The first address the resolver gives for the name, as text.
    virtual String LookupHostAddress(const String& AHost, TIdIPVersion AIPVersion) = 0;
    virtual String QueryLocalHostName() = 0;
    String HostName() { return QueryLocalHostName(); }
    virtual bool SupportsIPv6() = 0;

    // --- Sockets ----------------------------------------------------------------
    virtual TIdStackSocketHandle NewSocketHandle(int ASocketType, int AProtocol,
                                                 TIdIPVersion AIPVersion = TIdIPVersion::Id_IPv4,
                                                 bool AOverlapped = false) = 0;
    // An empty address binds to every local address; port 0 lets the system choose.
    virtual void Bind(TIdStackSocketHandle ASocket, const String& AIP, TIdPort APort,
                      TIdIPVersion AIPVersion = TIdIPVersion::Id_IPv4) = 0;
    // Binds to the first port that is free, trying APortMax down to APortMin, and
    // returns it. Raises EIdInvalidPortRange when the range is reversed and
    // EIdCanNotBindPortInRange when no port of it can be bound.
    TIdPort BindPortRange(TIdStackSocketHandle ASocket, const String& AIP, TIdPort APortMin,
                          TIdPort APortMax, TIdIPVersion AIPVersion = TIdIPVersion::Id_IPv4);
    // Blocks until the connection is made or refused.
    virtual void Connect(TIdStackSocketHandle ASocket, const String& AIP, TIdPort APort,
                         TIdIPVersion AIPVersion = TIdIPVersion::Id_IPv4) = 0;
    virtual void Listen(TIdStackSocketHandle ASocket, int ABacklog) = 0;
    virtual TIdStackSocketHandle Accept(TIdStackSocketHandle ASocket, String& VIP, TIdPort& VPort,
                                        TIdIPVersion& VIPVersion) = 0;
    // Stops sending, then closes the socket; failures of either step are ignored.
    virtual void Disconnect(TIdStackSocketHandle ASocket) = 0;
    // Stops receiving and/or sending (Id_SD_Recv, Id_SD_Send, Id_SD_Both) without
    // closing the socket; a connect still under way on it ends at once.
    virtual void WSShutdownHandle(TIdStackSocketHandle ASocket, int AHow) = 0;
    virtual void GetSocketName(TIdStackSocketHandle ASocket, String& VIP, TIdPort& VPort,
                               TIdIPVersion& VIPVersion) = 0;
    virtual void GetPeerName(TIdStackSocketHandle ASocket, String& VIP, TIdPort& VPort,
                             TIdIPVersion& VIPVersion) = 0;

    // --- Data ---------------------------------------------------------------------
    // One receive of up to VBuffer.size() bytes; 0 means the peer closed the connection.
    virtual int Receive(TIdStackSocketHandle ASocket, TIdBytes& VBuffer) = 0;
    // One send of the bytes from AOffset to the end, or of ASize bytes when ASize is
    // not negative and smaller; returns what the system accepted, which may be less.
    virtual int Send(TIdStackSocketHandle ASocket, const TIdBytes& ABuffer, int AOffset = 0,
                     int ASize = -1) = 0;

    // --- Options ------------------------------------------------------------------
    virtual void GetSocketOption(TIdStackSocketHandle ASocket, int ALevel, int AOptName,
                                 std::int32_t& AOptVal) = 0;
    virtual void SetSocketOption(TIdStackSocketHandle ASocket, int ALevel, int AOptName,
                                 std::int32_t AOptVal) = 0;

    // --- Errors -------------------------------------------------------------------
    // The calling thread's last socket error, as a socket error code.
    virtual std::int32_t WSGetLastError() = 0;
    virtual void WSSetLastError(std::int32_t AErr) = 0;
    virtual String WSTranslateSocketErrorMsg(std::int32_t AErr);
    // EIdNotASocket for 10038, EIdSocketError for every other code.
    [[noreturn]] void RaiseSocketError(std::int32_t AErr);
    [[noreturn]] void RaiseLastSocketError();
    // -1 raises the last socket error; any other result is returned.
    int CheckForSocketError(int AResult);
    // As above, except that a last socket error listed in AIgnore is returned instead
    // of raised.
    int CheckForSocketError(int AResult, std::initializer_list<std::int32_t> AIgnore);

    // Text of a numeric IPv6 address in its canonical form (eight upper-case groups,
    // no leading zeros, no "::"), or an empty text when AIP is not one.
    static String CanonicalIPv6Address(StringView AIP);

    // EIdIPVersionUnsupported "The requested IPVersion / Address family is not supported."
    [[noreturn]] static void RaiseIPVersionUnsupported();
};

// The shared stack. Only valid while a usage reference is held; without one it raises
// EIdStackError rather than hand out a dangling object.
TIdStack& GStack();
