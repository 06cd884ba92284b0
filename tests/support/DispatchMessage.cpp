#include "support/DispatchMessage.h"

#include "mail/IdAttachmentFile.h"
#include "mail/IdEMailAddress.h"
#include "mail/IdText.h"

#include <cstdint>

namespace orvant::test {

std::string WriteArchive(const TTempDir& dir, std::size_t size)
{
    std::string archive(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        archive[i] = static_cast<char>((static_cast<std::uint32_t>(i) * 2654435761u) >> 24);
    return dir.WriteFile("Enviar/2026/03.7z", archive).string();
}

std::unique_ptr<TIdMessage> MakeDispatchMessage(const std::string& mailbox, const std::string& archivePath)
{
    auto msg = MakeComponent<TIdMessage>();
    msg->From().SetAddress(FromUtf8(mailbox));
    msg->From().SetName(u"Dravik Automail");
    msg->ReplyTo().SetEMailAddresses(msg->From().Address());
    msg->Recipients().Add().SetText(u"Contador <contador@example.com>");
    msg->SetSubject(u"Loja Centro - XML - Março de 2026");
    msg->SetEncoding(TIdMessageEncoding::meMIME);
    TIdText& text = TCollection::Emplace<TIdText>(msg->MessageParts());
    text.Body().Add(u"Segue em anexo os arquivos referentes");
    text.SetContentType(u"text/plain; charset=iso-8859-1");
    TCollection::Emplace<TIdAttachmentFile>(msg->MessageParts(), FromUtf8(archivePath));
    return msg;
}

} // namespace orvant::test
