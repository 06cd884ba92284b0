#pragma once
// Which addresses the address parser promises to read back unchanged from their
// own formatted text. Shared by the address fuzz targets.
//
// The formatter and the parser are lenient, not inverse: a name of two blanks in a
// row comes back with one, a name equal to its address comes back empty, and a
// quoted name next to a quoted local part is misread. The shapes below are those
// for which formatting then parsing gives the same name and address again.

#include "mail/IdEMailAddress.h"

#include <algorithm>

namespace orvant::fuzz {

inline bool IsAText(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           StringView(u"!#$%&'*+-/=?_`{}|~").find(c) != StringView::npos;
}

inline bool HasQuoteOrBackslash(StringView s)
{
    return s.find_first_of(u"\"\\") != StringView::npos;
}

// Names of atext and blanks only are written without quotes.
inline bool IsWrittenBare(StringView n)
{
    return std::all_of(n.begin(), n.end(), [](char16_t c) { return c == u' ' || IsAText(c); });
}

// A bare name reads back when its words are separated by single blanks.
inline bool IsReadableBareName(StringView n)
{
    return !n.empty() && n.front() != u' ' && n.back() != u' ' && n.find(u"  ") == StringView::npos;
}

inline bool IsQuotableName(StringView n)
{
    return !n.empty() && !HasQuoteOrBackslash(n) && Trim(n) == n;
}

// localMayBeQuoted: false when the name is quoted, since the parser takes the
// last double quote of the text as the end of a quoted name.
inline bool IsRoundTripAddress(StringView a, bool localMayBeQuoted)
{
    const std::size_t at = a.rfind(u'@');
    const StringView local = at == StringView::npos ? a : a.substr(0, at);
    if (at != StringView::npos) {
        const StringView domain = a.substr(at + 1);
        const bool plainDomain = std::all_of(domain.begin(), domain.end(), [](char16_t c) {
            return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                   c == u'.' || c == u'-';
        });
        if (!plainDomain)
            return false;
    }
    const auto firstOther = std::find_if_not(local.begin(), local.end(), IsAText);
    if (firstOther == local.end())
        return true;
    if (*firstOther == u'.') // written unquoted: every character must be atext or a dot
        return std::all_of(local.begin(), local.end(), [](char16_t c) { return c == u'.' || IsAText(c); });
    return localMayBeQuoted && !HasQuoteOrBackslash(local) && Trim(local) == local;
}

inline bool PromisesRoundTrip(const TIdEMailAddressItem& item)
{
    const String& n = item.Name();
    const String& a = item.Address();
    if (n.empty())
        return IsRoundTripAddress(a, true);
    if (TextIsSame(n, a))
        return false;
    if (IsWrittenBare(n))
        return IsReadableBareName(n) && IsRoundTripAddress(a, true);
    return IsQuotableName(n) && IsRoundTripAddress(a, false);
}

} // namespace orvant::fuzz
