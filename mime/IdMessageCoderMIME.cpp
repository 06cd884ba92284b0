#include "mime/IdMessageCoderMIME.h"

#include "mail/IdMessage.h"
#include "mime/IdCoderMIME.h"

#include <cstring>

void TIdMessageEncoderMIME::Encode(TStream& source, TStream& destination)
{
    constexpr std::size_t kLinesPerBlock = 1024;
    constexpr std::size_t kCharsPerLine = TIdEncoder3to4::MaxEncodedLength(kBytesPerLine);
    const auto coder = MakeComponent<TIdEncoderMIME>();
    TIdBytes in(kBytesPerLine * kLinesPerBlock);
    TIdBytes chars(kCharsPerLine * kLinesPerBlock);
    TIdBytes out((kCharsPerLine + 2) * kLinesPerBlock);
    source.SetPosition(0);
    ForEachBlock(source, -1, in, [&](const std::uint8_t* bytes, std::size_t count) {
        // The block in one run of the coder (every line but the last holds whole
        // groups), then cut into lines.
        const std::size_t length = coder->EncodeBlock(bytes, count, chars.data());
        std::uint8_t* o = out.data();
        for (std::size_t pos = 0; pos < length; pos += kCharsPerLine) {
            const std::size_t line = std::min(kCharsPerLine, length - pos);
            std::memcpy(o, chars.data() + pos, line);
            o += line;
            *o++ = '\r';
            *o++ = '\n';
        }
        destination.WriteBuffer(out.data(), o - out.data());
    });
}

String TIdMessageEncoderInfoMIME::ContentTypeForParts(int relatedPartCount, int attachmentCount, int textPartCount)
{
    if (relatedPartCount > 0)
        return u"multipart/related; type=\"multipart/alternative\"";
    if (attachmentCount > 0)
        return u"multipart/mixed";
    if (textPartCount > 0)
        return u"multipart/alternative";
    return {};
}

void TIdMessageEncoderInfoMIME::InitializeHeaders(TIdMessage& message) const
{
    if (!message.ContentType().empty())
        return;
    const TIdMessageParts& parts = message.MessageParts();
    const String contentType =
        ContentTypeForParts(parts.RelatedPartCount(), parts.AttachmentCount(), parts.TextPartCount());
    if (!contentType.empty())
        message.SetContentType(contentType);
}
