#include "net/IdIPAddress.h"

#include <cstring>

namespace {

int HexDigitValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

} // namespace

bool ParseIPv4Address(std::string_view AText, TIdIPv4Bytes& VAddress)
{
    TIdIPv4Bytes bytes{};
    int octets = 0;
    bool sawDigit = false;
    std::size_t at = 0;
    for (const char ch : AText) {
        if (ch >= '0' && ch <= '9') {
            const unsigned value = bytes[at] * 10u + unsigned(ch - '0');
            if (sawDigit && bytes[at] == 0) // a leading zero
                return false;
            if (value > 255)
                return false;
            bytes[at] = static_cast<std::uint8_t>(value);
            if (!sawDigit) {
                if (++octets > 4)
                    return false;
                sawDigit = true;
            }
        } else if (ch == '.' && sawDigit) {
            if (octets == 4)
                return false;
            ++at;
            sawDigit = false;
        } else {
            return false;
        }
    }
    if (octets < 4)
        return false;
    VAddress = bytes;
    return true;
}

bool ParseIPv6Address(std::string_view AText, TIdIPv6Bytes& VAddress)
{
    TIdIPv6Bytes bytes{};
    std::size_t filled = 0;          // bytes written so far
    std::ptrdiff_t gap = -1;         // where "::" stands, in bytes
    std::size_t at = 0;
    if (AText.empty())
        return false;
    // A leading "::" needs its first colon skipped; a lone leading ":" is wrong.
    if (AText[0] == ':') {
        if (AText.size() < 2 || AText[1] != ':')
            return false;
        at = 1;
    }
    std::size_t token = at; // where the current group starts
    std::size_t digits = 0;
    unsigned value = 0;
    while (at < AText.size()) {
        const char ch = AText[at++];
        if (const int digit = HexDigitValue(ch); digit >= 0) {
            if (digits == 4)
                return false;
            value = (value << 4) | unsigned(digit);
            ++digits;
            continue;
        }
        if (ch == ':') {
            token = at;
            if (digits == 0) {
                if (gap >= 0)
                    return false;
                gap = static_cast<std::ptrdiff_t>(filled);
                continue;
            }
            if (at == AText.size()) // a trailing single colon
                return false;
            if (filled + 2 > bytes.size())
                return false;
            bytes[filled++] = static_cast<std::uint8_t>(value >> 8);
            bytes[filled++] = static_cast<std::uint8_t>(value);
            digits = 0;
            value = 0;
            continue;
        }
        // An IPv4 address in the last 32 bits: the rest of the text from the group on.
        if (ch == '.' && filled + 4 <= bytes.size()) {
            TIdIPv4Bytes v4{};
            if (!ParseIPv4Address(AText.substr(token), v4))
                return false;
            std::memcpy(bytes.data() + filled, v4.data(), v4.size());
            filled += 4;
            digits = 0;
            break;
        }
        return false;
    }
    if (digits > 0) {
        if (filled + 2 > bytes.size())
            return false;
        bytes[filled++] = static_cast<std::uint8_t>(value >> 8);
        bytes[filled++] = static_cast<std::uint8_t>(value);
    }
    if (gap >= 0) {
        // "::" must stand for at least one group of zeros.
        if (filled == bytes.size())
            return false;
        const std::size_t moved = filled - static_cast<std::size_t>(gap);
        std::memmove(bytes.data() + bytes.size() - moved, bytes.data() + gap, moved);
        std::memset(bytes.data() + gap, 0, bytes.size() - moved - static_cast<std::size_t>(gap));
        filled = bytes.size();
    }
    if (filled != bytes.size())
        return false;
    VAddress = bytes;
    return true;
}

bool IsIPAddressText(std::string_view AText)
{
    TIdIPv4Bytes v4;
    TIdIPv6Bytes v6;
    return ParseIPv4Address(AText, v4) || ParseIPv6Address(AText, v6);
}

String IPv4AddressText(const TIdIPv4Bytes& AAddress)
{
    String text;
    for (std::size_t part = 0; part < AAddress.size(); ++part) {
        if (part > 0)
            text += u'.';
        text += IntToStr(AAddress[part]);
    }
    return text;
}

String IPv6AddressText(const TIdIPv6Bytes& AAddress)
{
    String text;
    for (int group = 0; group < 8; ++group) {
        const unsigned value = (unsigned(AAddress[2 * group]) << 8) | AAddress[2 * group + 1];
        if (group > 0)
            text += u':';
        text += Format(u"%X", {std::uint64_t(value)});
    }
    return text;
}
