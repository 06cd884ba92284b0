#include "mime/IdCoder3to4.h"

#include <cstring>

void TIdEncoder3to4::SetCodingTable(std::string_view table, char fillChar)
{
    FCodingTable.assign(table.begin(), table.end());
    FFillChar = fillChar;
    FPairs.resize(4096);
    for (std::size_t i = 0; i < FPairs.size(); ++i)
        FPairs[i] = {FCodingTable[i >> 6], FCodingTable[i & 63]};
}

std::size_t TIdEncoder3to4::EncodeBlock(const std::uint8_t* in, std::size_t count, std::uint8_t* out) const
{
    const std::array<std::uint8_t, 2>* pairs = FPairs.data();
    std::uint8_t* o = out;
    std::size_t i = 0;
    for (; i + 3 <= count; i += 3, o += 4) {
        const std::uint32_t v = (std::uint32_t(in[i]) << 16) | (std::uint32_t(in[i + 1]) << 8) | in[i + 2];
        std::memcpy(o, pairs[v >> 12].data(), 2);
        std::memcpy(o + 2, pairs[v & 0xFFF].data(), 2);
    }
    const std::size_t rest = count - i;
    if (rest > 0) {
        const std::uint32_t v = (std::uint32_t(in[i]) << 16) | (rest == 2 ? std::uint32_t(in[i + 1]) << 8 : 0);
        *o++ = FCodingTable[v >> 18];
        *o++ = FCodingTable[(v >> 12) & 63];
        if (rest == 2)
            *o++ = FCodingTable[(v >> 6) & 63];
        if (FFillChar != 0) {
            if (rest == 1)
                *o++ = static_cast<std::uint8_t>(FFillChar);
            *o++ = static_cast<std::uint8_t>(FFillChar);
        }
    }
    return static_cast<std::size_t>(o - out);
}

void TIdEncoder3to4::Encode(TStream& source, TStream& destination, std::int64_t byteCount)
{
    constexpr std::size_t kBlock = 3 * 16384; // whole groups, so only the last block is short
    TIdBytes in(kBlock);
    TIdBytes out(MaxEncodedLength(kBlock));
    std::uint64_t left = byteCount < 0 ? UINT64_MAX : static_cast<std::uint64_t>(byteCount);
    while (left > 0) {
        const std::size_t n = ReadUpTo(source, in.data(), static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, left)));
        if (n == 0)
            break;
        left -= n;
        destination.WriteBuffer(out.data(), static_cast<std::int64_t>(EncodeBlock(in.data(), n, out.data())));
        if (n < kBlock)
            break;
    }
}
