#include "mime/IdMessageCoderMIME.h"

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
    for (;;) {
        const std::size_t n = ReadUpTo(source, in.data(), in.size());
        if (n == 0)
            break;
        // The block in one run of the coder (every line but the last holds whole
        // groups), then cut into lines.
        const std::size_t length = coder->EncodeBlock(in.data(), n, chars.data());
        std::uint8_t* o = out.data();
        for (std::size_t pos = 0; pos < length; pos += kCharsPerLine) {
            const std::size_t line = std::min(kCharsPerLine, length - pos);
            std::memcpy(o, chars.data() + pos, line);
            o += line;
            *o++ = '\r';
            *o++ = '\n';
        }
        destination.WriteBuffer(out.data(), o - out.data());
        if (n < in.size())
            break;
    }
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
