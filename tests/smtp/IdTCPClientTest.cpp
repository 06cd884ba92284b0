// The client's lifecycle against real loopback peers: connect and disconnect with
// their status reports and goodbye, failures that leave the client idle, and the
// settings that the client keeps in step with its handler.

#include "net/IdIOHandlerStack.h"
#include "smtp/IdReplySMTP.h"
#include "smtp/IdTCPClient.h"
#include "support/Caught.h"
#include "support/LoopbackPeer.h"
#include "support/RaisedMessage.h"
#include "support/ScriptedServer.h"

#include <gtest/gtest.h>

namespace {

// A client that says goodbye with QUIT, as the SMTP client does.
class TQuittingClient : public TIdTCPClient {
public:
    using TIdTCPClient::TIdTCPClient;

protected:
    TIdReplyClass DefaultReplyClass() const override { return &CreateWithReplyTexts<TIdReplySMTP>; }
    void DisconnectNotifyPeer() override { SendCmd(u"QUIT", 221); }
};

class IdTCPClient : public ::testing::Test {
protected:
    void SetUp() override { TIdIOHandler::SetDefaultClass<TIdIOHandlerStack>(); }

    std::unique_ptr<TQuittingClient> Client(std::uint16_t port)
    {
        auto client = MakeComponent<TQuittingClient>();
        client->SetHost(u"127.0.0.1");
        client->SetPort(port);
        return client;
    }
};

} // namespace

TEST_F(IdTCPClient, MissingHostOrPortIsRefusedBeforeAnyHandlerIsMade)
{
    auto client = Client(0);
    const auto e = Caught<EIdPortRequired>([&] { client->Connect(); });
    EXPECT_EQ(e.Message(), u"");
    client->SetHost(u"");
    client->SetPort(25);
    Caught<EIdHostRequired>([&] { client->Connect(); });
    EXPECT_EQ(client->IOHandler(), nullptr);
    EXPECT_EQ(client->ComponentCount(), 0);
}

TEST_F(IdTCPClient, DialAndHangUpInOrderAndDisconnectTwice)
{
    ScriptedServer server;
    server.Send("220 ready\r\n").Reply("221 bye\r\n").Stall().Accept().Send("220 again\r\n");
    server.Start();
    auto client = Client(server.Port());
    // Who reported what, in order: the handler the client makes gets its status event.
    std::vector<String> trail;
    client->OnStatus = [&](TIdComponent* sender, TIdStatus, const String& text) {
        trail.push_back((sender == client.get() ? u"client: " : u"handler: ") + text);
    };
    int connected = 0;
    int disconnected = 0;
    client->OnConnected = [&](TComponent* sender) { connected += sender == client.get(); };
    client->OnDisconnected = [&](TComponent* sender) { disconnected += sender == client.get(); };

    client->Connect();
    EXPECT_EQ(RaisedMessage([&] { client->Connect(); }), u"Already connected.");
    EXPECT_EQ(client->GetResponse(220), 220);
    TIdIOHandler* handler = client->IOHandler();
    EXPECT_TRUE(client->ManagedIOHandler());
    client->Disconnect();
    client->Disconnect(); // finds the handler closed: no goodbye, no reports
    EXPECT_EQ(trail, (std::vector<String>{u"handler: Connecting to 127.0.0.1.", u"client: Connected.",
                                                  u"client: Disconnecting.", u"client: Disconnected."}));
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(disconnected, 1);
    EXPECT_EQ(client->LastCmdResult().NumericCode(), 221); // kept after the disconnect

    client->Connect(); // the handler survives and is used again
    EXPECT_EQ(client->IOHandler(), handler);
    EXPECT_EQ(client->GetResponse(220), 220);
    ASSERT_TRUE(server.WaitDone());
    EXPECT_EQ(server.Lines(), std::vector<std::string>{"QUIT"});
}

TEST_F(IdTCPClient, NoGoodbyeToAPeerThatHasClosed)
{
    ScriptedServer server;
    server.Send("220 ready\r\n").Close();
    server.Start();
    auto client = Client(server.Port());
    client->Connect();
    EXPECT_EQ(client->GetResponse(220), 220);
    Caught<EIdConnClosedGracefully>([&] { client->GetResponse(250); });
    EXPECT_FALSE(client->Connected());
    EXPECT_EQ(RaisedMessage([&] { client->Disconnect(); }), u"(nothing raised)");
    EXPECT_EQ(server.Received(), "");
}

TEST_F(IdTCPClient, FailedConnectLeavesTheClientIdle)
{
    LoopbackListener closedPort(false, /*listen=*/false);
    auto client = Client(closedPort.Port());
    EXPECT_EQ(Caught<EIdSocketError>([&] { client->Connect(); }).LastError(), 10061);
    EXPECT_EQ(client->IOHandler(), nullptr); // the handler it made is freed
    EXPECT_EQ(client->ComponentCount(), 0);

    // A handler attached from outside stays, closed.
    auto handler = MakeComponent<TIdIOHandlerStack>();
    client->SetIOHandler(handler.get());
    Caught<EIdSocketError>([&] { client->Connect(); });
    EXPECT_EQ(client->IOHandler(), handler.get());
    EXPECT_FALSE(handler->Opened());
}

TEST_F(IdTCPClient, SettingsReachTheHandlerAndItsSocket)
{
    auto client = Client(2525);
    client->SetReadTimeout(1000);
    client->SetConnectTimeout(3000);
    client->SetUseNagle(false);
    client->SetBoundIP(u"127.0.0.1");
    int bound = 0;
    client->SetOnAfterBind([&](TComponent*) { ++bound; });

    auto handler = MakeComponent<TIdIOHandlerStack>();
    client->SetIOHandler(handler.get());
    EXPECT_EQ(handler->Host(), u"127.0.0.1");
    EXPECT_EQ(handler->Port(), 2525);
    EXPECT_EQ(handler->ReadTimeout(), 1000);
    EXPECT_EQ(handler->ConnectTimeout(), 3000);
    EXPECT_FALSE(handler->UseNagle());
    EXPECT_EQ(handler->BoundIP(), u"127.0.0.1");

    client->SetReadTimeout(5000); // at once, not only at the next connect
    EXPECT_EQ(handler->ReadTimeout(), 5000);
    handler->SetReadTimeout(7000);
    EXPECT_EQ(client->ReadTimeout(), 7000); // the handler's value is the answer

    ScriptedServer server;
    server.Send("220 ready\r\n");
    server.Start();
    client->SetPort(server.Port());
    client->Connect();
    EXPECT_EQ(bound, 1);
    EXPECT_EQ(handler->Binding()->IP(), u"127.0.0.1");
    std::int32_t noDelay = 0;
    handler->Binding()->GetSockOpt(Id_IPPROTO_TCP, Id_TCP_NODELAY, noDelay);
    EXPECT_NE(noDelay, 0); // Nagle off on the real socket
    EXPECT_EQ(client->GetResponse(220), 220);

    handler.reset();
    EXPECT_EQ(client->IOHandler(), nullptr);
    EXPECT_EQ(client->Socket(), nullptr);
    EXPECT_EQ(client->ReadTimeout(), 5000); // the client's own value again
}
