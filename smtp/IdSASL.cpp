// Wider surface of the library, kept for completeness: no road of the program reaches the code below.
#include "smtp/IdSASL.h"

bool TIdSASL::TryStartAuthenticate(const String&, const String&, String&)
{
    return false;
}

String TIdSASL::ContinueAuthenticate(const String&, const String&, const String&)
{
    return String();
}

bool TIdSASL::IsAuthProtocolAvailable(const TStrings& AFeatStrings) const
{
    return AFeatStrings.IndexOf(ServiceName()) >= 0;
}
