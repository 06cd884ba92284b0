// Wider surface of the library, kept for completeness: no road of the program reaches the code below.
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
    ForEachBlock(source, -1, in, [&](const std::uint8_t* bytes, std::size_t count) {
        std::uint8_t* o = out.data();
        for (std::size_t i = 0; i < count; i += kBytesPerLine) {
            o += coder->EncodeLine(bytes + i, std::min(kBytesPerLine, count - i), o);
            *o++ = '\r';
            *o++ = '\n';
        }
        destination.WriteBuffer(out.data(), o - out.data());
    });

    const std::uint8_t end[] = {std::uint8_t(coder->FillChar()), '\r', '\n', 'e', 'n', 'd', '\r', '\n'};
    destination.WriteBuffer(end, sizeof end);
}
