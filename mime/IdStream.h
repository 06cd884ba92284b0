#pragma once
// The small stream interface under the writer and the encoders, so that the same
// code writes onto a connection, into memory or into a file.

#include "mime/IdGlobal.h"

#include <cstdint>

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // Reads up to count bytes; returns how many were read (0 at the end).
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    // Writes count bytes; returns how many were written.
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    // Moves the position; returns the new position.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    virtual std::int64_t Size();
    virtual void SetSize(std::int64_t newSize);

    std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::soBeginning); }

    // All-or-error forms: a short read raises EReadError, a short write EWriteError.
    void ReadBuffer(void* buffer, std::int64_t count);
    void WriteBuffer(const void* buffer, std::int64_t count);
    void WriteBytes(const TIdBytes& bytes) { WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size())); }

    // Copies count bytes from source (count 0: the whole source from its start).
    // Returns the number of bytes copied.
    std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

// Bytes in memory.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(TIdBytes initial) : FData(std::move(initial)) {}

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(FData.size()); }
    void SetSize(std::int64_t newSize) override;

    const TIdBytes& Bytes() const { return FData; }
    TIdBytes& Bytes() { return FData; }
    void Clear();

private:
    TIdBytes FData;
    std::int64_t FPosition = 0;
};

// A file on disk. Paths are Linux paths in UTF-16 (converted to UTF-8 for the
// system call). Opening failures raise EFOpenError / EFCreateError naming the
// file and the system's reason.
class TFileStream : public TStream {
public:
    enum class TMode {
        fmCreate,        // create or truncate, read and write
        fmOpenRead,      // read only
        fmOpenWrite,     // write only, existing file
        fmOpenReadWrite, // read and write, existing file
    };
    TFileStream(const String& fileName, TMode mode);
    ~TFileStream() override;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    void SetSize(std::int64_t newSize) override;

    const String& FileName() const { return FFileName; }

private:
    String FFileName;
    int FHandle = -1;
};
