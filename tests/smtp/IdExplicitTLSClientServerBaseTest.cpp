// The rules that tie the TLS mode to the I/O handler and the port, and the settings of
// the SMTP client that move together.

#include "smtp/IdExplicitTLSClientServerBase.h"

#include "net/IdIOHandlerStack.h"
#include "smtp/IdSASLLogin.h"
#include "support/RaisedMessage.h"
#include "support/ScriptedServer.h"
#include "support/SmtpClientSetup.h"

#include <gtest/gtest.h>

namespace {

const String kHandlerRequired = u"SSL IOHandler is required for this setting";

class TlsModeSettings : public ::testing::Test {
protected:
    void SetUp() override { TIdIOHandler::SetDefaultClass<TIdIOHandlerStack>(); }

    std::unique_ptr<TIdSSLIOHandlerSocketOpenSSL> Tls = MakeSmtpTlsHandler();
    std::unique_ptr<TIdSMTP> Smtp = MakeComponent<TIdSMTP>();
};

} // namespace

TEST_F(TlsModeSettings, ImplicitTlsMovesOnlyTheProtocolsOwnPort)
{
    EXPECT_EQ(Smtp->Port(), 25);
    EXPECT_EQ(RaisedMessage([&] { Smtp->SetUseTLS(TIdUseTLS::utUseImplicitTLS); }), kHandlerRequired);
    EXPECT_EQ(Smtp->UseTLS(), TIdUseTLS::utNoTLSSupport);

    Smtp->SetIOHandler(Tls.get());
    Smtp->SetUseTLS(TIdUseTLS::utUseImplicitTLS);
    EXPECT_EQ(Smtp->Port(), 465);
    Smtp->SetUseTLS(TIdUseTLS::utUseExplicitTLS);
    EXPECT_EQ(Smtp->Port(), 25);
    Smtp->SetUseTLS(TIdUseTLS::utUseImplicitTLS);
    Smtp->SetUseTLS(TIdUseTLS::utNoTLSSupport);
    EXPECT_EQ(Smtp->Port(), 25);

    Smtp->SetPort(587);
    Smtp->SetUseTLS(TIdUseTLS::utUseImplicitTLS);
    EXPECT_EQ(Smtp->Port(), 587);
    Smtp->SetUseTLS(TIdUseTLS::utNoTLSSupport);
    EXPECT_EQ(Smtp->Port(), 587);
}

TEST_F(TlsModeSettings, APlainHandlerTakesTheModeAndThePortBack)
{
    Smtp->SetIOHandler(Tls.get());
    Smtp->SetUseTLS(TIdUseTLS::utUseImplicitTLS);
    auto plain = MakeComponent<TIdIOHandlerStack>();
    Smtp->SetIOHandler(plain.get());
    EXPECT_EQ(Smtp->UseTLS(), TIdUseTLS::utNoTLSSupport);
    EXPECT_EQ(Smtp->Port(), 25);
}

TEST_F(TlsModeSettings, WhileLoadingTheModeIsStoredAndCheckedWhenLoadingEnds)
{
    Smtp->SetLoading(true);
    Smtp->SetUseTLS(TIdUseTLS::utUseImplicitTLS);
    EXPECT_EQ(Smtp->UseTLS(), TIdUseTLS::utUseImplicitTLS);
    EXPECT_EQ(Smtp->Port(), 25);
    Smtp->SetLoading(false);
    EXPECT_EQ(Smtp->UseTLS(), TIdUseTLS::utNoTLSSupport) << "no TLS handler came with the layout";

    Smtp->SetLoading(true);
    Smtp->SetUseTLS(TIdUseTLS::utUseImplicitTLS);
    Smtp->SetIOHandler(Tls.get());
    Smtp->SetLoading(false);
    EXPECT_EQ(Smtp->UseTLS(), TIdUseTLS::utUseImplicitTLS);
}

TEST_F(TlsModeSettings, ModeIsFixedWhileConnected)
{
    ScriptedServer server;
    server.Send("220 ready\r\n").Reply("250 mail.test\r\n").Stall();
    server.Start();
    auto smtp = MakeSmtpClient(server.Port());
    smtp->Connect();
    EXPECT_EQ(RaisedMessage([&] { smtp->SetUseTLS(TIdUseTLS::utNoTLSSupport); }),
              u"This value can not be set while the client is connected.");
    smtp->Disconnect(false);
}

// A TLS handler destroyed elsewhere leaves the mode without its handler: the session
// is refused rather than opened in plain text.
TEST_F(TlsModeSettings, ConnectWithoutTheTlsHandlerOfItsModeIsRefused)
{
    Smtp->SetIOHandler(Tls.get());
    Smtp->SetUseTLS(TIdUseTLS::utUseImplicitTLS);
    Tls.reset();
    EXPECT_EQ(Smtp->IOHandler(), nullptr);
    Smtp->SetHost(u"127.0.0.1");
    EXPECT_EQ(RaisedMessage([&] { Smtp->Connect(); }), kHandlerRequired);
    EXPECT_EQ(Smtp->IOHandler(), nullptr) << "no plain handler was made";
}

TEST_F(TlsModeSettings, EhloPipeliningLoginAndTlsMoveTogether)
{
    Smtp->SetUseEhlo(false);
    Smtp->SetPipeLine(true);
    EXPECT_TRUE(Smtp->UseEhlo());

    Smtp->SetIOHandler(Tls.get());
    Smtp->SetUseEhlo(false);
    Smtp->SetUseTLS(TIdUseTLS::utUseExplicitTLS);
    EXPECT_TRUE(Smtp->UseEhlo()) << "STARTTLS is offered in the EHLO reply";

    Smtp->SetPort(465);
    Smtp->SetPipeLine(true);
    Smtp->SetAuthType(TIdSMTPAuthenticationType::satSASL);
    Smtp->SetUseEhlo(false);
    EXPECT_EQ(Smtp->UseTLS(), TIdUseTLS::utNoTLSSupport);
    EXPECT_EQ(Smtp->Port(), 465) << "this change does not move the port";
    EXPECT_FALSE(Smtp->PipeLine());
    EXPECT_EQ(Smtp->AuthType(), TIdSMTPAuthenticationType::satDefault);
}

TEST_F(TlsModeSettings, AssignCopiesThroughTheSetters)
{
    Smtp->SetIOHandler(Tls.get());
    Smtp->SetUseTLS(TIdUseTLS::utUseImplicitTLS);
    Smtp->SetAuthType(TIdSMTPAuthenticationType::satSASL);
    Smtp->SetHeloName(u"loja.test");
    Smtp->SetHost(u"mail.test");
    Smtp->SetMailAgent(u"Orvant");
    Smtp->SetUsername(u"loja@example.com");
    Smtp->SetPassword(u"segredo");
    Smtp->SetPipeLine(true);
    auto login = MakeComponent<TIdSASLLogin>();
    Smtp->SASLMechanisms().Add().SetSASL(login.get());

    auto copy = MakeComponent<TIdSMTP>();
    EXPECT_EQ(RaisedMessage([&] { copy->Assign(*Smtp); }), kHandlerRequired);
    auto tls = MakeSmtpTlsHandler();
    copy->SetIOHandler(tls.get());
    copy->Assign(*Smtp);
    EXPECT_EQ(copy->UseTLS(), TIdUseTLS::utUseImplicitTLS);
    EXPECT_EQ(copy->Port(), 465);
    EXPECT_EQ(copy->AuthType(), TIdSMTPAuthenticationType::satSASL);
    EXPECT_EQ(copy->HeloName() + copy->Host() + copy->MailAgent() + copy->Username() + copy->Password(),
              u"loja.testmail.testOrvantloja@example.comsegredo");
    EXPECT_TRUE(copy->PipeLine());
    ASSERT_EQ(copy->SASLMechanisms().Count(), 1);
    login.reset();
    EXPECT_EQ(copy->SASLMechanisms().Count(), 0) << "the copy watches the mechanism too";
}
