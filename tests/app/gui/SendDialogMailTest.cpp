// "Enviar E-mail" in the send dialog, offscreen, against the test SMTP server: what
// the mail looks like, when the archive goes with it, what happens when the server
// refuses or cannot be trusted, and an address that would add a command.

#include "app/gui/Unit1.h"
#include "app/gui/Unit2.h"

#include "support/DispatchAccount.h"
#include "support/SealedArchive.h"
#include "support/StoreFixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

using namespace orvant::gui;

namespace {

const QString kArchive = "C:\\Kelmora\\Orvant\\Enviar\\2026\\03.7z";
constexpr std::size_t kArchiveSize = 100000;

// The main window on 10 April 2026 (so "Março" and "2026" are proposed), a store
// holding March's archive, and a deployment that mails through the given server.
struct TMailWindow {
    explicit TMailWindow(const TSmtpTestServer& server) : Clock(orvant::platform::LocalDate(2026, 4, 10))
    {
        orvant::test::SealMonthArchive(
            Store.Dir.WriteFile("c/Kelmora/Orvant/Enviar/2026/03.7z", std::string(kArchiveSize, '\x7a')), u"2026", u"03");
        Window = std::make_unique<TForm_Extrair>(DispatchDeployment(server, Store.Roots()), Clock, "Orvant");
        Window->show();
    }

    // A dialog as "Enviar XML" opens it, with the attachment text set (as the
    // extraction run sets it) and the store and recipient typed.
    Tform_enviar& Dialog(const QString& attachment, const QString& recipient)
    {
        Window->Btn_EnviarClick();
        Tform_enviar& d = *Window->form_enviar();
        d.edit_anexo->setText(attachment);
        d.OnShowMessage = [this](const QString& m) { Messages << m; };
        d.OnConfirm = [this](const QString& q) {
            Questions << q;
            return Answer;
        };
        QTest::keyClicks(d.edt_loja, "Loja Centro");
        QTest::keyClicks(d.edt_email, recipient);
        return d;
    }

    orvant::test::TStoreFixture Store;
    orvant::platform::TFixedClock Clock;
    std::unique_ptr<TForm_Extrair> Window;
    QStringList Messages;
    QStringList Questions; // asked before a month goes again to the same address
    bool Answer = true;
};

bool HasLine(const std::string& content, const std::string& line)
{
    return content.find("\r\n" + line + "\r\n") != std::string::npos;
}

} // namespace

TEST(SendDialogMail, DeliversTheMonthAsTypedAndCloses)
{
    TSmtpTestServer server(WithDispatchAccount({.RequireAuth = true}));
    TMailWindow w(server);
    Tform_enviar& d = w.Dialog(kArchive, "Contador <contador@example.com>");
    QTest::mouseClick(d.btn_email, Qt::LeftButton);

    EXPECT_EQ(w.Messages, QStringList {"E-mail enviado para contador@example.com."});
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.btn_email->text(), "Enviar E-mail");
    const auto messages = server.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].User, kDispatchMailbox);
    EXPECT_EQ(messages[0].Recipients, std::vector<std::string> {"contador@example.com"});
    const std::string content = "\r\n" + messages[0].Content();
    EXPECT_TRUE(HasLine(content, "From: \"Dravik Automail\" <" + kDispatchMailbox + ">")) << content.substr(0, 600);
    EXPECT_TRUE(HasLine(content, "Subject: Loja Centro - XML - =?UTF-8?B?TWFyw6dv?= de 2026"));
    EXPECT_TRUE(HasLine(content, "To: \"Contador\" <contador@example.com>"));
    EXPECT_TRUE(HasLine(content, "Reply-To: " + kDispatchMailbox));
    EXPECT_EQ(StoredParts(messages[0]),
              (std::vector<std::string> {"text/plain", "application/x-7z-compressed 03.7z 100000"}));
}

// "Enviar XML" leaves the attachment field empty; without an enabled terminal the
// extraction hands over ".7z". Neither names a file, so only the text goes, and
// the confirmation says so; for ".7z" (a month without terminals) the user is
// asked first, and "Não" sends nothing.
TEST(SendDialogMail, NoAttachmentIsSaidAndAMonthWithoutTerminalsIsAskedFirst)
{
    TSmtpTestServer server(WithDispatchAccount());
    TMailWindow w(server);
    for (const QString& attachment : {QString(), QString(".7z")}) {
        Tform_enviar& d = w.Dialog(attachment, "contador@example.com");
        QTest::mouseClick(d.btn_email, Qt::LeftButton);
        EXPECT_FALSE(d.isVisible());
    }
    EXPECT_EQ(w.Messages, (QStringList {"E-mail enviado para contador@example.com, sem anexo.",
                                        "E-mail enviado para contador@example.com, sem anexo."}));
    // A mail without the month's archive does not make the month "already sent".
    ASSERT_EQ(w.Questions.size(), 1);
    EXPECT_TRUE(w.Questions[0].startsWith("Nenhum PDV foi extraído")) << w.Questions[0].toStdString();
    w.Answer = false;
    Tform_enviar& declined = w.Dialog(".7z", "contador@example.com");
    QTest::mouseClick(declined.btn_email, Qt::LeftButton);
    EXPECT_TRUE(declined.isVisible());

    const auto messages = server.Messages();
    ASSERT_EQ(messages.size(), 2u);
    for (const auto& message : messages)
        EXPECT_EQ(StoredParts(message), std::vector<std::string> {"text/plain"});
}

// The month's archive changed after its check (rewritten, cut short, another
// extraction's): refused before connecting, with what to do.
TEST(SendDialogMail, AnArchiveThatNoLongerMatchesItsSealIsRefused)
{
    TSmtpTestServer server(WithDispatchAccount());
    TMailWindow w(server);
    std::ofstream(w.Store.DriveC() / "Kelmora/Orvant/Enviar/2026/03.7z", std::ios::app) << "x";
    Tform_enviar& d = w.Dialog(kArchive, "contador@example.com");
    QTest::mouseClick(d.btn_email, Qt::LeftButton);
    ASSERT_EQ(w.Messages.size(), 1);
    EXPECT_TRUE(w.Messages[0].startsWith("O arquivo " + kArchive + " mudou depois da conferência: tem 100001 bytes "
                                         "e o manifesto registrou 100000."))
        << w.Messages[0].toStdString();
    EXPECT_TRUE(w.Messages[0].endsWith("O e-mail não foi enviado."));
    EXPECT_TRUE(d.isVisible());
    EXPECT_TRUE(server.SessionLog().Events("open").empty()) << "refused before connecting";
}

// The server's refusal is shown and the dialog stays; the next press builds the
// message afresh, so the mail that goes out has one recipient, one text part and
// one attachment.
TEST(SendDialogMail, RefusedRecipientKeepsTheDialogAndTheNextPressSendsOneMessage)
{
    TSmtpTestServer server(WithDispatchAccount({.RefusedRecipients = {"recusado@example.com"}}));
    TMailWindow w(server);
    Tform_enviar& d = w.Dialog(kArchive, "recusado@example.com");
    QTest::mouseClick(d.btn_email, Qt::LeftButton);
    ASSERT_EQ(w.Messages.size(), 1);
    EXPECT_TRUE(w.Messages[0].startsWith("Não foi possível entregar o e-mail ao servidor de e-mail localhost.\n"
                                         "Resposta do servidor: 550"))
        << w.Messages[0].toStdString();
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.btn_email->text(), "Enviar E-mail");

    d.edt_email->setText("contador@example.com");
    QTest::mouseClick(d.btn_email, Qt::LeftButton);
    EXPECT_EQ(w.Messages.value(1), "E-mail enviado para contador@example.com.");
    EXPECT_FALSE(d.isVisible());
    const auto messages = server.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].Recipients, std::vector<std::string> {"contador@example.com"});
    EXPECT_EQ(messages[0].Content().find("recusado"), std::string::npos);
    EXPECT_EQ(StoredParts(messages[0]),
              (std::vector<std::string> {"text/plain", "application/x-7z-compressed 03.7z 100000"}));
}

// The month already delivered to the address (as the history says): the dialog asks
// first, and "Não" sends nothing and keeps the dialog. Another address is not asked.
TEST(SendDialogMail, TheSameMonthAgainToTheSameAddressAsksFirst)
{
    TSmtpTestServer server(WithDispatchAccount());
    TMailWindow w(server);
    QTest::mouseClick(w.Dialog(kArchive, "Contador <contador@example.com>").btn_email, Qt::LeftButton);
    EXPECT_TRUE(w.Questions.isEmpty());
    ASSERT_EQ(server.Messages().size(), 1u);

    w.Answer = false;
    Tform_enviar& again = w.Dialog(kArchive, "CONTADOR@example.com");
    QTest::mouseClick(again.btn_email, Qt::LeftButton);
    ASSERT_EQ(w.Questions.size(), 1);
    EXPECT_TRUE(w.Questions[0].startsWith("Este mês já foi enviado para Contador <contador@example.com> em 20"))
        << w.Questions[0].toStdString();
    EXPECT_TRUE(w.Questions[0].endsWith(". Enviar novamente?"));
    EXPECT_TRUE(again.isVisible());
    EXPECT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(w.Messages.size(), 1) << "only the first delivery's confirmation";

    w.Answer = true;
    QTest::mouseClick(again.btn_email, Qt::LeftButton);
    EXPECT_EQ(w.Questions.size(), 2);
    EXPECT_FALSE(again.isVisible());
    EXPECT_EQ(server.Messages().size(), 2u);

    QTest::mouseClick(w.Dialog(kArchive, "outro@example.com").btn_email, Qt::LeftButton);
    EXPECT_EQ(w.Questions.size(), 2);
    EXPECT_EQ(server.Messages().size(), 3u);
    const auto entries = orvant::app::TSendHistory::ForDeployment(w.Store.Roots()).Entries();
    ASSERT_EQ(entries.size(), 3u) << "one line per send, none for the send declined";
}

// A certificate from a CA nobody trusts, or one for another name: the handshake
// fails, so the server never sees the login.
TEST(SendDialogMail, WrongCertificateIsRefusedBeforeTheLogin)
{
    const TTestCertificates& certs = TestCertificates();
    for (const auto& [cert, key] : {std::pair(certs.UntrustedCert, certs.UntrustedKey),
                                    std::pair(certs.OtherNameCert, certs.OtherNameKey)}) {
        TSmtpTestServer server(WithDispatchAccount({.CertFile = cert, .KeyFile = key}));
        TMailWindow w(server);
        Tform_enviar& d = w.Dialog(kArchive, "contador@example.com");
        QTest::mouseClick(d.btn_email, Qt::LeftButton);

        ASSERT_EQ(w.Messages.size(), 1) << cert;
        EXPECT_TRUE(w.Messages[0].startsWith("Não foi possível conectar ao servidor de e-mail localhost"));
        EXPECT_TRUE(w.Messages[0].contains("certificate") && w.Messages[0].contains("\"localhost\""))
            << w.Messages[0].toStdString();
        EXPECT_TRUE(d.isVisible());
        const TSmtpSessionLog log = server.SessionLog();
        const auto commands = log.Commands();
        EXPECT_TRUE(std::none_of(commands.begin(), commands.end(),
                                 [](const std::string& c) { return c.rfind("AUTH", 0) == 0; }));
        EXPECT_TRUE(log.Events("auth-line").empty());
        EXPECT_TRUE(server.Messages().empty());
    }
}

TEST(SendDialogMail, LineBreakInTheAddressIsRefused)
{
    TSmtpTestServer server(WithDispatchAccount());
    TMailWindow w(server);
    Tform_enviar& d = w.Dialog(kArchive, "");
    d.edt_email->setText("contador@example.com\r\nRCPT TO:<outro@example.com>");
    ASSERT_TRUE(d.edt_email->text().contains('\n'));
    QTest::mouseClick(d.btn_email, Qt::LeftButton);
    ASSERT_EQ(w.Messages.size(), 1);
    EXPECT_TRUE(w.Messages[0].startsWith("O e-mail de recebimento contém uma quebra de linha"));
    EXPECT_TRUE(d.isVisible());
    EXPECT_TRUE(server.SessionLog().Events("open").empty());
}
