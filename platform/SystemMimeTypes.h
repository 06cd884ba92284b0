#pragma once
// The content types the system registers for file extensions: on Linux the
// mime.types file of the Debian package media-types.

#include <string>
#include <vector>

namespace orvant::platform {

struct MimeTypeRegistration {
    std::u16string Extension; // as written in the file, without a dot
    std::u16string MimeType;  // as written in the file
};

// The registrations of a mime.types file in file order: one per extension of every
// line "type ext1 ext2 ...", blank- or tab-separated, "#" starting a comment. An
// extension listed under two types yields two registrations. A missing or
// unreadable file yields none.
std::vector<MimeTypeRegistration> ReadMimeTypesFile(const std::string& path);

// The file the library reads: "/etc/mime.types" unless changed (tests point it at
// a file of their own).
std::string SystemMimeTypesFile();
void SetSystemMimeTypesFile(const std::string& path);

} // namespace orvant::platform
