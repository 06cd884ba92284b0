#include "mail/IdEMailAddress.h"
#include "smtp/IdException.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

struct Parsed {
    String name;
    String address;
};

Parsed Parse(const String& text)
{
    TIdEMailAddressItem item;
    item.SetText(text);
    return {item.Name(), item.Address()};
}

String Format(const String& name, const String& address)
{
    TIdEMailAddressItem item;
    item.SetName(name);
    item.SetAddress(address);
    return item.Text();
}

std::vector<std::pair<String, String>> Entries(const TIdEMailAddressList& list)
{
    std::vector<std::pair<String, String>> r;
    for (int i = 0; i < list.Count(); ++i)
        r.emplace_back(list[i].Name(), list[i].Address());
    return r;
}

using E = std::vector<std::pair<String, String>>;

class TOtherItem : public TCollectionItem {
public:
    using TCollectionItem::TCollectionItem;
};

} // namespace

TEST(IdEMailAddressItem, ParsesWhatUsersType)
{
    struct Case {
        String text, name, address;
    } cases[] = {
        {u"ana.souza@loja-centro.com.br", u"", u"ana.souza@loja-centro.com.br"},
        {u"  ana@example.com \r\n", u"", u"ana@example.com"},
        {u"Ana Souza <ana.souza@example.com.br>", u"Ana Souza", u"ana.souza@example.com.br"},
        {u"\"Souza, Ana\" <ana.souza@example.com.br>", u"Souza, Ana", u"ana.souza@example.com.br"},
        {u"<ana@example.com>", u"", u"ana@example.com"},
        {u"Ana Souza<ana@example.com>", u"Ana Souza", u"ana@example.com"},
        // Blanks around the dots of the domain are not part of the address.
        {u"Ana <ana.souza@ example . com >", u"Ana", u"ana.souza@example.com"},
        // Comments are dropped wherever they stand.
        {u"ana@example.com (Ana na loja)", u"", u"ana@example.com"},
        {u"(contabilidade) ana@example.com", u"", u"ana@example.com"},
        {u"Ana (loja (centro)) <ana@example.com>", u"Ana", u"ana@example.com"},
        // A quoted local part loses its quotes.
        {u"<\"ana maria\"@example.com>", u"", u"ana maria@example.com"},
        // No at sign: everything is the address.
        {u"contabilidade", u"", u"contabilidade"},
        // An address with a blank and no brackets: the blank ends the name part.
        {u"Ana ana@example.com", u"Ana ", u"ana@example.com"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.text));
        const Parsed p = Parse(c.text);
        EXPECT_EQ(p.name, c.name);
        EXPECT_EQ(p.address, c.address);
    }
}

TEST(IdEMailAddressItem, WordsAfterTheClosingBracketAreNotPartOfTheAddress)
{
    EXPECT_EQ(Parse(u"Ana <ana@example.com> da loja centro").address, u"ana@example.com");
    // An at sign after the bracketed address ends parsing; the address stays.
    EXPECT_EQ(Parse(u"Ana <ana@example.com> ou bia@example.org").address, u"ana@example.com");
}

TEST(IdEMailAddressItem, OneEntryDoesNotSplitAtCommas)
{
    // Only the list splits: written to one entry, the two mailboxes run together.
    const Parsed p = Parse(u"ana@example.com, bia@example.org");
    EXPECT_EQ(p.name, u"");
    EXPECT_EQ(p.address, u"ana@example.com,bia@example.org");
}

TEST(IdEMailAddressItem, EmptyTextEmptiesTheItem)
{
    TIdEMailAddressItem item(nullptr, u"Ana <ana@example.com>");
    EXPECT_EQ(item.Name(), u"Ana");
    // The item's own fields may be parsed again.
    item.SetText(item.Address());
    EXPECT_EQ(item.Name(), u"");
    EXPECT_EQ(item.Address(), u"ana@example.com");
    item.SetText(u" \t ");
    EXPECT_EQ(item.Name(), u"");
    EXPECT_EQ(item.Address(), u"");
    EXPECT_EQ(item.Text(), u"");
}

TEST(IdEMailAddressItem, FormatsNameAndAddress)
{
    EXPECT_EQ(Format(u"", u"ana@example.com"), u"ana@example.com");
    EXPECT_EQ(Format(u"Ana Souza", u"ana@example.com"), u"Ana Souza <ana@example.com>");
    // A name equal to the address (any case) is not repeated.
    EXPECT_EQ(Format(u"ANA@Example.com", u"ana@example.com"), u"<ana@example.com>");
    EXPECT_EQ(Format(u"Ana Souza", u""), u"Ana Souza <>");
    EXPECT_EQ(Format(u"", u""), u"");
    // Names outside letters, digits, blanks and atext symbols are quoted, with
    // backslashes before backslashes and quotes.
    EXPECT_EQ(Format(u"Souza, Ana", u"ana@example.com"), u"\"Souza, Ana\" <ana@example.com>");
    EXPECT_EQ(Format(u"Ana S. Souza", u"ana@example.com"), u"\"Ana S. Souza\" <ana@example.com>");
    EXPECT_EQ(Format(u"José", u"jose@example.com"), u"\"José\" <jose@example.com>");
    EXPECT_EQ(Format(u"Ana \"Bia\" C:\\", u"a@example.com"), u"\"Ana \\\"Bia\\\" C:\\\\\" <a@example.com>");
    EXPECT_EQ(Format(u"O'Hara & Filhos", u"oh@example.com"), u"O'Hara & Filhos <oh@example.com>");
}

TEST(IdEMailAddressItem, QuotesALocalPartThatNeedsIt)
{
    EXPECT_EQ(Format(u"", u"ana maria@example.com"), u"<\"ana maria\"@example.com>");
    EXPECT_EQ(Format(u"Ana", u"ana maria@example.com"), u"Ana <\"ana maria\"@example.com>");
    EXPECT_EQ(Format(u"", u"a\"b\\c@example.com"), u"<\"a\\\"b\\\\c\"@example.com>");
    // The split is at the last at sign.
    EXPECT_EQ(Format(u"", u"a@b@example.com"), u"<\"a@b\"@example.com>");
    EXPECT_EQ(Format(u"", u"ana maria"), u"<\"ana maria\">");
    // Dotted local parts stand unquoted; only the first character outside atext
    // decides.
    EXPECT_EQ(Format(u"", u"ana.maria@example.com"), u"ana.maria@example.com");
    EXPECT_EQ(Format(u"", u"ana.m aria@example.com"), u"ana.m aria@example.com");
}

TEST(IdEMailAddressItem, UsualAddressesSurviveARoundTrip)
{
    const std::pair<String, String> items[] = {
        {u"", u"ana@example.com"},
        {u"Ana Souza", u"ana.souza@example.com.br"},
        {u"Souza, Ana", u"ana@example.com"},
        {u"José da Silva", u"jose@example.com"},
        {u"Ana", u"ana maria@example.com"},
        {u"", u"ana maria@example.com"},
        {u"Ana Souza", u""},
    };
    for (const auto& [name, address] : items) {
        const String text = Format(name, address);
        SCOPED_TRACE(ToUtf8(text));
        const Parsed p = Parse(text);
        EXPECT_EQ(p.name, name);
        EXPECT_EQ(p.address, address);
    }
}

TEST(IdEMailAddressItem, ToleratesMalformedText)
{
    // A backslash at the very end escapes nothing.
    const Parsed p = Parse(u"\"abc\\");
    EXPECT_EQ(p.name, u"abc");
    EXPECT_EQ(p.address, u"");
    EXPECT_NO_THROW(Parse(u"\\"));
    EXPECT_NO_THROW(Parse(u"a@b \"x\\"));
    EXPECT_NO_THROW(Parse(u"<a@b.c> \"\\"));
    // Unbalanced parentheses and brackets give some result, never a failure.
    EXPECT_EQ(Parse(u"ana@example.com ((x)").address, u"ana@example.com");
    EXPECT_NO_THROW(Parse(u"ana@example.com )) x"));
    EXPECT_NO_THROW(Parse(u"Ana <ana@example.com"));
    EXPECT_EQ(Parse(u"Ana <>").address, u"");
}

TEST(IdEMailAddressItem, DomainAndUser)
{
    TIdEMailAddressItem item;
    item.SetAddress(u"ana");
    EXPECT_EQ(item.Domain(), u"");
    EXPECT_EQ(item.User(), u"");
    item.SetDomain(u"example.com");
    EXPECT_EQ(item.Address(), u"ana@example.com");

    item.SetAddress(u"\"a@b\"@x.example.com");
    EXPECT_EQ(item.Domain(), u"x.example.com");
    EXPECT_EQ(item.User(), u"\"a@b\"");
    // Writing keeps the part on the other side of the *first* at sign.
    item.SetAddress(u"a@b@c");
    item.SetDomain(u"d");
    EXPECT_EQ(item.Address(), u"a@d");
    item.SetAddress(u"a@b@c");
    item.SetUser(u"u");
    EXPECT_EQ(item.Address(), u"u@b@c");
    // Without an at sign the whole address is taken as the domain side.
    item.SetAddress(u"example.com");
    item.SetUser(u"ana");
    EXPECT_EQ(item.Address(), u"ana@example.com");
}

TEST(IdEMailAddressItem, AssignCopiesOnlyAddressItems)
{
    TIdEMailAddressList list;
    TIdEMailAddressItem& item = list.Add();
    TIdEMailAddressItem source(nullptr, u"Ana <ana@example.com>");
    item.Assign(source);
    EXPECT_EQ(item.Name(), u"Ana");
    EXPECT_EQ(item.Address(), u"ana@example.com");

    TOtherItem other(nullptr);
    try {
        item.Assign(other);
        FAIL() << "assignment from another item class was accepted";
    } catch (const EConvertError& e) {
        EXPECT_TRUE(TextStartsWith(e.Message(), u"Cannot assign a ")) << e.what();
        EXPECT_TRUE(TextEndsWith(e.Message(), u" to a TIdEMailAddressItem")) << e.what();
    }
    EXPECT_EQ(item.Address(), u"ana@example.com");
}

TEST(IdEMailAddressList, ReadsAndWritesCommaSeparatedText)
{
    TIdEMailAddressList list;
    list.SetEMailAddresses(u"ana@example.com, bia@example.org");
    EXPECT_EQ(Entries(list), (E{{u"", u"ana@example.com"}, {u"", u"bia@example.org"}}));
    EXPECT_EQ(list.EMailAddresses(), u"ana@example.com, bia@example.org");

    list.SetEMailAddresses(u"\"Souza, Ana\" <ana@example.com>,Bia Lima <bia@example.org> , carla@example.net");
    EXPECT_EQ(Entries(list), (E{{u"Souza, Ana", u"ana@example.com"},
                                {u"Bia Lima", u"bia@example.org"},
                                {u"", u"carla@example.net"}}));
    EXPECT_EQ(list.EMailAddresses(),
              u"\"Souza, Ana\" <ana@example.com>, Bia Lima <bia@example.org>, carla@example.net");

    // Commas inside comments do not split either.
    list.SetEMailAddresses(u"ana@example.com (Souza, Ana), bia@example.org");
    EXPECT_EQ(Entries(list), (E{{u"", u"ana@example.com"}, {u"", u"bia@example.org"}}));

    list.SetEMailAddresses(u"  ");
    EXPECT_EQ(list.Count(), 0);

    // The text may come from an item of the list itself, which writing destroys.
    list.SetEMailAddresses(u"ana@example.com");
    list.SetEMailAddresses(list[0].Address());
    EXPECT_EQ(Entries(list), (E{{u"", u"ana@example.com"}}));
}

TEST(IdEMailAddressList, GroupsKeepTheirMembersOnly)
{
    TIdEMailAddressList list;
    list.SetEMailAddresses(u"Equipe: ana@example.com;");
    EXPECT_EQ(Entries(list), (E{{u"", u"ana@example.com"}}));

    list.SetEMailAddresses(u"Equipe: Ana <ana@example.com>, bia@example.org; carla@example.net");
    EXPECT_EQ(Entries(list), (E{{u"Ana", u"ana@example.com"},
                                {u"", u"bia@example.org"},
                                {u"", u"carla@example.net"}}));

    list.SetEMailAddresses(u"undisclosed-recipients:;");
    EXPECT_EQ(list.Count(), 0);
}

TEST(IdEMailAddressList, EmptyPiecesMakeNoItems)
{
    TIdEMailAddressList list;
    list.SetEMailAddresses(u"ana@example.com,, ,bia@example.org,");
    EXPECT_EQ(Entries(list), (E{{u"", u"ana@example.com"}, {u"", u"bia@example.org"}}));
    list.SetEMailAddresses(u", (nobody) ,<>, ana@example.com");
    EXPECT_EQ(Entries(list), (E{{u"", u"ana@example.com"}}));
    list.SetEMailAddresses(u"ana@example.com, <>");
    EXPECT_EQ(Entries(list), (E{{u"", u"ana@example.com"}}));
}

TEST(IdEMailAddressList, EmptyItemsWhenJoined)
{
    TIdEMailAddressList list;
    list.Add();
    list.Add().SetAddress(u"ana@example.com");
    list.Add();
    list.Add().SetAddress(u"bia@example.org");
    EXPECT_EQ(list.EMailAddresses(), u"ana@example.com, , bia@example.org");
}

TEST(IdEMailAddressList, ReplyToFromTheSenderMailbox)
{
    // The dispatch sets the reply-to list from the sender's mailbox: one bare entry.
    TIdEMailAddressItem from;
    from.SetName(u"Dravik Automail");
    from.SetAddress(u"envio@dravik.com.br");
    TIdEMailAddressList replyTo;
    replyTo.SetEMailAddresses(from.Address());
    EXPECT_EQ(Entries(replyTo), (E{{u"", u"envio@dravik.com.br"}}));
    // The whole text keeps the display name.
    replyTo.SetEMailAddresses(from.Text());
    EXPECT_EQ(Entries(replyTo), (E{{u"Dravik Automail", u"envio@dravik.com.br"}}));
}

TEST(IdEMailAddressList, ToleratesMalformedText)
{
    TIdEMailAddressList list;
    EXPECT_NO_THROW(list.SetEMailAddresses(u"\\"));
    EXPECT_NO_THROW(list.SetEMailAddresses(u"\"a\\"));
    EXPECT_NO_THROW(list.SetEMailAddresses(u"(a\\"));
    EXPECT_NO_THROW(list.SetEMailAddresses(u"a@b.c, \"unclosed, d@e.f"));
    list.SetEMailAddresses(u"ana@example.com))), bia@example.org");
    EXPECT_EQ(list.Count(), 2);
}

TEST(IdEMailAddressList, CopyingItems)
{
    TIdEMailAddressList list;
    list.SetEMailAddresses(u"Ana <ana@example.com>, bia@example.org");

    TIdEMailAddressList copy;
    copy.AddItems(nullptr);
    EXPECT_EQ(copy.Count(), 0);
    copy.AddItems(&list);
    copy.AddItems(&copy); // adding a list to itself doubles it once
    EXPECT_EQ(Entries(copy), (E{{u"Ana", u"ana@example.com"},
                                {u"", u"bia@example.org"},
                                {u"Ana", u"ana@example.com"},
                                {u"", u"bia@example.org"}}));

    TIdEMailAddressItem replacement(nullptr, u"Carla <carla@example.net>");
    copy.SetItems(1, replacement);
    EXPECT_EQ(copy[1].Name(), u"Carla");
    EXPECT_THROW(copy.SetItems(9, replacement), EListError);

    copy.Assign(list);
    EXPECT_EQ(Entries(copy), Entries(list));

    TStringList lines;
    lines.Add(u"first");
    list.FillTStrings(lines);
    EXPECT_EQ(lines, (TStringList{u"first", u"Ana <ana@example.com>", u"bia@example.org"}));
}

TEST(IdEMailAddressList, SortByDomainIsStableAndKeepsEveryAddress)
{
    TIdEMailAddressList list;
    list.Add().SetAddress(u"z1@mike.example");
    list.Add().SetAddress(u"a1@zulu.example");
    TIdEMailAddressItem& odd = list.Add();
    // An item whose text would not parse back to itself: sorting must not touch it.
    odd.SetName(u"Souza, Ana");
    odd.SetAddress(u"ana maria@alfa.example");
    list.Add().SetAddress(u"z2@mike.example");
    TIdEMailAddressItem& doubled = list.Add();
    doubled.SetName(u"Bia  Lima");
    doubled.SetAddress(u"bia@alfa.example");

    list.SortByDomain();
    EXPECT_EQ(Entries(list), (E{{u"Souza, Ana", u"ana maria@alfa.example"},
                                {u"Bia  Lima", u"bia@alfa.example"},
                                {u"", u"z1@mike.example"},
                                {u"", u"z2@mike.example"},
                                {u"", u"a1@zulu.example"}}));
}

TEST(IdEMailAddressList, DomainsAndAddressesByDomain)
{
    TIdEMailAddressList list;
    list.SetEMailAddresses(u"a@Example.COM, b@other.org, Carla <c@example.com>, semdominio, d@OTHER.org");

    TStringList domains;
    domains.Add(u"old");
    list.GetDomains(&domains);
    EXPECT_EQ(domains, (TStringList{u"example.com", u"other.org", u""}));
    list.GetDomains(nullptr); // nothing to fill

    TIdEMailAddressList found;
    found.Add().SetAddress(u"old@example.com");
    list.AddressesByDomain(found, u"EXAMPLE.com");
    EXPECT_EQ(Entries(found), (E{{u"", u"a@Example.COM"}, {u"Carla", u"c@example.com"}}));

    // The target may be the list itself: it keeps the matching items.
    list.AddressesByDomain(list, u"other.org");
    EXPECT_EQ(Entries(list), (E{{u"", u"b@other.org"}, {u"", u"d@OTHER.org"}}));
}
