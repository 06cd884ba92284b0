#include "mime/IdHeaderCoderBase.h"

#include "mime/IdCharsetTable.h"
#include "mime/IdTextEncoding.h"
#include "platform/CharsetConversion.h"
#include "smtp/IdExceptionCore.h"

#include <algorithm>
#include <cerrno>
#include <memory>

// --- TIdHeaderCoder ------------------------------------------------------------------

String TIdHeaderCoder::Decode(StringView, const TIdBytes&) const
{
    return {};
}

TIdBytes TIdHeaderCoder::Encode(StringView, StringView) const
{
    return {};
}

bool TIdHeaderCoder::CanHandle(StringView) const
{
    return false;
}

// --- TIdHeaderCoderPlain -------------------------------------------------------------

String TIdHeaderCoderPlain::Decode(StringView, const TIdBytes& data) const
{
    return BytesToStringRaw(data);
}

TIdBytes TIdHeaderCoderPlain::Encode(StringView, StringView data) const
{
    return ToBytesRaw(data);
}

bool TIdHeaderCoderPlain::CanHandle(StringView charSet) const
{
    if (TextStartsWith(charSet, u"ISO"))
        return !TextIsSame(charSet, u"ISO-2022-JP");
    return TextStartsWith(charSet, u"WINDOWS") || TextStartsWith(charSet, u"KOI8") ||
           TextStartsWith(charSet, u"GB2312") || TextIsSame(charSet, u"US-ASCII");
}

// --- TIdHeaderCoder2022JP ------------------------------------------------------------

namespace {

// Full-width forms of the half-width katakana U+FF61..U+FF9F (JIS X 0201), which
// ISO-2022-JP cannot carry. The two sound marks become the spacing forms.
constexpr char16_t kFullWidthKana[] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3,
    0x30A5, 0x30A7, 0x30A9, 0x30E3, 0x30E5, 0x30E7, 0x30C3, 0x30FC,
    0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB, 0x30AD, 0x30AF,
    0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF,
    0x30C1, 0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC, 0x30CD,
    0x30CE, 0x30CF, 0x30D2, 0x30D5, 0x30D8, 0x30DB, 0x30DE, 0x30DF,
    0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9, 0x30EA,
    0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C,
};
constexpr char16_t kHalfWidthFirst = 0xFF61;
constexpr char16_t kHalfWidthLast = 0xFF9F;
constexpr char16_t kHalfWidthVoiced = 0xFF9E;
constexpr char16_t kHalfWidthSemiVoiced = 0xFF9F;

// A half-width kana followed by a half-width sound mark is one full-width letter
// when JIS X 0208 has it (ka..to and ha..ho voiced, ha..ho semi-voiced, vu).
char16_t ComposeSoundMark(char16_t kana, char16_t mark)
{
    const bool kaToTo = kana >= 0xFF76 && kana <= 0xFF84;
    const bool haToHo = kana >= 0xFF8A && kana <= 0xFF8E;
    const char16_t full = kFullWidthKana[kana - kHalfWidthFirst];
    if (mark == kHalfWidthVoiced && (kaToTo || haToHo))
        return full + 1;
    if (mark == kHalfWidthSemiVoiced && haToHo)
        return full + 2;
    if (mark == kHalfWidthVoiced && kana == 0xFF73)
        return 0x30F4;
    return 0;
}

String HalfWidthKanaToFullWidth(StringView text)
{
    String out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < kHalfWidthFirst || c > kHalfWidthLast) {
            out += c;
            continue;
        }
        if (i + 1 < text.size()) {
            if (const char16_t composed = ComposeSoundMark(c, text[i + 1])) {
                out += composed;
                ++i;
                continue;
            }
        }
        out += kFullWidthKana[c - kHalfWidthFirst];
    }
    return out;
}

// ISO-2022-JP with its code page from the charset table, for the system's converter.
orvant::platform::TCharsetId Iso2022Jp()
{
    static const orvant::platform::TCharsetId id = [] {
        for (const TIdCharsetRow& row : IdCharsetTable())
            if (TextIsSame(FromUtf8(row.Name), u"ISO-2022-JP"))
                return orvant::platform::TCharsetId {"ISO-2022-JP", row.CodePage};
        return orvant::platform::TCharsetId {"ISO-2022-JP", 0};
    }();
    return id;
}

} // namespace

String TIdHeaderCoder2022JP::Decode(StringView, const TIdBytes& data) const
{
    const auto text = orvant::platform::DecodeFromCharset(Iso2022Jp(), data.data(), data.size());
    return text ? *text : BytesToStringRaw(data);
}

TIdBytes TIdHeaderCoder2022JP::Encode(StringView, StringView data) const
{
    // A character ISO-2022-JP lacks becomes "?".
    const auto bytes = orvant::platform::EncodeInCharset(Iso2022Jp(), HalfWidthKanaToFullWidth(data));
    return bytes ? TIdBytes(bytes->begin(), bytes->end()) : ToBytesRaw(data);
}

bool TIdHeaderCoder2022JP::CanHandle(StringView charSet) const
{
    return TextIsSame(charSet, u"ISO-2022-JP");
}

// --- TIdHeaderCoderGeneral -----------------------------------------------------------

String TIdHeaderCoderGeneral::Decode(StringView charSet, const TIdBytes& data) const
{
    return TextEncodingForCharset(charSet)->GetString(data);
}

TIdBytes TIdHeaderCoderGeneral::Encode(StringView charSet, StringView data) const
{
    try {
        return TextEncodingForCharset(charSet)->GetBytes(data);
    } catch (const Exception&) {
        return {}; // a conversion the charset cannot make gives no bytes
    }
}

bool TIdHeaderCoderGeneral::CanHandle(StringView charSet) const
{
    try {
        return TextEncodingForCharset(charSet) != nullptr;
    } catch (const Exception&) {
        return false; // a lookup that fails means the charset cannot be handled
    }
}

// --- TIdHeaderCoderList --------------------------------------------------------------

void TIdHeaderCoderList::Add(TIdHeaderCoderClass coder)
{
    const std::lock_guard lock(FLock);
    if (coder && std::find(FCoders.begin(), FCoders.end(), coder) == FCoders.end())
        FCoders.push_back(coder);
}

void TIdHeaderCoderList::Remove(TIdHeaderCoderClass coder)
{
    const std::lock_guard lock(FLock);
    FCoders.erase(std::remove(FCoders.begin(), FCoders.end(), coder), FCoders.end());
}

int TIdHeaderCoderList::Count() const
{
    const std::lock_guard lock(FLock);
    return static_cast<int>(FCoders.size());
}

TIdHeaderCoderClass TIdHeaderCoderList::ByCharSet(StringView charSet) const
{
    const std::lock_guard lock(FLock);
    for (auto it = FCoders.rbegin(); it != FCoders.rend(); ++it)
        if ((*it)->CanHandle(charSet))
            return *it;
    return nullptr;
}

TIdHeaderCoderList& GHeaderCoderList()
{
    static TIdHeaderCoderList list;
    static const bool registered = [] {
        list.Add(HeaderCoderClass<TIdHeaderCoderPlain>());
        list.Add(HeaderCoderClass<TIdHeaderCoder2022JP>());
        list.Add(HeaderCoderClass<TIdHeaderCoderGeneral>());
        return true;
    }();
    (void)registered;
    return list;
}

void RegisterHeaderCoder(TIdHeaderCoderClass coder)
{
    GHeaderCoderList().Add(coder);
}

void UnregisterHeaderCoder(TIdHeaderCoderClass coder)
{
    GHeaderCoderList().Remove(coder);
}

// --- Hook and conversions ------------------------------------------------------------

namespace {

std::mutex& HookLock()
{
    static std::mutex lock;
    return lock;
}

TIdHeaderEncodingNeededEvent& HookSlot()
{
    static TIdHeaderEncodingNeededEvent hook;
    return hook;
}

} // namespace

void SetHeaderEncodingNeeded(TIdHeaderEncodingNeededEvent hook)
{
    const std::lock_guard lock(HookLock());
    HookSlot() = std::move(hook);
}

TIdHeaderEncodingNeededEvent HeaderEncodingNeeded()
{
    const std::lock_guard lock(HookLock());
    return HookSlot();
}

TIdBytes HeaderTextToCharsetBytes(StringView charSet, StringView text)
{
    if (const TIdHeaderCoderClass coder = GHeaderCoderList().ByCharSet(charSet))
        return coder->Encode(charSet, text);

    TIdBytes bytes;
    bool encoded = false;
    if (const TIdHeaderEncodingNeededEvent hook = HeaderEncodingNeeded())
        hook(String(charSet), String(text), bytes, encoded);
    if (!encoded)
        EIdException::Toss<EIdHeaderEncodeError>(
            Format(u"Could not encode header data using charset \"%s\"", {String(charSet)}));
    return bytes;
}

bool HeaderCharsetBytesToText(StringView charSet, const TIdBytes& bytes, String& text)
{
    const TIdHeaderCoderClass coder = GHeaderCoderList().ByCharSet(charSet);
    if (!coder)
        return false;
    text = coder->Decode(charSet, bytes);
    return true;
}
