#pragma once
// The folder and file operations the application needs, on Windows path text:
// folder test, folder path creation, wildcard search and file copy. Every path
// goes through one TWinPathMapper; a path that does not map is a missing path.

#include "platform/WinPath.h"

#include <string>
#include <string_view>
#include <vector>

namespace orvant::platform {

struct TFindEntry {
    std::u16string Name;
    bool IsDirectory = false;
};

// Whether a failed attribute query (an errno value) means "no such folder".
// Only the not-found family does; any other failure (access denied, I/O error)
// leaves the folder counted as existing, as the Windows folder test does.
bool FolderQueryErrorMeansMissing(int errnoValue);

class TWinFileSystem {
public:
    explicit TWinFileSystem(const TWinPathRoots& roots);

    // The folder test: true for an existing folder (a link must also lead to a
    // folder that opens), false for anything else or a missing path, and true
    // when the query failed for a reason other than "not found".
    bool DirectoryExists(std::u16string_view path) const;
    bool FileExists(std::u16string_view path) const; // an existing regular file

    // Creates every missing folder on the path, top down; trailing separators
    // are ignored. True when the folder exists afterwards.
    bool ForceDirectories(std::u16string_view path) const;

    // Entries of the folder part of `pattern` whose names match its last part,
    // sorted by name. "." and ".." are never returned.
    std::vector<TFindEntry> FindFiles(std::u16string_view pattern) const;

    // Copies a file, replacing an existing target. On failure no partial target
    // is left behind.
    bool CopyFile(std::u16string_view from, std::u16string_view to) const;

    std::optional<std::string> Map(std::u16string_view path) const { return FMapper.Map(path); }
    const TWinPathMapper& Mapper() const { return FMapper; }

private:
    TWinPathMapper FMapper;
};

} // namespace orvant::platform
