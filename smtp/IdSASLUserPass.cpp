// Wider surface of the library, kept for completeness: no road of the program reaches the code below.
#include "smtp/IdSASLUserPass.h"

String TIdSASLUserPass::Octets(const String& AText)
{
    const std::string utf8 = ToUtf8(AText);
    return BytesToStringRaw(reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size());
}
