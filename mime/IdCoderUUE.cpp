// Wider surface of the library, kept for completeness: no road of the program reaches the code below.
#include "mime/IdCoderUUE.h"

TIdEncoderUUE::TIdEncoderUUE(TIdCreationKey key)
    : TIdEncoderUUEBase(key)
{
    SetCodingTable("`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_", '`');
}

std::size_t TIdEncoderUUEBase::EncodeLine(const std::uint8_t* in, std::size_t count, std::uint8_t* out) const
{
    out[0] = FCodingTable[count];
    return 1 + EncodeBlock(in, count, out + 1);
}

void TIdEncoderUUEBase::Encode(TStream& source, TStream& destination, std::int64_t byteCount)
{
    TIdBytes in(kBytesPerLine);
    std::uint8_t out[2 + MaxLineLength(kBytesPerLine)];
    bool first = true;
    ForEachBlock(source, byteCount, in, [&](const std::uint8_t* bytes, std::size_t count) {
        std::size_t length = 0;
        if (!first) {
            out[length++] = '\r';
            out[length++] = '\n';
        }
        first = false;
        length += EncodeLine(bytes, count, out + length);
        destination.WriteBuffer(out, static_cast<std::int64_t>(length));
    });
}
