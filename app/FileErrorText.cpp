#include "app/FileErrorText.h"

#include "platform/Utf.h"

#include <cerrno>
#include <cstring>

namespace orvant::app {

std::u16string FileErrorText(int errnoValue)
{
    switch (errnoValue) {
    case EACCES:
    case EPERM: return u"acesso negado";
    case ENOENT: return u"não existe (mais)";
    case ENOSPC: return u"disco cheio";
    case EDQUOT: return u"cota de disco esgotada";
    case EROFS: return u"disco somente para leitura";
    case EIO: return u"erro de leitura ou gravação";
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ETIMEDOUT:
    case ENOTCONN: return u"a rede ou o computador do PDV não respondeu";
    case EBUSY:
    case ETXTBSY: return u"arquivo em uso";
    default:
        return platform::Utf8ToUtf16(std::strerror(errnoValue)) + u" (erro " + platform::Utf8ToUtf16(std::to_string(errnoValue)) + u")";
    }
}

} // namespace orvant::app
