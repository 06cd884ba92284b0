#pragma once
// Addresses as the From, To, Cc, Bcc, Reply-To and receipt headers write them, with
// display names that are not plain ASCII turned into encoded words.

#include "mail/IdEMailAddress.h"
#include "mime/IdGlobal.h"

// One address: the bare address without a display name, else the name (in double
// quotes when it is printable ASCII, as encoded words otherwise), a blank and the
// address in angle brackets. With useAddressForName set, an item without a display
// name first gets its address as display name (the item is changed).
String FormatAddress(TIdEMailAddressItem& item, char16_t headerEncoding, StringView charSet,
                     bool useAddressForName);

// Every item of the list formatted as above, joined by ", "; empty for an empty list.
String FormatAddresses(TIdEMailAddressList& list, char16_t headerEncoding, StringView charSet,
                       bool useAddressForName);
