// Wider surface of the library, kept for completeness: no road of the program reaches the code below.
#include "smtp/IdSASLPlain.h"

String TIdSASLPlain::Message() const
{
    return String(1, u'\0') + Octets(Username()) + String(1, u'\0') + Octets(Password());
}

bool TIdSASLPlain::TryStartAuthenticate(const String&, const String&, String& VInitialResponse)
{
    VInitialResponse = Message();
    return true;
}

String TIdSASLPlain::StartAuthenticate(const String&, const String&, const String&)
{
    return Message();
}
