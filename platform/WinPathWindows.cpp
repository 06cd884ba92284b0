#include "platform/WinPath.h"

#include "platform/Utf.h"

namespace orvant::platform {

// On Windows drive C: and the shares are real: a path maps to itself, as UTF-8 text
// for the callers that hold paths as std::string (NativePath turns it back into a
// wide path). The same text is refused as on Linux (no C: or UNC path, forbidden
// characters, ".." out of the root), so a crafted name never reaches anything the
// Linux build would not reach. The roots are not used.
TWinPathMapper::TWinPathMapper(TWinPathRoots roots) : FRoots(std::move(roots)) {}

std::optional<std::string> TWinPathMapper::Map(std::u16string_view path) const
{
    if (!ParseWinPath(path))
        return std::nullopt;
    return Utf16ToUtf8(path);
}

// Nothing is remembered: the system resolves every path itself.
void TWinPathMapper::NoteCreated(const std::string&, const std::string&) const {}

std::optional<std::string> TWinPathMapper::FindIgnoringCase(const std::string&, const std::u16string&) const
{
    return std::nullopt;
}

} // namespace orvant::platform
