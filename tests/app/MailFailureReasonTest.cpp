#include "app/MailFailureReason.h"

#include "smtp/IdExceptionCore.h"

#include <gtest/gtest.h>

using namespace orvant::app;

namespace {

TMailSettings Settings()
{
    TMailSettings settings;
    settings.ConfigPath = "/etc/orvant/orvant.conf";
    return settings;
}

} // namespace

// What a server or the network says reaches a message box: no control byte may
// pass, a line break becomes a blank, and a long text is cut.
TEST(MailFailureReason, ServerTextIsMadePrintable)
{
    EXPECT_EQ(PrintableDetail(u"  550 5.1.1 no\r\nsuch\tuser \x01\x7f\x9b end  "), u"550 5.1.1 no such user ??? end");
    const std::u16string cut = PrintableDetail(std::u16string(1000, u'x'), 10);
    EXPECT_EQ(cut, std::u16string(10, u'x') + u"…");

    const EIdReplyRFCError refusal(554, u"Rejected\r\n\x1b[31mspam\x1b[0m");
    EXPECT_EQ(MailFailureReason(refusal, Settings()), u"Resposta do servidor: 554 Rejected ?[31mspam?[0m");
}

// Transport and TLS failures lead with a Portuguese sentence the store can act on;
// the library's text stays below it for the IT person.
TEST(MailFailureReason, TransportFailuresAreExplainedInPortuguese)
{
    const EIdSocketError refused(10061, u"Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(MailFailureReason(refused, Settings()),
              u"O servidor recusou a conexão: nada atende nessa porta.\n"
              u"Detalhe: Socket Error # 10061 Connection refused.");
    const EIdSocketError unknownHost(11001, u"Socket Error # 11001\r\nHost not found.");
    EXPECT_NE(MailFailureReason(unknownHost, Settings()).find(u"confira Host e o DNS"), std::u16string::npos);
    // A code without a sentence of its own keeps the library's text alone.
    const EIdSocketError other(10013, u"Socket Error # 10013\r\nPermission denied.");
    EXPECT_EQ(MailFailureReason(other, Settings()), u"Socket Error # 10013 Permission denied.");

    const EIdOSSLUnderlyingCryptoError tls(0u, u"Error connecting with SSL.\r\ncertificate verify failed");
    const std::u16string reason = MailFailureReason(tls, Settings());
    EXPECT_EQ(reason.rfind(u"A conexão segura (TLS) com o servidor falhou.", 0), 0u) << reason.size();
    EXPECT_NE(reason.find(u"CAFile na seção [Mail] de /etc/orvant/orvant.conf"), std::u16string::npos);
    EXPECT_NE(reason.find(u"Detalhe: Error connecting with SSL. certificate verify failed"), std::u16string::npos);

    const EIdReadLnMaxLineLengthExceeded longLine(u"Max line length exceeded.");
    EXPECT_EQ(MailFailureReason(longLine, Settings()).rfind(u"O servidor respondeu algo que não é", 0), 0u);
}
