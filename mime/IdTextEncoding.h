#pragma once
// Text encodings: every conversion between UTF-16 text and bytes goes through one.
//
// Encodings are shared, reference-counted objects (IIdTextEncodingPtr). The shared
// instances of each kind are created on first use and kept for the process's life.
// No conversion raises: a character the target cannot hold becomes "?" (or the
// code page's default character), a byte that cannot be decoded becomes U+FFFD.

#include "mime/IdGlobal.h"
#include "platform/CodePages.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class IIdTextEncoding {
public:
    virtual ~IIdTextEncoding() = default;

    virtual std::size_t GetByteCount(StringView chars) const = 0;
    // Writes the bytes of chars to out, which has room for GetByteCount(chars) bytes;
    // returns the number written.
    virtual std::size_t GetBytes(StringView chars, std::uint8_t* out) const = 0;
    virtual std::size_t GetCharCount(const std::uint8_t* bytes, std::size_t count) const = 0;
    // Writes the characters of the bytes to out, which has room for GetCharCount;
    // returns the number written.
    virtual std::size_t GetChars(const std::uint8_t* bytes, std::size_t count, char16_t* out) const = 0;
    virtual std::size_t GetMaxByteCount(std::size_t charCount) const = 0;
    virtual std::size_t GetMaxCharCount(std::size_t byteCount) const = 0;
    // The byte order mark of the encoding; empty when it has none.
    virtual TIdBytes GetPreamble() const = 0;

    virtual bool IsSingleByte() const = 0;
    virtual int MaxCharSize() const = 0;

    // Conveniences over the operations above.
    TIdBytes GetBytes(StringView chars) const;
    // Appends the bytes of chars to out.
    void AppendBytes(StringView chars, TIdBytes& out) const;
    String GetString(const std::uint8_t* bytes, std::size_t count) const;
    String GetString(const TIdBytes& bytes) const { return GetString(bytes.data(), bytes.size()); }
    String GetString(const TIdBytes& bytes, std::size_t index, std::size_t count) const;
};

using IIdTextEncodingPtr = std::shared_ptr<const IIdTextEncoding>;

// Kinds of encoding. encIndyDefault stands for the process-wide default kind
// (ASCII unless changed); encOSDefault is the system code page instance.
enum class TIdTextEncodingType {
    encIndyDefault,
    encOSDefault,
    enc8Bit,
    encASCII,
    encUTF16BE,
    encUTF16LE,
    encUTF7,
    encUTF8,
};

// The shared instance of a kind.
IIdTextEncodingPtr IndyTextEncoding(TIdTextEncodingType type);
IIdTextEncodingPtr IndyTextEncoding_Default();
IIdTextEncodingPtr IndyTextEncoding_OSDefault();
IIdTextEncodingPtr IndyTextEncoding_8Bit();
IIdTextEncodingPtr IndyTextEncoding_ASCII();
IIdTextEncodingPtr IndyTextEncoding_UTF16BE();
IIdTextEncodingPtr IndyTextEncoding_UTF16LE();
IIdTextEncodingPtr IndyTextEncoding_UTF7();
IIdTextEncodingPtr IndyTextEncoding_UTF8();

// The process-wide default kind (ASCII unless changed; setting encIndyDefault
// restores ASCII).
TIdTextEncodingType GIdDefaultTextEncoding();
void SetGIdDefaultTextEncoding(TIdTextEncodingType type);

// An encoding when given, else the default of the kind.
IIdTextEncodingPtr EnsureEncoding(const IIdTextEncodingPtr& encoding,
                                  TIdTextEncodingType type = TIdTextEncodingType::encIndyDefault);

// By Windows code page number: 1200 UTF-16LE, 1201 UTF-16BE, 20127 ASCII, 65000 UTF-7,
// 65001 UTF-8 (the shared instances); any other a new code-page encoding, which
// raises EIdException "Invalid codepage (%d)" when the system cannot convert it.
IIdTextEncodingPtr IndyTextEncoding(std::uint32_t codePage);

// MIME charset name -> Windows code page number (0: none), without regard to case.
std::uint32_t CodePageForCharset(StringView charset);
// MIME charset name -> encoding; never empty: an unknown, empty or unavailable
// charset gives the shared 8-bit instance. A charset hook, when set, is asked first.
IIdTextEncodingPtr TextEncodingForCharset(StringView charset);

// A process-wide hook that may supply the encoding of a (non-empty) charset name
// before the table is consulted; an empty result lets the table decide. None is set
// by the program itself.
using TIdCharsetEncodingHook = IIdTextEncodingPtr (*)(StringView charset);
void SetCharsetEncodingHook(TIdCharsetEncodingHook hook);

// Base of the concrete encodings.
class TIdTextEncodingBase : public IIdTextEncoding {
public:
    bool IsSingleByte() const override { return FIsSingleByte; }
    int MaxCharSize() const override { return FMaxCharSize; }
    TIdBytes GetPreamble() const override { return {}; }

protected:
    TIdTextEncodingBase(bool isSingleByte, int maxCharSize)
        : FIsSingleByte(isSingleByte), FMaxCharSize(maxCharSize) {}
    bool FIsSingleByte;
    int FMaxCharSize;
};

// The encodings of one byte per character: every count is the other's.
class TIdOneBytePerCharEncoding : public TIdTextEncodingBase {
public:
    std::size_t GetByteCount(StringView chars) const override { return chars.size(); }
    std::size_t GetCharCount(const std::uint8_t*, std::size_t count) const override { return count; }
    std::size_t GetMaxByteCount(std::size_t charCount) const override { return charCount; }
    std::size_t GetMaxCharCount(std::size_t byteCount) const override { return byteCount; }

protected:
    TIdOneBytePerCharEncoding() : TIdTextEncodingBase(true, 1) {}
};

// 7-bit ASCII: characters above 127 become "?"; bytes above 127 decode to U+FFFD.
class TIdASCIIEncoding : public TIdOneBytePerCharEncoding {
public:
    std::size_t GetBytes(StringView chars, std::uint8_t* out) const override;
    std::size_t GetChars(const std::uint8_t* bytes, std::size_t count, char16_t* out) const override;
};

// One byte per character 0-255; other characters become "?".
class TId8BitEncoding : public TIdOneBytePerCharEncoding {
public:
    std::size_t GetBytes(StringView chars, std::uint8_t* out) const override;
    std::size_t GetChars(const std::uint8_t* bytes, std::size_t count, char16_t* out) const override;
};

// A Windows code page, converted by the system (glibc iconv behind the number; see
// platform/CodePages.h). Code page 0 is the system's default charset. A character the
// code page cannot hold becomes its "?"; invalid bytes decode to U+FFFD.
class TIdMBCSEncoding : public TIdTextEncodingBase {
public:
    // Raises EIdException "Invalid codepage (%d)" when the system cannot convert the
    // code page; 20127 (US-ASCII) falls back to 1252 and then 437 first.
    explicit TIdMBCSEncoding(std::uint32_t codePage = 0);

    // The code page converted (after any fall-back).
    std::uint32_t CodePage() const { return FCodePage; }

    std::size_t GetByteCount(StringView chars) const override;
    std::size_t GetBytes(StringView chars, std::uint8_t* out) const override;
    std::size_t GetCharCount(const std::uint8_t* bytes, std::size_t count) const override;
    std::size_t GetChars(const std::uint8_t* bytes, std::size_t count, char16_t* out) const override;
    std::size_t GetMaxByteCount(std::size_t charCount) const override;
    std::size_t GetMaxCharCount(std::size_t byteCount) const override { return byteCount + 1; }
    TIdBytes GetPreamble() const override;

protected:
    std::uint32_t FCodePage;

private:
    orvant::platform::CodePage FSystemCodePage;
};

// UTF-7 (code page 65000), for readers of old mail.
class TIdUTF7Encoding : public TIdMBCSEncoding {
public:
    TIdUTF7Encoding() : TIdMBCSEncoding(65000) {}
    TIdBytes GetPreamble() const override { return {}; }
};

// UTF-8 (code page 65001), converted here rather than by the system because every
// header and most text goes through it. Lone surrogates become U+FFFD; ill-formed
// bytes decode to U+FFFD.
class TIdUTF8Encoding : public TIdTextEncodingBase {
public:
    TIdUTF8Encoding() : TIdTextEncodingBase(false, 4) {}
    std::size_t GetByteCount(StringView chars) const override;
    std::size_t GetBytes(StringView chars, std::uint8_t* out) const override;
    std::size_t GetCharCount(const std::uint8_t* bytes, std::size_t count) const override;
    std::size_t GetChars(const std::uint8_t* bytes, std::size_t count, char16_t* out) const override;
    std::size_t GetMaxByteCount(std::size_t charCount) const override { return charCount * 3 + 3; }
    std::size_t GetMaxCharCount(std::size_t byteCount) const override { return byteCount + 1; }
    TIdBytes GetPreamble() const override { return {0xEF, 0xBB, 0xBF}; }
};

// UTF-16, low byte first (code page 1200).
class TIdUTF16LittleEndianEncoding : public TIdTextEncodingBase {
public:
    TIdUTF16LittleEndianEncoding() : TIdTextEncodingBase(false, 4) {}
    std::size_t GetByteCount(StringView chars) const override { return chars.size() * 2; }
    std::size_t GetBytes(StringView chars, std::uint8_t* out) const override;
    std::size_t GetCharCount(const std::uint8_t*, std::size_t count) const override { return count / 2; }
    std::size_t GetChars(const std::uint8_t* bytes, std::size_t count, char16_t* out) const override;
    std::size_t GetMaxByteCount(std::size_t charCount) const override { return (charCount + 1) * 2; }
    std::size_t GetMaxCharCount(std::size_t byteCount) const override { return byteCount / 2 + (byteCount & 1) + 1; }
    TIdBytes GetPreamble() const override { return {0xFF, 0xFE}; }

protected:
    virtual bool BigEndian() const { return false; }
};

// UTF-16, high byte first (code page 1201).
class TIdUTF16BigEndianEncoding : public TIdUTF16LittleEndianEncoding {
public:
    TIdBytes GetPreamble() const override { return {0xFE, 0xFF}; }

protected:
    bool BigEndian() const override { return true; }
};
