#include "platform/AppendFile.h"

#include "platform/FileDescriptor.h"
#include "platform/FileModes.h"

#include <cerrno>
#include <sys/stat.h>
#include <system_error>

namespace orvant::platform {

namespace {

[[noreturn]] void Raise(const char* what, const std::string& path)
{
    const int error = errno; // before anything that could change it
    throw std::system_error(error, std::generic_category(), std::string(what) + " " + path);
}

} // namespace

void AppendLine(const std::string& path, std::string_view firstLine, std::string_view line)
{
    // Read and write: the last byte says whether the last line was cut short.
    const TFileDescriptor fd(::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, kCreatedFileMode));
    if (!fd.IsOpen())
        Raise("open", path);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0)
        Raise("fstat", path);
    std::string bytes;
    char last = '\n';
    if (st.st_size == 0)
        bytes = firstLine;
    else if (::pread(fd.Get(), &last, 1, st.st_size - 1) == 1 && last != '\n')
        bytes = "\r\n";
    bytes += line;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            Raise("write", path);
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd.Get()) != 0)
        Raise("fsync", path);
}

} // namespace orvant::platform
