#include "mime/IdMessageCoderUUE.h"

#include "mime/IdTextEncoding.h"

void TIdMessageEncoderUUEBase::Encode(TStream& source, TStream& destination)
{
    constexpr std::size_t kBytesPerLine = TIdEncoderUUEBase::kBytesPerLine;
    constexpr std::size_t kLinesPerBlock = 1024;
    constexpr std::size_t kLineLength = TIdEncoderUUEBase::MaxLineLength(kBytesPerLine) + 2;
    const auto coder = FEncoderClass();
    source.SetPosition(0);

    TIdBytes begin = ToBytesRaw(u"begin " + IntToStr(FPermissionCode) + u" ");
    IndyTextEncoding_8Bit()->AppendBytes(FFilename, begin);
    begin.insert(begin.end(), {'\r', '\n'});
    destination.WriteBytes(begin);

    TIdBytes in(kBytesPerLine * kLinesPerBlock);
    TIdBytes out(kLineLength * kLinesPerBlock);
    for (;;) {
        const std::size_t n = ReadUpTo(source, in.data(), in.size());
        if (n == 0)
            break;
        std::uint8_t* o = out.data();
        for (std::size_t i = 0; i < n; i += kBytesPerLine) {
            o += coder->EncodeLine(in.data() + i, std::min(kBytesPerLine, n - i), o);
            *o++ = '\r';
            *o++ = '\n';
        }
        destination.WriteBuffer(out.data(), o - out.data());
        if (n < in.size())
            break;
    }

    const std::uint8_t end[] = {std::uint8_t(coder->FillChar()), '\r', '\n', 'e', 'n', 'd', '\r', '\n'};
    destination.WriteBuffer(end, sizeof end);
}
