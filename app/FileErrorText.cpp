#include "app/FileErrorText.h"

#include "platform/SystemError.h"
#include "platform/Utf.h"

namespace orvant::app {

std::u16string FileErrorText(int errnoValue)
{
    using platform::TSystemErrorKind;
    switch (platform::SystemErrorKind(errnoValue)) {
    case TSystemErrorKind::AccessDenied: return u"acesso negado";
    case TSystemErrorKind::NotFound: return u"não existe (mais)";
    case TSystemErrorKind::DiskFull: return u"disco cheio";
    case TSystemErrorKind::QuotaExceeded: return u"cota de disco esgotada";
    case TSystemErrorKind::ReadOnly: return u"disco somente para leitura";
    case TSystemErrorKind::InputOutput: return u"erro de leitura ou gravação";
    case TSystemErrorKind::Unreachable: return u"a rede ou o computador do PDV não respondeu";
    case TSystemErrorKind::InUse: return u"arquivo em uso";
    case TSystemErrorKind::Other: break;
    }
    return platform::Utf8ToUtf16(platform::SystemErrorText(errnoValue)) + u" (erro "
        + platform::Utf8ToUtf16(std::to_string(errnoValue)) + u")";
}

} // namespace orvant::app
