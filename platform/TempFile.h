#pragma once
// Temporary files, standing in for the Windows temporary-folder and temporary-name
// calls.

#include <string>
#include <string_view>

namespace orvant::platform {

// The system's folder for temporary files: $TMPDIR when set, else /tmp.
std::string TempFolder();

// Creates a new empty file with a unique name in the folder (the system's
// temporary folder when the folder is empty), readable and writable by the user
// only, and returns its path; empty when it cannot be created.
std::string CreateTempFile(const std::string& folder, std::string_view prefix);

// Creates a new empty folder named `prefix` and six random characters in the
// system's temporary folder, open to the user only, and returns its path; empty
// when it cannot be created.
std::string CreateTempFolder(std::string_view prefix);

} // namespace orvant::platform
