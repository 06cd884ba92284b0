#pragma once
// Message encoders write a whole source (an attachment, a body) as mail lines, line
// ends included; the registry finds the one a message names for its attachments
// ("MIME", "binhex4", "QP", "UUE", "XXE", without regard to case).

#include "mime/IdGlobal.h"
#include "mime/IdStream.h"
#include "mime/IdStrings.h"
#include "smtp/IdBaseComponent.h"

#include <cstdint>
#include <memory>

class TIdMessage;

class TIdMessageEncoder : public TIdBaseComponent {
public:
    explicit TIdMessageEncoder(TIdCreationKey key) : TIdBaseComponent(key) {}

    // Reads source and writes its encoded lines to destination. Errors of either
    // stream pass through; nothing more is written after one.
    virtual void Encode(TStream& source, TStream& destination) = 0;
    // The file's contents (opened for reading; EFOpenError when it cannot be).
    void Encode(const String& fileName, TStream& destination);
    // Into a list, one entry per encoded line.
    void Encode(TStream& source, TStrings& lines);

    // The name given to the data, where the format carries one (UUE, XXE, BinHex).
    const String& Filename() const { return FFilename; }
    void SetFilename(const String& filename) { FFilename = filename; }
    // The Unix permissions announced by UUE and XXE, written as decimal digits.
    std::int32_t PermissionCode() const { return FPermissionCode; }
    void SetPermissionCode(std::int32_t code) { FPermissionCode = code; }

protected:
    void InitializeDefaults() override;

    String FFilename;
    std::int32_t FPermissionCode = 0;
};

using TIdMessageEncoderClass = std::unique_ptr<TIdMessageEncoder> (*)();

template <class T>
std::unique_ptr<TIdMessageEncoder> MakeMessageEncoder()
{
    return MakeComponent<T>();
}

// The description under which a message encoder is registered.
class TIdMessageEncoderInfo {
public:
    explicit TIdMessageEncoderInfo(TIdMessageEncoderClass encoderClass) : FMessageEncoderClass(encoderClass) {}
    virtual ~TIdMessageEncoderInfo() = default;
    TIdMessageEncoderInfo(const TIdMessageEncoderInfo&) = delete;
    TIdMessageEncoderInfo& operator=(const TIdMessageEncoderInfo&) = delete;

    TIdMessageEncoderClass MessageEncoderClass() const { return FMessageEncoderClass; }
    std::unique_ptr<TIdMessageEncoder> CreateMessageEncoder() const { return FMessageEncoderClass(); }

    // Lets the encoder settle message headers it depends on before they are
    // generated; nothing by default.
    virtual void InitializeHeaders(TIdMessage& /*message*/) const {}

protected:
    TIdMessageEncoderClass FMessageEncoderClass;
};

// The process-wide registry, filled with the five built-in encoders when first used.
class TIdMessageEncoderList {
public:
    // Adds a description under a name; a name registered before keeps its first one.
    static void RegisterEncoder(const String& name, std::unique_ptr<TIdMessageEncoderInfo> description);
    // The description of a name, without regard to case; EIdException
    // "Message encoder not found: <name>" when there is none.
    static const TIdMessageEncoderInfo& ByName(StringView name);
    // The registered names, in order of registration.
    static TStringList Names();
};
