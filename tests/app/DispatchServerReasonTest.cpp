// What the user reads when the server gives a reason: a server that refuses with
// 421 and closes at RCPT, DATA or the final dot is shown in its own words, though
// the RSET after the refusal meets a closed connection; and a server that never
// ends a reply is named as such, with the bound it passed.

#include "app/MailDispatch.h"
#include "app/MailFailureReason.h"

#include "mime/IdGlobal.h"
#include "net/IdSSLOpenSSLHeaders.h"
#include "smtp/IdExceptionCore.h"
#include "support/DispatchAccount.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace orvant::app;

namespace {

struct TRecordingView final : IMailDispatchView {
    std::vector<std::u16string> Messages;
    void ShowMessage(std::u16string_view text) override { Messages.emplace_back(text); }
    void ShowProgress(std::uint64_t, std::uint64_t) override {}
    void CloseDialog() override {}
};

} // namespace

TEST(DispatchServerReason, RefusalWith421ThenCloseIsShownInTheServersWords)
{
    orvant::test::TTempDir dir;
    const std::string archive = dir.WriteFile("03.7z", std::string(64 * 1024, '\x9c')).string();
    for (const TSmtpServerStep step :
         {TSmtpServerStep::AfterRcpt, TSmtpServerStep::AfterData, TSmtpServerStep::BeforeDotReply}) {
        TSmtpTestServer server(WithDispatchAccount({.Faults = {{step, TSmtpServerAction::Refuse421}}}));
        TRecordingView view;
        TMailDispatch dispatch(view, TMailSettings::FromDeployment(DispatchDeployment(server)), {});
        const TMailDispatchInput input {u"Março", u"2026", u"Loja Centro", u"contador@example.com",
                                        FromUtf8(archive), true};
        EXPECT_EQ(dispatch.Send(input), TMailDispatchResult::mdFailed);

        ASSERT_EQ(view.Messages.size(), 1u);
        EXPECT_EQ(view.Messages[0], u"Não foi possível entregar o e-mail ao servidor de e-mail localhost.\n"
                                    u"Resposta do servidor: 421 4.4.2 localhost Error: timeout exceeded\n"
                                    u"É uma recusa temporária: tente enviar de novo mais tarde.\n"
                                    u"O e-mail não foi enviado.");
        // The tear-down found the connection closed: no QUIT was waited for.
        const std::vector<std::string> commands = server.SessionLog().Commands();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "QUIT"), 0);
        EXPECT_EQ(dispatch.IdSMTP(), nullptr);
        EXPECT_FALSE(TlsLibraryLoaded());
        EXPECT_TRUE(server.Messages().empty());
    }
}

TEST(DispatchServerReason, EndlessRepliesNameTheBoundTheyPassed)
{
    const TMailSettings settings;
    const std::u16string lines =
        MailFailureReason(EIdReplyTooLong(u"Reply too long: more than 512 lines.", 512, 0), settings);
    EXPECT_EQ(lines, u"O servidor mandou uma resposta sem fim (mais de 512 linhas), o que nenhum servidor de e-mail "
                     u"faz; a conexão foi encerrada. Confira Host e Port; se estiverem certos, fale com o provedor "
                     u"do e-mail.\nDetalhe: Reply too long: more than 512 lines.");
    const std::u16string size =
        MailFailureReason(EIdReplyTooLong(u"Reply too long: more than 65536 bytes.", 0, 65536), settings);
    EXPECT_NE(size.find(u"(mais de 65536 bytes)"), std::u16string::npos) << ToUtf8(size);

    const std::u16string slow = MailFailureReason(
        EIdReplyTimeout(u"Reply timed out: not complete within 300000 ms.", 300000), settings);
    EXPECT_EQ(slow.rfind(u"O servidor mandou a resposta aos poucos e não a terminou em 300 segundos;", 0), 0u)
        << ToUtf8(slow);
    EXPECT_NE(slow.find(u"\nDetalhe: Reply timed out: not complete within 300000 ms."), std::u16string::npos);
}
