#pragma once
// Conversion between UTF-16 and a MIME charset named by the message (ISO-2022-JP in
// encoded words), done by the system's converter: iconv by the charset's name on
// Linux, MultiByteToWideChar and WideCharToMultiByte by its code page on Windows.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvant::platform {

struct TCharsetId {
    const char* Name;       // the MIME name, which iconv knows too
    std::uint32_t CodePage; // the Windows code page behind it
};

// The charset's bytes for `text`, in its initial shift state at the end; a character
// the charset lacks becomes "?". Nothing when the system cannot convert the charset.
std::optional<std::vector<std::uint8_t>> EncodeInCharset(const TCharsetId& charset, std::u16string_view text);

// The text of the charset's bytes; bytes that are no character become U+FFFD.
// Nothing when the system cannot convert the charset.
std::optional<std::u16string> DecodeFromCharset(const TCharsetId& charset, const std::uint8_t* bytes,
                                                std::size_t count);

} // namespace orvant::platform
