#include "mime/IdStream.h"

#include "smtp/IdException.h"

#include "platform/FileHandle.h"
#include "platform/SystemError.h"

#include <algorithm>
#include <cstring>

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

// The system's text for an error code of the platform's file functions.
String Reason(int error)
{
    return FromUtf8(orvant::platform::SystemErrorText(error));
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

// FHandle holds the platform's handle in an int: a descriptor on Linux; on Windows
// a kernel HANDLE, which the system keeps within 32 bits so that 32- and 64-bit
// processes can share them, and which sign-extends back to itself (-1 included).
TFileStream::TFileStream(const String& fileName, TMode mode)
    : FFileName(fileName)
{
    using orvant::platform::TFileAccess;
    TFileAccess access = TFileAccess::Read;
    switch (mode) {
    case TMode::fmCreate: access = TFileAccess::CreateReadWrite; break;
    case TMode::fmOpenRead: access = TFileAccess::Read; break;
    case TMode::fmOpenWrite: access = TFileAccess::Write; break;
    case TMode::fmOpenReadWrite: access = TFileAccess::ReadWrite; break;
    }
    int error = 0;
    FHandle = static_cast<int>(orvant::platform::OpenFileHandle(ToUtf8(fileName), access, error));
    if (FHandle == orvant::platform::kNoFile) {
        const String reason = Reason(error);
        if (mode == TMode::fmCreate)
            throw EFCreateError(Format(u"Cannot create file \"%s\". %s", {fileName, reason}));
        throw EFOpenError(Format(u"Cannot open file \"%s\". %s", {fileName, reason}));
    }
}

TFileStream::~TFileStream()
{
    if (FHandle != orvant::platform::kNoFile)
        orvant::platform::CloseFileHandle(FHandle);
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count)
{
    int error = 0;
    const std::int64_t n = orvant::platform::ReadFileHandle(FHandle, buffer, count, error);
    if (n < 0)
        throw EReadError(Format(u"Cannot read file \"%s\". %s", {FFileName, Reason(error)}));
    return n;
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count)
{
    int error = 0;
    const std::int64_t n = orvant::platform::WriteFileHandle(FHandle, buffer, count, error);
    if (n < 0)
        throw EWriteError(Format(u"Cannot write file \"%s\". %s", {FFileName, Reason(error)}));
    return n;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    using orvant::platform::TFileSeek;
    const TFileSeek whence = origin == TSeekOrigin::soCurrent ? TFileSeek::Current
                             : origin == TSeekOrigin::soEnd   ? TFileSeek::End
                                                              : TFileSeek::Begin;
    int error = 0;
    const std::int64_t r = orvant::platform::SeekFileHandle(FHandle, offset, whence, error);
    if (r < 0)
        throw EStreamError(Format(u"Cannot seek in file \"%s\". %s", {FFileName, Reason(error)}));
    return r;
}

void TFileStream::SetSize(std::int64_t newSize)
{
    int error = 0;
    if (!orvant::platform::ResizeFileHandle(FHandle, newSize, error))
        throw EWriteError(Format(u"Cannot resize file \"%s\". %s", {FFileName, Reason(error)}));
}
