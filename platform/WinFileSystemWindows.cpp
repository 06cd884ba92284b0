#include "platform/WinFileSystem.h"

#include "platform/CaseFold.h"
#include "platform/Crc32.h"
#include "platform/WindowsText.h"

#include <algorithm>
#include <windows.h>

// <windows.h> names CopyFile a macro (CopyFileA or CopyFileW); ours is a member.
#undef CopyFile

namespace orvant::platform {

namespace {

using TProblem = TCopiedFile::TProblem;

// Every file call takes the path as UTF-16 (the W functions): the ANSI ones would
// turn "João" into whatever the code page makes of it.
std::wstring Wide(std::u16string_view path)
{
    return WideOf(path);
}

int LastError()
{
    return static_cast<int>(::GetLastError());
}

class THandle {
public:
    explicit THandle(HANDLE handle = INVALID_HANDLE_VALUE) : FHandle(handle) {}
    ~THandle() { Close(); }
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    HANDLE Get() const { return FHandle; }
    bool IsOpen() const { return FHandle != INVALID_HANDLE_VALUE; }
    // 0, or the error of closing (a write the system could only finish now).
    int Close()
    {
        if (!IsOpen())
            return 0;
        const bool ok = ::CloseHandle(FHandle) != 0;
        FHandle = INVALID_HANDLE_VALUE;
        return ok ? 0 : LastError();
    }

private:
    HANDLE FHandle;
};

TCopiedFile Failed(TProblem problem, int error = 0, std::string kind = {})
{
    TCopiedFile result;
    result.Problem = problem;
    result.Error = error;
    result.Kind = std::move(kind);
    return result;
}

std::u16string WithoutTrailingSeparators(std::u16string_view path)
{
    std::u16string text(path);
    while (text.size() > 3 && (text.back() == u'\\' || text.back() == u'/'))
        text.pop_back();
    return text;
}

// The folders from the root of the path down to the path itself: "C:\a", "C:\a\b";
// for "\\host\share\a": "\\host\share", "\\host\share\a".
std::vector<std::u16string> FoldersDown(const TWinPathParts& parts)
{
    std::vector<std::u16string> out;
    std::u16string current = parts.IsUnc ? u"\\\\" + parts.Components[0] + u"\\" + parts.Components[1] : u"C:";
    const std::size_t first = parts.IsUnc ? 2 : 0;
    if (parts.IsUnc)
        out.push_back(current);
    for (std::size_t i = first; i < parts.Components.size(); ++i) {
        current += u'\\';
        current += parts.Components[i];
        out.push_back(current);
    }
    return out;
}

// Writes all of `size` bytes; 0, or the error.
int WriteAll(HANDLE file, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    for (std::size_t done = 0; done < size;) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        if (!::WriteFile(file, bytes + done, chunk, &written, nullptr))
            return LastError();
        if (written == 0)
            return ERROR_WRITE_FAULT;
        done += written;
    }
    return 0;
}

std::int64_t UnixSecondsOf(const FILETIME& time)
{
    const auto ticks = static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32)
                                                 | time.dwLowDateTime);
    return (ticks - 116'444'736'000'000'000) / 10'000'000;
}

std::uint64_t SizeOf(const BY_HANDLE_FILE_INFORMATION& info)
{
    return (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

bool SameVersion(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b)
{
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh
        && a.nFileIndexLow == b.nFileIndexLow && SizeOf(a) == SizeOf(b)
        && a.ftLastWriteTime.dwLowDateTime == b.ftLastWriteTime.dwLowDateTime
        && a.ftLastWriteTime.dwHighDateTime == b.ftLastWriteTime.dwHighDateTime;
}

// The path the system resolved an open handle to, reparse points followed, folded
// for comparison; empty when the system cannot say.
std::u16string FinalPathOf(HANDLE handle)
{
    std::wstring buffer(512, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD n = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0)
            return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return FoldCase(Utf16Of(buffer));
        }
        buffer.resize(n + 1);
    }
    return {};
}

// What stands at the end of the handle when it is not a file on a disk.
std::string KindOfHandle(HANDLE handle)
{
    switch (::GetFileType(handle)) {
    case FILE_TYPE_PIPE: return "FIFO";
    case FILE_TYPE_CHAR: return "dispositivo";
    default: return "tipo desconhecido";
    }
}

} // namespace

bool FolderQueryErrorMeansMissing(int error)
{
    switch (static_cast<DWORD>(error)) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:   // bad path name
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:      // device not ready
    case ERROR_BAD_NETPATH:    // the computer is off or unknown: network path not found
    case ERROR_BAD_NET_NAME:   // no such share
    case ERROR_DIRECTORY:      // a file where a folder was asked for
    case ERROR_CANT_RESOLVE_FILENAME:
        return true;
    default:
        return false;
    }
}

TWinFileSystem::TWinFileSystem(const TWinPathRoots& roots) : FMapper(roots) {}

TWinFileSystem::~TWinFileSystem() = default;

bool TWinFileSystem::DirectoryExists(std::u16string_view path) const
{
    if (!FMapper.Map(path))
        return false;
    const std::wstring wide = Wide(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return !FolderQueryErrorMeansMissing(LastError());
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return false;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return true;
    // A link counts only when its target is a folder that can be opened.
    const THandle folder(::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info {};
    return folder.IsOpen() && ::GetFileInformationByHandle(folder.Get(), &info)
        && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool TWinFileSystem::FileExists(std::u16string_view path) const
{
    if (!FMapper.Map(path))
        return false;
    const std::wstring wide = Wide(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
        return false;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return true;
    const THandle file(::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info {};
    return file.IsOpen() && ::GetFileType(file.Get()) == FILE_TYPE_DISK
        && ::GetFileInformationByHandle(file.Get(), &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool TWinFileSystem::ForceDirectories(std::u16string_view path) const
{
    const auto parts = ParseWinPath(path);
    if (!parts || (parts->IsUnc && parts->Components.size() < 2))
        return false;
    const std::vector<std::u16string> folders = FoldersDown(*parts);
    if (folders.empty())
        return DirectoryExists(u"C:\\");
    // Walk up to the deepest existing folder, then create downwards. A share itself
    // is never created, only what is below it.
    std::size_t existing = folders.size();
    while (existing > 0) {
        const DWORD attributes = ::GetFileAttributesW(Wide(folders[existing - 1]).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES)
            break;
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            return false;
        --existing;
    }
    for (std::size_t i = std::max<std::size_t>(existing, parts->IsUnc ? 1 : 0); i < folders.size(); ++i) {
        if (!::CreateDirectoryW(Wide(folders[i]).c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return DirectoryExists(folders.back());
}

std::vector<TFindEntry> TWinFileSystem::FindFiles(std::u16string_view pattern) const
{
    return FindFilesChecked(pattern).Entries;
}

TFindResult TWinFileSystem::FindFilesChecked(std::u16string_view pattern) const
{
    TFindResult result;
    const auto sep = pattern.find_last_of(u"\\/");
    if (sep == std::u16string_view::npos) {
        result.Error = ERROR_PATH_NOT_FOUND;
        return result;
    }
    const std::u16string_view mask = pattern.substr(sep + 1);
    const std::u16string_view folder = pattern.substr(0, sep + 1);
    if (mask.empty() || !FMapper.Map(folder)) {
        result.Error = ERROR_PATH_NOT_FOUND;
        return result;
    }
    // Everything in the folder, matched here by the same rule as on Linux: the
    // system's own matching also tries the short 8.3 names, so "*.xml" would list
    // "nota.xmlx" too.
    WIN32_FIND_DATAW data {};
    const HANDLE find = ::FindFirstFileExW(Wide(std::u16string(folder) + u"*").c_str(), FindExInfoBasic, &data,
                                           FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // No entry at all (a drive's root can be empty): listed whole.
        result.Error = error == ERROR_FILE_NOT_FOUND ? 0 : static_cast<int>(error);
        return result;
    }
    for (;;) {
        const std::u16string name = Utf16Of(data.cFileName);
        if (name != u"." && name != u".." && MatchesWildcard(mask, name)) {
            const DWORD attributes = data.dwFileAttributes;
            const bool isDir = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            // A reparse point (link, junction, a cloud file's placeholder) or a
            // device is looked at before it is opened, as a link is on Linux.
            const bool regular = (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT
                                                | FILE_ATTRIBUTE_DEVICE)) == 0;
            result.Entries.push_back({name, isDir, regular});
        }
        if (!::FindNextFileW(find, &data)) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_NO_MORE_FILES)
                result.Error = static_cast<int>(error);
            break;
        }
    }
    ::FindClose(find);
    std::sort(result.Entries.begin(), result.Entries.end(),
              [](const TFindEntry& a, const TFindEntry& b) { return a.Name < b.Name; });
    return result;
}

bool TWinFileSystem::CopyFile(std::u16string_view from, std::u16string_view to) const
{
    if (!FMapper.Map(from) || !FMapper.Map(to) || to.empty() || to.back() == u'\\' || to.back() == u'/')
        return false;
    if (!FileExists(from))
        return false;
    // CopyFileW keeps the modification time; on failure it leaves no partial target
    // of its own, and one it cannot finish is removed here.
    const std::wstring target = Wide(to);
    if (::CopyFileW(Wide(from).c_str(), target.c_str(), FALSE))
        return true;
    ::DeleteFileW(target.c_str());
    return false;
}

TCopiedFile TWinFileSystem::CopyFromShare(std::u16string_view shareRoot, std::u16string_view from,
                                          std::u16string_view to, bool listedAsRegular, std::string* bytes) const
{
    if (bytes)
        bytes->clear();
    const auto root = ParseWinPath(shareRoot);
    const auto source = ParseWinPath(from);
    if (!root || !source)
        return Failed(TProblem::cpUnreadable, ERROR_PATH_NOT_FOUND);
    if (!FMapper.Map(to) || to.back() == u'\\' || to.back() == u'/')
        return Failed(TProblem::cpUnwritable, ERROR_PATH_NOT_FOUND);
    // By the text first: the source must name something below the share.
    const auto& rootParts = root->Components;
    const auto& sourceParts = source->Components;
    if (root->IsUnc != source->IsUnc || sourceParts.size() <= rootParts.size()
        || !std::equal(rootParts.begin(), rootParts.end(), sourceParts.begin(),
                       [](const std::u16string& a, const std::u16string& b) { return FoldCase(a) == FoldCase(b); }))
        return Failed(TProblem::cpOutsideShare);

    // The share's real place, kept for the next file (a pass copies thousands from one share).
    if (FShareRoot != shareRoot || FShareFolder.empty()) {
        const THandle folder(::CreateFileW(Wide(shareRoot).c_str(), 0,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!folder.IsOpen())
            return Failed(TProblem::cpUnreadable, LastError());
        FShareRoot = shareRoot;
        FShareFolder = Utf16ToUtf8(FinalPathOf(folder.Get()));
    }

    const std::wstring sourcePath = Wide(from);
    // Only what is known to be a regular file is opened for reading; anything else
    // is looked at first. A folder or a device never opens as a file here.
    if (!listedAsRegular) {
        const DWORD attributes = ::GetFileAttributesW(sourcePath.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return Failed(TProblem::cpUnreadable, LastError());
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return Failed(TProblem::cpNotRegular, 0, "pasta");
        if (attributes & FILE_ATTRIBUTE_DEVICE)
            return Failed(TProblem::cpNotRegular, 0, "dispositivo");
    }
    // Others may go on reading and writing (the terminal keeps its files open); a
    // change while copying is seen below. Reparse points are followed: where they
    // lead is checked on the open handle.
    THandle in(::CreateFileW(sourcePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in.IsOpen()) {
        const int error = LastError();
        return error == ERROR_ACCESS_DENIED && ::GetFileAttributesW(sourcePath.c_str()) != INVALID_FILE_ATTRIBUTES
                && (::GetFileAttributesW(sourcePath.c_str()) & FILE_ATTRIBUTE_DIRECTORY)
            ? Failed(TProblem::cpNotRegular, 0, "pasta")
            : Failed(TProblem::cpUnreadable, error);
    }
    if (::GetFileType(in.Get()) != FILE_TYPE_DISK)
        return Failed(TProblem::cpNotRegular, 0, KindOfHandle(in.Get()));
    BY_HANDLE_FILE_INFORMATION opened {};
    if (!::GetFileInformationByHandle(in.Get(), &opened))
        return Failed(TProblem::cpUnreadable, LastError());
    if (opened.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return Failed(TProblem::cpNotRegular, 0, "pasta");
    // Where the system really opened it, links and junctions followed: inside the
    // share, or refused (a link to the deployment file must not be mailed). When the
    // system cannot say, only a file that is no reparse point itself is taken.
    const std::u16string finalSource = FinalPathOf(in.Get());
    const std::u16string finalRoot = Utf8ToUtf16(FShareFolder);
    if (!finalSource.empty() && !finalRoot.empty()) {
        if (finalSource.size() <= finalRoot.size() + 1 || finalSource.compare(0, finalRoot.size(), finalRoot) != 0
            || finalSource[finalRoot.size()] != u'\\')
            return Failed(TProblem::cpOutsideShare);
    } else if (::GetFileAttributesW(sourcePath.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) {
        return Failed(TProblem::cpOutsideShare);
    }

    const std::wstring targetPath = Wide(to);
    THandle out(::CreateFileW(targetPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
    if (!out.IsOpen())
        return Failed(TProblem::cpUnwritable, LastError());

    // The bytes the file held when it was opened (and no more: a file still growing
    // is the terminal's business), with the CRC-32 of exactly the bytes written.
    TCopiedFile copied;
    const std::uint64_t expected = SizeOf(opened);
    std::uint32_t sum = 0;
    std::string* kept = bytes && expected <= kMaxKeptCopyBytes ? bytes : nullptr;
    if (kept)
        kept->reserve(static_cast<std::size_t>(expected));
    static thread_local unsigned char buffer[64 * 1024];
    while (copied.Ok() && copied.Size < expected) {
        DWORD got = 0;
        const auto want = static_cast<DWORD>(std::min<std::uint64_t>(sizeof buffer, expected - copied.Size));
        if (!::ReadFile(in.Get(), buffer, want, &got, nullptr)) {
            copied = Failed(TProblem::cpUnreadable, LastError());
            break;
        }
        if (got == 0)
            break;
        if (const int error = WriteAll(out.Get(), buffer, got)) {
            copied = Failed(TProblem::cpUnwritable, error);
            break;
        }
        sum = Crc32(sum, buffer, got);
        if (kept)
            kept->append(reinterpret_cast<const char*>(buffer), got);
        copied.Size += got;
    }
    BY_HANDLE_FILE_INFORMATION after {};
    if (copied.Ok() && copied.Size != expected)
        copied = Failed(TProblem::cpChanged); // cut short on the terminal while it was copied
    else if (copied.Ok() && (!::GetFileInformationByHandle(in.Get(), &after) || !SameVersion(opened, after)))
        copied = Failed(TProblem::cpChanged); // written to while it was copied
    else if (copied.Ok() && !::SetFileTime(out.Get(), nullptr, &opened.ftLastAccessTime, &opened.ftLastWriteTime))
        copied = Failed(TProblem::cpUnwritable, LastError());
    if (const int error = out.Close(); error && copied.Ok())
        copied = Failed(TProblem::cpUnwritable, error);
    if (!copied.Ok()) {
        ::DeleteFileW(targetPath.c_str()); // a partial invoice must not be archived
        return copied;
    }
    copied.Crc32 = sum;
    copied.ModifiedUnix = UnixSecondsOf(opened.ftLastWriteTime);
    return copied;
}

int TWinFileSystem::MovePath(std::u16string_view from, std::u16string_view to) const
{
    if (!FMapper.Map(from) || !FMapper.Map(to))
        return ERROR_PATH_NOT_FOUND;
    // Without MOVEFILE_REPLACE_EXISTING an existing target is refused, for files
    // and folders alike.
    if (!::MoveFileExW(Wide(from).c_str(), Wide(WithoutTrailingSeparators(to)).c_str(), 0))
        return LastError();
    return 0;
}

int TWinFileSystem::WriteFileWhole(std::u16string_view path, std::string_view bytes) const
{
    if (!FMapper.Map(path) || path.back() == u'\\' || path.back() == u'/')
        return ERROR_PATH_NOT_FOUND;
    const std::wstring target = Wide(path);
    const std::wstring aside = target + L".novo";
    int error = 0;
    {
        THandle out(::CreateFileW(aside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
        if (!out.IsOpen())
            return LastError();
        error = WriteAll(out.Get(), bytes.data(), bytes.size());
        if (const int closeError = out.Close(); closeError && !error)
            error = closeError;
    }
    // MoveFileExW with MOVEFILE_REPLACE_EXISTING replaces the old file in one step.
    if (!error && !::MoveFileExW(aside.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
        error = LastError();
    if (error) {
        ::DeleteFileW(aside.c_str());
        return error;
    }
    return 0;
}

} // namespace orvant::platform
