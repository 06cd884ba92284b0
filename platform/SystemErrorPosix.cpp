#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>

namespace orvant::platform {

TSystemErrorKind SystemErrorKind(int error)
{
    switch (error) {
    case EACCES:
    case EPERM: return TSystemErrorKind::AccessDenied;
    case ENOENT: return TSystemErrorKind::NotFound;
    case ENOSPC: return TSystemErrorKind::DiskFull;
    case EDQUOT: return TSystemErrorKind::QuotaExceeded;
    case EROFS: return TSystemErrorKind::ReadOnly;
    case EIO: return TSystemErrorKind::InputOutput;
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ETIMEDOUT:
    case ENOTCONN: return TSystemErrorKind::Unreachable;
    case EBUSY:
    case ETXTBSY: return TSystemErrorKind::InUse;
    default: return TSystemErrorKind::Other;
    }
}

std::string SystemErrorText(int error)
{
    return std::strerror(error);
}

} // namespace orvant::platform
