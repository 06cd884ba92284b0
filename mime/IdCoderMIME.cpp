#include "mime/IdCoderMIME.h"

#include <array>

namespace {

constexpr std::string_view kBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::int8_t, 128> MakeDecodeTable()
{
    std::array<std::int8_t, 128> table{};
    for (auto& v : table)
        v = -1;
    for (std::size_t i = 0; i < kBase64.size(); ++i)
        table[static_cast<unsigned char>(kBase64[i])] = static_cast<std::int8_t>(i);
    return table;
}

constexpr std::array<std::int8_t, 128> kDecode = MakeDecodeTable();

} // namespace

TIdEncoderMIME::TIdEncoderMIME(TIdCreationKey key)
    : TIdEncoder3to4(key)
{
    SetCodingTable(kBase64, '=');
}

void TIdDecoderMIME::Decode(StringView encoded, TStream& destination)
{
    TIdBytes out;
    out.reserve(encoded.size() / 4 * 3 + 3);
    std::uint32_t bits = 0;
    int count = 0;
    for (const char16_t c : encoded) {
        if (c == u'=')
            break;
        if (c >= 128 || kDecode[c] < 0)
            continue;
        bits = (bits << 6) | static_cast<std::uint32_t>(kDecode[c]);
        if (++count == 4) {
            out.push_back(static_cast<std::uint8_t>(bits >> 16));
            out.push_back(static_cast<std::uint8_t>(bits >> 8));
            out.push_back(static_cast<std::uint8_t>(bits));
            bits = 0;
            count = 0;
        }
    }
    if (count >= 2)
        out.push_back(static_cast<std::uint8_t>(bits >> (6 * count - 8)));
    if (count == 3)
        out.push_back(static_cast<std::uint8_t>(bits >> 2));
    destination.WriteBytes(out);
}
