#include "mime/IdAddressFormatting.h"

#include <gtest/gtest.h>

namespace {

String Formatted(const String& name, const String& address, bool useAddressForName = false)
{
    TIdEMailAddressItem item;
    item.SetName(name);
    item.SetAddress(address);
    return FormatAddress(item, u'B', u"UTF-8", useAddressForName);
}

TEST(FormatAddress, DisplayNames)
{
    EXPECT_EQ(Formatted(u"Dravik Automail", u"a@dravik.com.br"), u"\"Dravik Automail\" <a@dravik.com.br>");
    EXPECT_EQ(Formatted(u"Ana \"Cont\\abil\"", u"a@x.com"), u"\"Ana \\\"Cont\\\\abil\\\"\" <a@x.com>");
    EXPECT_EQ(Formatted(u"José", u"jose@x.com"), u"=?UTF-8?B?Sm9zw6k=?= <jose@x.com>");
    EXPECT_EQ(Formatted(u"", u"a@x.com"), u"a@x.com");
    // A name that needs encoding has its specials encoded too, so nothing of it
    // can be read as address syntax.
    EXPECT_EQ(Formatted(u"Sé, Ltda.", u"s@x.com"), u"=?UTF-8?B?U8OpLCBMdGRhLg==?= <s@x.com>");
}

TEST(FormatAddress, AddressStandsInForAMissingName)
{
    TIdEMailAddressItem item;
    item.SetAddress(u"a@x.com");
    EXPECT_EQ(FormatAddress(item, u'B', u"UTF-8", true), u"\"a@x.com\" <a@x.com>");
    EXPECT_EQ(item.Name(), u"a@x.com") << "the item itself takes the name";
}

TEST(FormatAddresses, JoinedByCommaAndBlank)
{
    TIdEMailAddressList list;
    EXPECT_EQ(FormatAddresses(list, u'B', u"UTF-8", false), u"");
    list.Add().SetAddress(u"a@x.com");
    list.Add().SetText(u"Bia <b@x.com>");
    EXPECT_EQ(FormatAddresses(list, u'Q', u"ISO-8859-1", false), u"a@x.com, \"Bia\" <b@x.com>");
}

} // namespace
