#include "mime/IdCoder3to4.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVANT_BASE64_SSSE3 1
#endif

namespace {

constexpr std::string_view kStandardBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

#ifdef ORVANT_BASE64_SSSE3
// Attachments are the bulk of every message, so the standard base64 alphabet gets a
// vector path: 12 bytes become 16 characters per step, by byte shuffles and
// multiplications that spread the 6-bit fields, then a 16-entry table of offsets per
// alphabet range (W. Mula and D. Lemire, "Faster Base64 Encoding and Decoding Using
// AVX2 Instructions", ACM TOW 2018, SSE form). The target attribute (GCC and Clang)
// compiles only this function for SSSE3; it runs only on CPUs that report it.
// Returns how many input bytes it encoded (a multiple of 12); the caller does the rest.
__attribute__((target("ssse3"))) std::size_t EncodeStandardBase64Ssse3(const std::uint8_t* in, std::size_t count,
                                                                       std::uint8_t* out)
{
    const __m128i spread = _mm_set_epi8(10, 11, 9, 10, 7, 8, 6, 7, 4, 5, 3, 4, 1, 2, 0, 1);
    const __m128i maskHigh = _mm_set1_epi32(0x0FC0FC00);
    const __m128i shiftHigh = _mm_set1_epi32(0x04000040);
    const __m128i maskLow = _mm_set1_epi32(0x003F03F0);
    const __m128i shiftLow = _mm_set1_epi32(0x01000010);
    const __m128i offsets = _mm_setr_epi8('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                                          '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
    std::size_t i = 0;
    // 16 bytes are loaded for the 12 used, so the loop stops 4 bytes early.
    for (; i + 16 <= count; i += 12, out += 16) {
        __m128i v = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)), spread);
        const __m128i high = _mm_mulhi_epu16(_mm_and_si128(v, maskHigh), shiftHigh);
        const __m128i low = _mm_mullo_epi16(_mm_and_si128(v, maskLow), shiftLow);
        const __m128i indices = _mm_or_si128(high, low); // one 6-bit value per byte
        __m128i range = _mm_subs_epu8(indices, _mm_set1_epi8(51));
        const __m128i upper = _mm_cmpgt_epi8(_mm_set1_epi8(26), indices);
        range = _mm_or_si128(range, _mm_and_si128(upper, _mm_set1_epi8(13)));
        v = _mm_add_epi8(_mm_shuffle_epi8(offsets, range), indices);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
    }
    return i;
}

bool CpuHasSsse3()
{
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}
#endif

} // namespace

void TIdEncoder3to4::SetCodingTable(std::string_view table, char fillChar)
{
    FCodingTable.assign(table.begin(), table.end());
    FFillChar = fillChar;
    FPairs.resize(4096);
    for (std::size_t i = 0; i < FPairs.size(); ++i)
        FPairs[i] = {FCodingTable[i >> 6], FCodingTable[i & 63]};
#ifdef ORVANT_BASE64_SSSE3
    FVectorPath = table == kStandardBase64 && CpuHasSsse3();
#endif
}

std::size_t TIdEncoder3to4::EncodeBlock(const std::uint8_t* in, std::size_t count, std::uint8_t* out) const
{
    std::uint8_t* o = out;
    std::size_t i = 0;
#ifdef ORVANT_BASE64_SSSE3
    if (FVectorPath) {
        i = EncodeStandardBase64Ssse3(in, count, o);
        o += i / 3 * 4;
    }
#endif
    const std::array<std::uint8_t, 2>* pairs = FPairs.data();
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
    constexpr std::size_t kBlock = 3 * 16384; // whole groups, so only the last block has a partial one
    TIdBytes in(kBlock);
    TIdBytes out(MaxEncodedLength(kBlock));
    ForEachBlock(source, byteCount, in, [&](const std::uint8_t* bytes, std::size_t count) {
        destination.WriteBuffer(out.data(), static_cast<std::int64_t>(EncodeBlock(bytes, count, out.data())));
    });
}
