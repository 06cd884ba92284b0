#pragma once
// Maps Windows path text to the Linux file system.
//
//   C:\a\b          ->  <DriveC>/a/b
//   \\HOST\SHARE\x  ->  <Network>/HOST/SHARE/x
//
// Forward slashes count as separators, as on Windows. A component that does not
// exist in the exact case is looked up without regard to case, because Windows
// file names are case-insensitive and shares copied from Windows machines keep
// whatever case their users typed. A trailing separator is kept (the path then
// names a folder). Text that is no absolute C: or UNC path, holds characters
// Windows forbids in names, or climbs out of its root with ".." does not map: to
// the callers it is a missing path, so a crafted name can never reach outside the
// drive or the share.
//
// The mapper remembers the folders it has resolved and the listings it has read,
// so that copying thousands of files into one folder does not list that folder
// once per file. One mapper serves one piece of work (an extraction run); files
// created through TWinFileSystem are added to what it remembers.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvant::platform {

struct TWinPathRoots {
    std::string DriveC;  // Linux folder standing in for drive C:
    std::string Network; // Linux folder holding HOST/SHARE/... for UNC paths
};

// The parsed form of a Windows path, before anything is looked up on disk.
struct TWinPathParts {
    bool IsUnc = false;
    std::vector<std::u16string> Components; // for UNC: host, share, then the rest
    bool TrailingSeparator = false;
};

std::optional<TWinPathParts> ParseWinPath(std::u16string_view path);
bool LooksLikeWinAbsolutePath(std::u16string_view text);

class TWinPathMapper {
public:
    explicit TWinPathMapper(TWinPathRoots roots);

    std::optional<std::string> Map(std::u16string_view path) const;

    // Tells the mapper that `name` now exists inside the Linux folder `folder`.
    void NoteCreated(const std::string& folder, const std::string& name) const;

    const TWinPathRoots& Roots() const { return FRoots; }

private:
    struct TListing {
        std::multimap<std::u16string, std::string> ByFoldedName;
    };
    std::optional<std::string> FindIgnoringCase(const std::string& folder,
                                                const std::u16string& name) const;

    TWinPathRoots FRoots;
    // Folded Windows folder text -> resolved Linux folder, for existing folders.
    // Looked up by views into one folded path (std::less<>), not by a string per
    // component: a month's copy maps two paths for each of tens of thousands of files.
    mutable std::map<std::u16string, std::string, std::less<>> FResolvedFolders;
    mutable std::map<std::string, TListing> FListings;
};

} // namespace orvant::platform
