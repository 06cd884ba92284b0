#include "platform/WinFileSystem.h"

#include "platform/CaseFold.h"
#include "platform/Utf.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace orvant::platform {

namespace {

class TFd {
public:
    explicit TFd(int fd) : FFd(fd) {}
    ~TFd() { if (FFd >= 0) ::close(FFd); }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }
    int Release() { int fd = FFd; FFd = -1; return fd; }
private:
    int FFd;
};

std::pair<std::string, std::string> SplitLinuxPath(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
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
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer + done, static_cast<std::size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            done += w;
        }
    }
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
        if (::mkdir(it->c_str(), 0777) != 0 && errno != EEXIST)
            return false;
        const auto [folder, name] = SplitLinuxPath(*it);
        FMapper.NoteCreated(folder, name);
    }
    return ::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<TFindEntry> TWinFileSystem::FindFiles(std::u16string_view pattern) const
{
    std::vector<TFindEntry> found;
    const auto sep = pattern.find_last_of(u"\\/");
    if (sep == std::u16string_view::npos)
        return found;
    const std::u16string_view mask = pattern.substr(sep + 1);
    const auto folder = FMapper.Map(pattern.substr(0, sep + 1));
    if (mask.empty() || !folder)
        return found;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder->c_str()), ::closedir);
    if (!dir)
        return found;
    while (const dirent* e = ::readdir(dir.get())) {
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
        found.push_back({std::move(name), isDir});
    }
    std::sort(found.begin(), found.end(),
              [](const TFindEntry& a, const TFindEntry& b) { return a.Name < b.Name; });
    return found;
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
    TFd out(::open(target->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
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

} // namespace orvant::platform
