// The mail dispatch without a window, against the test SMTP server: what it refuses
// before connecting, its bounded waits, the progress it reports and the release of
// its components, and a server chain through an intermediate CA. The dialog's own
// cases (subject, attachment, refusals by the server, certificates) are in
// gui/SendDialogMailTest.cpp.

#include "app/MailDispatch.h"

#include "mime/IdGlobal.h"
#include "net/IdSSLOpenSSLHeaders.h"
#include "support/DispatchAccount.h"
#include "support/FullBacklogListener.h"
#include "support/TempDir.h"
#include "support/TestChildProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

using namespace orvant::app;

namespace {

struct TRecordingView final : IMailDispatchView {
    std::vector<std::u16string> Messages;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> Progress;
    int Closed = 0;

    void ShowMessage(std::u16string_view text) override { Messages.emplace_back(text); }
    void ShowProgress(std::uint64_t written, std::uint64_t total) override { Progress.emplace_back(written, total); }
    void CloseDialog() override { ++Closed; }
};

TMailDispatchInput Input(std::u16string recipient = u"contador@example.com", std::u16string attachment = {})
{
    // The archives here are made up: they go as a file the user attached.
    return {u"Março", u"2026", u"Loja Centro", std::move(recipient), std::move(attachment), true};
}

} // namespace

TEST(MailDispatch, RefusesBeforeConnecting)
{
    TSmtpTestServer server(WithDispatchAccount());
    TRecordingView view;
    TMailDispatch dispatch(view, TMailSettings::FromDeployment(DispatchDeployment(server)), {});
    for (const char16_t* recipient : {u"", u"   "})
        EXPECT_EQ(dispatch.Send(Input(recipient)), TMailDispatchResult::mdRefused);
    EXPECT_EQ(dispatch.Send(Input(u"contador@example.com\tx")), TMailDispatchResult::mdRefused);
    EXPECT_EQ(dispatch.Send(Input(u"contador@example.com\u0085")), TMailDispatchResult::mdRefused);
    auto unconfigured = DispatchDeployment(server);
    unconfigured.MailHost.clear();
    TMailDispatch nowhere(view, TMailSettings::FromDeployment(unconfigured), {});
    EXPECT_EQ(nowhere.Send(Input()), TMailDispatchResult::mdRefused);

    ASSERT_EQ(view.Messages.size(), 5u);
    EXPECT_EQ(view.Messages[0], u"O Email para envio está vazio!!");
    EXPECT_EQ(view.Messages[1], view.Messages[0]);
    EXPECT_NE(view.Messages[2].find(u"caractere de controle"), std::u16string::npos);
    EXPECT_EQ(view.Messages[3], view.Messages[2]);
    EXPECT_NE(view.Messages[4].find(u"falta Host na seção [Mail] de /etc/orvant/orvant.conf"), std::u16string::npos);
    EXPECT_EQ(view.Closed, 0);
    EXPECT_NE(dispatch.IdSMTP(), nullptr) << "nothing was used, nothing released";
    EXPECT_TRUE(server.SessionLog().Events("open").empty());
}

// A server that never answers, or never accepts the connection, ends in a message
// after the configured wait instead of holding the program.
TEST(MailDispatch, SilentServersEndInAMessage)
{
    TSmtpTestServer silent(WithDispatchAccount({.Faults = {{TSmtpServerStep::AfterTlsHandshake,
                                                            TSmtpServerAction::Stall}}}));
    TMailSettings settings = TMailSettings::FromDeployment(DispatchDeployment(silent));
    settings.ReadTimeout = 2000;
    settings.ConnectTimeout = 2000;
    TRecordingView view;
    TMailDispatch dispatch(view, settings, {});
    EXPECT_EQ(dispatch.Send(Input()), TMailDispatchResult::mdFailed);

    FullBacklogListener unanswered;
    settings.Port = unanswered.Port();
    TMailDispatch waiting(view, settings, {});
    EXPECT_EQ(waiting.Send(Input()), TMailDispatchResult::mdFailed);

    ASSERT_EQ(view.Messages.size(), 2u);
    EXPECT_EQ(view.Messages[0], Format(u"Não foi possível conectar ao servidor de e-mail localhost, porta %d.\n"
                                       u"O servidor não respondeu em 2 segundos.\nO e-mail não foi enviado.",
                                       {std::int64_t {silent.Port()}}));
    EXPECT_NE(view.Messages[1].find(u"O servidor não atendeu em 2 segundos."), std::u16string::npos);
    EXPECT_EQ(view.Closed, 0);
    // No QUIT into a session that stopped answering: only the greeting was awaited.
    EXPECT_TRUE(silent.SessionLog().Commands().empty());
}

TEST(MailDispatch, DeliveryReportsProgressConfirmsAndReleasesEverything)
{
    TSmtpTestServer server(WithDispatchAccount({.RequireAuth = true}));
    orvant::test::TTempDir dir;
    std::string archive;
    for (std::uint32_t i = 0; i < 400000; ++i)
        archive += static_cast<char>((i * 2654435761u) >> 24);
    const std::string path = dir.WriteFile("03.7z", archive).string();
    TRecordingView view;
    TMailDispatch dispatch(view, TMailSettings::FromDeployment(DispatchDeployment(server)), {});
    EXPECT_EQ(dispatch.Send(Input(u"Contador <contador@example.com>", FromUtf8(path))),
              TMailDispatchResult::mdDelivered);

    EXPECT_EQ(view.Messages, std::vector<std::u16string> {u"E-mail enviado para contador@example.com."});
    EXPECT_EQ(view.Closed, 1);
    EXPECT_EQ(dispatch.IdSMTP(), nullptr);
    EXPECT_EQ(dispatch.IdMessage(), nullptr);
    EXPECT_EQ(dispatch.IdSSLIOHandlerSocket(), nullptr);
    EXPECT_FALSE(TlsLibraryLoaded());

    const auto messages = server.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].User, kDispatchMailbox);
    const std::uint64_t size = messages[0].Content().size();
    ASSERT_GE(view.Progress.size(), 20u);
    const std::uint64_t total = view.Progress.front().second;
    EXPECT_EQ(view.Progress.front().first, 0u);
    EXPECT_NEAR(static_cast<double>(total), static_cast<double>(size), size * 0.01) << "the estimate";
    for (std::size_t i = 1; i < view.Progress.size(); ++i) {
        EXPECT_GT(view.Progress[i].first, view.Progress[i - 1].first);
        EXPECT_EQ(view.Progress[i].second, total);
    }
    EXPECT_LE(view.Progress.back().first, size);
    EXPECT_GE(view.Progress.back().first, size - size / 100);

    const TSmtpSessionLog log = server.SessionLog();
    const auto tls = log.Events("tls", 1);
    ASSERT_EQ(tls.size(), 1u);
    EXPECT_EQ(tls[0]->Text("sni"), "localhost");
}

// A failure that is not the server's (the archive vanished after the message was
// filled, so the writer cannot open it) is reported like any other, not raised.
TEST(MailDispatch, AnArchiveThatVanishesIsReportedNotRaised)
{
    TSmtpTestServer server(WithDispatchAccount());
    orvant::test::TTempDir dir;
    const std::filesystem::path archive = dir.WriteFile("03.7z", "7z");
    struct TVanishingView final : IMailDispatchView {
        std::filesystem::path File;
        std::vector<std::u16string> Messages;
        void ShowMessage(std::u16string_view text) override { Messages.emplace_back(text); }
        void ShowProgress(std::uint64_t, std::uint64_t) override { std::filesystem::remove(File); }
        void CloseDialog() override { ADD_FAILURE() << "closed"; }
    } view;
    view.File = archive;
    TMailDispatch dispatch(view, TMailSettings::FromDeployment(DispatchDeployment(server)), {});
    EXPECT_EQ(dispatch.Send(Input(u"contador@example.com", FromUtf8(archive.string()))), TMailDispatchResult::mdFailed);
    ASSERT_EQ(view.Messages.size(), 1u);
    EXPECT_EQ(view.Messages[0].rfind(u"Não foi possível entregar o e-mail ao servidor de e-mail localhost.\n", 0), 0u);
    EXPECT_NE(view.Messages[0].find(u"03.7z"), std::u16string::npos) << ToUtf8(view.Messages[0]);
    EXPECT_TRUE(server.Messages().empty());
}

// A public mail server's certificate hangs below an intermediate CA: verification
// must let such a chain through, not only a certificate the trusted CA signed itself.
TEST(MailDispatch, AcceptsAChainThroughAnIntermediateCA)
{
    const TTestCertificates& certs = TestCertificates();
    orvant::test::TTempDir dir;
    const std::string base = dir.Str() + "/";
    const std::vector<std::string> key {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    const auto openssl = [](std::vector<std::string> args) {
        args.insert(args.begin(), "openssl");
        std::string output;
        ASSERT_EQ(RunTestProgram(args, output), 0) << output;
    };
    const auto request = [&](const std::string& name, const std::string& subject, const std::string& extension) {
        std::vector<std::string> args {"req", "-new"};
        args.insert(args.end(), key.begin(), key.end());
        args.insert(args.end(), {"-keyout", base + name + ".key", "-out", base + name + ".csr", "-subj", subject,
                                 "-addext", extension});
        openssl(args);
    };
    request("intermediate", "/O=Orvant Tests/CN=Orvant Intermediate CA", "basicConstraints=critical,CA:TRUE");
    openssl({"x509", "-req", "-in", base + "intermediate.csr", "-CA", certs.CACert, "-CAkey", certs.CAKey, "-out",
             base + "intermediate.pem", "-days", "30", "-copy_extensions", "copy"});
    request("leaf", "/O=Orvant Tests/CN=localhost", "subjectAltName=DNS:localhost");
    openssl({"x509", "-req", "-in", base + "leaf.csr", "-CA", base + "intermediate.pem", "-CAkey",
             base + "intermediate.key", "-out", base + "leaf.pem", "-days", "30", "-copy_extensions", "copy"});
    dir.WriteFile("chain.pem", orvant::test::ReadFile(base + "leaf.pem") + orvant::test::ReadFile(base + "intermediate.pem"));

    TSmtpTestServer server(WithDispatchAccount({.CertFile = base + "chain.pem", .KeyFile = base + "leaf.key"}));
    TRecordingView view;
    TMailDispatch dispatch(view, TMailSettings::FromDeployment(DispatchDeployment(server)), {});
    EXPECT_EQ(dispatch.Send(Input()), TMailDispatchResult::mdDelivered) << (view.Messages.empty() ? "" : ToUtf8(view.Messages.back()));
    EXPECT_EQ(server.Messages().size(), 1u);
}

// What the user sees when the server fails the dispatch mid-way (the library's fault
// matrix, tests/smtp/IdSMTPFaultMatrixTest.cpp, checks the exceptions behind it): one
// message naming the step that failed and why, nothing raised, the dialog kept open
// and the components released, within the configured waits.
namespace {

struct TDispatchFaultRow {
    const char* Name;
    TSmtpServerStep At;
    TSmtpServerAction Does;
    std::u16string_view Failed; // the message's first line, "%d" the port
    std::u16string_view Reason; // a part of the reason that follows
};

std::ostream& operator<<(std::ostream& out, const TDispatchFaultRow& row)
{
    return out << row.Name;
}

constexpr std::u16string_view kConnectFailed = u"Não foi possível conectar ao servidor de e-mail localhost, porta %d.";
constexpr std::u16string_view kDeliveryFailed = u"Não foi possível entregar o e-mail ao servidor de e-mail localhost.";

const TDispatchFaultRow kDispatchFaultRows[] = {
    {"CloseAfterGreeting", TSmtpServerStep::AfterGreeting, TSmtpServerAction::Close, kConnectFailed,
     u"O servidor encerrou a conexão."},
    {"StallMidAttachment", TSmtpServerStep::MidData, TSmtpServerAction::Stall, kDeliveryFailed,
     u"O servidor não respondeu em 2 segundos."},
    {"GarbageAfterMail", TSmtpServerStep::AfterMail, TSmtpServerAction::GarbageNoCode, kDeliveryFailed,
     u"O servidor respondeu algo que não é uma resposta de servidor de e-mail (SMTP)."},
    {"TlsAlertAfterGreeting", TSmtpServerStep::AfterGreeting, TSmtpServerAction::TlsAlert, kConnectFailed,
     u"A conexão segura (TLS) com o servidor falhou."},
    {"ResetBeforeDotReply", TSmtpServerStep::BeforeDotReply, TSmtpServerAction::Reset, kDeliveryFailed,
     u"A conexão foi interrompida pelo servidor ou pela rede.\nDetalhe: Socket Error # 10054"},
};

class MailDispatchFault : public ::testing::TestWithParam<TDispatchFaultRow> {};

} // namespace

TEST_P(MailDispatchFault, ShowsOneMessageNamingTheFailedStep)
{
    const TDispatchFaultRow& row = GetParam();
    TSmtpTestServer server(WithDispatchAccount({.RequireAuth = true, .Faults = {{row.At, row.Does}}}));
    orvant::test::TTempDir dir;
    const std::string archive = dir.WriteFile("03.7z", std::string(256 * 1024, '\x9c')).string();
    TMailSettings settings = TMailSettings::FromDeployment(DispatchDeployment(server));
    settings.ReadTimeout = 2000;
    TRecordingView view;
    TMailDispatch dispatch(view, settings, {});

    TMailDispatchResult result = TMailDispatchResult::mdDelivered;
    EXPECT_NO_THROW(result = dispatch.Send(Input(u"contador@example.com", FromUtf8(archive))));
    EXPECT_EQ(result, TMailDispatchResult::mdFailed);
    ASSERT_EQ(view.Messages.size(), 1u);
    const std::u16string& shown = view.Messages[0];
    std::printf("[ shown    ] %-22s %s\n", row.Name, ToUtf8(StringReplaceAll(shown, u"\n", u" | ")).c_str());
    const std::u16string failed = Format(std::u16string(row.Failed), {std::int64_t {server.Port()}});
    EXPECT_EQ(shown.rfind(failed + u"\n", 0), 0u) << ToUtf8(shown);
    EXPECT_NE(shown.find(row.Reason), std::u16string::npos) << ToUtf8(shown);
    EXPECT_TRUE(TextEndsWith(shown, u"\nO e-mail não foi enviado.")) << ToUtf8(shown);
    EXPECT_EQ(view.Closed, 0);
    EXPECT_EQ(dispatch.IdSMTP(), nullptr);
    EXPECT_FALSE(TlsLibraryLoaded());
    EXPECT_TRUE(server.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, MailDispatchFault, ::testing::ValuesIn(kDispatchFaultRows),
                         [](const ::testing::TestParamInfo<TDispatchFaultRow>& info) { return std::string(info.param.Name); });
