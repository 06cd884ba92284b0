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
    std::uint8_t in[kBytesPerLine];
    std::uint8_t out[2 + MaxLineLength(kBytesPerLine)];
    std::uint64_t left = byteCount < 0 ? UINT64_MAX : static_cast<std::uint64_t>(byteCount);
    bool first = true;
    while (left > 0) {
        const std::size_t n = ReadUpTo(source, in, static_cast<std::size_t>(std::min<std::uint64_t>(kBytesPerLine, left)));
        if (n == 0)
            break;
        left -= n;
        std::size_t length = 0;
        if (!first) {
            out[length++] = '\r';
            out[length++] = '\n';
        }
        first = false;
        length += EncodeLine(in, n, out + length);
        destination.WriteBuffer(out, static_cast<std::int64_t>(length));
    }
}
