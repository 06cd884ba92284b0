#include "platform/FileModes.h"

namespace orvant::platform {

// Windows has no creation mask and no mode bits: who may read the staging copies,
// the archives and the history is decided by the ACL of the folders they are
// created in, which new files inherit. Setting that ACL (C:\Kelmora and the
// ProgramData folder of the deployment file: the store's users only) is the
// installer's job, so there is nothing to do here.
void RestrictCreatedFileModes() {}

// No "readable by every local user" bit to look at: the deployment file's folder
// under ProgramData carries the ACL the installer gave it.
std::optional<std::string> WorldReadablePasswordWarning(const std::string&, bool)
{
    return std::nullopt;
}

} // namespace orvant::platform
