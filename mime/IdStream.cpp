#include "mime/IdStream.h"

#include "smtp/IdException.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::int64_t TStream::Size()
{
    const std::int64_t here = Position();
    const std::int64_t end = Seek(0, TSeekOrigin::soEnd);
    Seek(here, TSeekOrigin::soBeginning);
    return end;
}

void TStream::SetSize(std::int64_t)
{
    throw EStreamError(u"Stream size cannot be changed");
}

namespace {

// Repeats a read or write until all `count` bytes are moved; a step that moves
// nothing raises E.
template <class E, class Step>
void MoveAll(std::int64_t count, Step step, const char16_t* failure)
{
    std::int64_t done = 0;
    while (done < count) {
        const std::int64_t n = step(done, count - done);
        if (n <= 0)
            throw E(failure);
        done += n;
    }
}

} // namespace

void TStream::ReadBuffer(void* buffer, std::int64_t count)
{
    auto* p = static_cast<std::uint8_t*>(buffer);
    MoveAll<EReadError>(count, [&](std::int64_t done, std::int64_t left) { return Read(p + done, left); },
                        u"Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count)
{
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    MoveAll<EWriteError>(count, [&](std::int64_t done, std::int64_t left) { return Write(p + done, left); },
                         u"Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count)
{
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    constexpr std::int64_t kChunk = 64 * 1024;
    TIdBytes buffer(static_cast<std::size_t>(std::min(count, kChunk)));
    std::int64_t done = 0;
    while (done < count) {
        const std::int64_t want = std::min(count - done, kChunk);
        source.ReadBuffer(buffer.data(), want);
        WriteBuffer(buffer.data(), want);
        done += want;
    }
    return done;
}

// --- TMemoryStream -----------------------------------------------------------------

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count)
{
    const std::int64_t available = Size() - FPosition;
    const std::int64_t n = std::max<std::int64_t>(0, std::min(count, available));
    if (n > 0)
        std::memcpy(buffer, FData.data() + FPosition, static_cast<std::size_t>(n));
    FPosition += n;
    return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count)
{
    if (count <= 0)
        return 0;
    const std::int64_t end = FPosition + count;
    if (end > Size())
        FData.resize(static_cast<std::size_t>(end));
    std::memcpy(FData.data() + FPosition, buffer, static_cast<std::size_t>(count));
    FPosition = end;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    std::int64_t base = 0;
    if (origin == TSeekOrigin::soCurrent)
        base = FPosition;
    else if (origin == TSeekOrigin::soEnd)
        base = Size();
    FPosition = std::max<std::int64_t>(0, base + offset);
    return FPosition;
}

void TMemoryStream::SetSize(std::int64_t newSize)
{
    FData.resize(static_cast<std::size_t>(std::max<std::int64_t>(0, newSize)));
    FPosition = std::min(FPosition, Size());
}

void TMemoryStream::Clear()
{
    FData.clear();
    FPosition = 0;
}

// --- TFileStream -------------------------------------------------------------------

TFileStream::TFileStream(const String& fileName, TMode mode)
    : FFileName(fileName)
{
    int flags = O_CLOEXEC;
    switch (mode) {
    case TMode::fmCreate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case TMode::fmOpenRead: flags |= O_RDONLY; break;
    case TMode::fmOpenWrite: flags |= O_WRONLY; break;
    case TMode::fmOpenReadWrite: flags |= O_RDWR; break;
    }
    const std::string path = ToUtf8(fileName);
    FHandle = ::open(path.c_str(), flags, 0644);
    if (FHandle >= 0 && mode != TMode::fmCreate) {
        // Opening a folder succeeds on Linux; as a file stream it is an error.
        struct stat st {};
        if (::fstat(FHandle, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(FHandle);
            FHandle = -1;
            errno = EISDIR;
        }
    }
    if (FHandle < 0) {
        const String reason = FromUtf8(std::strerror(errno));
        if (mode == TMode::fmCreate)
            throw EFCreateError(Format(u"Cannot create file \"%s\". %s", {fileName, reason}));
        throw EFOpenError(Format(u"Cannot open file \"%s\". %s", {fileName, reason}));
    }
}

TFileStream::~TFileStream()
{
    if (FHandle >= 0)
        ::close(FHandle);
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count)
{
    for (;;) {
        const ssize_t n = ::read(FHandle, buffer, static_cast<std::size_t>(std::max<std::int64_t>(0, count)));
        if (n >= 0)
            return n;
        if (errno != EINTR)
            throw EReadError(Format(u"Cannot read file \"%s\". %s", {FFileName, FromUtf8(std::strerror(errno))}));
    }
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count)
{
    for (;;) {
        const ssize_t n = ::write(FHandle, buffer, static_cast<std::size_t>(std::max<std::int64_t>(0, count)));
        if (n >= 0)
            return n;
        if (errno != EINTR)
            throw EWriteError(Format(u"Cannot write file \"%s\". %s", {FFileName, FromUtf8(std::strerror(errno))}));
    }
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    int whence = SEEK_SET;
    if (origin == TSeekOrigin::soCurrent)
        whence = SEEK_CUR;
    else if (origin == TSeekOrigin::soEnd)
        whence = SEEK_END;
    const off_t r = ::lseek(FHandle, static_cast<off_t>(offset), whence);
    if (r < 0)
        throw EStreamError(Format(u"Cannot seek in file \"%s\". %s", {FFileName, FromUtf8(std::strerror(errno))}));
    return r;
}

void TFileStream::SetSize(std::int64_t newSize)
{
    if (::ftruncate(FHandle, static_cast<off_t>(newSize)) != 0)
        throw EWriteError(Format(u"Cannot resize file \"%s\". %s", {FFileName, FromUtf8(std::strerror(errno))}));
}
