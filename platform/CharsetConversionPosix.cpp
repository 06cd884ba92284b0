#include "platform/CharsetConversion.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <memory>

namespace orvant::platform {

namespace {

using TBytes = std::vector<std::uint8_t>;

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle OpenIconv(const char* to, const char* from)
{
    iconv_t cd = iconv_open(to, from);
    return IconvHandle(cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd);
}

// How many input bytes to pass over where a conversion failed.
using SkipFunction = std::size_t (*)(const std::uint8_t* at, std::size_t left);

// Converts with iconv; a sequence the target cannot take is replaced by `bad` (in the
// target's bytes, written in its initial shift state) and passed over.
TBytes IconvConvert(const IconvHandle& cd, TBytes input, const TBytes& bad, SkipFunction skip)
{
    TBytes out(input.size() * 2 + 16);
    char* in = reinterpret_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    std::size_t used = 0;
    auto grow = [&] { out.resize(out.size() * 2); };
    auto call = [&](char** src, std::size_t* srcLeft) {
        while (true) {
            char* dst = reinterpret_cast<char*>(out.data() + used);
            std::size_t dstLeft = out.size() - used;
            const std::size_t rc = iconv(static_cast<iconv_t>(cd.get()), src, srcLeft, &dst, &dstLeft);
            used = out.size() - dstLeft;
            if (rc != static_cast<std::size_t>(-1))
                return 0;
            if (errno != E2BIG)
                return errno;
            grow();
        }
    };
    while (inLeft > 0) {
        const int error = call(&in, &inLeft);
        if (error == 0)
            break;
        call(nullptr, nullptr); // back to the initial shift state before the substitute
        if (out.size() - used < bad.size())
            out.resize(used + bad.size() + 16);
        std::copy(bad.begin(), bad.end(), out.begin() + static_cast<std::ptrdiff_t>(used));
        used += bad.size();
        const std::size_t step = std::min(skip(reinterpret_cast<const std::uint8_t*>(in), inLeft), inLeft);
        in += step;
        inLeft -= step;
    }
    call(nullptr, nullptr);
    out.resize(used);
    return out;
}

TBytes ToUtf16LEBytes(std::u16string_view text)
{
    TBytes bytes;
    bytes.reserve(text.size() * 2);
    for (const char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

// One UTF-16 unit, or both units of a surrogate pair.
std::size_t SkipUtf16LECharacter(const std::uint8_t* at, std::size_t left)
{
    const bool highSurrogate = left >= 4 && (at[1] & 0xFC) == 0xD8;
    return highSurrogate && (at[3] & 0xFC) == 0xDC ? 4 : 2;
}

std::size_t SkipOneByte(const std::uint8_t*, std::size_t)
{
    return 1;
}

std::u16string FromUtf16LEBytes(const TBytes& bytes)
{
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    return text;
}

} // namespace

std::optional<std::vector<std::uint8_t>> EncodeInCharset(const TCharsetId& charset, std::u16string_view text)
{
    const IconvHandle cd = OpenIconv(charset.Name, "UTF-16LE");
    if (!cd)
        return std::nullopt;
    return IconvConvert(cd, ToUtf16LEBytes(text), {'?'}, SkipUtf16LECharacter);
}

std::optional<std::u16string> DecodeFromCharset(const TCharsetId& charset, const std::uint8_t* bytes,
                                                std::size_t count)
{
    const IconvHandle cd = OpenIconv("UTF-16LE", charset.Name);
    if (!cd)
        return std::nullopt;
    return FromUtf16LEBytes(IconvConvert(cd, TBytes(bytes, bytes + count), {0xFD, 0xFF}, SkipOneByte));
}

} // namespace orvant::platform
