#include "app/MailFailureReason.h"

#include "mime/IdGlobal.h"
#include "net/IdStackErrors.h"
#include "platform/Utf.h"
#include "smtp/IdExceptionCore.h"
#include "smtp/IdReplySMTP.h"

namespace orvant::app {

namespace {

// The socket errors a mail server's user meets, by the library's codes.
std::u16string_view SocketErrorAdvice(std::int32_t code)
{
    switch (code) {
    case Id_WSAECONNREFUSED: return u"O servidor recusou a conexão: nada atende nessa porta.";
    case Id_WSAETIMEDOUT: return u"O servidor não respondeu a tempo.";
    case Id_WSAECONNRESET:
    case Id_WSAECONNABORTED: return u"A conexão foi interrompida pelo servidor ou pela rede.";
    case Id_WSAENETUNREACH:
    case Id_WSAEHOSTUNREACH: return u"Não há caminho de rede até o servidor: confira a rede e o firewall.";
    case Id_WSAHOST_NOT_FOUND:
    case Id_WSATRY_AGAIN:
    case Id_WSANO_DATA: return u"O nome do servidor não foi encontrado: confira Host e o DNS.";
    default: return {};
    }
}

// The server's own words: its code, its enhanced code when it gave one, and its text.
std::u16string ServerRefusal(const EIdReplyRFCError& reply)
{
    std::u16string code = IntToStr(reply.ErrorCode());
    if (const auto* smtp = dynamic_cast<const EIdSMTPReplyError*>(&reply); smtp && smtp->EnhancedCode().Available())
        code += u" " + smtp->EnhancedCode().ReplyAsStr();
    std::u16string refusal = u"Resposta do servidor: " + code + u" " + PrintableDetail(reply.Message());
    // 4xx: the server may take the message later (RFC 5321 4.2.1).
    if (reply.ErrorCode() >= 400 && reply.ErrorCode() < 500)
        refusal += u"\nÉ uma recusa temporária: tente enviar de novo mais tarde.";
    return refusal;
}

} // namespace

std::u16string PrintableDetail(std::u16string_view text, std::size_t maxLength)
{
    std::u16string clean;
    for (const char16_t c : text) {
        const bool lineBreak = c == u'\r' || c == u'\n' || c == u'\t';
        const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
        const char16_t shown = lineBreak ? u' ' : control ? u'?' : c;
        if (shown == u' ' && (clean.empty() || clean.back() == u' '))
            continue;
        clean += shown;
    }
    while (!clean.empty() && clean.back() == u' ')
        clean.pop_back();
    if (clean.size() > maxLength) {
        clean.resize(maxLength);
        clean += u'…';
    }
    return clean;
}

std::u16string MailFailureReason(const std::exception& error, const TMailSettings& settings)
{
    if (const auto* reply = dynamic_cast<const EIdReplyRFCError*>(&error))
        return ServerRefusal(*reply);
    if (dynamic_cast<const EIdConnectTimeout*>(&error))
        return Format(u"O servidor não atendeu em %d segundos.", {std::int64_t {settings.ConnectTimeout / 1000}});
    if (const auto* slow = dynamic_cast<const EIdReplyTimeout*>(&error))
        return Format(u"O servidor mandou a resposta aos poucos e não a terminou em %d segundos; a conexão foi "
                      u"encerrada. Tente de novo mais tarde; se continuar, fale com o provedor do e-mail.",
                      {std::int64_t {slow->TimeLimit() / 1000}})
            + u"\nDetalhe: " + PrintableDetail(slow->Message());
    if (dynamic_cast<const EIdReadTimeout*>(&error))
        return Format(u"O servidor não respondeu em %d segundos.", {std::int64_t {settings.ReadTimeout / 1000}});
    if (dynamic_cast<const EIdConnClosedGracefully*>(&error))
        return u"O servidor encerrou a conexão.";

    std::u16string detail;
    if (const auto* exception = dynamic_cast<const Exception*>(&error))
        detail = PrintableDetail(exception->Message());
    else
        detail = PrintableDetail(platform::Utf8ToUtf16(error.what()));

    std::u16string reason;
    if (const auto* socket = dynamic_cast<const EIdSocketError*>(&error))
        reason = SocketErrorAdvice(socket->LastError());
    else if (dynamic_cast<const EIdOpenSSLError*>(&error))
        // Most often the certificate: from a CA the system does not trust (a private
        // CA belongs in CAFile) or made out to another name than Host.
        reason = u"A conexão segura (TLS) com o servidor falhou. Se o certificado do servidor foi recusado, "
                 u"confira Host e CAFile na seção [Mail] de "
            + platform::Utf8ToUtf16(settings.ConfigPath) + u".";
    else if (const auto* endless = dynamic_cast<const EIdReplyTooLong*>(&error))
        reason = u"O servidor mandou uma resposta sem fim (mais de "
            + (endless->MaxLines() > 0 ? IntToStr(endless->MaxLines()) + u" linhas"
                                       : IntToStr(endless->MaxSize()) + u" bytes")
            + u"), o que nenhum servidor de e-mail faz; a conexão foi encerrada. Confira Host e Port; se "
              u"estiverem certos, fale com o provedor do e-mail.";
    else if (dynamic_cast<const EIdReadLnMaxLineLengthExceeded*>(&error)
             || TextStartsWith(detail, u"Reply Code is not valid"))
        reason = u"O servidor respondeu algo que não é uma resposta de servidor de e-mail (SMTP). "
                 u"Confira Host e Port.";
    if (reason.empty())
        return detail;
    return reason + u"\nDetalhe: " + detail;
}

} // namespace orvant::app
