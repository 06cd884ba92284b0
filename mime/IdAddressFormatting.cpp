#include "mime/IdAddressFormatting.h"

#include "mime/IdCoderHeader.h"

#include <algorithm>

namespace {

// RFC 5322 specials: a name holding them is encoded whole rather than quoted.
constexpr StringView kNameSpecials = u"()[]<>:;.,@\\\"";

bool IsPrintableAscii(char16_t c)
{
    return c >= 32 && c < 127;
}

String QuotedName(StringView name)
{
    String quoted = u"\"";
    for (char16_t c : name) {
        if (c == u'\\' || c == u'"')
            quoted += u'\\';
        quoted += c;
    }
    return quoted + u"\"";
}

} // namespace

String FormatAddress(TIdEMailAddressItem& item, char16_t headerEncoding, StringView charSet, bool useAddressForName)
{
    if (useAddressForName && item.Name().empty())
        item.SetName(item.Address());
    const String& name = item.Name();
    if (name.empty())
        return item.Address();
    const String namePart = std::all_of(name.begin(), name.end(), IsPrintableAscii)
                                ? QuotedName(name)
                                : MakeEncodedWords(name, kNameSpecials, headerEncoding, charSet);
    return Format(u"%s <%s>", {namePart, item.Address()});
}

String FormatAddresses(TIdEMailAddressList& list, char16_t headerEncoding, StringView charSet, bool useAddressForName)
{
    String result;
    for (int i = 0; i < list.Count(); ++i) {
        if (i > 0)
            result += u", ";
        result += FormatAddress(list[i], headerEncoding, charSet, useAddressForName);
    }
    return result;
}
