#include "smtp/IdSASLUserPass.h"

String TIdSASLUserPass::Octets(const String& AText)
{
    const std::string utf8 = ToUtf8(AText);
    return BytesToStringRaw(reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size());
}
