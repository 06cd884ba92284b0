// The SASL login framework: which mechanisms the capability lines offer, which of the
// client's mechanisms are tried and in what order, the exchange on the wire, and the
// failures.

#include "smtp/IdSASLCollection.h"

#include "net/IdIOHandlerStack.h"
#include "smtp/IdReplySMTP.h"
#include "smtp/IdSASLLogin.h"
#include "smtp/IdSASLPlain.h"
#include "support/Caught.h"
#include "support/RaisedMessage.h"
#include "support/ScriptedServer.h"
#include "support/SmtpClientSetup.h"

#include <gtest/gtest.h>

namespace {

TStringList Lines(std::initializer_list<const char16_t*> lines)
{
    TStringList list;
    for (const char16_t* line : lines)
        list.Add(line);
    return list;
}

class SaslLogin : public ::testing::Test {
protected:
    void SetUp() override
    {
        TIdIOHandler::SetDefaultClass<TIdIOHandlerStack>();
        for (TIdSASLUserPass* mechanism : {static_cast<TIdSASLUserPass*>(Plain.get()),
                                           static_cast<TIdSASLUserPass*>(Login.get())}) {
            mechanism->SetUsername(u"loja@example.com");
            mechanism->SetPassword(u"segredo");
        }
    }

    // A client (SASL login chosen) with the entries PLAIN, LOGIN, connected to the
    // script after a greeting and an EHLO that offers both.
    std::unique_ptr<TIdSMTP> Connect(ScriptedServer& server)
    {
        server.Start();
        auto smtp = MakeSmtpClient(server.Port());
        smtp->SetAuthType(TIdSMTPAuthenticationType::satSASL);
        smtp->SASLMechanisms().Add().SetSASL(Plain.get());
        smtp->SASLMechanisms().Add().SetSASL(Login.get());
        smtp->Connect();
        return smtp;
    }
    static ScriptedServer& Greeted(ScriptedServer& server)
    {
        return server.Send("220 mail.test\r\n").Reply("250-mail.test\r\n250 AUTH PLAIN LOGIN\r\n");
    }

    std::unique_ptr<TIdSASLPlain> Plain = MakeComponent<TIdSASLPlain>();
    std::unique_ptr<TIdSASLLogin> Login = MakeComponent<TIdSASLLogin>();
};

const std::string kLoginExchange = "AUTH LOGIN\r\nbG9qYUBleGFtcGxlLmNvbQ==\r\nc2VncmVkbw==\r\n";

} // namespace

TEST(SaslOffer, MechanismsComeFromTheAuthLinesOnly)
{
    TStringList offered;
    const TStringList capabilities = Lines({u"PIPELINING", u"AUTH LOGIN plain", u"AUTH=LOGIN CRAM-MD5", u"AUTHX XOAUTH2",
                                            u"auth  digest-md5=x", u"AUTH", u"SIZE 100"});
    TIdSASLEntries::ParseCapaReplyToList(&capabilities, offered, u"AUTH");
    EXPECT_EQ(offered.Text(), u"LOGIN\r\nPLAIN\r\nCRAM-MD5\r\nDIGEST-MD5\r\nX\r\n");
    TIdSASLEntries::ParseCapaReplyToList(nullptr, offered, u"AUTH");
    EXPECT_EQ(offered.Count(), 5);
    EXPECT_EQ(TIdSASLEntries::ParseCapaReply(&capabilities, u"SIZE")->Text(), u"100\r\n");
}

TEST_F(SaslLogin, NothingToLoginWith)
{
    auto smtp = MakeComponent<TIdSMTP>();
    smtp->SetAuthType(TIdSMTPAuthenticationType::satSASL);
    smtp->Capabilities().Add(u"AUTH LOGIN");
    EXPECT_EQ(RaisedMessage([&] { smtp->Authenticate(); }), u"Need SASL mechanisms to login with it!!");
    smtp->SASLMechanisms().Add(); // an entry without a mechanism counts for nothing
    Caught<EIdSASLMechNeeded>([&] { smtp->Authenticate(); });

    smtp->SASLMechanisms().Add().SetSASL(Plain.get());
    EXPECT_EQ(Caught<EIdSASLNotSupported>([&] { smtp->Authenticate(); }).Message(),
              u"Doesn't support AUTH or the specified SASL handlers!!");
    smtp->SASLMechanisms().Add().SetSASL(Login.get());
    Login->SetUsername(u"");
    EXPECT_EQ(Caught<EIdSASLNotReady>([&] { smtp->Authenticate(); }).Message(),
              u"The specified SASL handlers are not ready!!");
    EXPECT_FALSE(smtp->DidAuthenticate());
}

// The entries are tried from the last to the first: LOGIN fails, PLAIN (with its
// initial response) succeeds.
TEST_F(SaslLogin, LastEntryFirstAndTheNextOneAfterAFailure)
{
    ScriptedServer server;
    Greeted(server)
        .Reply("334 VXNlcm5hbWU6\r\n")
        .Reply("334 UGFzc3dvcmQ6\r\n")
        .Reply("535 5.7.8 no\r\n")
        .Reply("235 2.7.0 ok\r\n")
        .Stall();
    auto smtp = Connect(server);
    EXPECT_TRUE(smtp->Authenticate());
    smtp->Disconnect(false);
    EXPECT_TRUE(server.WaitDone());
    EXPECT_EQ(server.Received(), "EHLO orvant.test\r\n" + kLoginExchange +
                                     "AUTH PLAIN AGxvamFAZXhhbXBsZS5jb20Ac2VncmVkbw==\r\n");
}

TEST_F(SaslLogin, WhenAllFailTheFirstFailureIsRaised)
{
    ScriptedServer server;
    Greeted(server)
        .Reply("334 VXNlcm5hbWU6\r\n")
        .Reply("334 UGFzc3dvcmQ6\r\n")
        .Reply("535 5.7.8 bad password\r\n")
        .Reply("454 4.7.0 try later\r\n")
        .Stall();
    auto smtp = Connect(server);
    const auto e = Caught<EIdSMTPReplyError>([&] { smtp->Authenticate(); });
    EXPECT_EQ(e.ErrorCode(), 535);
    EXPECT_EQ(e.Message(), u"bad password\r\n");
    EXPECT_FALSE(smtp->DidAuthenticate());
    smtp->Disconnect(false);
}

// Without an initial response PLAIN answers the server's empty challenge; the
// credentials go out as UTF-8.
TEST_F(SaslLogin, NamedMechanismWithoutInitialResponse)
{
    ScriptedServer server;
    Greeted(server).Reply("334 \r\n").Reply("235 ok\r\n").Reply("500 no\r\n").Stall();
    auto smtp = Connect(server);
    Plain->SetUsername(u"ana");
    Plain->SetPassword(u"sé");
    TIdSASLEntries& entries = smtp->SASLMechanisms();
    EXPECT_EQ(entries.FindSASL(u"plain"), Plain.get());
    entries.LoginSASL(u"AUTH", u"mail.test", u"smtp", u"PLAIN", {u"235"}, {u"334"}, *smtp, &smtp->Capabilities(),
                      u"AUTH", false);
    EXPECT_EQ(Caught<EIdSMTPReplyError>([&] {
                  entries.LoginSASL(u"AUTH", u"mail.test", u"smtp", u"LOGIN", {u"235"}, {u"334"}, *smtp,
                                    &smtp->Capabilities(), u"AUTH", false);
              }).ErrorCode(),
              500);
    EXPECT_EQ(RaisedMessage([&] {
                  entries.LoginSASL(u"AUTH", u"mail.test", u"smtp", u"CRAM-MD5", {u"235"}, {u"334"}, *smtp,
                                    &smtp->Capabilities(), u"AUTH", false);
              }),
              u"Doesn't support AUTH or the specified SASL handlers!!");
    smtp->Disconnect(false);
    EXPECT_TRUE(server.WaitDone());
    EXPECT_EQ(server.Received(), "EHLO orvant.test\r\nAUTH PLAIN\r\nAGFuYQBzw6k=\r\nAUTH LOGIN\r\n");
}

TEST_F(SaslLogin, DestroyedMechanismLeavesTheList)
{
    auto smtp = MakeComponent<TIdSMTP>();
    smtp->SASLMechanisms().Add().SetSASL(Login.get());
    smtp->SASLMechanisms().Add().SetSASL(Plain.get());
    smtp->SASLMechanisms().Add().SetSASL(Login.get());
    Login.reset();
    ASSERT_EQ(smtp->SASLMechanisms().Count(), 1);
    EXPECT_EQ(smtp->SASLMechanisms()[0].SASL(), Plain.get());
}
