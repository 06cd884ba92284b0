#include "platform/WinFileSystem.h"

#include "platform/CaseFold.h"
#include "platform/Crc32.h"
#include "platform/FileDescriptor.h"
#include "platform/FileModes.h"
#include "platform/Utf.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <memory>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace orvant::platform {

namespace {

using TFd = TFileDescriptor;

std::pair<std::string, std::string> SplitLinuxPath(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// Writes all of `data`; 0, or errno.
int WriteAll(int fd, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno != EINTR)
            return errno;
        if (n > 0)
            done += static_cast<std::size_t>(n);
    }
    return 0;
}

bool CopyBytes(int in, int out)
{
    // copy_file_range keeps the data in the kernel; fall back to read/write where
    // the file systems do not support it.
    for (;;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n == 0)
            return true;
        if (n > 0)
            continue;
        if (errno == EINTR)
            continue;
        if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)
            break;
        return false;
    }
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (const int error = WriteAll(out, buffer, static_cast<std::size_t>(n))) {
            errno = error;
            return false;
        }
    }
}

using TProblem = TCopiedFile::TProblem;

TCopiedFile Failed(TProblem problem, int error = 0, std::string kind = {})
{
    TCopiedFile result;
    result.Problem = problem;
    result.Error = error;
    result.Kind = std::move(kind);
    return result;
}

std::string KindOf(mode_t mode)
{
    if (S_ISFIFO(mode))
        return "FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "dispositivo";
    if (S_ISSOCK(mode))
        return "soquete";
    if (S_ISDIR(mode))
        return "pasta";
    return "tipo desconhecido";
}

// openat2 with RESOLVE_BENEATH: every component, links included, must stay below
// `root`; a link that leads out fails with EXDEV. -1 with errno ENOSYS on kernels
// before 5.6.
int OpenBeneath(int root, const std::string& relative, int flags)
{
    open_how how {};
    how.flags = static_cast<std::uint64_t>(flags | O_CLOEXEC);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    for (;;) {
        const long fd = ::syscall(SYS_openat2, root, relative.c_str(), &how, sizeof how);
        if (fd >= 0 || errno != EAGAIN)
            return static_cast<int>(fd);
    }
}

// Without openat2: no link at all on the file itself, and the folders leading to
// it must resolve inside the share.
int OpenWithoutLinks(const std::string& rootPath, const std::string& source, int flags)
{
    const std::unique_ptr<char, void (*)(void*)> realRoot(::realpath(rootPath.c_str(), nullptr), std::free);
    const std::unique_ptr<char, void (*)(void*)> realFolder(
        ::realpath(SplitLinuxPath(source).first.c_str(), nullptr), std::free);
    if (!realRoot || !realFolder)
        return -1;
    const std::string inside = std::string(realRoot.get()) + "/";
    if ((std::string(realFolder.get()) + "/").rfind(inside, 0) != 0) {
        errno = EXDEV;
        return -1;
    }
    return ::open(source.c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
}

// Opens `relative` below the share: beneath it where the kernel can tell
// (openat2), else without any link at the end. -1 with errno on failure.
int OpenInShare(int rootFd, const std::string& root, const std::string& source, const std::string& relative,
                int flags)
{
    static std::atomic<bool> beneathKnown {true};
    if (beneathKnown.load(std::memory_order_relaxed)) {
        const int fd = OpenBeneath(rootFd, relative, flags);
        if (fd >= 0 || errno != ENOSYS)
            return fd;
        beneathKnown.store(false, std::memory_order_relaxed);
    }
    return OpenWithoutLinks(root, source, flags);
}

// Copies the `expected` bytes `in` held when it was opened (and no more: a file
// still growing is the terminal's business) into `out`, with the CRC-32 of
// exactly the bytes written. Fewer bytes than expected show in `size`.
bool CopyWithCrc(int in, int out, std::uint64_t expected, std::uint64_t& size, std::uint32_t& crc, int& readError,
                 int& writeError, std::string* kept)
{
    if (kept && expected <= kMaxKeptCopyBytes)
        kept->reserve(static_cast<std::size_t>(expected));
    else
        kept = nullptr;
    unsigned char buffer[64 * 1024]; // not zero-filled: every byte used is read first
    std::uint32_t sum = 0;
    while (size < expected) {
        const ssize_t n = ::read(in, buffer, static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buffer,
                                                                                              expected - size)));
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            readError = errno;
            return false;
        }
        if ((writeError = WriteAll(out, buffer, static_cast<std::size_t>(n))) != 0)
            return false;
        sum = Crc32(sum, buffer, static_cast<std::size_t>(n));
        if (kept)
            kept->append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n));
        size += static_cast<std::uint64_t>(n);
    }
    crc = sum;
    return true;
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

bool FolderQueryErrorMeansMissing(int errnoValue)
{
    switch (errnoValue) {
    case ENOENT:       // file or path not found
    case ENOTDIR:
    case ENAMETOOLONG: // bad path name
    case ELOOP:
    case ENXIO:        // device not ready
    case ENODEV:
    case EHOSTDOWN:    // a mounted share whose computer is off: network path not found
    case EHOSTUNREACH:
        return true;
    default:
        return false;
    }
}

TWinFileSystem::TWinFileSystem(const TWinPathRoots& roots) : FMapper(roots) {}

TWinFileSystem::~TWinFileSystem()
{
    if (FShareFd >= 0)
        ::close(FShareFd);
}

int TWinFileSystem::ShareFolder(std::u16string_view shareRoot) const
{
    if (FShareFd >= 0 && FShareRoot == shareRoot)
        return FShareFd;
    const auto folder = FMapper.Map(shareRoot);
    if (!folder) {
        errno = ENOENT;
        return -1;
    }
    TFd fd(::open(folder->c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!fd.IsOpen())
        return -1;
    if (FShareFd >= 0)
        ::close(FShareFd);
    FShareRoot = shareRoot;
    FShareFolder = *folder;
    FShareFd = fd.Release();
    return FShareFd;
}

bool TWinFileSystem::DirectoryExists(std::u16string_view path) const
{
    const auto mapped = FMapper.Map(path);
    if (!mapped)
        return false;
    struct stat st {};
    if (::lstat(mapped->c_str(), &st) != 0)
        return !FolderQueryErrorMeansMissing(errno);
    if (S_ISDIR(st.st_mode))
        return true;
    if (!S_ISLNK(st.st_mode))
        return false;
    // A link counts only when its target is a folder that can be opened.
    const TFd fd(::open(mapped->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.Get() >= 0;
}

bool TWinFileSystem::FileExists(std::u16string_view path) const
{
    const auto mapped = FMapper.Map(path);
    struct stat st {};
    return mapped && ::stat(mapped->c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool TWinFileSystem::ForceDirectories(std::u16string_view path) const
{
    auto mapped = FMapper.Map(path);
    if (!mapped)
        return false;
    std::string& target = *mapped;
    while (target.size() > 1 && target.back() == '/')
        target.pop_back();
    // Walk up to the deepest existing folder, then create downwards.
    std::vector<std::string> missing;
    std::string current = target;
    struct stat st {};
    while (::stat(current.c_str(), &st) != 0 && errno == ENOENT) {
        missing.push_back(current);
        current = SplitLinuxPath(current).first;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), kCreatedFolderMode) != 0 && errno != EEXIST)
            return false;
        const auto [folder, name] = SplitLinuxPath(*it);
        FMapper.NoteCreated(folder, name);
    }
    return ::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<TFindEntry> TWinFileSystem::FindFiles(std::u16string_view pattern) const
{
    return FindFilesChecked(pattern).Entries;
}

TFindResult TWinFileSystem::FindFilesChecked(std::u16string_view pattern) const
{
    TFindResult result;
    std::vector<TFindEntry>& found = result.Entries;
    const auto sep = pattern.find_last_of(u"\\/");
    if (sep == std::u16string_view::npos) {
        result.Error = ENOENT;
        return result;
    }
    const std::u16string_view mask = pattern.substr(sep + 1);
    const auto folder = FMapper.Map(pattern.substr(0, sep + 1));
    if (mask.empty() || !folder) {
        result.Error = ENOENT;
        return result;
    }
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder->c_str()), ::closedir);
    if (!dir) {
        result.Error = errno;
        return result;
    }
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(dir.get());
        if (!e) {
            result.Error = errno; // 0 at the end of the folder
            break;
        }
        const std::string_view raw = e->d_name;
        if (raw == "." || raw == "..")
            continue;
        std::u16string name = Utf8ToUtf16(raw);
        if (!MatchesWildcard(mask, name))
            continue;
        bool isDir = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            struct stat st {};
            isDir = ::fstatat(::dirfd(dir.get()), e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        found.push_back({std::move(name), isDir, e->d_type == DT_REG});
    }
    std::sort(found.begin(), found.end(),
              [](const TFindEntry& a, const TFindEntry& b) { return a.Name < b.Name; });
    return result;
}

bool TWinFileSystem::CopyFile(std::u16string_view from, std::u16string_view to) const
{
    const auto source = FMapper.Map(from);
    const auto target = FMapper.Map(to);
    if (!source || !target || target->back() == '/')
        return false;
    const TFd in(::open(source->c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (in.Get() < 0 || ::fstat(in.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    TFd out(::open(target->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kCreatedFileMode));
    if (out.Get() < 0)
        return false;
    const auto [folder, name] = SplitLinuxPath(*target);
    FMapper.NoteCreated(folder, name);
    // The copy keeps the source's modification time, as a Windows file copy does.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    bool ok = CopyBytes(in.Get(), out.Get()) && ::futimens(out.Get(), times) == 0;
    ok = (::close(out.Release()) == 0) && ok;
    if (!ok)
        ::unlink(target->c_str()); // a truncated invoice must not be archived
    return ok;
}

namespace {

// An entry that was not listed as a regular file: its own type, and for a link
// the type of what it leads to, through a handle that opens nothing (O_PATH).
// Ok when it may be opened for reading; `entry` then holds what was seen.
TCopiedFile LookAt(int rootFd, const std::string& root, const std::string& source, const std::string& relative,
                   struct stat& entry)
{
    if (::fstatat(rootFd, relative.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0)
        return Failed(TProblem::cpUnreadable, errno);
    if (S_ISLNK(entry.st_mode)) {
        const TFd leadsTo(OpenInShare(rootFd, root, source, relative, O_PATH));
        if (!leadsTo.IsOpen())
            return errno == EXDEV ? Failed(TProblem::cpOutsideShare) : Failed(TProblem::cpUnreadable, errno);
        if (::fstat(leadsTo.Get(), &entry) != 0)
            return Failed(TProblem::cpUnreadable, errno);
    }
    if (S_ISLNK(entry.st_mode)) // only without openat2: a link that cannot be followed safely
        return Failed(TProblem::cpOutsideShare);
    if (!S_ISREG(entry.st_mode))
        return Failed(TProblem::cpNotRegular, 0, KindOf(entry.st_mode));
    return {};
}

} // namespace

TCopiedFile TWinFileSystem::CopyFromShare(std::u16string_view shareRoot, std::u16string_view from,
                                          std::u16string_view to, bool listedAsRegular, std::string* bytes) const
{
    if (bytes)
        bytes->clear();
    const int rootFd = ShareFolder(shareRoot);
    if (rootFd < 0)
        return Failed(TProblem::cpUnreadable, errno);
    const std::string& root = FShareFolder;
    const auto source = FMapper.Map(from);
    const auto target = FMapper.Map(to);
    if (!source)
        return Failed(TProblem::cpUnreadable, ENOENT);
    if (!target || target->back() == '/')
        return Failed(TProblem::cpUnwritable, ENOENT);
    if (source->rfind(root + "/", 0) != 0)
        return Failed(TProblem::cpOutsideShare);
    const std::string relative = source->substr(root.size() + 1);

    // Open for reading only what is known to be a regular file: the folder's
    // listing says so for most; anything else is looked at first, link or not.
    // O_NOFOLLOW: an entry that became a link since the listing fails here and is
    // looked at as one.
    const int readFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY;
    TFd in(listedAsRegular ? OpenInShare(rootFd, root, *source, relative, readFlags | O_NOFOLLOW) : -1);
    struct stat entry {};
    if (!in.IsOpen()) {
        if (const TCopiedFile refused = LookAt(rootFd, root, *source, relative, entry); !refused.Ok())
            return refused;
        in = TFd(OpenInShare(rootFd, root, *source, relative, readFlags));
    }
    struct stat opened {};
    if (!in.IsOpen() || ::fstat(in.Get(), &opened) != 0)
        return errno == EXDEV ? Failed(TProblem::cpOutsideShare) : Failed(TProblem::cpUnreadable, errno);
    if (!S_ISREG(opened.st_mode))
        return Failed(TProblem::cpNotRegular, 0, KindOf(opened.st_mode));
    if (!listedAsRegular && !SameFile(entry, opened))
        return Failed(TProblem::cpChanged);


    TFd out(::open(target->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kCreatedFileMode));
    if (out.Get() < 0)
        return Failed(TProblem::cpUnwritable, errno);
    const auto [folder, name] = SplitLinuxPath(*target);
    FMapper.NoteCreated(folder, name);

    TCopiedFile copied;
    int readError = 0;
    int writeError = 0;
    const struct timespec times[2] = {opened.st_atim, opened.st_mtim};
    if (!CopyWithCrc(in.Get(), out.Get(), static_cast<std::uint64_t>(opened.st_size), copied.Size, copied.Crc32,
                     readError, writeError, bytes))
        copied = readError ? Failed(TProblem::cpUnreadable, readError) : Failed(TProblem::cpUnwritable, writeError);
    else if (copied.Size != static_cast<std::uint64_t>(opened.st_size))
        copied = Failed(TProblem::cpChanged); // cut short on the terminal while it was copied
    else if (::futimens(out.Get(), times) != 0)
        copied = Failed(TProblem::cpUnwritable, errno);
    if (::close(out.Release()) != 0 && copied.Ok())
        copied = Failed(TProblem::cpUnwritable, errno);
    if (!copied.Ok()) {
        ::unlink(target->c_str()); // a partial invoice must not be archived
        return copied;
    }
    copied.ModifiedUnix = opened.st_mtim.tv_sec;
    return copied;
}

int TWinFileSystem::MovePath(std::u16string_view from, std::u16string_view to) const
{
    const auto source = FMapper.Map(from);
    auto target = FMapper.Map(to);
    if (!source || !target)
        return ENOENT;
    while (target->size() > 1 && target->back() == '/')
        target->pop_back();
    struct stat st {};
    if (::lstat(target->c_str(), &st) == 0)
        return EEXIST;
    if (::rename(source->c_str(), target->c_str()) != 0)
        return errno;
    const auto [folder, name] = SplitLinuxPath(*target);
    FMapper.NoteCreated(folder, name);
    return 0;
}

int TWinFileSystem::WriteFileWhole(std::u16string_view path, std::string_view bytes) const
{
    const auto target = FMapper.Map(path);
    if (!target || target->back() == '/')
        return ENOENT;
    const std::string aside = *target + ".novo";
    int error = 0;
    {
        TFd out(::open(aside.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kCreatedFileMode));
        if (out.Get() < 0)
            return errno;
        error = WriteAll(out.Get(), bytes.data(), bytes.size());
        if (::close(out.Release()) != 0 && !error)
            error = errno;
    }
    if (!error && ::rename(aside.c_str(), target->c_str()) != 0)
        error = errno;
    if (error) {
        ::unlink(aside.c_str());
        return error;
    }
    const auto [folder, name] = SplitLinuxPath(*target);
    FMapper.NoteCreated(folder, name);
    return 0;
}

} // namespace orvant::platform
