#pragma once
// The content types the system registers for file extensions: on Linux the
// mime.types file of the Debian package media-types, on Windows the registry's
// "Content Type" values under HKEY_CLASSES_ROOT\.ext.

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
// unreadable file yields none. An empty path names the system's registrations
// (RegisteredMimeTypes).
std::vector<MimeTypeRegistration> ReadMimeTypesFile(const std::string& path);

// The registrations the system keeps outside any file: on Windows one per key
// ".ext" of HKEY_CLASSES_ROOT with a "Content Type" value, in the registry's key
// order; none on Linux.
std::vector<MimeTypeRegistration> RegisteredMimeTypes();
// What the library reads by default: "/etc/mime.types" on Linux, "" (the registry)
// on Windows.
std::string DefaultMimeTypesFile();

// The file the library reads: DefaultMimeTypesFile() unless changed (tests point
// it at a file of their own).
std::string SystemMimeTypesFile();
void SetSystemMimeTypesFile(const std::string& path);

} // namespace orvant::platform
