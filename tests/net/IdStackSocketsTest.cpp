// Sockets of the system's stack against real loopback peers.

#include "net/IdStack.h"
#include "smtp/IdExceptionCore.h"
#include "support/Caught.h"
#include "support/LoopbackPeer.h"
#include "support/StackUsage.h"
#include "support/TestSockets.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#endif

namespace {

TIdBytes Bytes(const std::string& text)
{
    return TIdBytes(text.begin(), text.end());
}

// Puts SIGPIPE back to its default for a scope, so a send that raised it would end the
// test program instead of passing unnoticed. (Windows has no such signal.)
#ifdef _WIN32
struct DefaultSigpipe {
};
#else
class DefaultSigpipe {
public:
    DefaultSigpipe()
    {
        struct sigaction byDefault{};
        byDefault.sa_handler = SIG_DFL;
        sigemptyset(&byDefault.sa_mask);
        ::sigaction(SIGPIPE, &byDefault, &FSaved);
    }
    ~DefaultSigpipe() { ::sigaction(SIGPIPE, &FSaved, nullptr); }

private:
    struct sigaction FSaved{};
};
#endif

// Whether a program we start would inherit the socket (close-on-exec is not set, or
// the handle is inheritable on Windows).
bool InheritedByChildren(TIdStackSocketHandle handle)
{
#ifdef _WIN32
    DWORD flags = 0;
    EXPECT_TRUE(::GetHandleInformation(reinterpret_cast<HANDLE>(handle), &flags));
    return (flags & HANDLE_FLAG_INHERIT) != 0;
#else
    return (::fcntl(handle, F_GETFD) & FD_CLOEXEC) == 0;
#endif
}

// One end of a connection as the stack reports it.
struct TEnd {
    String IP;
    TIdPort Port = 0;
    TIdIPVersion Version = TIdIPVersion::Id_IPv4;
};

class IdStackSockets : public ::testing::Test {
protected:
    // A stream socket of the stack, closed through the stack at the end of the test.
    TIdStackSocketHandle NewSocket(TIdIPVersion version = TIdIPVersion::Id_IPv4)
    {
        return Track(Stack.NewSocketHandle(Id_SOCK_STREAM, 0, version));
    }
    TIdStackSocketHandle Track(TIdStackSocketHandle handle)
    {
        FSockets.push_back(handle);
        return handle;
    }
    TIdStackSocketHandle ConnectedSocket(const LoopbackListener& peer,
                                         TIdIPVersion version = TIdIPVersion::Id_IPv4)
    {
        const TIdStackSocketHandle handle = NewSocket(version);
        Stack.Connect(handle, FromUtf8(peer.Address()), peer.Port(), version);
        return handle;
    }
    TEnd LocalEnd(TIdStackSocketHandle handle)
    {
        TEnd end;
        Stack.GetSocketName(handle, end.IP, end.Port, end.Version);
        return end;
    }
    TEnd PeerEnd(TIdStackSocketHandle handle)
    {
        TEnd end;
        Stack.GetPeerName(handle, end.IP, end.Port, end.Version);
        return end;
    }
    void TearDown() override
    {
        for (TIdStackSocketHandle handle : FSockets)
            Stack.Disconnect(handle);
    }

    StackUsage FUsage;
    TIdStack& Stack = GStack();

private:
    std::vector<TIdStackSocketHandle> FSockets;
};

void WaitReadable(TIdStackSocketHandle handle)
{
    pollfd entry = testsockets::PollEntry(static_cast<int>(handle), POLLIN);
    ASSERT_EQ(testsockets::Poll(&entry, 1, -1), 1);
}

} // namespace

TEST_F(IdStackSockets, ConnectToClosedPortIsRefused)
{
    LoopbackListener closed(false, /*listen=*/false);
    const TIdStackSocketHandle handle = NewSocket();
    const auto e = Caught<EIdSocketError>([&] { Stack.Connect(handle, u"127.0.0.1", closed.Port()); });
    EXPECT_EQ(e.LastError(), 10061);
    EXPECT_EQ(e.Message(), u"Socket Error # 10061\r\nConnection refused.");
}

TEST_F(IdStackSockets, ConnectedEndsAndBytesBothWays)
{
    LoopbackListener listener;
    const TIdStackSocketHandle handle = ConnectedSocket(listener);
    ScopedFd peer = listener.Accept();

    const TEnd peerEnd = PeerEnd(handle);
    EXPECT_EQ(peerEnd.IP, u"127.0.0.1");
    EXPECT_EQ(peerEnd.Port, listener.Port());
    EXPECT_EQ(peerEnd.Version, TIdIPVersion::Id_IPv4);
    const TEnd localEnd = LocalEnd(handle);
    EXPECT_EQ(localEnd.IP, u"127.0.0.1");
    EXPECT_NE(localEnd.Port, 0);

    EXPECT_EQ(Stack.Send(handle, Bytes("EHLO x\r\n")), 8);
    EXPECT_EQ(ReadBytes(peer.Get(), 8), "EHLO x\r\n");

    WriteAll(peer.Get(), "250 ok\r\n");
    TIdBytes buffer(64, 0);
    const int received = Stack.Receive(handle, buffer);
    ASSERT_EQ(received, 8);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + received), "250 ok\r\n");
    EXPECT_EQ(buffer.size(), 64u); // the buffer is filled, not resized

    peer.Reset(); // the peer's orderly close reads as 0, not as an error
    EXPECT_EQ(Stack.Receive(handle, buffer), 0);
}

TEST_F(IdStackSockets, SendTakesASliceOfTheBuffer)
{
    LoopbackListener listener;
    const TIdStackSocketHandle handle = ConnectedSocket(listener);
    ScopedFd peer = listener.Accept();

    const TIdBytes data = Bytes("abcdef");
    EXPECT_EQ(Stack.Send(handle, data, 2, 3), 3);   // "cde"
    EXPECT_EQ(Stack.Send(handle, data, 4), 2);      // "ef": to the end
    EXPECT_EQ(Stack.Send(handle, data, 1, 99), 5);  // "bcdef": a size past the end is cut
    EXPECT_EQ(Stack.Send(handle, data, 10), 0);     // offset past the end: nothing
    EXPECT_EQ(Stack.Send(handle, data, 0, 0), 0);
    EXPECT_EQ(Stack.Send(handle, TIdBytes()), 0);   // an empty send is still made
    EXPECT_EQ(ReadBytes(peer.Get(), 10), "cdeefbcdef");

    const auto e = Caught<EIdSocketError>([&] { Stack.Send(handle, data, -1); });
    EXPECT_EQ(e.LastError(), 10014);
}

TEST_F(IdStackSockets, IPv6Loopback)
{
    if (!Stack.SupportsIPv6())
        GTEST_SKIP() << "no IPv6 on this machine";
    LoopbackListener listener(/*ipv6=*/true);
    const TIdStackSocketHandle handle = ConnectedSocket(listener, TIdIPVersion::Id_IPv6);
    ScopedFd peer = listener.Accept();

    const TEnd peerEnd = PeerEnd(handle);
    EXPECT_EQ(peerEnd.IP, u"0:0:0:0:0:0:0:1");
    EXPECT_EQ(peerEnd.Port, listener.Port());
    EXPECT_EQ(peerEnd.Version, TIdIPVersion::Id_IPv6);

    EXPECT_EQ(Stack.Send(handle, Bytes("v6")), 2);
    EXPECT_EQ(ReadBytes(peer.Get(), 2), "v6");
}

TEST_F(IdStackSockets, SendToVanishedPeerRaisesInsteadOfSigpipe)
{
    [[maybe_unused]] const DefaultSigpipe sigpipeKills;
    LoopbackListener listener;

    // The peer resets the connection: every send after that fails.
    const TIdStackSocketHandle reset = ConnectedSocket(listener);
    ScopedFd peer = listener.Accept();
    CloseWithReset(peer);
    WaitReadable(reset);
    for (int attempt = 0; attempt < 2; ++attempt) { // ECONNRESET first, then EPIPE
        const auto e = Caught<EIdSocketError>([&] { Stack.Send(reset, Bytes("x")); });
        EXPECT_EQ(e.LastError(), 10054);
        EXPECT_EQ(e.Message(), u"Socket Error # 10054\r\nConnection reset by peer.");
    }

    // The peer closes in order: the first sends may still be taken, then the peer's
    // reset arrives and sending fails.
    const TIdStackSocketHandle closed = ConnectedSocket(listener);
    listener.Accept().Reset();
    std::int32_t error = 0;
    for (int attempt = 0; attempt < 10000 && error == 0; ++attempt) {
        try {
            Stack.Send(closed, Bytes("DATA\r\n"));
        } catch (const EIdSocketError& e) {
            error = e.LastError();
        }
    }
    EXPECT_EQ(error, 10054);
}

TEST_F(IdStackSockets, BindTakesTheFirstFreePortOfARange)
{
    // A listener on port P whose neighbour P - 1 is free.
    std::unique_ptr<LoopbackListener> busy;
    for (int tries = 0; tries < 50 && !busy; ++tries) {
        auto candidate = std::make_unique<LoopbackListener>();
        if (candidate->Port() > 1024 && LoopbackPortIsFree(candidate->Port() - 1))
            busy = std::move(candidate);
    }
    ASSERT_TRUE(busy) << "no free pair of neighbouring loopback ports";
    const TIdPort high = busy->Port();
    const TIdPort low = high - 1;

    const TIdStackSocketHandle first = NewSocket();
    EXPECT_EQ(Stack.BindPortRange(first, u"127.0.0.1", low, high), low); // high is busy
    EXPECT_EQ(LocalEnd(first).Port, low);

    const TIdStackSocketHandle second = NewSocket();
    const auto exhausted =
        Caught<EIdCanNotBindPortInRange>([&] { Stack.BindPortRange(second, u"127.0.0.1", low, high); });
    EXPECT_EQ(exhausted.Message(), Format(u"Can not bind in port range (%d - %d)", {std::int64_t(low),
                                                                                     std::int64_t(high)}));
    const auto reversed =
        Caught<EIdInvalidPortRange>([&] { Stack.BindPortRange(second, u"127.0.0.1", high, low); });
    EXPECT_EQ(reversed.Message(), Format(u"Invalid Port Range (%d - %d)", {std::int64_t(high),
                                                                           std::int64_t(low)}));

    const auto inUse = Caught<EIdSocketError>([&] { Stack.Bind(second, u"127.0.0.1", high); });
    EXPECT_EQ(inUse.Message(), u"Socket Error # 10048\r\nAddress already in use.");
}

TEST_F(IdStackSockets, ListenAcceptAndCloseOnExec)
{
    const TIdStackSocketHandle server = NewSocket();
    Stack.Bind(server, u"127.0.0.1", 0);
    Stack.Listen(server, 4);

    ScopedFd client = ConnectLoopback(LocalEnd(server).Port);
    TEnd clientEnd;
    const TIdStackSocketHandle accepted =
        Track(Stack.Accept(server, clientEnd.IP, clientEnd.Port, clientEnd.Version));
    EXPECT_EQ(clientEnd.IP, u"127.0.0.1");
    EXPECT_EQ(clientEnd.Version, TIdIPVersion::Id_IPv4);
    EXPECT_EQ(clientEnd.Port, LocalEnd(client.Get()).Port);

    // Programs we start (the archiver) must not inherit connections.
    for (TIdStackSocketHandle handle : {server, accepted})
        EXPECT_FALSE(InheritedByChildren(handle));
}

TEST_F(IdStackSockets, OptionsAndReceiveTimeOut)
{
    LoopbackListener listener;
    const TIdStackSocketHandle handle = ConnectedSocket(listener);
    ScopedFd peer = listener.Accept();

    std::int32_t value = 0;
    Stack.GetSocketOption(handle, Id_SOL_SOCKET, Id_SO_TYPE, value);
    EXPECT_EQ(value, Id_SOCK_STREAM);
    // Time-outs are milliseconds; a receive that runs into one is a time-out error.
    Stack.SetSocketOption(handle, Id_SOL_SOCKET, Id_SO_RCVTIMEO, 20);
    Stack.GetSocketOption(handle, Id_SOL_SOCKET, Id_SO_RCVTIMEO, value);
    EXPECT_EQ(value, 20);
    TIdBytes buffer(8, 0);
    const auto timedOut = Caught<EIdSocketError>([&] { Stack.Receive(handle, buffer); });
    EXPECT_EQ(timedOut.Message(), u"Socket Error # 10060\r\nConnection timed out.");
}

TEST_F(IdStackSockets, MalformedAddressesAreRefusedNotGuessed)
{
    LoopbackListener closed(false, /*listen=*/false);
    const TIdStackSocketHandle v4 = NewSocket();
    for (const String text : {u"127.0.0.256", u"127.0.1", u"localhost"})
        EXPECT_EQ(Caught<EIdSocketError>([&] { Stack.Connect(v4, text, closed.Port()); }).LastError(), 10022)
            << ToUtf8(text);
    // Blanks around the numbers are allowed: the resolver passes such a text on.
    EXPECT_EQ(Caught<EIdSocketError>([&] { Stack.Connect(v4, u" 127.0.0.1", closed.Port()); }).LastError(),
              10061);
}

TEST_F(IdStackSockets, CallsOnANonSocketRaiseNotASocket)
{
    TIdBytes buffer(4, 0);
#ifdef _WIN32
    // An event's handle is a handle of the process, but no socket.
    const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    const TIdStackSocketHandle notASocket = reinterpret_cast<TIdStackSocketHandle>(event);
#else
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    ScopedFd readEnd(pipeEnds[0]), writeEnd(pipeEnds[1]);
    const TIdStackSocketHandle notASocket = readEnd.Get();
#endif
    const auto e = Caught<EIdNotASocket>([&] { Stack.Receive(notASocket, buffer); });
    EXPECT_EQ(e.LastError(), 10038);
    EXPECT_EQ(e.Message(), u"Socket Error # 10038\r\nSocket operation on non-socket.");
#ifdef _WIN32
    ::CloseHandle(event);
#endif
}
