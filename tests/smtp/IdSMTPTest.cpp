// The SMTP client's exact dialogue with a scripted server: what it sends for the
// greeting, EHLO/HELO, login, the transaction and QUIT, and what it does with each
// refusal. The whole road against a real server is in IdSMTPDeliveryTest.cpp.

#include "smtp/IdSMTP.h"

#include "mail/IdEMailAddress.h"
#include "mail/IdMessage.h"
#include "net/IdIOHandlerStack.h"
#include "net/IdStack.h"
#include "smtp/IdReplySMTP.h"
#include "support/Caught.h"
#include "support/RaisedMessage.h"
#include "support/ScriptedServer.h"
#include "support/SmtpClientSetup.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const std::string kGreeting = "220 mail.test ESMTP\r\n";
const std::string kEhlo = "250-mail.test greets orvant.test\r\n250-PIPELINING\r\n250-STARTTLS\r\n"
                          "250 AUTH LOGIN PLAIN\r\n";
const std::string kOk = "250 2.0.0 OK\r\n";

class SmtpDialogue : public ::testing::Test {
protected:
    void SetUp() override { TIdIOHandler::SetDefaultClass<TIdIOHandlerStack>(); }

    // The greeting and a 250 to EHLO with the given capability lines.
    ScriptedServer& Greeted(const std::string& ehlo = kEhlo) { return Server.Send(kGreeting).Reply(ehlo); }

    // Starts the server and connects a plain client to it.
    std::unique_ptr<TIdSMTP> Connected()
    {
        Server.Start();
        auto smtp = MakeSmtpClient(Server.Port());
        smtp->Connect();
        return smtp;
    }

    // A message whose lines on the wire are known: its Headers, an empty line and its
    // Body, as they stand.
    std::unique_ptr<TIdMessage> Message(const String& from = u"loja@example.com",
                                        const std::vector<String>& to = {u"contador@example.com"})
    {
        auto msg = MakeComponent<TIdMessage>();
        msg->From().SetAddress(from);
        for (const String& address : to)
            msg->Recipients().Add().SetAddress(address);
        msg->SetNoEncode(true);
        msg->Headers().Add(u"Subject: teste");
        msg->Body().Add(u"linha");
        return msg;
    }
    // The message lines of Message() and the final dot, with the reply to the dot.
    static void MessageLines(ScriptedServer& server, const std::string& dotReply = kOk)
    {
        server.ReadLine().ReadLine().ReadLine().Reply(dotReply);
    }
    static constexpr const char* kMessageWire = "Subject: teste\r\n\r\nlinha\r\n.\r\n";

    // Everything the client sent, once the script has ended.
    std::string Transcript()
    {
        EXPECT_TRUE(Server.WaitDone()) << Server.Error();
        return Server.Received();
    }

    ScriptedServer Server;
};

} // namespace

// --- Session ------------------------------------------------------------------------------

TEST_F(SmtpDialogue, EhloFillsTheCapabilitiesAndQuitEndsTheSession)
{
    Greeted().Reply("221 bye\r\n").Stall();
    auto smtp = Connected();
    EXPECT_EQ(smtp->Capabilities().Text(), u"PIPELINING\r\nSTARTTLS\r\nAUTH LOGIN PLAIN\r\n");
    EXPECT_TRUE(smtp->SupportsTLS());
    smtp->Disconnect();
    EXPECT_EQ(Transcript(), "EHLO orvant.test\r\nQUIT\r\n");
    EXPECT_FALSE(smtp->Connected());
    EXPECT_EQ(smtp->Capabilities().Count(), 3) << "the list outlives the session";
}

TEST_F(SmtpDialogue, WithoutHeloNameTheLocalHostNameIntroducesTheClient)
{
    Greeted().Stall();
    Server.Start();
    auto smtp = MakeSmtpClient(Server.Port());
    smtp->SetHeloName(u"");
    smtp->Connect();
    const String host = GStack().HostName();
    ASSERT_FALSE(host.empty());
    smtp->Disconnect(false);
    EXPECT_EQ(Transcript(), "EHLO " + ToUtf8(host) + "\r\n");
}

// A refused greeting or HELO ends the connection without QUIT; a refused QUIT is
// raised after the connection is closed.
TEST_F(SmtpDialogue, RefusalsWhileOpeningAndClosing)
{
    Server.Send("554 5.7.1 go away\r\n").Stall();
    Server.Start();
    auto smtp = MakeSmtpClient(Server.Port());
    const auto greeting = Caught<EIdSMTPReplyError>([&] { smtp->Connect(); });
    EXPECT_EQ(greeting.ErrorCode(), 554);
    EXPECT_EQ(greeting.EnhancedCode().ReplyAsStr(), u"5.7.1");
    EXPECT_FALSE(smtp->Connected());
    EXPECT_EQ(Transcript(), "");

    ScriptedServer helo;
    helo.Send(kGreeting).Reply("500 no\r\n").Reply("501 no either\r\n").Stall();
    helo.Start();
    smtp->SetPort(helo.Port());
    EXPECT_EQ(Caught<EIdSMTPReplyError>([&] { smtp->Connect(); }).ErrorCode(), 501);
    EXPECT_TRUE(helo.WaitDone());
    EXPECT_EQ(helo.Received(), "EHLO orvant.test\r\nHELO orvant.test\r\n");

    ScriptedServer quit;
    quit.Send(kGreeting).Reply(kEhlo).Reply("500 not now\r\n").Stall();
    quit.Start();
    smtp->SetPort(quit.Port());
    smtp->Connect();
    EXPECT_EQ(Caught<EIdSMTPReplyError>([&] { smtp->Disconnect(); }).ErrorCode(), 500);
    EXPECT_FALSE(smtp->Connected());
}

TEST_F(SmtpDialogue, ExpandAndVerify)
{
    Greeted()
        .Reply("250-Ana <ana@example.com>\r\n250 Rui <rui@example.com>\r\n")
        .Reply("252 cannot verify\r\n")
        .Reply("251 forwarded <x@example.org>\r\n")
        .Stall();
    auto smtp = Connected();
    TStringList members;
    smtp->Expand(u"equipe", members);
    EXPECT_EQ(members.Text(), u"Ana <ana@example.com>\r\nRui <rui@example.com>\r\n");
    EXPECT_EQ(Caught<EIdSMTPReplyError>([&] { smtp->Verify(u"ana"); }).ErrorCode(), 252);
    EXPECT_EQ(smtp->Verify(u"x"), u"forwarded <x@example.org>");
    smtp->Disconnect(false);
    EXPECT_EQ(Transcript(), "EHLO orvant.test\r\nEXPN equipe\r\nVRFY ana\r\nVRFY x\r\n");
}

// --- Login --------------------------------------------------------------------------------

TEST_F(SmtpDialogue, AuthLoginSendsUserAndPasswordInBase64OncePerConnection)
{
    Greeted()
        .Reply("334 VXNlcm5hbWU6\r\n")
        .Reply("334 UGFzc3dvcmQ6\r\n")
        .Reply("235 2.7.0 welcome\r\n")
        .Stall();
    auto smtp = Connected();
    smtp->SetUsername(u"a"); // one character: four base64 characters ending in "=="
    smtp->SetPassword(u"segredo-123");
    EXPECT_TRUE(smtp->Authenticate());
    EXPECT_TRUE(smtp->DidAuthenticate());
    EXPECT_TRUE(smtp->Authenticate()) << "sends nothing a second time";
    smtp->Disconnect(false);
    EXPECT_FALSE(smtp->DidAuthenticate());
    EXPECT_EQ(Transcript(), "EHLO orvant.test\r\nAUTH LOGIN\r\nYQ==\r\nc2VncmVkby0xMjM=\r\n");
}

TEST_F(SmtpDialogue, LoginChoicesThatSendNothingOrTryAnyway)
{
    // Only PLAIN offered: with the capability check nothing is sent; without it the
    // client tries and gets the server's answer.
    Greeted("250-mail.test\r\n250 AUTH PLAIN\r\n").Reply("504 5.5.4 unrecognised\r\n").Stall();
    auto smtp = Connected();
    EXPECT_FALSE(smtp->Authenticate()) << "no user name";
    smtp->SetUsername(u"loja@example.com");
    EXPECT_FALSE(smtp->Authenticate());
    smtp->SetValidateAuthLoginCapability(false);
    EXPECT_EQ(Caught<EIdSMTPReplyError>([&] { smtp->Authenticate(); }).ErrorCode(), 504);
    smtp->SetAuthType(TIdSMTPAuthenticationType::satNone);
    EXPECT_TRUE(smtp->Authenticate());
    smtp->Disconnect(false);
    EXPECT_EQ(Transcript(), "EHLO orvant.test\r\nAUTH LOGIN\r\n");
}

// --- Transaction --------------------------------------------------------------------------

TEST_F(SmtpDialogue, EnvelopeSenderAndRecipientsInOrder)
{
    Greeted().Reply(kOk).Reply(kOk).Reply(kOk).Reply(kOk).Reply(kOk).Reply("354 go\r\n");
    MessageLines(Server);
    Server.Reply(kOk).Reply(kOk).Reply("354 go\r\n");
    MessageLines(Server);
    Server.Stall();
    auto smtp = Connected();
    smtp->SetAuthType(TIdSMTPAuthenticationType::satNone);

    auto msg = Message(u"autor@example.com", {u"a@example.com", u"b@example.com"});
    msg->CCList().Add().SetAddress(u"c@example.com");
    msg->BccList().Add().SetAddress(u"a@example.com");
    msg->Sender().SetAddress(u"  envelope@example.com ");
    smtp->Send(*msg);

    msg->Sender().SetAddress(u"");
    TIdEMailAddressList only;
    only.Add().SetAddress(u"d@example.com");
    smtp->Send(*msg, only);
    smtp->Disconnect(false);
    EXPECT_EQ(Transcript(), std::string("EHLO orvant.test\r\n"
                                        "MAIL FROM:<envelope@example.com>\r\n"
                                        "RCPT TO:<a@example.com>\r\nRCPT TO:<b@example.com>\r\n"
                                        "RCPT TO:<c@example.com>\r\nRCPT TO:<a@example.com>\r\n"
                                        "DATA\r\n") +
                                kMessageWire +
                                "MAIL FROM:<autor@example.com>\r\nRCPT TO:<d@example.com>\r\nDATA\r\n" +
                                kMessageWire);
}

TEST_F(SmtpDialogue, VerpAndMailAgent)
{
    Greeted("250-mail.test\r\n250 VERP\r\n").Reply(kOk).Reply(kOk).Reply("354 go\r\n");
    MessageLines(Server);
    Server.Reply(kOk).Reply(kOk).Reply("354 go\r\n");
    MessageLines(Server);
    Server.Stall();
    auto smtp = Connected();
    smtp->SetAuthType(TIdSMTPAuthenticationType::satNone);
    smtp->SetUseVerp(true);
    auto msg = Message();
    msg->ExtraHeaders().SetValue(u"X-Mailer", u"placed by the application");
    smtp->Send(*msg);
    EXPECT_EQ(msg->ExtraHeaders().IndexOfName(u"X-Mailer"), -1) << "an empty agent removes it";

    smtp->Capabilities().Clear(); // a server without VERP gets the older XVERP
    smtp->SetVerpDelims(u"+=");
    smtp->SetMailAgent(u"Orvant 1.0");
    smtp->Send(*msg);
    EXPECT_EQ(msg->ExtraHeaders().Values(u"X-Mailer"), u"Orvant 1.0");
    smtp->Disconnect(false);
    EXPECT_EQ(Transcript(), std::string("EHLO orvant.test\r\n"
                                        "MAIL FROM:<loja@example.com> VERP\r\nRCPT TO:<contador@example.com>\r\n"
                                        "DATA\r\n") +
                                kMessageWire +
                                "MAIL FROM:<loja@example.com> XVERP=+=\r\nRCPT TO:<contador@example.com>\r\n"
                                "DATA\r\n" +
                                kMessageWire);
}

// Every refusal after MAIL FROM is followed by RSET and raised as the refusing
// reply; MAIL FROM's own refusal needs no RSET.
TEST_F(SmtpDialogue, RefusalsInTheTransaction)
{
    const std::string refused = "550 5.1.1 <a@example.com>: unknown\r\n";
    Greeted()
        .Reply("553 5.1.8 bad sender\r\n")                                  // MAIL
        .Reply(kOk).Reply(refused).Reply(kOk)                                 // MAIL, RCPT a, RSET
        .Reply(kOk).Reply(kOk).Reply("554 5.5.0 no data\r\n").Reply(kOk)     // MAIL, RCPT, DATA, RSET
        .Reply(kOk).Reply(kOk).Reply("354 go\r\n");
    MessageLines(Server, "552 5.3.4 too big\r\n");
    Server.Reply(kOk)                                                         // RSET
        .Reply(kOk).Reply("503 5.5.1 no recipients\r\n").Reply(kOk)         // MAIL, DATA, RSET
        .Stall();
    auto smtp = Connected();
    smtp->SetAuthType(TIdSMTPAuthenticationType::satNone);
    auto msg = Message(u"loja@example.com", {u"a@example.com", u"b@example.com"});
    EXPECT_EQ(Caught<EIdSMTPReplyError>([&] { smtp->Send(*msg); }).ErrorCode(), 553);
    const auto recipient = Caught<EIdSMTPReplyError>([&] { smtp->Send(*msg); });
    EXPECT_EQ(recipient.ErrorCode(), 550);
    EXPECT_EQ(recipient.Message(), u"<a@example.com>: unknown\r\n");
    EXPECT_EQ(recipient.EnhancedCode().ReplyAsStr(), u"5.1.1");
    auto one = Message();
    EXPECT_EQ(Caught<EIdSMTPReplyError>([&] { smtp->Send(*one); }).ErrorCode(), 554);
    EXPECT_EQ(Caught<EIdSMTPReplyError>([&] { smtp->Send(*one); }).ErrorCode(), 552);
    one->Recipients().Clear();
    EXPECT_EQ(Caught<EIdSMTPReplyError>([&] { smtp->Send(*one); }).ErrorCode(), 503);
    smtp->Disconnect(false);
    const std::string mail = "MAIL FROM:<loja@example.com>\r\n";
    const std::string rcpt = "RCPT TO:<contador@example.com>\r\n";
    EXPECT_EQ(Transcript(), "EHLO orvant.test\r\n" + mail +                                   //
                                mail + "RCPT TO:<a@example.com>\r\nRSET\r\n" +                 //
                                mail + rcpt + "DATA\r\nRSET\r\n" +                            //
                                mail + rcpt + "DATA\r\n" + kMessageWire + "RSET\r\n" +         //
                                mail + "DATA\r\nRSET\r\n");
}

// A handler that lets refused recipients pass: the accepted ones get the message;
// when none is accepted, the last refusal is raised after RSET.
TEST_F(SmtpDialogue, FailedRecipientHandlerDecidesWhetherToGoOn)
{
    const std::string refused = "550 5.1.1 unknown\r\n";
    Greeted().Reply(kOk).Reply(refused).Reply(kOk).Reply("354 go\r\n");
    MessageLines(Server);
    Server.Reply(kOk).Reply(refused).Reply("551 5.1.6 moved\r\n").Reply(kOk).Stall();
    auto smtp = Connected();
    smtp->SetAuthType(TIdSMTPAuthenticationType::satNone);
    std::vector<std::string> asked;
    smtp->OnFailedRecipient = [&](TComponent* sender, const String& address, const String& code, const String& text,
                                  bool& goOn) {
        EXPECT_EQ(sender, smtp.get());
        EXPECT_TRUE(goOn);
        asked.push_back(ToUtf8(address + u" " + code + u" " + text));
    };
    auto msg = Message(u"loja@example.com", {u"x@example.com", u"y@example.com"});
    smtp->Send(*msg);
    EXPECT_EQ(Caught<EIdSMTPReplyError>([&] { smtp->Send(*msg); }).ErrorCode(), 551);
    smtp->Disconnect(false);
    EXPECT_EQ(asked, (std::vector<std::string>{"x@example.com 550 unknown\r\n", "x@example.com 550 unknown\r\n",
                                               "y@example.com 551 moved\r\n"}));
    const std::string envelope =
        "MAIL FROM:<loja@example.com>\r\nRCPT TO:<x@example.com>\r\nRCPT TO:<y@example.com>\r\n";
    EXPECT_EQ(Transcript(), "EHLO orvant.test\r\n" + envelope + "DATA\r\n" + kMessageWire + envelope + "RSET\r\n");
}

// --- Pipelining ---------------------------------------------------------------------------

// The replies are read after the group; the message still goes out when DATA was
// accepted, and the first refusal (here MAIL FROM's) is raised after RSET.
TEST_F(SmtpDialogue, PipelinedGroupKeepsTheFirstRefusal)
{
    Greeted().ReadLine().ReadLine().ReadLine().Send("550 5.7.1 sender refused\r\n550 5.1.1 unknown\r\n354 go\r\n");
    MessageLines(Server);
    Server.Reply(kOk).Stall();
    auto smtp = Connected();
    smtp->SetAuthType(TIdSMTPAuthenticationType::satNone);
    smtp->SetPipeLine(true);
    auto msg = Message();
    const auto e = Caught<EIdSMTPReplyError>([&] { smtp->Send(*msg); });
    EXPECT_EQ(e.ErrorCode(), 550);
    EXPECT_EQ(e.Message(), u"sender refused\r\n");
    smtp->Disconnect(false);
    EXPECT_EQ(Transcript(), std::string("EHLO orvant.test\r\nMAIL FROM:<loja@example.com>\r\n"
                                        "RCPT TO:<contador@example.com>\r\nDATA\r\n") +
                                kMessageWire + "RSET\r\n");
}

// --- Line breaks from data ------------------------------------------------------------------

// An address, a HELO name or a user name with a CR or LF would end the command early
// and add one of its own: the command is refused before any of it is written.
TEST_F(SmtpDialogue, LineBreaksInDataNeverReachTheWire)
{
    Greeted().ReadLine().ReadLine().ReadLine().Send(std::string(kOk) + kOk + "354 go\r\n");
    MessageLines(Server);
    Server.Reply(kOk).Stall();
    auto smtp = Connected();
    smtp->SetAuthType(TIdSMTPAuthenticationType::satNone);
    const String refusedRcpt = u"The RCPT command was not sent: a value in it contains a line break (CR or LF).";
    EXPECT_EQ(RaisedMessage([&] { smtp->Verify(u"ana\r\nRCPT TO:<x@example.org>"); }),
              u"The VRFY command was not sent: a value in it contains a line break (CR or LF).");
    EXPECT_EQ(RaisedMessage([&] { smtp->SendCmd(u"\nQUIT"); }),
              u"A command was not sent: a value in it contains a line break (CR or LF).");

    // Pipelined, the whole group is dropped, so the next group finds a clean session.
    smtp->SetPipeLine(true);
    auto msg = Message(u"loja@example.com", {u"a@example.com>\r\nDATA"});
    EXPECT_EQ(RaisedMessage([&] { smtp->Send(*msg); }), refusedRcpt);
    msg->Recipients()[0].SetAddress(u"a@example.com");
    smtp->Send(*msg);
    // Lock-step, the commands before it have gone (the session is then mid-transaction,
    // as after any failure that is not the server's refusal).
    smtp->SetPipeLine(false);
    msg->Recipients()[0].SetAddress(u"a@example.com\n");
    EXPECT_EQ(RaisedMessage([&] { smtp->Send(*msg); }), refusedRcpt);
    smtp->Disconnect(false);
    EXPECT_EQ(Transcript(), std::string("EHLO orvant.test\r\n"
                                        "MAIL FROM:<loja@example.com>\r\nRCPT TO:<a@example.com>\r\nDATA\r\n") +
                                kMessageWire + "MAIL FROM:<loja@example.com>\r\n");
}

TEST_F(SmtpDialogue, LineBreakInTheHeloNameEndsTheConnectWithoutSendingIt)
{
    Server.Send(kGreeting).Stall();
    Server.Start();
    auto smtp = MakeSmtpClient(Server.Port());
    smtp->SetHeloName(u"orvant.test\r\nMAIL FROM:<spam@example.org>");
    EXPECT_EQ(RaisedMessage([&] { smtp->Connect(); }),
              u"The EHLO command was not sent: a value in it contains a line break (CR or LF).");
    EXPECT_FALSE(smtp->Connected());
    EXPECT_EQ(Transcript(), "");
}

// --- STARTTLS refused or not offered --------------------------------------------------------

namespace {

class StartTlsDialogue : public SmtpDialogue {
protected:
    // A client with a TLS handler in the mode logs in (satNone) to a server that
    // greets, answers EHLO with `ehlo` and the next commands with `replies`. Returns
    // what Authenticate raised; Sent holds what the client sent.
    String Upgrade(TIdUseTLS mode, const std::string& ehlo, const std::vector<std::string>& replies,
                   const std::function<void(TIdSMTP&)>& setup = {})
    {
        ScriptedServer server;
        server.Send(kGreeting).Reply(ehlo);
        for (const std::string& reply : replies)
            server.Reply(reply);
        server.Stall();
        server.Start();
        auto io = MakeSmtpTlsHandler();
        auto smtp = MakeSmtpClient(server.Port(), io.get(), mode);
        smtp->SetAuthType(TIdSMTPAuthenticationType::satNone);
        if (setup)
            setup(*smtp);
        smtp->Connect();
        const String raised = RaisedMessage([&] { smtp->Authenticate(); });
        StillConnected = smtp->Connected();
        smtp->Disconnect(false);
        EXPECT_TRUE(server.WaitDone()) << server.Error();
        Sent = server.Received();
        return raised;
    }

    std::string Sent;
    bool StillConnected = false;
};

const std::string kNoOffer = "250-mail.test\r\n250 AUTH LOGIN\r\n";
const std::string kOffer = "250-mail.test\r\n250 STARTTLS\r\n";
const std::string kRefused = "454 4.7.0 TLS not available\r\n";
const std::string kBye = "221 bye\r\n";

} // namespace

TEST_F(StartTlsDialogue, ServerWithoutStartTls)
{
    // Explicit TLS goes on in plain text unless the event says no; required TLS never.
    auto refuse = [](TIdSMTP& smtp) {
        smtp.OnTLSNotAvailable = [&smtp](TComponent* sender, bool& goOn) {
            EXPECT_EQ(sender, &smtp);
            EXPECT_TRUE(goOn);
            goOn = false;
        };
    };
    EXPECT_EQ(Upgrade(TIdUseTLS::utUseExplicitTLS, kNoOffer, {kBye}, refuse),
              u"Start SSL negotiation command failed.");
    EXPECT_EQ(Sent, "EHLO orvant.test\r\nQUIT\r\n");
    EXPECT_FALSE(StillConnected);

    EXPECT_EQ(Upgrade(TIdUseTLS::utUseRequireTLS, kNoOffer, {kBye}), u"Start SSL negotiation command failed.");
    EXPECT_EQ(Sent, "EHLO orvant.test\r\nQUIT\r\n");
}

TEST_F(StartTlsDialogue, StartTlsRefused)
{
    auto goOn = [](TIdSMTP& smtp) {
        smtp.OnTLSNegCmdFailed = [](TComponent*, bool& continueSession) {
            EXPECT_FALSE(continueSession);
            continueSession = true;
        };
    };
    EXPECT_EQ(Upgrade(TIdUseTLS::utUseExplicitTLS, kOffer, {kRefused}, goOn), u"(nothing raised)");
    EXPECT_EQ(Sent, "EHLO orvant.test\r\nSTARTTLS\r\n");
    EXPECT_TRUE(StillConnected);

    // Required: the event is not asked.
    const auto event = [](TIdSMTP& smtp) { smtp.OnTLSNegCmdFailed = [](TComponent*, bool&) { FAIL(); }; };
    EXPECT_EQ(Upgrade(TIdUseTLS::utUseRequireTLS, kOffer, {kRefused, kBye}, event),
              u"SSL is not available on this server.");
    EXPECT_EQ(Sent, "EHLO orvant.test\r\nSTARTTLS\r\nQUIT\r\n");
}
