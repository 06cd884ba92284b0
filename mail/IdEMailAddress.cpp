#include "mail/IdEMailAddress.h"

#include "mime/IdClassName.h"
#include "platform/LocaleCollation.h"
#include "smtp/IdException.h"

#include <algorithm>
#include <typeinfo>
#include <utility>
#include <vector>

namespace {

// Characters a local part may hold without quoting: RFC 5322 atext (no "." or "^"
// here: a dot is judged by position, see AddressForm).
constexpr StringView AText = u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                             u"!#$%&'*+-/=?_`{}|~";

bool IsAText(char16_t c)
{
    return AText.find(c) != StringView::npos;
}

// A display name made only of these goes out without quotes.
bool IsNameChar(char16_t c)
{
    return c == u' ' || IsAText(c);
}

String TrimBlanks(StringView s)
{
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && (s[b] == u' ' || s[b] == TAB))
        ++b;
    while (e > b && (s[e - 1] == u' ' || s[e - 1] == TAB))
        --e;
    return String(s.substr(b, e - b));
}

// Backslash before every backslash and double quote (quoted-string escaping).
String QuoteEscaped(StringView s)
{
    String r;
    r.reserve(s.size() + 2);
    for (char16_t c : s) {
        if (c == u'\\' || c == u'"')
            r += u'\\';
        r += c;
    }
    return r;
}

// The scanning state of the parsers below: the text still to handle, searched with
// 1-based positions (0 = not found) so that "take p" and "cut p" read naturally.
class TScanText {
public:
    explicit TScanText(String text) : FText(std::move(text)) {}

    String& Rest() { return FText; }
    bool Empty() const { return FText.empty(); }
    char16_t At(std::size_t p) const { return FText[p - 1]; }
    // 1-based position of the first character of the set, or 0.
    std::size_t FirstOf(StringView set) const { return ToPos(FText.find_first_of(set)); }
    std::size_t LastOf(StringView set) const { return ToPos(FText.find_last_of(set)); }
    // The first k characters (fewer when the text is shorter).
    String Take(std::size_t k) const { return FText.substr(0, std::min(k, FText.size())); }
    void Cut(std::size_t k) { FText.erase(0, std::min(k, FText.size())); }

private:
    static std::size_t ToPos(std::size_t index) { return index == String::npos ? 0 : index + 1; }
    String FText;
};

} // namespace

// --- TIdEMailAddressItem -------------------------------------------------------------

TIdEMailAddressItem::TIdEMailAddressItem(TCollection* collection)
    : TCollectionItem(collection)
{
}

TIdEMailAddressItem::TIdEMailAddressItem(TCollection* collection, const String& text)
    : TCollectionItem(collection)
{
    SetText(text);
}

void TIdEMailAddressItem::Assign(const TCollectionItem& source)
{
    const auto* item = dynamic_cast<const TIdEMailAddressItem*>(&source);
    if (!item)
        throw EConvertError(Format(u"Cannot assign a %s to a %s",
                                   {ClassNameOf(typeid(source)), String(u"TIdEMailAddressItem")}));
    if (item == this)
        return;
    FAddress = item->FAddress;
    FName = item->FName;
}

String TIdEMailAddressItem::AddressForm() const
{
    if (FAddress.empty())
        return FName.empty() ? String() : String(u"<>");

    const std::size_t at = FAddress.rfind(u'@');
    const StringView whole(FAddress);
    const StringView local = at == String::npos ? whole : whole.substr(0, at);
    const StringView domain = at == String::npos ? StringView() : whole.substr(at);

    // Only the first character outside atext decides: a dot there passes the local
    // part unquoted (dot-atoms), whatever follows it.
    const auto firstOther = std::find_if_not(local.begin(), local.end(), IsAText);
    if (firstOther == local.end() || *firstOther == u'.') {
        String plain = FAddress;
        return FName.empty() ? plain : u"<" + plain + u">";
    }
    // A local part with blanks or specials goes out as a quoted string, and then
    // always in angle brackets.
    return u"<\"" + QuoteEscaped(local) + u"\"" + String(domain) + u">";
}

String TIdEMailAddressItem::Text() const
{
    if (FName.empty() || TextIsSame(FName, FAddress))
        return AddressForm();
    if (std::all_of(FName.begin(), FName.end(), IsNameChar))
        return FName + u" " + AddressForm();
    return u"\"" + QuoteEscaped(FName) + u"\" " + AddressForm();
}

void TIdEMailAddressItem::SetText(const String& value)
{
    TScanText t(Trim(value)); // before clearing: value may be this item's own name or address
    FName.clear();
    FAddress.clear();
    if (t.Empty())
        return;

    bool inAddress = false;
    bool inBrackets = false; // the address is given in angle brackets
    bool inQuote = false;
    bool afterAt = false;
    int depth = 0; // of parentheses (comments)

    const bool hasBracket = t.Rest().find(u'<') != String::npos;
    std::size_t p = hasBracket ? t.FirstOf(u"(\"< \t") : t.FirstOf(u"(\" @\t");
    if (p == 0) {
        FAddress = t.Rest();
        return;
    }

    while (p > 0) {
        switch (t.At(p)) {
        case u' ':
        case u'\t':
            if (p == 1) {
                t.Cut(1);
                break;
            }
            if (afterAt)
                FAddress += Trim(t.Take(p - 1));
            else
                FName += t.Take(p);
            t.Cut(p);
            break;
        case u'"':
            if (inQuote) {
                (inBrackets ? FAddress : FName) += Trim(t.Take(p - 1));
                t.Cut(p);
                inQuote = false;
            } else {
                // Only the first character is dropped: text before an opening quote
                // that is not at the start stays in front of the quoted part.
                inQuote = true;
                t.Cut(1);
            }
            break;
        case u'(':
            ++depth;
            if (p == 1) {
                t.Cut(1);
                break;
            }
            if (inAddress)
                FAddress += Trim(t.Take(p - 1));
            else if (depth == 1)
                FName += t.Take(p - 1);
            t.Cut(p);
            break;
        case u')':
            --depth;
            t.Cut(p);
            break;
        case u'.':
            if (inBrackets) {
                FAddress += TrimBlanks(Trim(t.Take(p - 1))) + u".";
                t.Rest() = TrimLeft(StringView(t.Rest()).substr(p));
            } else {
                FAddress += t.Take(p);
                t.Cut(p);
            }
            break;
        case u'<':
            if (p > 1)
                FName += t.Take(p - 1);
            FName = TrimBlanks(Trim(FName));
            inBrackets = true;
            inAddress = true;
            t.Cut(p);
            break;
        case u'>':
            inAddress = false;
            afterAt = false;
            FAddress += TrimBlanks(Trim(t.Take(p - 1)));
            t.Cut(p);
            break;
        case u'@':
            afterAt = true;
            if (inAddress) {
                FAddress += t.Take(p);
                t.Cut(p);
            } else if (inBrackets) {
                // An at sign after the bracketed address has closed: the rest is
                // taken as part of the name and nothing more is parsed.
                FName += t.Rest();
                return;
            } else {
                inAddress = true;
                FAddress += t.Take(p);
                t.Cut(p);
            }
            break;
        case u'\\':
            // A backslash as the very last character escapes nothing: it is dropped.
            if (inQuote) {
                String& target = inAddress ? FAddress : FName;
                target += t.Take(p - 1);
                if (p < t.Rest().size())
                    target += t.At(p + 1);
            }
            t.Cut(p + 1);
            break;
        default:
            t.Cut(p); // not reached: every searched character is handled above
            break;
        }

        if (depth > 0)
            p = t.FirstOf(u"()\\");
        else if (inQuote)
            p = t.LastOf(u"\"\\");
        else if (afterAt)
            p = inBrackets ? t.FirstOf(u".>(") : t.FirstOf(u".( ");
        else if (inAddress)
            p = t.FirstOf(u"\"(@>");
        else
            p = t.FirstOf(u"(\"< @\t");
    }

    if (inAddress && !inBrackets)
        FAddress += TrimBlanks(Trim(t.Rest()));
}

String TIdEMailAddressItem::Domain() const
{
    const std::size_t at = FAddress.rfind(u'@');
    return at == String::npos ? String() : FAddress.substr(at + 1);
}

void TIdEMailAddressItem::SetDomain(const String& value)
{
    const std::size_t at = FAddress.find(u'@');
    FAddress = FAddress.substr(0, at) + u"@" + value;
}

String TIdEMailAddressItem::User() const
{
    const std::size_t at = FAddress.rfind(u'@');
    return at == String::npos ? String() : FAddress.substr(0, at);
}

void TIdEMailAddressItem::SetUser(const String& value)
{
    const std::size_t at = FAddress.find(u'@');
    FAddress = value + u"@" + (at == String::npos ? FAddress : FAddress.substr(at + 1));
}

// --- TIdEMailAddressList -------------------------------------------------------------

TIdEMailAddressItem& TIdEMailAddressList::Add()
{
    return TCollection::Emplace<TIdEMailAddressItem>(*this);
}

void TIdEMailAddressList::SetItems(int index, const TIdEMailAddressItem& value)
{
    Items(index).Assign(value);
}

void TIdEMailAddressList::Assign(const TIdEMailAddressList& source)
{
    if (&source == this)
        return;
    Clear();
    AddItems(&source);
}

String TIdEMailAddressList::EMailAddresses() const
{
    String result;
    for (int i = 0; i < Count(); ++i) {
        const String text = Items(i).Text();
        if (result.empty())
            result = text;
        else
            result += u", " + text;
    }
    return result;
}

void TIdEMailAddressList::AddParsedPiece(const String& text)
{
    TIdEMailAddressItem& item = Add();
    item.SetText(text);
    const String formatted = Trim(item.Text());
    if (formatted.empty() || formatted == u"<>")
        Remove(item);
}

void TIdEMailAddressList::SetEMailAddresses(const String& value)
{
    TScanText l(value); // copied first: value may be the text of one of the items cleared here
    Clear();
    if (Trim(l.Rest()).empty())
        return;

    constexpr StringView Separators = u":;(\", \t";
    String piece;
    bool inQuote = false;
    int depth = 0;

    std::size_t p = l.FirstOf(Separators);
    if (p == 0) {
        Add().SetText(TrimLeft(l.Rest()));
        return;
    }

    while (p > 0) {
        switch (l.At(p)) {
        case u' ':
        case u'\t':
            piece += l.Take(p);
            l.Cut(p);
            break;
        case u'"':
            piece += l.Take(p);
            l.Cut(p);
            inQuote = !inQuote;
            break;
        case u'(':
            piece += l.Take(p);
            l.Cut(p);
            ++depth;
            break;
        case u')':
            piece += l.Take(p);
            l.Cut(p);
            --depth;
            break;
        case u',':
            piece += l.Take(p - 1);
            AddParsedPiece(piece);
            piece.clear();
            l.Cut(p);
            break;
        case u':':
            // "group name:" introduces a group; the name itself is not an address.
            l.Cut(p);
            piece.clear();
            break;
        case u';':
            piece += l.Take(p - 1);
            if (!Trim(piece).empty()) {
                Add().SetText(TrimLeft(piece));
                piece.clear();
            }
            l.Cut(p);
            break;
        case u'\\':
            // Keeps the escaped character with its backslash (the item parser reads
            // the escape); a backslash at the very end is kept alone.
            piece += l.Take(p + 1);
            l.Cut(p + 1);
            break;
        default:
            l.Cut(p); // not reached: every searched character is handled above
            break;
        }

        if (depth > 0)
            p = l.FirstOf(u"(\\)");
        else if (inQuote)
            p = l.FirstOf(u"\"\\");
        else
            p = l.FirstOf(Separators);
    }

    if (Trim(piece).empty() && Trim(l.Rest()).empty())
        return;
    piece += l.Rest();
    AddParsedPiece(TrimLeft(piece));
}

void TIdEMailAddressList::AddItems(const TIdEMailAddressList* list)
{
    if (!list)
        return;
    // Counted first, so that adding a list to itself copies it once.
    const int count = list->Count();
    for (int i = 0; i < count; ++i)
        Add().Assign(list->Items(i));
}

void TIdEMailAddressList::FillTStrings(TStrings& strings) const
{
    for (int i = 0; i < Count(); ++i)
        strings.Add(Items(i).Text());
}

void TIdEMailAddressList::SortByDomain()
{
    // Neighbour exchanges, one pass per item. The exchange swaps the items' name and
    // address rather than their texts: a text round trip is not lossless for every
    // item (a quoted name next to a quoted local part, doubled blanks), and sorting
    // must not change any address.
    const int count = Count();
    for (int pass = 0; pass < count; ++pass) {
        for (int i = 0; i + 1 < count; ++i) {
            TIdEMailAddressItem& a = Items(i);
            TIdEMailAddressItem& b = Items(i + 1);
            if (orvant::platform::CompareStringsByLocale(a.Domain(), b.Domain()) > 0) {
                const String name = a.Name();
                const String address = a.Address();
                a.Assign(b);
                b.SetName(name);
                b.SetAddress(address);
            }
        }
    }
}

void TIdEMailAddressList::GetDomains(TStrings* strings) const
{
    if (!strings)
        return;
    strings->Clear();
    for (int i = 0; i < Count(); ++i) {
        const String domain = AnsiLowerCase(Items(i).Domain());
        if (strings->IndexOf(domain) < 0)
            strings->Add(domain);
    }
}

void TIdEMailAddressList::AddressesByDomain(TIdEMailAddressList& list, const String& domain) const
{
    // Copies are made before the target is emptied, so the target may be this list.
    // They copy name and address directly, for the reason given in SortByDomain.
    std::vector<std::pair<String, String>> found;
    for (int i = 0; i < Count(); ++i) {
        const TIdEMailAddressItem& item = Items(i);
        if (TextIsSame(item.Domain(), domain))
            found.emplace_back(item.Name(), item.Address());
    }
    list.Clear();
    for (auto& [name, address] : found) {
        TIdEMailAddressItem& copy = list.Add();
        copy.SetName(name);
        copy.SetAddress(address);
    }
}
