#include "mime/IdTextEncoding.h"

#include "platform/Utf.h"
#include "smtp/IdExceptionCore.h"

#include <algorithm>
#include <atomic>
#include <cstring>

// --- Conveniences ------------------------------------------------------------------

TIdBytes IIdTextEncoding::GetBytes(StringView chars) const
{
    TIdBytes out;
    AppendBytes(chars, out);
    return out;
}

void IIdTextEncoding::AppendBytes(StringView chars, TIdBytes& out) const
{
    if (chars.empty())
        return;
    const std::size_t start = out.size();
    out.resize(start + GetByteCount(chars));
    const std::size_t written = GetBytes(chars, out.data() + start);
    out.resize(start + written);
}

String IIdTextEncoding::GetString(const std::uint8_t* bytes, std::size_t count) const
{
    if (count == 0)
        return {};
    String out(GetCharCount(bytes, count), u'\0');
    out.resize(GetChars(bytes, count, out.data()));
    return out;
}

String IIdTextEncoding::GetString(const TIdBytes& bytes, std::size_t index, std::size_t count) const
{
    if (index >= bytes.size())
        return {};
    count = std::min(count, bytes.size() - index);
    return GetString(bytes.data() + index, count);
}

// --- ASCII and 8-bit ---------------------------------------------------------------

std::size_t TIdASCIIEncoding::GetBytes(StringView chars, std::uint8_t* out) const
{
    for (std::size_t i = 0; i < chars.size(); ++i)
        out[i] = chars[i] < 128 ? static_cast<std::uint8_t>(chars[i]) : std::uint8_t('?');
    return chars.size();
}

std::size_t TIdASCIIEncoding::GetChars(const std::uint8_t* bytes, std::size_t count, char16_t* out) const
{
    for (std::size_t i = 0; i < count; ++i)
        out[i] = bytes[i] < 128 ? bytes[i] : u'\uFFFD';
    return count;
}

std::size_t TId8BitEncoding::GetBytes(StringView chars, std::uint8_t* out) const
{
    for (std::size_t i = 0; i < chars.size(); ++i)
        out[i] = chars[i] < 256 ? static_cast<std::uint8_t>(chars[i]) : std::uint8_t('?');
    return chars.size();
}

std::size_t TId8BitEncoding::GetChars(const std::uint8_t* bytes, std::size_t count, char16_t* out) const
{
    for (std::size_t i = 0; i < count; ++i)
        out[i] = bytes[i];
    return count;
}

// --- UTF-8 ---------------------------------------------------------------------------
// The code-point steps are the ones the operating-system boundary uses.

using orvant::platform::EncodeUtf16;
using orvant::platform::EncodeUtf8;
using orvant::platform::NextUtf16CodePoint;
using orvant::platform::NextUtf8CodePoint;
using orvant::platform::Utf8Length;

std::size_t TIdUTF8Encoding::GetByteCount(StringView chars) const
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < chars.size();)
        n += Utf8Length(NextUtf16CodePoint(chars, i));
    return n;
}

std::size_t TIdUTF8Encoding::GetBytes(StringView chars, std::uint8_t* out) const
{
    std::size_t o = 0;
    for (std::size_t i = 0; i < chars.size();)
        o += EncodeUtf8(NextUtf16CodePoint(chars, i), out + o);
    return o;
}

std::size_t TIdUTF8Encoding::GetCharCount(const std::uint8_t* bytes, std::size_t count) const
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < count;)
        n += NextUtf8CodePoint(bytes, count, i) >= 0x10000 ? 2 : 1;
    return n;
}

std::size_t TIdUTF8Encoding::GetChars(const std::uint8_t* bytes, std::size_t count, char16_t* out) const
{
    std::size_t o = 0;
    for (std::size_t i = 0; i < count;)
        o += EncodeUtf16(NextUtf8CodePoint(bytes, count, i), out + o);
    return o;
}

// --- UTF-16 ----------------------------------------------------------------------------

std::size_t TIdUTF16LittleEndianEncoding::GetBytes(StringView chars, std::uint8_t* out) const
{
    const bool big = BigEndian();
    for (std::size_t i = 0; i < chars.size(); ++i) {
        const auto lo = static_cast<std::uint8_t>(chars[i] & 0xFF);
        const auto hi = static_cast<std::uint8_t>(chars[i] >> 8);
        out[2 * i] = big ? hi : lo;
        out[2 * i + 1] = big ? lo : hi;
    }
    return chars.size() * 2;
}

std::size_t TIdUTF16LittleEndianEncoding::GetChars(const std::uint8_t* bytes, std::size_t count, char16_t* out) const
{
    const bool big = BigEndian();
    const std::size_t n = count / 2;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t a = bytes[2 * i];
        const std::uint8_t b = bytes[2 * i + 1];
        out[i] = static_cast<char16_t>(big ? (a << 8) | b : (b << 8) | a);
    }
    return n;
}

// --- Code pages ------------------------------------------------------------------------

TIdMBCSEncoding::TIdMBCSEncoding(std::uint32_t codePage)
    : TIdTextEncodingBase(false, 1), FCodePage(codePage)
{
    auto found = orvant::platform::FindCodePage(codePage);
    // US-ASCII may be missing where only the Windows and OEM pages are installed.
    if (!found && codePage == 20127)
        found = orvant::platform::FindCodePage(1252);
    if (!found && codePage == 20127)
        found = orvant::platform::FindCodePage(437);
    if (!found)
        EIdException::Toss(Format(u"Invalid codepage (%d)", {std::uint64_t(codePage)}));
    FSystemCodePage = *found;
    FCodePage = found->Number;
    FMaxCharSize = found->MaxCharSize;
    FIsSingleByte = FMaxCharSize == 1;
}

std::size_t TIdMBCSEncoding::GetByteCount(StringView chars) const
{
    return orvant::platform::Utf16ToCodePage(FSystemCodePage, chars).size();
}

std::size_t TIdMBCSEncoding::GetBytes(StringView chars, std::uint8_t* out) const
{
    const auto bytes = orvant::platform::Utf16ToCodePage(FSystemCodePage, chars);
    if (!bytes.empty())
        std::memcpy(out, bytes.data(), bytes.size());
    return bytes.size();
}

std::size_t TIdMBCSEncoding::GetCharCount(const std::uint8_t* bytes, std::size_t count) const
{
    return orvant::platform::CodePageToUtf16(FSystemCodePage, bytes, count).size();
}

std::size_t TIdMBCSEncoding::GetChars(const std::uint8_t* bytes, std::size_t count, char16_t* out) const
{
    const auto chars = orvant::platform::CodePageToUtf16(FSystemCodePage, bytes, count);
    std::copy(chars.begin(), chars.end(), out);
    return chars.size();
}

std::size_t TIdMBCSEncoding::GetMaxByteCount(std::size_t charCount) const
{
    return (charCount + 1) * static_cast<std::size_t>(FMaxCharSize);
}

TIdBytes TIdMBCSEncoding::GetPreamble() const
{
    switch (FCodePage) {
    case 1200: return {0xFF, 0xFE};
    case 1201: return {0xFE, 0xFF};
    case 65001: return {0xEF, 0xBB, 0xBF};
    default: return {};
    }
}

// --- Shared instances ------------------------------------------------------------------

namespace {

// Creates the instance on first use. Racing threads each build one; the first to
// publish wins and the others drop theirs.
template <class T>
IIdTextEncodingPtr Shared(std::atomic<std::shared_ptr<const IIdTextEncoding>*>& slot)
{
    if (auto* p = slot.load(std::memory_order_acquire))
        return *p;
    auto* mine = new std::shared_ptr<const IIdTextEncoding>(std::make_shared<T>());
    std::shared_ptr<const IIdTextEncoding>* expected = nullptr;
    if (slot.compare_exchange_strong(expected, mine, std::memory_order_acq_rel))
        return *mine; // kept for the life of the process
    delete mine;
    return *expected;
}

std::atomic<std::shared_ptr<const IIdTextEncoding>*> gASCII{nullptr};
std::atomic<std::shared_ptr<const IIdTextEncoding>*> g8Bit{nullptr};
std::atomic<std::shared_ptr<const IIdTextEncoding>*> gUTF8{nullptr};
std::atomic<std::shared_ptr<const IIdTextEncoding>*> gUTF16LE{nullptr};
std::atomic<std::shared_ptr<const IIdTextEncoding>*> gUTF16BE{nullptr};
std::atomic<std::shared_ptr<const IIdTextEncoding>*> gUTF7{nullptr};
std::atomic<std::shared_ptr<const IIdTextEncoding>*> gOSDefault{nullptr};

std::atomic<TIdTextEncodingType> gDefaultType{TIdTextEncodingType::encASCII};

} // namespace

IIdTextEncodingPtr IndyTextEncoding_ASCII() { return Shared<TIdASCIIEncoding>(gASCII); }
IIdTextEncodingPtr IndyTextEncoding_8Bit() { return Shared<TId8BitEncoding>(g8Bit); }
IIdTextEncodingPtr IndyTextEncoding_UTF8() { return Shared<TIdUTF8Encoding>(gUTF8); }
IIdTextEncodingPtr IndyTextEncoding_UTF16LE() { return Shared<TIdUTF16LittleEndianEncoding>(gUTF16LE); }
IIdTextEncodingPtr IndyTextEncoding_UTF16BE() { return Shared<TIdUTF16BigEndianEncoding>(gUTF16BE); }
IIdTextEncodingPtr IndyTextEncoding_UTF7() { return Shared<TIdUTF7Encoding>(gUTF7); }
// The system's default charset: code page 0.
IIdTextEncodingPtr IndyTextEncoding_OSDefault() { return Shared<TIdMBCSEncoding>(gOSDefault); }

IIdTextEncodingPtr IndyTextEncoding_Default()
{
    return IndyTextEncoding(GIdDefaultTextEncoding());
}

IIdTextEncodingPtr IndyTextEncoding(TIdTextEncodingType type)
{
    switch (type) {
    case TIdTextEncodingType::encIndyDefault: return IndyTextEncoding(GIdDefaultTextEncoding());
    case TIdTextEncodingType::encOSDefault: return IndyTextEncoding_OSDefault();
    case TIdTextEncodingType::enc8Bit: return IndyTextEncoding_8Bit();
    case TIdTextEncodingType::encASCII: return IndyTextEncoding_ASCII();
    case TIdTextEncodingType::encUTF16BE: return IndyTextEncoding_UTF16BE();
    case TIdTextEncodingType::encUTF16LE: return IndyTextEncoding_UTF16LE();
    case TIdTextEncodingType::encUTF7: return IndyTextEncoding_UTF7();
    case TIdTextEncodingType::encUTF8: return IndyTextEncoding_UTF8();
    }
    return IndyTextEncoding_ASCII();
}

TIdTextEncodingType GIdDefaultTextEncoding()
{
    return gDefaultType.load();
}

void SetGIdDefaultTextEncoding(TIdTextEncodingType type)
{
    gDefaultType.store(type == TIdTextEncodingType::encIndyDefault ? TIdTextEncodingType::encASCII : type);
}

IIdTextEncodingPtr EnsureEncoding(const IIdTextEncodingPtr& encoding, TIdTextEncodingType type)
{
    return encoding ? encoding : IndyTextEncoding(type);
}
