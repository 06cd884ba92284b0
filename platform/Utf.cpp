#include "platform/Utf.h"

namespace orvant::platform {

std::u16string Utf8ToUtf16(std::string_view in)
{
    std::u16string out;
    out.reserve(in.size());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(in.data());
    char16_t units[2];
    for (std::size_t i = 0; i < in.size();) {
        if (bytes[i] < 0x80) { // most text is ASCII
            out.push_back(bytes[i++]);
            continue;
        }
        out.append(units, EncodeUtf16(NextUtf8CodePoint(bytes, in.size(), i), units));
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view in)
{
    std::string out;
    out.reserve(in.size());
    std::uint8_t bytes[4];
    for (std::size_t i = 0; i < in.size();) {
        const std::size_t n = EncodeUtf8(NextUtf16CodePoint(in, i), bytes);
        out.append(reinterpret_cast<const char*>(bytes), n);
    }
    return out;
}

} // namespace orvant::platform
