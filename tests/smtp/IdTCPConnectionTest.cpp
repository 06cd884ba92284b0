// The command connection: replies read from real loopback peers (split, padded with
// blank lines, refused, cut off, late), commands and headers on the wire, and the
// rules for attaching handlers and intercepts.

#include "net/IdIOHandlerStack.h"
#include "smtp/IdIntercept.h"
#include "smtp/IdReplySMTP.h"
#include "smtp/IdTCPClient.h"
#include "support/Caught.h"
#include "support/RaisedMessage.h"
#include "support/ScriptedIOHandler.h"
#include "support/ScriptedServer.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// A client with SMTP replies that upper-cases its commands before they leave.
class TShoutingClient : public TIdTCPClient {
public:
    using TIdTCPClient::TIdTCPClient;

protected:
    TIdReplyClass DefaultReplyClass() const override { return &CreateWithReplyTexts<TIdReplySMTP>; }
    void PrepareCommand(String& AOut) override { AOut = UpperCase(AOut); }
};

class IdTCPConnectionLoopback : public ::testing::Test {
protected:
    void SetUp() override { TIdIOHandler::SetDefaultClass<TIdIOHandlerStack>(); }

    std::unique_ptr<TShoutingClient> Connected()
    {
        Server.Start();
        auto client = MakeComponent<TShoutingClient>();
        client->SetHost(u"127.0.0.1");
        client->SetPort(Server.Port());
        client->Connect();
        return client;
    }

    ScriptedServer Server;
};

} // namespace

TEST_F(IdTCPConnectionLoopback, RepliesSplitAcrossPacketsWithBlankLinesInside)
{
    Server.Send("250-first\r\n")
        .Pause(20ms)
        .Send("\r\n250-sec")
        .Pause(20ms)
        .Send("ond\r\n   \r\n\r\n250 last\r")
        .Pause(20ms)
        .Send("\n");
    auto client = Connected();
    EXPECT_EQ(client->GetResponse(250), 250);
    EXPECT_EQ(client->LastCmdResult().Text().Text(), u"first\r\nsecond\r\nlast\r\n");
}

TEST_F(IdTCPConnectionLoopback, RefusedReplyIsRaisedAndTheConnectionStaysInStep)
{
    Server.Send("220 ready\r\n")
        .Reply("421 4.3.2 busy\r\n")
        .Reply("421-4.3.2 still\r\n421 4.3.2 busy\r\n")
        .Reply("251 2.1.5 forwarded\r\n")
        .Reply("250 2.0.0 OK\r\n");
    auto client = Connected();
    EXPECT_EQ(client->GetResponse(u""), u"220");
    EXPECT_EQ(client->SendCmd(u"noop", -1), 421);

    const auto e = Caught<EIdSMTPReplyError>([&] { client->SendCmd(u"noop", 250); });
    EXPECT_EQ(e.ErrorCode(), 421);
    EXPECT_EQ(e.Message(), u"still\r\nbusy\r\n");
    EXPECT_EQ(e.EnhancedCode().ReplyAsStr(), u"4.3.2");
    EXPECT_TRUE(client->Connected());

    EXPECT_EQ(client->SendCmd(u"rcpt", {250, 251}), 251);
    EXPECT_EQ(client->SendCmd(u"rset", u"250"), u"250");
    ASSERT_TRUE(Server.WaitDone());
    EXPECT_EQ(Server.Lines(), (std::vector<std::string>{"NOOP", "NOOP", "RCPT", "RSET"}));
}

TEST_F(IdTCPConnectionLoopback, PeerClosingInsideAReply)
{
    Server.Send("250-one\r\n").Close();
    auto client = Connected();
    const auto e = Caught<EIdConnClosedGracefully>([&] { client->GetResponse(250); });
    EXPECT_EQ(e.Message(), u"Connection Closed Gracefully.");
}

TEST_F(IdTCPConnectionLoopback, SilentPeerTimesOut)
{
    Server.Stall();
    auto client = Connected();
    client->SetReadTimeout(500);
    EXPECT_EQ(client->IOHandler()->ReadLn(), u"");
    EXPECT_TRUE(client->IOHandler()->ReadLnTimedout());
    const auto e = Caught<EIdReadTimeout>([&] { client->GetResponse(250); });
    EXPECT_EQ(e.Message(), u"Read timed out.");
    EXPECT_TRUE(client->Connected()); // a time-out leaves the connection open
}

// A server that never ends its reply: endless "250-" lines, short or long. A reply
// of exactly the line bound passes; one more line, or more text than the size
// bound, raises, and the client stops taking in the flood there: it holds no more
// than one receive, and most of the flood is still unsent.
TEST_F(IdTCPConnectionLoopback, EndlessReplyStopsAtItsBound)
{
    std::string full;
    for (int i = 1; i < IdReplyMaxLinesDefault; ++i)
        full += "250-line\r\n";
    full += "250 last\r\n";
    std::string flood;
    while (flood.size() < 100 * 1024)
        flood += "250-flood\r\n";
    Server.Send(full);
    for (int i = 0; i < 200; ++i) // 20 MB, more than loopback buffers hold
        Server.Send(flood);
    auto client = Connected();
    EXPECT_EQ(client->GetResponse(250), 250);
    EXPECT_EQ(client->LastCmdResult().Text().Count(), IdReplyMaxLinesDefault);

    const auto e = Caught<EIdReplyTooLong>([&] { client->GetResponse(250); });
    EXPECT_EQ(e.Message(), u"Reply too long: more than 512 lines.");
    EXPECT_EQ(e.MaxLines(), 512);
    EXPECT_LE(client->IOHandler()->InputBuffer().Size(), client->IOHandler()->RecvBufferSize());
    EXPECT_FALSE(Server.WaitDone(0ms)) << "the client read the whole flood";
}

TEST_F(IdTCPConnectionLoopback, EndlessReplyOfLongLinesStopsAtItsSize)
{
    const std::string line = "250-" + std::string(996, 'x') + "\r\n";
    std::string flood;
    while (flood.size() < 100 * 1024)
        flood += line;
    for (int i = 0; i < 200; ++i)
        Server.Send(flood);
    auto client = Connected();
    const auto e = Caught<EIdReplyTooLong>([&] { client->GetResponse(250); });
    EXPECT_EQ(e.Message(), u"Reply too long: more than 65536 bytes.");
    EXPECT_EQ(e.MaxSize(), 65536);
    EXPECT_LE(client->IOHandler()->InputBuffer().Size(), client->IOHandler()->RecvBufferSize());
    EXPECT_FALSE(Server.WaitDone(0ms)) << "the client read the whole flood";
}

// A greeting one byte at a time, each well inside the read time-out, that would be
// whole after 3 s: the time bound of the reply (1 s here) ends the wait first.
TEST_F(IdTCPConnectionLoopback, TrickledReplyEndsAtItsTimeLimit)
{
    for (const char c : std::string("220 slow greeting\r\n"))
        Server.Send(std::string(1, c)).Pause(150ms);
    auto client = Connected();
    client->SetReadTimeout(60000);
    client->SetReplyTimeLimit(1000);
    const auto e = Caught<EIdReplyTimeout>([&] { client->GetResponse(220); });
    EXPECT_EQ(e.Message(), u"Reply timed out: not complete within 1000 ms.");
    EXPECT_EQ(e.TimeLimit(), 1000);
    EXPECT_FALSE(client->IOHandler()->ReadDeadline()) << "the reply's deadline outlived it";
}

TEST_F(IdTCPConnectionLoopback, HeaderAndDotStuffedLinesOnTheWire)
{
    Server.Stall();
    auto client = Connected();
    client->WriteHeader(TStringList{u"Subject=Hi", u"X-Note=a=b", u"Plain"});
    client->WriteRFCStrings(TStringList{u".dot", u"text"});
    client->Disconnect();
    ASSERT_TRUE(Server.WaitDone());
    EXPECT_EQ(Server.Received(), "Subject: Hi\r\nX-Note: a=b\r\nPlain\r\n\r\n..dot\r\ntext\r\n.\r\n");
}

TEST(IdTCPConnection, HeaderLeavesInOneSend)
{
    auto connection = MakeComponent<TIdTCPConnection>();
    auto io = MakeScriptedIOHandler();
    connection->SetIOHandler(io.get());
    connection->WriteHeader(TStringList{u"A=1", u"B=2"});
    EXPECT_EQ(io->SendCalls(), std::vector<std::string>{"A: 1\r\nB: 2\r\n\r\n"});
}

TEST(IdTCPConnection, WithoutHandlerNothingCanBeSentOrRead)
{
    auto connection = MakeComponent<TIdTCPConnection>();
    EXPECT_FALSE(connection->Connected());
    Caught<EIdNotConnected>([&] { connection->SendCmd(u"NOOP"); });
    EXPECT_EQ(RaisedMessage([&] { connection->GetResponse(250); }), u"Not Connected");
    EXPECT_EQ(RaisedMessage([&] { connection->CheckForGracefulDisconnect(); }), u"Not Connected");
    connection->CheckForGracefulDisconnect(false);
    connection->Disconnect(); // nothing to close
}

TEST(IdTCPConnection, ReplyErrorsOfTheChosenClass)
{
    auto connection = MakeComponent<TIdTCPConnection>();
    auto io = MakeScriptedIOHandler();
    io->Receive("550-first\r\n550 second\r\n").Receive("500 x\r\n");
    connection->SetIOHandler(io.get());
    const auto e = Caught<EIdReplyRFCError>([&] { connection->GetResponse(250); });
    EXPECT_EQ(e.ErrorCode(), 550); // the plain connection's replies are RFC replies
    EXPECT_EQ(RaisedMessage([&] { connection->RaiseExceptionForLastCmdResult<EIdTCPConnectionError>(); }),
              u"first\r\nsecond\r\n");
    EXPECT_EQ(RaisedMessage([&] { connection->GetResponse(u"250"); }), u"x\r\n");
}

TEST(IdTCPConnection, AttachedHandlerIsWatchedAndManagedOneFreed)
{
    auto connection = MakeComponent<TIdTCPConnection>();
    std::vector<std::int64_t> progress;
    connection->OnWork = [&](TIdComponent*, TWorkMode, std::int64_t count) { progress.push_back(count); };

    auto io = MakeScriptedIOHandler();
    connection->SetIOHandler(io.get());
    EXPECT_EQ(io->WorkTarget(), connection.get());
    EXPECT_EQ(connection->Socket(), nullptr); // not a socket handler
    connection->BeginWork(TWorkMode::wmWrite);
    io->Write(TIdBytes{1, 2, 3});
    connection->EndWork(TWorkMode::wmWrite);
    EXPECT_EQ(progress, std::vector<std::int64_t>{3}); // the handler's progress reaches the connection
    io.reset();
    EXPECT_EQ(connection->IOHandler(), nullptr); // destroyed elsewhere: forgotten

    connection->CreateIOHandler<TIdIOHandlerStack>();
    ASSERT_NE(connection->IOHandler(), nullptr);
    EXPECT_TRUE(connection->ManagedIOHandler());
    EXPECT_EQ(static_cast<TIdIOHandler*>(connection->Socket()), connection->IOHandler());
    EXPECT_EQ(connection->ComponentCount(), 1);
    auto other = MakeScriptedIOHandler();
    connection->SetIOHandler(other.get());
    EXPECT_EQ(connection->ComponentCount(), 0); // the managed handler is freed
    EXPECT_FALSE(connection->ManagedIOHandler());

    // An open handler with a live peer cannot be swapped for a new one.
    EXPECT_EQ(RaisedMessage([&] { connection->CreateIOHandler<TIdIOHandlerStack>(); }),
              u"Cannot change a connected IOHandler.");
}

TEST(IdTCPConnection, InterceptsMustAgree)
{
    auto connection = MakeComponent<TIdTCPConnection>();
    auto mine = MakeComponent<TIdConnectionIntercept>();
    auto theirs = MakeComponent<TIdConnectionIntercept>();
    auto io = MakeScriptedIOHandler();
    io->SetIntercept(theirs.get());
    connection->SetIntercept(mine.get());
    const String conflict = u"The IOHandler already has a different Intercept assigned";
    EXPECT_EQ(RaisedMessage([&] { connection->SetIOHandler(io.get()); }), conflict);

    io->SetIntercept(nullptr);
    connection->SetIOHandler(io.get());
    EXPECT_EQ(io->Intercept(), mine.get()); // handed to the handler
    EXPECT_EQ(RaisedMessage([&] { connection->SetIntercept(theirs.get()); }), conflict);
    mine.reset();
    EXPECT_EQ(connection->Intercept(), nullptr);
}
