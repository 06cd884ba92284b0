#include "platform/Crc32.h"

#include <zlib.h>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define ORVANT_CRC32_FOLDING 1
#endif

namespace orvant::platform {

namespace {

std::uint32_t Crc32Zlib(std::uint32_t crc, const unsigned char* data, std::size_t size)
{
    while (size > 0) {
        const auto piece = static_cast<uInt>(size < (1u << 30) ? size : (1u << 30));
        crc = static_cast<std::uint32_t>(::crc32(crc, data, piece));
        data += piece;
        size -= piece;
    }
    return crc;
}

#ifdef ORVANT_CRC32_FOLDING

#define ORVANT_FOLD_TARGET __attribute__((target("pclmul,sse4.1")))

ORVANT_FOLD_TARGET inline __m128i Load(const unsigned char* at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// x's two halves carried 128 bits further on by the constants in k, plus the next block.
ORVANT_FOLD_TARGET inline __m128i FoldInto(__m128i x, __m128i k, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

// Folding with carry-less multiplication, after Gopal et al., "Fast CRC
// Computation for Generic Polynomials Using PCLMULQDQ Instruction" (Intel,
// 2009), for the reflected polynomial. The constants are x^n mod P(x) for the
// fold distances (4 x 128 bits, 128 bits, 64 bits) and Barrett's P(x) and mu;
// the test compares the result with zlib's on many lengths and contents.
// `state` is the register inside the CRC (not inverted); size >= 64, a
// multiple of 16.
ORVANT_FOLD_TARGET std::uint32_t Fold(std::uint32_t state, const unsigned char* data,
                                                              std::size_t size)
{
    alignas(16) static constexpr std::uint64_t kFold4[2] = {0x0154442bd4, 0x01c6e41596};
    alignas(16) static constexpr std::uint64_t kFold1[2] = {0x01751997d0, 0x00ccaa009e};
    alignas(16) static constexpr std::uint64_t kFold64[2] = {0x0163cd6124, 0};
    alignas(16) static constexpr std::uint64_t kBarrett[2] = {0x01db710641, 0x01f7011641};
    __m128i x1 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(static_cast<int>(state)));
    __m128i x2 = Load(data + 16);
    __m128i x3 = Load(data + 32);
    __m128i x4 = Load(data + 48);
    data += 64;
    size -= 64;
    __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold4));
    for (; size >= 64; data += 64, size -= 64) {
        x1 = FoldInto(x1, k, Load(data));
        x2 = FoldInto(x2, k, Load(data + 16));
        x3 = FoldInto(x3, k, Load(data + 32));
        x4 = FoldInto(x4, k, Load(data + 48));
    }
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold1));
    x1 = FoldInto(x1, k, x2);
    x1 = FoldInto(x1, k, x3);
    x1 = FoldInto(x1, k, x4);
    for (; size >= 16; data += 16, size -= 16)
        x1 = FoldInto(x1, k, Load(data));

    // 128 bits to 64, then to 32 (Barrett reduction).
    const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(x1, k, 0x10), _mm_srli_si128(x1, 8));
    k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kFold64));
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x00), _mm_srli_si128(x1, 4));
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(kBarrett));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), k, 0x00);
    return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, t), 1));
}

bool CanFold()
{
    static const bool can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return can;
}

#endif

} // namespace

std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size)
{
    auto bytes = static_cast<const unsigned char*>(data);
#ifdef ORVANT_CRC32_FOLDING
    if (size >= 64 && CanFold()) {
        const std::size_t folded = size & ~static_cast<std::size_t>(15);
        crc = ~Fold(~crc, bytes, folded);
        bytes += folded;
        size -= folded;
    }
#endif
    return Crc32Zlib(crc, bytes, size);
}

} // namespace orvant::platform
