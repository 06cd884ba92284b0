#pragma once
// Quoted-printable (RFC 2045 section 6.7).
//
// The encoder reads the source as lines (a line ends at CR LF, a lone LF or a lone
// CR) and writes each as one or more output lines ending in CR LF:
//   - "!" to "~" except "=" stay as they are, but a "." that would start an output
//     line is written "=2E", so no line can be taken for the end of an SMTP message;
//   - a blank or tab stays, except as the last character of its line (=20, =09),
//     where a transport might strip it;
//   - every other byte is "=" and two upper-case hex digits;
//   - once a line holds 70 characters or more, a soft break "=" CR LF follows, so
//     an output line is at most 73 characters long, soft break included.

#include "mime/IdCoder.h"

class TIdEncoderQuotedPrintable : public TIdEncoder, public TIdEncoderClassMethods<TIdEncoderQuotedPrintable> {
public:
    explicit TIdEncoderQuotedPrintable(TIdCreationKey key) : TIdEncoder(key) {}
    void Encode(TStream& source, TStream& destination, std::int64_t byteCount = -1) override;
};

// "=" and two hex digits (either case) become their byte, "=" at a line end joins
// the line to the next, blanks and tabs before a line end are dropped (a transport
// may have added them), line ends become CR LF, and a "=" that starts nothing
// valid stays as it is.
class TIdDecoderQuotedPrintable : public TIdDecoder, public TIdDecoderClassMethods<TIdDecoderQuotedPrintable> {
public:
    explicit TIdDecoderQuotedPrintable(TIdCreationKey key) : TIdDecoder(key) {}
    void Decode(StringView encoded, TStream& destination) override;
};
