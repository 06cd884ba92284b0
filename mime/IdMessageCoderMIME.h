#pragma once
// The base64 message encoder: lines of 76 characters (57 source bytes) ending in
// CR LF, the last one shorter; an empty source gives no line at all.

#include "mime/IdMessageCoder.h"

class TIdMessageEncoderMIME : public TIdMessageEncoder {
public:
    static constexpr std::size_t kBytesPerLine = 57;

    explicit TIdMessageEncoderMIME(TIdCreationKey key) : TIdMessageEncoder(key) {}
    using TIdMessageEncoder::Encode;
    // From the start of the source to its end, in large blocks (attachments stream
    // through here, however large).
    void Encode(TStream& source, TStream& destination) override;
};

class TIdMessageEncoderInfoMIME : public TIdMessageEncoderInfo {
public:
    TIdMessageEncoderInfoMIME() : TIdMessageEncoderInfo(&MakeMessageEncoder<TIdMessageEncoderMIME>) {}

    // The content type a MIME message without one gets from its parts: related parts
    // (with a content ID) make it "multipart/related; type="multipart/alternative"",
    // else attachments "multipart/mixed", else text parts "multipart/alternative";
    // empty when it has no parts.
    static String ContentTypeForParts(int relatedPartCount, int attachmentCount, int textPartCount);

    // A message without a content type gets the one its counted parts call for; one
    // with a content type is left as it is.
    void InitializeHeaders(TIdMessage& message) const override;
};
