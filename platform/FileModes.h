#pragma once
// Who may read what the program writes. The staging copies, the archive, its
// manifest and the send history hold the store's invoices, the accountant's
// address and the server's replies: they are for the users who run Orvant (its
// owner and group, a group "orvant" say), never for every local user.

#include <optional>
#include <string>

namespace orvant::platform {

// The mode files are created with (before the umask): owner and group read and write.
// Linux only: on Windows the folders' inherited ACLs take the place of modes.
inline constexpr unsigned kCreatedFileMode = 0660;
// Folders: owner and group; the setgid bit an administrator put on the tree is
// inherited by the system, so new files keep the tree's group.
inline constexpr unsigned kCreatedFolderMode = 0770;

// Sets the process's umask to 007, so that whatever this process and the
// programs it starts (7-Zip and its archive among them) create is never
// readable by other users. Called first thing by both programs.
void RestrictCreatedFileModes();

// When the deployment file at `path` can be read by every local user (o+r) and
// holds the mail password: the warning to show (the file is still used).
std::optional<std::string> WorldReadablePasswordWarning(const std::string& path, bool holdsPassword);

} // namespace orvant::platform
