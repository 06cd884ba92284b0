#include "mime/IdMessageCoderMIME.h"

#include "mime/IdCoderMIME.h"

void TIdMessageEncoderMIME::Encode(TStream& source, TStream& destination)
{
    constexpr std::size_t kLinesPerBlock = 1024;
    constexpr std::size_t kLineLength = TIdEncoder3to4::MaxEncodedLength(kBytesPerLine) + 2;
    const auto coder = MakeComponent<TIdEncoderMIME>();
    TIdBytes in(kBytesPerLine * kLinesPerBlock);
    TIdBytes out(kLineLength * kLinesPerBlock);
    source.SetPosition(0);
    for (;;) {
        const std::size_t n = ReadUpTo(source, in.data(), in.size());
        if (n == 0)
            break;
        std::uint8_t* o = out.data();
        for (std::size_t i = 0; i < n; i += kBytesPerLine) {
            o += coder->EncodeBlock(in.data() + i, std::min(kBytesPerLine, n - i), o);
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
