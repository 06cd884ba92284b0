#pragma once
// BinHex 4.0 (the Macintosh format that RFC 1741 registers as
// application/mac-binhex40): the line "(This file must be converted with BinHex
// 4.0)", an empty line, then between two colons, in lines of 64 characters, the
// 3-to-4 characters of the run-length-compressed stream
//   name length, name, version 0, type "????", creator "????", flags 0,
//   data fork length, resource fork length (32 bits, high byte first), CRC,
//   the data fork, its CRC, the (empty) resource fork, its CRC,
// where each CRC is the CCITT CRC-16 (polynomial 0x1021, start 0) of its part.

#include "mime/IdCoder3to4.h"

class TIdEncoderBinHex4 : public TIdEncoder3to4, public TIdEncoderClassMethods<TIdEncoderBinHex4> {
public:
    explicit TIdEncoderBinHex4(TIdCreationKey key);

    // A whole BinHex file whose data fork is the bytes; its name is FileName.
    void Encode(TStream& source, TStream& destination, std::int64_t byteCount = -1) override;

    // The file name put into the header: the name part of the text, in 8-bit
    // characters, cut to the 63 bytes a Macintosh name may have.
    const String& FileName() const { return FFileName; }
    void SetFileName(const String& fileName) { FFileName = fileName; }

private:
    String FFileName;
};
