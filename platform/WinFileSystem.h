#pragma once
// The folder and file operations the application needs, on Windows path text:
// folder test, folder path creation, wildcard search and file copy. Every path
// goes through one TWinPathMapper; a path that does not map is a missing path.

#include "platform/WinPath.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvant::platform {

struct TFindEntry {
    std::u16string Name;
    bool IsDirectory = false;
    bool IsRegularFile = false; // the folder says so (not a link, FIFO, device, ...)
};

// A wildcard search that says when the folder could not be listed.
struct TFindResult {
    std::vector<TFindEntry> Entries;
    int Error = 0; // system error (errno; GetLastError on Windows) of opening or reading the folder; 0 when listed whole
};

inline constexpr std::uint64_t kMaxKeptCopyBytes = 8 * 1024 * 1024;

// What copying one invoice from a terminal's share gave: on success the size, the
// source's modification time and the CRC-32 of exactly the bytes written.
struct TCopiedFile {
    enum class TProblem {
        cpNone,
        cpNotRegular,    // a FIFO, device, socket or folder: never opened for reading
        cpOutsideShare,  // a link that leads out of the terminal's share
        cpUnreadable,    // the source could not be opened or read (Error says why)
        cpChanged,       // the source changed while it was copied
        cpUnwritable,    // the staging file could not be written (Error says why)
    };
    TProblem Problem = TProblem::cpNone;
    int Error = 0;                // system error (errno; GetLastError on Windows), for cpUnreadable and cpUnwritable
    std::string Kind;             // for cpNotRegular: "FIFO", "dispositivo", "soquete", "pasta"
    std::uint64_t Size = 0;
    std::int64_t ModifiedUnix = 0; // seconds since 1970 (UTC)
    std::uint32_t Crc32 = 0;

    bool Ok() const { return Problem == TProblem::cpNone; }
};

// Whether a failed attribute query (errno; GetLastError on Windows) means "no such folder".
// Only the not-found family does; any other failure (access denied, I/O error)
// leaves the folder counted as existing, as the Windows folder test does.
bool FolderQueryErrorMeansMissing(int errnoValue);

class TWinFileSystem {
public:
    explicit TWinFileSystem(const TWinPathRoots& roots);
    ~TWinFileSystem();
    TWinFileSystem(const TWinFileSystem&) = delete;
    TWinFileSystem& operator=(const TWinFileSystem&) = delete;

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
    TFindResult FindFilesChecked(std::u16string_view pattern) const;

    // Copies a file, replacing an existing target. On failure no partial target
    // is left behind.
    bool CopyFile(std::u16string_view from, std::u16string_view to) const;

    // Copies an invoice from below `shareRoot` (\\HOST\SHARE) to `to`, replacing
    // it, with the CRC-32 of the bytes copied. Only a regular file is read: a FIFO
    // would block the read for ever and a device could answer anything, so an
    // entry not listed as a regular file is looked at before it is opened, and
    // every open is non-blocking and checked after. A link may lead elsewhere
    // inside the share, never out of it (a link to the deployment file must not
    // be mailed). On any problem no target is left.
    // `listedAsRegular`: the listing said the entry is a regular file, so it is
    // opened at once (a link since is still caught).
    // `bytes`: when given, receives the bytes copied if the file holds at most
    // kMaxKeptCopyBytes (else it is left empty), so a reader of the content need
    // not read the share a second time.
    TCopiedFile CopyFromShare(std::u16string_view shareRoot, std::u16string_view from, std::u16string_view to,
                              bool listedAsRegular = false, std::string* bytes = nullptr) const;

    // Renames a file or folder (MoveFileW); the target must not exist. 0, or errno.
    int MovePath(std::u16string_view from, std::u16string_view to) const;

    // Replaces `path` with `bytes` as a whole: a reader sees the old file or the
    // new one, never a part (written aside, then renamed). Not forced to disk: an
    // fsync would wait for everything written before it (a month's invoices), and
    // callers treat a file lost to a power cut as missing. 0, or errno.
    int WriteFileWhole(std::u16string_view path, std::string_view bytes) const;

    std::optional<std::string> Map(std::u16string_view path) const { return FMapper.Map(path); }
    const TWinPathMapper& Mapper() const { return FMapper; }

private:
    // The share CopyFromShare last copied from, kept open: a pass copies
    // thousands of files from one share, and each open costs a system call.
    int ShareFolder(std::u16string_view shareRoot) const;

    TWinPathMapper FMapper;
    mutable std::u16string FShareRoot; // as given
    mutable std::string FShareFolder;  // mapped
    mutable int FShareFd = -1;
};

} // namespace orvant::platform
