#include "smtp/IdSASLCollection.h"

#include "smtp/IdSASL.h"

// --- Entries ----------------------------------------------------------------------------

void TIdSASLListEntry::SetSASL(TIdSASL* AValue)
{
    FSASL = AValue;
    // The link stays when the entry changes or goes: the owner then finds nothing to
    // delete when the mechanism dies.
    if (auto* entries = dynamic_cast<TIdSASLEntries*>(Collection()); entries && entries->Owner() && AValue)
        entries->Owner()->FreeNotification(AValue);
}

TIdSASLListEntry& TIdSASLEntries::Add()
{
    return TCollection::Emplace<TIdSASLListEntry>(*this);
}

void TIdSASLEntries::Assign(const TIdSASLEntries& ASource)
{
    if (&ASource == this)
        return;
    Clear();
    for (int i = 0; i < ASource.Count(); ++i)
        Add().Assign(ASource[i]);
}

void TIdSASLEntries::RemoveByComp(const TComponent* AComponent)
{
    for (int i = Count() - 1; i >= 0; --i) {
        if (static_cast<const TComponent*>(Items(i).SASL()) == AComponent)
            Delete(i);
    }
}

TIdSASL* TIdSASLEntries::FindSASL(StringView AServiceName) const
{
    for (int i = 0; i < Count(); ++i) {
        TIdSASL* mechanism = Items(i).SASL();
        if (mechanism && TextIsSame(mechanism->ServiceName(), AServiceName))
            return mechanism;
    }
    return nullptr;
}

// --- Offered mechanisms -----------------------------------------------------------------

void TIdSASLEntries::ParseCapaReplyToList(const TStrings* ACapaReply, TStrings& ADestList, StringView AAuthString)
{
    if (!ACapaReply)
        return;
    for (const String& line : *ACapaReply) {
        if (line.size() <= AAuthString.size() || !TextStartsWith(line, AAuthString)
            || !CharIsInSet(line[AAuthString.size()], u" ="))
            continue;
        const String names = StringReplaceAll(UpperCase(line.substr(AAuthString.size())), u"=", u" ");
        std::size_t start = 0;
        while (start < names.size()) {
            std::size_t end = names.find(u' ', start);
            if (end == String::npos)
                end = names.size();
            const String name = names.substr(start, end - start);
            if (!name.empty() && ADestList.IndexOf(name) < 0)
                ADestList.Add(name);
            start = end + 1;
        }
    }
}

std::unique_ptr<TStringList> TIdSASLEntries::ParseCapaReply(const TStrings* ACapaReply, StringView AAuthString)
{
    auto list = std::make_unique<TStringList>();
    ParseCapaReplyToList(ACapaReply, *list, AAuthString);
    return list;
}
