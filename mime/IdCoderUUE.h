#pragma once
// The uuencode family: each line is a length character (the table's character for
// the number of bytes on the line, at most 45) followed by the 3-to-4 characters of
// those bytes. Its fill character is the table's first, which decodes to zero bits,
// so a padded last group still decodes to the counted bytes.

#include "mime/IdCoder3to4.h"

class TIdEncoderUUEBase : public TIdEncoder3to4 {
public:
    static constexpr std::size_t kBytesPerLine = 45;

    explicit TIdEncoderUUEBase(TIdCreationKey key) : TIdEncoder3to4(key) {}

    // The lines of the bytes, CR LF between lines, none after the last.
    void Encode(TStream& source, TStream& destination, std::int64_t byteCount = -1) override;

    // One line of at most kBytesPerLine bytes, without line end; returns its length.
    std::size_t EncodeLine(const std::uint8_t* in, std::size_t count, std::uint8_t* out) const;
    static constexpr std::size_t MaxLineLength(std::size_t count) { return 1 + MaxEncodedLength(count); }
};

// Uuencode as POSIX uudecode and Python's binascii read it: the characters 33-95,
// with "`" in place of the blank for zero.
class TIdEncoderUUE : public TIdEncoderUUEBase, public TIdEncoderClassMethods<TIdEncoderUUE> {
public:
    explicit TIdEncoderUUE(TIdCreationKey key);
};
