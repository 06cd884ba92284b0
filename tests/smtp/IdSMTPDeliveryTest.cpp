// The SMTP client against a real server (tests/support/smtp_server.py on aiosmtpd):
// the mail dispatch's road over implicit TLS, read back from the stored file by
// Python's email package, and the cases where the server says no, changes the
// dialogue or goes away.

#include "smtp/IdSMTP.h"

#include "mail/IdAttachmentFile.h"
#include "mail/IdEMailAddress.h"
#include "mail/IdMessage.h"
#include "mail/IdText.h"
#include "net/IdSSLOpenSSLHeaders.h"
#include "smtp/IdReplySMTP.h"
#include "smtp/IdSASLLogin.h"
#include "smtp/IdSASLPlain.h"
#include "support/Caught.h"
#include "support/DispatchMessage.h"
#include "support/ExternalProgram.h"
#include "support/RaisedMessage.h"
#include "support/SmtpClientSetup.h"
#include "support/SmtpTestServer.h"
#include "support/TestCertificates.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const std::string kUser = "automail@dravik.com.br";
const std::string kPassword = "Segr3do-2026"; // twelve characters, as the program's

class SmtpDelivery : public ::testing::Test {
protected:
    void TearDown() override { UnloadTlsLibrary(); } // as each send of the program does

    static TSmtpServerOptions Account(TSmtpServerOptions options)
    {
        options.User = kUser;
        options.Password = kPassword;
        return options;
    }

    // A client set up as the mail dispatch sets it up: the TLS handler, then the
    // mode, the default login, the account.
    std::unique_ptr<TIdSMTP> Client(const TSmtpTestServer& server, TIdUseTLS mode = TIdUseTLS::utUseImplicitTLS)
    {
        auto smtp = MakeSmtpClient(server.Port(), Tls.get(), mode);
        smtp->SetUsername(FromUtf8(kUser));
        smtp->SetPassword(FromUtf8(kPassword));
        return smtp;
    }

    // The dispatch's message, with an archive whose bytes span many writes.
    std::unique_ptr<TIdMessage> DispatchMessage()
    {
        ArchivePath = orvant::test::WriteArchive(Dir, 300000);
        return orvant::test::MakeDispatchMessage(kUser, ArchivePath);
    }

    // A plain message to the given recipients.
    static std::unique_ptr<TIdMessage> Note(const std::vector<String>& to = {u"contador@example.com"})
    {
        auto msg = MakeComponent<TIdMessage>();
        msg->From().SetAddress(FromUtf8(kUser));
        for (const String& address : to)
            msg->Recipients().Add().SetAddress(address);
        msg->SetSubject(u"nota");
        msg->Body().Add(u"corpo");
        return msg;
    }

    std::unique_ptr<TIdSSLIOHandlerSocketOpenSSL> Tls = MakeSmtpTlsHandler();
    orvant::test::TTempDir Dir;
    std::string ArchivePath;
};

bool Contains(const Lines& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace

// --- The road -----------------------------------------------------------------------------

TEST_F(SmtpDelivery, DispatchRoadOverImplicitTls)
{
    TSmtpTestServer server(Account({.Mode = TSmtpServerMode::ImplicitTls, .RequireAuth = true}));
    auto smtp = Client(server);
    EXPECT_EQ(smtp->Port(), server.Port());
    auto msg = DispatchMessage();
    smtp->Connect();
    EXPECT_EQ(smtp->Capabilities().Text(), u"8BITMIME\r\nAUTH LOGIN PLAIN\r\n");
    EXPECT_TRUE(smtp->Authenticate());
    smtp->Send(*msg);
    smtp->Disconnect();

    const TSmtpSessionLog log = server.WaitForLog([](const TSmtpSessionLog& l) { return !l.Events("close", 1).empty(); });
    ASSERT_EQ(log.Events("tls", 1).size(), 1u) << "TLS from the first byte";
    EXPECT_EQ(log.Commands(1), (Lines{"EHLO orvant.test", "AUTH LOGIN", "MAIL FROM:<" + kUser + ">",
                                      "RCPT TO:<contador@example.com>", "DATA", "QUIT"}));
    // The user name and the password each on a line of its own, in base64.
    const auto authLines = log.Events("auth-line", 1);
    ASSERT_EQ(authLines.size(), 2u);
    EXPECT_EQ(authLines[0]->Number("length"), 32); // base64 of the 22-character mailbox
    EXPECT_EQ(authLines[1]->Number("length"), 16);
    EXPECT_EQ(log.Replies(1).back(), "221 Bye");

    const auto messages = server.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].User, kUser);
    EXPECT_EQ(messages[0].MailFrom, kUser);
    EXPECT_EQ(messages[0].Recipients, Lines{"contador@example.com"});
    const TProgramResult read = RunProgram({"/usr/bin/python3", "-c", R"(
import sys, email, email.policy
msg = email.message_from_bytes(sys.stdin.buffer.read(), policy=email.policy.default)
for name in ("Subject", "From", "To", "Reply-To"):
    print(msg[name])
print(msg.get_content_type(), msg.defects)
text, archive = msg.iter_parts()
print(text.get_content_type(), text.get_content_charset(), repr(text.get_content()))
print(archive.get_content_type(), archive.get_filename(), archive.defects)
print(archive.get_payload(decode=True) == open(sys.argv[1], "rb").read())
)", ArchivePath},
                                            messages[0].Content());
    ASSERT_EQ(read.ExitCode, 0) << read.Output;
    EXPECT_EQ(read.Output, "Loja Centro - XML - Março de 2026\n"
                           "Dravik Automail <" + kUser + ">\n"
                           "Contador <contador@example.com>\n" + kUser + "\n"
                           "multipart/mixed []\n"
                           "text/plain iso-8859-1 'Segue em anexo os arquivos referentes\\r\\n'\n"
                           "application/x-7z-compressed 03.7z []\n"
                           "True\n");
}

// --- What the server offers ---------------------------------------------------------------

TEST_F(SmtpDelivery, RefusedEhloMeansHeloAndNoLogin)
{
    TSmtpTestServer server(Account({.RefuseEhlo = true}));
    auto smtp = Client(server);
    smtp->Connect();
    EXPECT_EQ(smtp->Capabilities().Count(), 0);
    EXPECT_FALSE(smtp->Authenticate());
    smtp->Disconnect();
    EXPECT_EQ(server.SessionLog().Commands(1), (Lines{"EHLO orvant.test", "HELO orvant.test", "QUIT"}));
}

// A server that offers only PLAIN gets no AUTH under the default settings, and Send
// still delivers when the server takes mail without a login.
TEST_F(SmtpDelivery, OnlyAuthPlainOfferedSendsNoAuthAndStillDelivers)
{
    TSmtpTestServer server(Account({.AuthPlainOnly = true}));
    auto smtp = Client(server);
    smtp->Connect();
    EXPECT_FALSE(smtp->Authenticate());
    auto msg = Note();
    smtp->Send(*msg);
    smtp->Disconnect();
    const Lines commands = server.SessionLog().Commands(1);
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(), [](const std::string& c) { return c.rfind("AUTH", 0) == 0; }),
              0);
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(server.Messages()[0].User, "");
}

TEST_F(SmtpDelivery, UserNameAnswered235CompletesTheLogin)
{
    TSmtpTestServer server(Account({.RequireAuth = true, .Username235 = true}));
    auto smtp = Client(server);
    smtp->Connect();
    EXPECT_TRUE(smtp->Authenticate());
    auto msg = Note();
    smtp->Send(*msg);
    smtp->Disconnect();
    EXPECT_EQ(server.SessionLog().Events("auth-line", 1).size(), 1u) << "no password line";
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(server.Messages()[0].User, kUser);
}

TEST_F(SmtpDelivery, RefusedPasswordLeavesTheConnectionUsable)
{
    TSmtpTestServer server(Account({.RequireAuth = true}));
    auto smtp = Client(server);
    smtp->SetPassword(u"wrong-password");
    smtp->Connect();
    const auto e = Caught<EIdSMTPReplyError>([&] { smtp->Authenticate(); });
    EXPECT_EQ(e.ErrorCode(), 535);
    EXPECT_EQ(e.Message().find(u"wrong-password"), String::npos);
    EXPECT_FALSE(smtp->DidAuthenticate());
    smtp->SetPassword(FromUtf8(kPassword));
    EXPECT_TRUE(smtp->Authenticate());
    auto msg = Note();
    smtp->Send(*msg);
    smtp->Disconnect();
    EXPECT_EQ(server.Messages().size(), 1u);
}

TEST_F(SmtpDelivery, SaslMechanismsLogIn)
{
    TSmtpTestServer server(Account({.RequireAuth = true}));
    auto plain = MakeComponent<TIdSASLPlain>();
    auto login = MakeComponent<TIdSASLLogin>();
    for (TIdSASLUserPass* mechanism : {static_cast<TIdSASLUserPass*>(plain.get()), static_cast<TIdSASLUserPass*>(login.get())}) {
        mechanism->SetUsername(FromUtf8(kUser));
        mechanism->SetPassword(FromUtf8(kPassword));
    }
    for (TIdSASL* mechanism : {static_cast<TIdSASL*>(plain.get()), static_cast<TIdSASL*>(login.get())}) {
        auto smtp = Client(server);
        smtp->SetAuthType(TIdSMTPAuthenticationType::satSASL);
        smtp->SASLMechanisms().Add().SetSASL(mechanism);
        smtp->Connect();
        auto msg = Note();
        smtp->Send(*msg); // logs in first
        EXPECT_TRUE(smtp->DidAuthenticate());
        smtp->Disconnect();
    }
    const TSmtpSessionLog log = server.SessionLog();
    EXPECT_EQ(log.Commands(1).at(1), "AUTH PLAIN");
    EXPECT_GT(log.Events("cmd", 1).at(1)->Number("initial_response_length"), 0);
    EXPECT_EQ(log.Commands(2).at(1), "AUTH LOGIN");
    ASSERT_EQ(server.Messages().size(), 2u);
    EXPECT_EQ(server.Messages()[1].User, kUser);
}

// --- Envelope and refusals ----------------------------------------------------------------

TEST_F(SmtpDelivery, ToCcBccAreTheEnvelopeInThatOrder)
{
    TSmtpTestServer server(Account({}));
    auto smtp = Client(server);
    auto msg = Note({u"a@example.com"});
    msg->CCList().Add().SetAddress(u"b@example.com");
    msg->BccList().Add().SetAddress(u"c@example.com");
    smtp->Connect();
    smtp->Send(*msg);
    smtp->Disconnect();
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(server.Messages()[0].Recipients, (Lines{"a@example.com", "b@example.com", "c@example.com"}));
    EXPECT_EQ(server.Messages()[0].Content().find("c@example.com"), std::string::npos) << "no Bcc header";
}

TEST_F(SmtpDelivery, RefusedFirstRecipient)
{
    TSmtpTestServer server(Account({.RefusedRecipients = {"a@example.com"}}));
    auto smtp = Client(server);
    smtp->Connect();
    auto msg = Note({u"a@example.com", u"b@example.com"});
    // Without a handler: RSET, the refusal raised, nothing for the second recipient.
    const auto e = Caught<EIdSMTPReplyError>([&] { smtp->Send(*msg); });
    EXPECT_EQ(e.ErrorCode(), 550);
    EXPECT_EQ(e.EnhancedCode().ReplyAsStr(), u"5.1.1");
    // With a handler that goes on: delivered to the second.
    std::vector<String> failed;
    smtp->OnFailedRecipient = [&](TComponent*, const String& address, const String& code, const String&, bool&) {
        failed.push_back(address + u" " + code);
    };
    smtp->Send(*msg);
    smtp->Disconnect();
    EXPECT_EQ(failed, std::vector<String>{u"a@example.com 550"});
    const Lines commands = server.SessionLog().Commands(1);
    EXPECT_EQ(Lines(commands.begin() + 2, commands.begin() + 5),
              (Lines{"MAIL FROM:<" + kUser + ">", "RCPT TO:<a@example.com>", "RSET"}));
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(server.Messages()[0].Recipients, Lines{"b@example.com"});
}

TEST_F(SmtpDelivery, RefusedFinalDotIsFollowedByRset)
{
    TSmtpTestServer server(Account({.DotReply552 = true}));
    auto smtp = Client(server);
    smtp->Connect();
    auto msg = Note();
    EXPECT_EQ(Caught<EIdSMTPReplyError>([&] { smtp->Send(*msg); }).ErrorCode(), 552);
    EXPECT_TRUE(smtp->Connected());
    smtp->Disconnect();
    const TSmtpSessionLog log = server.SessionLog();
    const Lines commands = log.Commands(1);
    EXPECT_EQ(Lines(commands.end() - 3, commands.end()), (Lines{"DATA", "RSET", "QUIT"}));
    EXPECT_TRUE(server.Messages().empty());
}

// --- Pipelining ---------------------------------------------------------------------------

TEST_F(SmtpDelivery, PipelinedWhenOfferedLockStepOtherwise)
{
    TSmtpTestServer pipelining(Account({.Pipelining = true}));
    TSmtpTestServer lockStep(Account({}));
    for (TSmtpTestServer* server : {&pipelining, &lockStep}) {
        auto smtp = Client(*server);
        smtp->SetPipeLine(true);
        smtp->Connect();
        auto msg = Note({u"a@example.com", u"b@example.com"});
        smtp->Send(*msg);
        smtp->Disconnect();
        EXPECT_EQ(server->Messages().size(), 1u);
    }
    const Lines envelope{"MAIL FROM:<" + kUser + ">", "RCPT TO:<a@example.com>", "RCPT TO:<b@example.com>", "DATA"};
    const auto grouped = pipelining.SessionLog().CommandsByRead(1);
    EXPECT_TRUE(std::find(grouped.begin(), grouped.end(), envelope) != grouped.end()) << "one write for the group";
    for (const Lines& group : lockStep.SessionLog().CommandsByRead(1))
        EXPECT_EQ(group.size(), 1u) << group.front();
}

TEST_F(SmtpDelivery, PipelinedRefusalIsRaisedAfterAllRepliesAndRset)
{
    TSmtpTestServer server(Account({.RefusedRecipients = {"a@example.com"}, .Pipelining = true}));
    auto smtp = Client(server);
    smtp->SetPipeLine(true);
    smtp->Connect();
    auto msg = Note({u"a@example.com"});
    EXPECT_EQ(Caught<EIdSMTPReplyError>([&] { smtp->Send(*msg); }).ErrorCode(), 550);
    auto good = Note({u"b@example.com"});
    smtp->Send(*good); // the session is clean again
    smtp->Disconnect();
    const Lines commands = server.SessionLog().Commands(1);
    EXPECT_EQ(Lines(commands.begin() + 4, commands.begin() + 6), (Lines{"DATA", "RSET"}));
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(server.Messages()[0].Recipients, Lines{"b@example.com"});
}

// --- TLS modes ----------------------------------------------------------------------------

TEST_F(SmtpDelivery, StartTlsWhenTheServerOffersIt)
{
    TSmtpTestServer server(Account({.Mode = TSmtpServerMode::StartTls, .RequireAuth = true}));
    auto smtp = Client(server, TIdUseTLS::utUseExplicitTLS);
    EXPECT_EQ(smtp->Port(), server.Port());
    smtp->Connect();
    EXPECT_TRUE(smtp->SupportsTLS());
    EXPECT_TRUE(smtp->Authenticate());
    EXPECT_FALSE(smtp->SupportsTLS()) << "the capabilities were read again under TLS";
    auto msg = Note();
    smtp->Send(*msg);
    smtp->Disconnect();
    const TSmtpSessionLog log = server.SessionLog();
    EXPECT_EQ(log.Commands(1), (Lines{"EHLO orvant.test", "STARTTLS", "EHLO orvant.test", "AUTH LOGIN",
                                      "MAIL FROM:<" + kUser + ">", "RCPT TO:<contador@example.com>", "DATA", "QUIT"}));
    EXPECT_EQ(log.Events("tls", 1).size(), 1u);
    EXPECT_EQ(server.Messages().size(), 1u);
}

TEST_F(SmtpDelivery, ExplicitTlsWithoutTheServersOfferGoesOnInPlainText)
{
    TSmtpTestServer server(Account({.Mode = TSmtpServerMode::Plain}));
    auto smtp = Client(server, TIdUseTLS::utUseExplicitTLS);
    smtp->Connect();
    EXPECT_TRUE(smtp->Authenticate());
    auto msg = Note();
    smtp->Send(*msg);
    smtp->Disconnect();
    const TSmtpSessionLog log = server.SessionLog();
    EXPECT_FALSE(Contains(log.Commands(1), "STARTTLS"));
    EXPECT_TRUE(log.Events("tls", 1).empty());
    EXPECT_EQ(server.Messages().size(), 1u);
}

TEST_F(SmtpDelivery, FailedStartTlsEndsTheSession)
{
    TSmtpTestServer refusing(Account({.Mode = TSmtpServerMode::StartTls, .RefuseStartTls = true}));
    auto smtp = Client(refusing, TIdUseTLS::utUseExplicitTLS);
    smtp->Connect();
    EXPECT_EQ(Caught<EIdTLSClientTLSNotAvailable>([&] { smtp->Authenticate(); }).Message(),
              u"Start SSL negotiation command failed.");
    EXPECT_FALSE(smtp->Connected());
    EXPECT_EQ(refusing.SessionLog().Commands(1), (Lines{"EHLO orvant.test", "STARTTLS", "QUIT"}));

    TSmtpTestServer alerting(Account({.Mode = TSmtpServerMode::StartTls,
                                      .Faults = {{TSmtpServerStep::AfterStartTls, TSmtpServerAction::TlsAlert}}}));
    smtp->SetPort(alerting.Port());
    smtp->Connect();
    EXPECT_EQ(Caught<EIdTLSClientTLSHandShakeFailed>([&] { smtp->Authenticate(); }).Message(),
              u"SSL is not available on this server.");
    EXPECT_FALSE(smtp->Connected());
    EXPECT_EQ(alerting.SessionLog().Commands(1), (Lines{"EHLO orvant.test", "STARTTLS"})) << "no QUIT";
}

// With verification asked for (as the program asks), a server whose certificate is
// trusted by nobody never sees the login, whether TLS starts at once or after STARTTLS.
TEST_F(SmtpDelivery, UntrustedServerNeverSeesTheLogin)
{
    Tls->SSLOptions().SetVerifyMode({TIdSSLVerifyMode::sslvrfPeer});
    Tls->SSLOptions().SetVerifyDepth(4);
    Tls->SSLOptions().SetRootCertFile(FromUtf8(TestCertificates().CACert));
    const TSmtpServerOptions untrusted{.CertFile = TestCertificates().UntrustedCert,
                                       .KeyFile = TestCertificates().UntrustedKey};

    TSmtpTestServer trusted(Account({}));
    auto smtp = Client(trusted);
    smtp->Connect(); // the test CA's certificate for 127.0.0.1 passes
    smtp->Disconnect();

    TSmtpTestServer implicitTls(Account(untrusted));
    smtp->SetPort(implicitTls.Port());
    EXPECT_THROW(smtp->Connect(), EIdOpenSSLError);
    EXPECT_FALSE(smtp->Connected());

    TSmtpServerOptions startTls = untrusted;
    startTls.Mode = TSmtpServerMode::StartTls;
    TSmtpTestServer explicitTls(Account(startTls));
    auto upgrading = Client(explicitTls, TIdUseTLS::utUseExplicitTLS);
    upgrading->Connect();
    EXPECT_THROW(upgrading->Authenticate(), EIdTLSClientTLSHandShakeFailed);
    EXPECT_EQ(explicitTls.SessionLog().Commands(1), (Lines{"EHLO orvant.test", "STARTTLS"}));
}

// Under implicit TLS, TLS already runs: a STARTTLS line in the capabilities is ignored.
TEST_F(SmtpDelivery, ImplicitTlsNeverSendsStartTls)
{
    TSmtpTestServer server(Account({}));
    auto smtp = Client(server);
    smtp->Connect();
    smtp->Capabilities().Add(u"STARTTLS");
    ASSERT_TRUE(smtp->SupportsTLS());
    EXPECT_TRUE(smtp->Authenticate());
    smtp->Disconnect();
    EXPECT_FALSE(Contains(server.SessionLog().Commands(1), "STARTTLS"));
}

// --- The server goes away; the message's own failures ------------------------------------

TEST_F(SmtpDelivery, DisconnectAfterTheServerClosedSendsNothingAndRaisesNothing)
{
    TSmtpTestServer server(Account({.Faults = {{TSmtpServerStep::AfterRcpt, TSmtpServerAction::Close}}}));
    auto smtp = Client(server);
    smtp->Connect();
    auto msg = Note();
    EXPECT_THROW(smtp->Send(*msg), EIdException);
    EXPECT_EQ(RaisedMessage([&] { smtp->Disconnect(); }), u"(nothing raised)");
    EXPECT_FALSE(smtp->Connected());
    const TSmtpSessionLog log = server.WaitForLog([](const TSmtpSessionLog& l) { return !l.Events("close", 1).empty(); });
    EXPECT_FALSE(Contains(log.Commands(1), "QUIT"));
    EXPECT_FALSE(Contains(log.Commands(1), "RSET"));
}

// RFC 5321 4.5.2: a line that begins with "." gets another on the wire, and the server
// takes it off again; a lone "." inside the body must not end the message.
TEST_F(SmtpDelivery, BodyLinesStartingWithADotArriveWithOneDot)
{
    TSmtpTestServer server(Account({}));
    auto smtp = Client(server);
    smtp->Connect();
    auto msg = Note();
    msg->Body().SetText(u".\r\n.linha com ponto\r\n..duas\r\nfim");
    smtp->Send(*msg);
    smtp->Disconnect();
    ASSERT_EQ(server.Messages().size(), 1u);
    const std::string content = server.Messages()[0].Content();
    EXPECT_EQ(content.substr(content.find("\r\n\r\n") + 4), ".\r\n.linha com ponto\r\n..duas\r\nfim\r\n\r\n");
}

// An attachment that cannot be read while the message is on its way: the connection is
// closed without the final dot (the server drops the partial message) and without a
// QUIT, which would only be taken for message data.
TEST_F(SmtpDelivery, UnreadableAttachmentAbandonsTheTransaction)
{
    TSmtpTestServer server(Account({}));
    auto smtp = Client(server);
    auto msg = DispatchMessage();
    std::filesystem::remove(ArchivePath);
    smtp->Connect();
    EXPECT_THROW(smtp->Send(*msg), EFOpenError);
    EXPECT_FALSE(smtp->Connected());
    EXPECT_EQ(RaisedMessage([&] { smtp->Disconnect(); }), u"(nothing raised)");
    const TSmtpSessionLog log = server.WaitForLog([](const TSmtpSessionLog& l) { return !l.Events("close", 1).empty(); });
    EXPECT_EQ(log.Commands(1).back(), "DATA");
    EXPECT_TRUE(server.Messages().empty());
}
