#pragma once
// Coders turn bytes into the characters of a transfer encoding (TIdEncoder) and back
// (TIdDecoder). Their output is ASCII; where it is returned as text, each byte is one
// character. A coder is a component that its caller makes, uses and frees; the
// class-level conveniences below do all three in one call:
//
//   String line = TIdEncoderMIME::EncodeString(u"user@example.com");
//   TIdBytes raw = TIdDecoderMIME::DecodeBytes(u"dXNlcg==");

#include "mime/IdGlobal.h"
#include "mime/IdStream.h"
#include "mime/IdStrings.h"
#include "mime/IdTextEncoding.h"
#include "smtp/IdBaseComponent.h"

#include <cstddef>
#include <cstdint>
#include <functional>

class TIdEncoder : public TIdBaseComponent {
public:
    explicit TIdEncoder(TIdCreationKey key) : TIdBaseComponent(key) {}

    // Encodes byteCount bytes of source from its position into destination; -1 means
    // up to the end of the source, and never more bytes than remain are taken.
    virtual void Encode(TStream& source, TStream& destination, std::int64_t byteCount = -1) = 0;
};

class TIdDecoder : public TIdBaseComponent {
public:
    explicit TIdDecoder(TIdCreationKey key) : TIdBaseComponent(key) {}

    // Decodes encoded text (ASCII; other characters are not part of any encoding and
    // are skipped) and writes the bytes to destination.
    virtual void Decode(StringView encoded, TStream& destination) = 0;
};

// Reads until count bytes are in buffer or the source is exhausted; returns how many.
std::size_t ReadUpTo(TStream& source, std::uint8_t* buffer, std::size_t count);

// Reads byteCount bytes (-1: up to the end) from the source's position in blocks as
// large as the buffer, and hands each to consume; every block but the last is full.
void ForEachBlock(TStream& source, std::int64_t byteCount, TIdBytes& buffer,
                  const std::function<void(const std::uint8_t* bytes, std::size_t count)>& consume);

// The class-level conveniences of the encoder class TCoder (added to each concrete
// coder class as a base). Text is turned into bytes with the given encoding, or the
// 8-bit one when none is given; a list receives the encoded lines.
template <class TCoder>
class TIdEncoderClassMethods {
public:
    static void EncodeStream(TStream& source, TStream& destination, std::int64_t byteCount = -1)
    {
        MakeComponent<TCoder>()->Encode(source, destination, byteCount);
    }
    static String EncodeStream(TStream& source, std::int64_t byteCount = -1)
    {
        TMemoryStream out;
        EncodeStream(source, out, byteCount);
        return BytesToStringRaw(out.Bytes());
    }
    static void EncodeBytes(const TIdBytes& bytes, TStream& destination)
    {
        TMemoryStream source(bytes);
        EncodeStream(source, destination);
    }
    static String EncodeBytes(const TIdBytes& bytes)
    {
        TMemoryStream source(bytes);
        return EncodeStream(source);
    }
    static void EncodeString(StringView text, TStream& destination, const IIdTextEncodingPtr& encoding = nullptr)
    {
        EncodeBytes(TextBytes(text, encoding), destination);
    }
    static String EncodeString(StringView text, const IIdTextEncodingPtr& encoding = nullptr)
    {
        return EncodeBytes(TextBytes(text, encoding));
    }
    static void EncodeStream(TStream& source, TStrings& destination, std::int64_t byteCount = -1)
    {
        AddLines(EncodeStream(source, byteCount), destination);
    }
    static void EncodeBytes(const TIdBytes& bytes, TStrings& destination)
    {
        AddLines(EncodeBytes(bytes), destination);
    }
    static void EncodeString(StringView text, TStrings& destination, const IIdTextEncodingPtr& encoding = nullptr)
    {
        AddLines(EncodeString(text, encoding), destination);
    }

private:
    static TIdBytes TextBytes(StringView text, const IIdTextEncodingPtr& encoding)
    {
        return EnsureEncoding(encoding, TIdTextEncodingType::enc8Bit)->GetBytes(text);
    }
    static void AddLines(const String& text, TStrings& destination)
    {
        TStringList lines;
        lines.SetText(text);
        destination.AddStrings(lines);
    }
};

// The class-level conveniences of the decoder class TCoder. DecodeString turns the
// bytes into text with the given encoding, or the 8-bit one when none is given.
template <class TCoder>
class TIdDecoderClassMethods {
public:
    static void DecodeStream(StringView encoded, TStream& destination)
    {
        MakeComponent<TCoder>()->Decode(encoded, destination);
    }
    static TIdBytes DecodeBytes(StringView encoded)
    {
        TMemoryStream out;
        DecodeStream(encoded, out);
        return std::move(out.Bytes());
    }
    static String DecodeString(StringView encoded, const IIdTextEncodingPtr& encoding = nullptr)
    {
        return EnsureEncoding(encoding, TIdTextEncodingType::enc8Bit)->GetString(DecodeBytes(encoded));
    }
};
