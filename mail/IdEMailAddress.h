#pragma once
// E-mail addresses: one mailbox with its display name (TIdEMailAddressItem) and the
// ordered lists of them that make up a message's address fields (TIdEMailAddressList).
//
// Parsing and formatting follow the rules the rest of the mail code was built on:
// the recipient typed into the send dialog is split by TIdEMailAddressItem::SetText,
// header generation reads Name and Address, and the SMTP envelope uses Address as
// stored. Those rules are deliberately lenient (a user types "Ana <ana@x.com>" or
// a bare address, seldom a full RFC 5322 mailbox), so they are not an RFC parser;
// keep their exact results when changing them.

#include "mime/IdCollection.h"
#include "mime/IdGlobal.h"
#include "mime/IdStrings.h"

class TComponent;

class TIdEMailAddressItem : public TCollectionItem {
public:
    // An item on its own (the message's Sender), or created with a list through
    // TCollection::Emplace / TIdEMailAddressList::Add.
    explicit TIdEMailAddressItem(TCollection* collection = nullptr);
    // An item parsed from text, as SetText does.
    TIdEMailAddressItem(TCollection* collection, const String& text);

    // Copies Name and Address of another address item; any other item is refused
    // with EConvertError.
    void Assign(const TCollectionItem& source);

    // Both stored unchanged.
    const String& Address() const { return FAddress; }
    void SetAddress(const String& value) { FAddress = value; }
    const String& Name() const { return FName; }
    void SetName(const String& value) { FName = value; }

    // The whole item as one text: display name (quoted when it needs it) and the
    // address in angle brackets, or the bare address when there is no name.
    String Text() const;
    // Splits typed or header text into display name and address; comments in
    // parentheses are dropped. Empty text empties the item.
    void SetText(const String& value);

    // The part after the last at sign, empty without one. Setting it keeps what is
    // before the first at sign (all of the address when there is none).
    String Domain() const;
    void SetDomain(const String& value);
    // The part before the last at sign, empty without one. Setting it keeps what is
    // after the first at sign (all of the address when there is none).
    String User() const;
    void SetUser(const String& value);

private:
    String AddressForm() const;

    String FAddress;
    String FName;
};

class TIdEMailAddressList : public TOwnedCollectionOf<TIdEMailAddressItem> {
public:
    // owner: the object the list belongs to (normally the message), or none.
    explicit TIdEMailAddressList(TComponent* owner = nullptr) : FOwner(owner) {}

    TComponent* Owner() const { return FOwner; }

    // Appends a new empty item.
    TIdEMailAddressItem& Add();
    // Copies the given item's name and address into the item at index.
    void SetItems(int index, const TIdEMailAddressItem& value);
    // Replaces the contents with copies of the source's items.
    void Assign(const TIdEMailAddressList& source);

    // The items' texts joined by ", ". Empty items at the start leave nothing; an
    // empty item later on leaves two separators in a row.
    String EMailAddresses() const;
    // Replaces the contents with the comma-separated addresses of the text. Group
    // names ("Team: a@x.com;") are dropped; pieces that give no address are skipped.
    void SetEMailAddresses(const String& value);

    // Appends copies of every item of the list (nothing when none is given).
    void AddItems(const TIdEMailAddressList* list);
    // Appends every item's Text to the strings.
    void FillTStrings(TStrings& strings) const;
    // Stable ascending sort by Domain, comparing as the user's locale does with
    // case significant.
    void SortByDomain();
    // Fills the strings (when given) with each distinct Domain, in lower case, in
    // order of first appearance.
    void GetDomains(TStrings* strings) const;
    // Replaces the contents of list with copies of the items whose Domain equals
    // domain without regard to case. list may be this list.
    void AddressesByDomain(TIdEMailAddressList& list, const String& domain) const;

private:
    // Adds an item parsed from text and removes it again when it gives no address.
    void AddParsedPiece(const String& text);

    TComponent* FOwner;
};
