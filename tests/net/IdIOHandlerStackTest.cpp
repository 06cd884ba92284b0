// The socket I/O handler against real loopback peers: opening, resolving, the
// bounded connect, the peer's close and reset, and the handler class registry.

#include "net/IdIOHandlerStack.h"
#include "net/IdStackErrors.h"
#include "smtp/IdExceptionCore.h"
#include "support/Caught.h"
#include "support/FullBacklogListener.h"
#include "support/LoopbackPeer.h"
#include "support/RaisedMessage.h"
#include "support/ScriptedServer.h"
#include "support/StackUsage.h"
#include "tests/net/NetTestSystem.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

using namespace std::chrono_literals;

namespace {

std::unique_ptr<TIdIOHandlerStack> Handler(const char* host, std::uint16_t port,
                                           TIdIPVersion version = TIdIPVersion::Id_IPv4)
{
    auto io = MakeComponent<TIdIOHandlerStack>();
    io->SetHost(FromUtf8(host));
    io->SetPort(port);
    io->SetIPVersion(version);
    return io;
}

// The status texts a component reports.
class StatusLog {
public:
    explicit StatusLog(TIdComponent& component)
    {
        component.OnStatus = [this](TIdComponent*, TIdStatus, const String& text) { Texts.push_back(text); };
    }
    std::vector<String> Texts;
};

// Whether the socket still exists: the system answers for its type.
bool SocketIsOpen(TIdStackSocketHandle handle)
{
    StackUsage usage;
    std::int32_t type = 0;
    try {
        GStack().GetSocketOption(handle, Id_SOL_SOCKET, Id_SO_TYPE, type);
        return true;
    } catch (const EIdSocketError&) {
        return false; // 10009 on POSIX (a closed descriptor), 10038 on Windows
    }
}

} // namespace

TEST(IdIOHandlerStack, OpensWithoutSocketWhenHostOrPortIsMissing)
{
    for (const auto& [host, port] : {std::pair{"", 25}, std::pair{"127.0.0.1", 0}}) {
        auto io = Handler(host, static_cast<std::uint16_t>(port));
        io->Open();
        EXPECT_TRUE(io->Opened());
        ASSERT_NE(io->Binding(), nullptr);
        EXPECT_FALSE(io->Binding()->HandleAllocated());
        EXPECT_FALSE(io->Connected());
        EXPECT_EQ(RaisedMessage([&] { io->ReadLn(); }), u"Connection Closed Gracefully.");
    }
}

TEST(IdIOHandlerStack, NumericHostIsNotResolvedAndOpenAfterCloseReusesTheBinding)
{
    ScriptedServer server;
    server.Send("first\r\n").Accept().Send("second\r\n");
    server.Start();

    auto io = Handler("127.0.0.1", server.Port());
    StatusLog status(*io);
    io->Open();
    EXPECT_EQ(status.Texts, std::vector<String>{u"Connecting to 127.0.0.1."});
    EXPECT_EQ(io->ReadLn(), u"first");
    TIdSocketHandle* binding = io->Binding();
    EXPECT_EQ(binding->PeerIP(), u"127.0.0.1");
    EXPECT_EQ(binding->PeerPort(), server.Port());
    EXPECT_NE(binding->Port(), 0); // the local end, read back after the connect

    io->Close();
    EXPECT_FALSE(binding->HandleAllocated());
    io->SetHost(u"localhost");
    status.Texts.clear();
    io->Open();
    EXPECT_EQ(status.Texts, (std::vector<String>{u"Resolving hostname localhost.", u"Connecting to 127.0.0.1."}));
    EXPECT_EQ(io->Binding(), binding);
    EXPECT_EQ(io->ReadLn(), u"second"); // a new socket, to the second connection
    EXPECT_TRUE(server.WaitDone());
}

TEST(IdIOHandlerStack, RefusedConnectGivesTheSystemsCodeAndText)
{
    LoopbackListener closedPort(false, /*listen=*/false);
    // Directly, and through the connect thread with and without a limit.
    for (const std::int32_t connectTimeout : {0, 5000, -1}) {
        auto io = Handler("127.0.0.1", closedPort.Port());
        io->SetConnectTimeout(connectTimeout);
        const auto e = Caught<EIdSocketError>([&] { io->Open(); });
        EXPECT_EQ(e.LastError(), 10061) << connectTimeout;
        EXPECT_EQ(e.Message(), u"Socket Error # 10061\r\nConnection refused.") << connectTimeout;
    }
}

TEST(IdIOHandlerStack, UnknownHostIsHostNotFound)
{
    auto io = Handler("no-such-host.invalid", 25);
    StatusLog status(*io);
    const auto e = Caught<EIdSocketError>([&] { io->Open(); });
    EXPECT_EQ(e.LastError(), 11001);
    EXPECT_EQ(e.Message(), u"Socket Error # 11001\r\nHost not found.");
    EXPECT_EQ(status.Texts, std::vector<String>{u"Resolving hostname no-such-host.invalid."});
}

TEST(IdIOHandlerStack, ConnectTimeoutClosesTheSocketBeforeRaising)
{
    FullBacklogListener listener;
    auto io = Handler("127.0.0.1", listener.Port());
    io->SetConnectTimeout(300);
    TIdStackSocketHandle socket = Id_INVALID_SOCKET;
    io->OnSocketAllocated = [&](TComponent*) { socket = io->Binding()->Handle(); };

    EXPECT_EQ(RaisedMessage([&] { io->Open(); }), u"Connect timed out.");
    ASSERT_NE(socket, Id_INVALID_SOCKET);
    EXPECT_FALSE(io->Binding()->HandleAllocated());
    EXPECT_FALSE(SocketIsOpen(socket));
    EXPECT_FALSE(io->Opened());
}

TEST(IdIOHandlerStack, BoundedConnectSucceedsAndReadsBothEnds)
{
    ScriptedServer server;
    server.Send("hello\r\n");
    server.Start();
    auto io = Handler("127.0.0.1", server.Port());
    io->SetConnectTimeout(-1); // a worker thread, waited for without limit
    io->Open();
    EXPECT_EQ(io->ReadLn(), u"hello");
    EXPECT_EQ(io->Binding()->PeerPort(), server.Port());
    EXPECT_NE(io->Binding()->Port(), 0);
}

TEST(IdIOHandlerStack, ConnectedAfterThePeersClose)
{
    // Nothing buffered: the close is noticed, the handler closes itself.
    {
        ScriptedServer server;
        server.Close();
        server.Start();
        auto io = Handler("127.0.0.1", server.Port());
        StatusLog status(*io);
        io->Open();
        ASSERT_TRUE(io->Binding()->Readable(5000));
        EXPECT_FALSE(io->Connected());
        EXPECT_FALSE(io->Opened());
        EXPECT_FALSE(io->Binding()->HandleAllocated());
        EXPECT_EQ(status.Texts.back(), u"Disconnected.");
    }
    // Bytes still buffered keep the connection alive until they are read.
    {
        ScriptedServer server;
        server.Send("a\r\nb\r\n").Close();
        server.Start();
        auto io = Handler("127.0.0.1", server.Port());
        io->Open();
        EXPECT_EQ(io->ReadLn(), u"a");
        ASSERT_TRUE(server.WaitDone());
        ASSERT_TRUE(io->Binding()->Readable(5000)); // the close has arrived
        EXPECT_TRUE(io->Connected());
        EXPECT_FALSE(io->Binding()->HandleAllocated());
        EXPECT_EQ(io->ReadLn(), u"b");
        EXPECT_FALSE(io->Connected());
        EXPECT_EQ(RaisedMessage([&] { io->ReadLn(); }), u"Connection Closed Gracefully.");
    }
}

TEST(IdIOHandlerStack, ResetByThePeerClosesTheHandlerBeforeRaising)
{
    if (RunningUnderWine())
        GTEST_SKIP() << "Wine reads the peer's reset as an orderly close (recv gives 0, not 10054)";
    ScriptedServer server;
    server.ReadLine().Reset().Accept().ReadLine().Reset();
    server.Start();
    auto io = Handler("127.0.0.1", server.Port());
    io->Open();
    io->WriteLn(u"NOOP");
    const auto e = Caught<EIdSocketError>([&] { io->ReadLn(); });
    EXPECT_EQ(e.LastError(), 10054);
    EXPECT_EQ(e.Message(), u"Socket Error # 10054\r\nConnection reset by peer.");
    EXPECT_FALSE(io->Opened());
    EXPECT_FALSE(io->Binding()->HandleAllocated());

    // Asking whether a reset connection is alive answers no, without raising.
    io->Open();
    io->WriteLn(u"NOOP");
    ASSERT_TRUE(io->Binding()->Readable(5000));
    EXPECT_FALSE(io->Connected());
}

TEST(IdIOHandlerStack, LargeBlocksGoThroughIntact)
{
    LoopbackListener listener;
    const std::size_t size = 3 << 20;
    std::string echoed;
    std::thread peer([&] {
        ScopedFd connection = listener.Accept();
        echoed = ReadBytes(connection.Get(), size);
        WriteAll(connection.Get(), echoed);
    });
    auto io = Handler("127.0.0.1", listener.Port());
    io->Open();
    TIdBytes data(size);
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    io->Write(data);
    TIdBytes back;
    io->ReadBytes(back, static_cast<std::int32_t>(size));
    peer.join();
    EXPECT_TRUE(back == data);
}

TEST(IdIOHandlerStack, IPv6Loopback)
{
    std::unique_ptr<ScriptedServer> server;
    try {
        server = std::make_unique<ScriptedServer>(true);
    } catch (const std::runtime_error&) {
        GTEST_SKIP() << "no IPv6 loopback on this machine";
    }
    server->Send("over six\r\n");
    server->Start();
    auto io = Handler("::1", server->Port(), TIdIPVersion::Id_IPv6);
    StatusLog status(*io);
    io->Open();
    EXPECT_EQ(status.Texts, std::vector<String>{u"Connecting to ::1."});
    EXPECT_EQ(io->ReadLn(), u"over six");
    EXPECT_EQ(io->Binding()->IPVersion(), TIdIPVersion::Id_IPv6);
}

TEST(IdIOHandlerStack, DestinationJoinsAndSplitsHostAndPort)
{
    auto io = MakeComponent<TIdIOHandlerStack>();
    io->SetDefaultPort(25);
    io->SetDestination(u"mail.example.com:465");
    EXPECT_EQ(io->Host(), u"mail.example.com");
    EXPECT_EQ(io->Port(), 465);
    EXPECT_EQ(io->Destination(), u"mail.example.com:465");
    io->SetPort(25);
    EXPECT_EQ(io->Destination(), u"mail.example.com"); // the default port is left out

    io->SetDestination(u"::1: 587 ");
    EXPECT_EQ(io->Host(), u"::1"); // split at the last colon
    EXPECT_EQ(io->Port(), 587);
    io->SetDestination(u"host:smtp");
    EXPECT_EQ(io->Port(), 25); // not a number: the default port
    io->SetDestination(u"host:70000");
    EXPECT_EQ(io->Port(), 25); // no port either
    io->SetDestination(u"nocolon");
    EXPECT_EQ(io->Host(), u"host"); // nothing changes
}

TEST(IdIOHandlerStack, IsTheDefaultHandlerClass)
{
    EXPECT_TRUE(TIdIOHandlerStack::DefaultClassRegistered());
    EXPECT_NE(dynamic_cast<TIdIOHandlerStack*>(TIdIOHandler::MakeDefaultIOHandler().get()), nullptr);
    EXPECT_NE(TIdIOHandler::MakeIOHandler<TIdIOHandlerSocket>(), nullptr);
}
