// Wider surface of the library, kept for completeness: no road of the program reaches the code below.
//
// The handler's binary reads and writes, stream and capture operations, the
// console-style InputLn and the registry lookup by predicate. The program reads
// replies line by line and writes text lines and the encoded message (IdIOHandler.cpp).

#include "smtp/IdIOHandler.h"

#include "mime/IdStream.h"
#include "platform/NativePath.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace {

constexpr char16_t kReplacementChar = 0xFFFD;

bool StartsWithTwoDots(const String& line)
{
    return line.size() >= 2 && line[0] == u'.' && line[1] == u'.';
}

} // namespace

String TIdIOHandler::ReadLnRFC(bool& VMsgEnd, const String& ALineTerminator, const String& ADelim,
                               const IIdTextEncodingPtr& AByteEncoding)
{
    String line = ReadLn(ALineTerminator, AByteEncoding);
    VMsgEnd = line == ADelim;
    if (!VMsgEnd && StartsWithTwoDots(line))
        line.erase(0, 1);
    return line;
}

bool TIdIOHandler::CheckForDataOnSource(std::int32_t ATimeout)
{
    // Bytes that Connected itself takes in count as well.
    const std::int32_t before = FInputBuffer->Size();
    if (!Connected())
        return false;
    if (FillInputBuffer(false, ATimeout, false) > 0)
        return true;
    return FInputBuffer->Size() > before;
}

String TIdIOHandler::InputBufferAsString(const IIdTextEncodingPtr& AByteEncoding)
{
    return FInputBuffer->ExtractToString(-1, TextEncoding(AByteEncoding));
}

void TIdIOHandler::InputBufferToStream(TStream& AStream, std::int32_t AByteCount)
{
    FInputBuffer->ExtractToStream(AStream, AByteCount);
}

String TIdIOHandler::ReadString(std::int32_t ABytes, const IIdTextEncodingPtr& AByteEncoding)
{
    if (ABytes <= 0)
        return {};
    EnsureInputBytes(ABytes);
    return FInputBuffer->ExtractToString(ABytes, TextEncoding(AByteEncoding));
}

void TIdIOHandler::ReadStrings(TStrings& AValue, std::int32_t AReadLinesCount, const IIdTextEncodingPtr& AByteEncoding)
{
    const std::int32_t count = AReadLinesCount < 0 ? ReadLongInt() : AReadLinesCount;
    for (std::int32_t i = 0; i < count; ++i)
        AValue.Add(ReadLn(AByteEncoding));
}

char16_t TIdIOHandler::ReadChar(const IIdTextEncodingPtr& AByteEncoding)
{
    // The shortest run of bytes that decodes to one valid character; an undecodable
    // byte is consumed alone and read as U+FFFD.
    const IIdTextEncodingPtr encoding = TextEncoding(AByteEncoding);
    const std::int32_t maxSize = std::max(1, encoding->MaxCharSize());
    for (std::int32_t length = 1; length <= maxSize; ++length) {
        EnsureInputBytes(length);
        const String text = FInputBuffer->ExtractToString(length, encoding, 0);
        if (text.size() == 1 && text[0] != kReplacementChar) {
            FInputBuffer->Remove(length);
            return text[0];
        }
    }
    FInputBuffer->Remove(1);
    return kReplacementChar;
}

std::uint8_t TIdIOHandler::ReadByte()
{
    EnsureInputBytes(1);
    return FInputBuffer->ExtractToByte();
}

std::uint64_t TIdIOHandler::ReadIntegerBytes(int ASize, bool AConvert)
{
    TIdBytes bytes;
    ReadBytes(bytes, ASize, false);
    std::uint64_t value = 0;
    if (AConvert) {
        for (const std::uint8_t b : bytes)
            value = (value << 8) | b;
        return value;
    }
    switch (ASize) {
    case 2: { std::uint16_t v; std::memcpy(&v, bytes.data(), 2); return v; }
    case 4: { std::uint32_t v; std::memcpy(&v, bytes.data(), 4); return v; }
    default: std::memcpy(&value, bytes.data(), 8); return value;
    }
}

std::uint16_t TIdIOHandler::ReadWord(bool AConvert)
{
    return static_cast<std::uint16_t>(ReadIntegerBytes(2, AConvert));
}

std::int16_t TIdIOHandler::ReadSmallInt(bool AConvert)
{
    return static_cast<std::int16_t>(ReadIntegerBytes(2, AConvert));
}

std::uint32_t TIdIOHandler::ReadLongWord(bool AConvert)
{
    return static_cast<std::uint32_t>(ReadIntegerBytes(4, AConvert));
}

std::int32_t TIdIOHandler::ReadLongInt(bool AConvert)
{
    return static_cast<std::int32_t>(ReadIntegerBytes(4, AConvert));
}

std::int64_t TIdIOHandler::ReadInt64(bool AConvert)
{
    return static_cast<std::int64_t>(ReadIntegerBytes(8, AConvert));
}

void TIdIOHandler::ReadUntilDisconnect(const std::function<void()>& AConsume)
{
    try {
        for (;;) {
            AConsume();
            CheckForDisconnect(true, true);
            if (FillInputBuffer(false, IdTimeoutDefault, true) == 0)
                CheckCanReceiveMore();
        }
    } catch (const EIdConnClosedGracefully&) {
        // The peer's close is the normal end of the data; take what came last.
        AConsume();
    }
}

String TIdIOHandler::AllData(const IIdTextEncodingPtr& AByteEncoding)
{
    TIdBytes bytes;
    ReadUntilDisconnect([&] { FInputBuffer->ExtractToBytes(bytes); });
    return TextEncoding(AByteEncoding)->GetString(bytes);
}

void TIdIOHandler::DiscardAll()
{
    ReadUntilDisconnect([&] { FInputBuffer->Remove(-1); });
}

void TIdIOHandler::Discard(std::int64_t AByteCount)
{
    while (AByteCount > 0) {
        EnsureInputBytes(1);
        const auto count = static_cast<std::int32_t>(std::min<std::int64_t>(AByteCount, FInputBuffer->Size()));
        FInputBuffer->Remove(count);
        AByteCount -= count;
    }
}

void TIdIOHandler::ReadStream(TStream& AStream, std::int64_t AByteCount, bool AReadUntilDisconnect)
{
    if (!AReadUntilDisconnect && AByteCount < 0)
        AByteCount = FLargeStream ? ReadInt64() : ReadLongInt();
    BeginWork(TWorkMode::wmRead, AReadUntilDisconnect ? 0 : std::max<std::int64_t>(AByteCount, 0));
    try {
        if (AReadUntilDisconnect) {
            ReadUntilDisconnect([&] { FInputBuffer->ExtractToStream(AStream); });
        } else {
            while (AByteCount > 0) {
                EnsureInputBytes(1);
                const auto count = static_cast<std::int32_t>(std::min<std::int64_t>(AByteCount, FInputBuffer->Size()));
                FInputBuffer->ExtractToStream(AStream, count);
                AByteCount -= count;
            }
        }
    } catch (...) {
        EndWork(TWorkMode::wmRead);
        throw;
    }
    EndWork(TWorkMode::wmRead);
}

String TIdIOHandler::WaitFor(const String& AString, bool ARemoveFromBuffer, bool AInclusive,
                             const IIdTextEncodingPtr& AByteEncoding, std::int32_t ATimeout)
{
    const IIdTextEncodingPtr encoding = TextEncoding(AByteEncoding);
    const TIdBytes pattern = encoding->GetBytes(AString);
    if (pattern.empty())
        return {};
    const auto patternLength = static_cast<std::int32_t>(pattern.size());
    std::int32_t searchStart = 0;
    for (;;) {
        const std::int32_t size = FInputBuffer->Size();
        if (size > searchStart) {
            const std::int32_t pos = FInputBuffer->IndexOf(pattern, searchStart);
            if (pos >= 0) {
                String text = FInputBuffer->ExtractToString(pos + (AInclusive ? patternLength : 0), encoding, 0);
                if (ARemoveFromBuffer)
                    FInputBuffer->Remove(pos + patternLength);
                return text;
            }
            searchStart = std::max(0, size - (patternLength - 1));
        }
        CheckForDisconnect(true, true);
        if (FillInputBuffer(true, ATimeout, true) == 0)
            CheckCanReceiveMore();
    }
}

std::int32_t TIdIOHandler::CaptureLines(TStrings& ADest, const String& ADelim, bool AUsesDotTransparency,
                                        const IIdTextEncodingPtr& AByteEncoding)
{
    std::int32_t count = 0;
    for (;;) {
        String line = ReadLn(AByteEncoding);
        if (FReadLnTimedout)
            EIdException::Toss<EIdReadTimeout>(u"Read timed out.");
        if (line == ADelim)
            return count;
        if (AUsesDotTransparency && StartsWithTwoDots(line))
            line.erase(0, 1);
        if (FMaxCapturedLines > 0 && count >= FMaxCapturedLines)
            EIdException::Toss(u"Maximum number of captured lines exceeded.");
        ADest.Add(line);
        ++count;
    }
}

std::int32_t TIdIOHandler::Capture(TStrings& ADest, const String& ADelim, bool AUsesDotTransparency,
                                   const IIdTextEncodingPtr& AByteEncoding)
{
    return CaptureLines(ADest, ADelim, AUsesDotTransparency, AByteEncoding);
}

std::int32_t TIdIOHandler::Capture(TStream& ADest, const String& ADelim, bool AUsesDotTransparency,
                                   const IIdTextEncodingPtr& AByteEncoding)
{
    TStringList lines;
    const std::int32_t count = CaptureLines(lines, ADelim, AUsesDotTransparency, AByteEncoding);
    const IIdTextEncodingPtr encoding = TextEncoding(AByteEncoding);
    TIdBytes bytes;
    for (const String& line : lines) {
        encoding->AppendBytes(line + String(EOL), bytes);
        ADest.WriteBytes(bytes);
        bytes.clear();
    }
    return count;
}

String TIdIOHandler::InputLn(const String& AMask, bool AEcho, std::int32_t ATabWidth, std::int32_t AMaxLineLength,
                             const IIdTextEncodingPtr& AByteEncoding)
{
    const std::int32_t maxLength = AMaxLineLength < 0 ? FMaxLineLength : AMaxLineLength;
    const auto roomLeft = [&](const String& line) {
        return maxLength <= 0 || static_cast<std::int64_t>(line.size()) < maxLength;
    };
    const auto echo = [&](const String& text) {
        if (AEcho)
            Write(AMask.empty() ? text : AMask, AByteEncoding);
    };
    String line;
    for (;;) {
        const char16_t c = ReadChar(AByteEncoding);
        if (c == LF)
            break;
        if (c == CR) {
            // A terminal ends the line with CR LF or CR NUL: take the second byte along
            // when it is already here.
            if (!InputBufferIsEmpty() && (FInputBuffer->PeekByte(0) == 10 || FInputBuffer->PeekByte(0) == 0))
                FInputBuffer->Remove(1);
            break;
        }
        if (c == 8 || c == 127) {
            if (!line.empty()) {
                line.pop_back();
                if (AEcho)
                    Write(String(u"\b \b"), AByteEncoding);
            }
        } else if (c == TAB && ATabWidth > 0) {
            for (std::int32_t i = 0; i < ATabWidth && roomLeft(line); ++i) {
                line += u' ';
                echo(String(1, u' '));
            }
        } else if (roomLeft(line)) {
            line += c;
            echo(String(1, c));
        }
    }
    if (AEcho)
        WriteLn(AByteEncoding);
    return line;
}

void TIdIOHandler::Write(const TStrings& AValue, bool AWriteLinesCount, const IIdTextEncodingPtr& AByteEncoding)
{
    const bool openedHere = !WriteBufferingActive();
    if (openedHere)
        WriteBufferOpen();
    try {
        if (AWriteLinesCount)
            Write(static_cast<std::int32_t>(AValue.Count()), true);
        for (const String& line : AValue)
            WriteLn(line, AByteEncoding);
        if (openedHere)
            WriteBufferClose();
    } catch (...) {
        if (openedHere)
            WriteBufferCancel();
        throw;
    }
}

void TIdIOHandler::WriteIntegerBytes(std::uint64_t AValue, int ASize, bool AConvert)
{
    TIdBytes bytes(static_cast<std::size_t>(ASize));
    if (AConvert) {
        for (int i = ASize - 1; i >= 0; --i) {
            bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(AValue & 0xFF);
            AValue >>= 8;
        }
    } else {
        const auto v16 = static_cast<std::uint16_t>(AValue);
        const auto v32 = static_cast<std::uint32_t>(AValue);
        std::memcpy(bytes.data(), ASize == 2 ? static_cast<const void*>(&v16)
                                  : ASize == 4 ? static_cast<const void*>(&v32)
                                               : static_cast<const void*>(&AValue),
                    static_cast<std::size_t>(ASize));
    }
    Write(bytes);
}

void TIdIOHandler::Write(std::uint16_t AValue, bool AConvert)
{
    WriteIntegerBytes(AValue, 2, AConvert);
}

void TIdIOHandler::Write(std::int16_t AValue, bool AConvert)
{
    WriteIntegerBytes(static_cast<std::uint16_t>(AValue), 2, AConvert);
}

void TIdIOHandler::Write(std::uint32_t AValue, bool AConvert)
{
    WriteIntegerBytes(AValue, 4, AConvert);
}

void TIdIOHandler::Write(std::int32_t AValue, bool AConvert)
{
    WriteIntegerBytes(static_cast<std::uint32_t>(AValue), 4, AConvert);
}

void TIdIOHandler::Write(std::int64_t AValue, bool AConvert)
{
    WriteIntegerBytes(static_cast<std::uint64_t>(AValue), 8, AConvert);
}

void TIdIOHandler::Write(TStream& AStream, std::int64_t ASize, bool AWriteByteCount)
{
    if (ASize < 0) {
        ASize = AStream.Size() - AStream.Position();
    } else if (ASize == 0) {
        AStream.SetPosition(0);
        ASize = AStream.Size();
    }
    if (AWriteByteCount) {
        if (FLargeStream) {
            Write(static_cast<std::int64_t>(ASize), true);
        } else {
            if (ASize > std::numeric_limits<std::int32_t>::max())
                EIdException::Toss<EIdIOHandlerRequiresLargeStream>(
                    u"Set LargeStream to True to send streams greater than 2GB");
            Write(static_cast<std::int32_t>(ASize), true);
        }
    }
    BeginWork(TWorkMode::wmWrite, ASize);
    try {
        const std::int32_t chunkSize = FSendBufferSize > 0 ? FSendBufferSize : IdDefaultBufferSize;
        TIdBytes chunk(static_cast<std::size_t>(std::min<std::int64_t>(ASize, chunkSize)));
        while (ASize > 0) {
            const auto wanted = static_cast<std::int32_t>(std::min<std::int64_t>(ASize, chunkSize));
            const std::int64_t got = AStream.Read(chunk.data(), wanted);
            if (got <= 0)
                EIdException::Toss<EIdNoDataToRead>(u"No data to read.");
            Write(chunk, static_cast<std::int32_t>(got), 0);
            ASize -= got;
        }
    } catch (...) {
        EndWork(TWorkMode::wmWrite);
        throw;
    }
    EndWork(TWorkMode::wmWrite);
}

std::int64_t TIdIOHandler::WriteFile(const String& AFile, bool)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(orvant::platform::NativePath(ToUtf8(AFile)), error))
        EIdException::Toss<EIdFileNotFound>(Format(u"File \"%s\" not found", {AFile}));
    TFileStream stream(AFile, TFileStream::TMode::fmOpenRead);
    Write(stream, 0, false);
    return stream.Size();
}

std::unique_ptr<TIdIOHandler> TIdIOHandler::CreateFromRegistry(bool (*AMatches)(const TIdIOHandlerClassRef&))
{
    const auto& classes = RegisteredClasses();
    for (auto it = classes.rbegin(); it != classes.rend(); ++it) {
        if (AMatches(*it))
            return it->Create();
    }
    return nullptr;
}
