// Wider surface of the library, kept for completeness: no road of the program reaches the code below.
#include "smtp/IdSASLLogin.h"

String TIdSASLLogin::StartAuthenticate(const String&, const String&, const String&)
{
    FAnswered = 1;
    return Octets(Username());
}

String TIdSASLLogin::ContinueAuthenticate(const String&, const String&, const String&)
{
    if (FAnswered != 1)
        return String();
    FAnswered = 2;
    return Octets(Password());
}
