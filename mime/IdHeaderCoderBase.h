#pragma once
// Header coders: turn header text into the bytes of a MIME charset (and back) for
// encoded words.
//
// A coder class is stateless; the registry holds the classes (one shared instance
// each, see HeaderCoderClass) and answers which class handles a charset. The
// process-wide registry is filled on first use with the plain, ISO-2022-JP and
// general coders, in that order; the last registered is asked first, so the
// general coder, which accepts every name, converts all header text through the
// charset's text encoding.

#include "mime/IdGlobal.h"

#include <functional>
#include <mutex>
#include <vector>

class TIdHeaderCoder {
public:
    virtual ~TIdHeaderCoder() = default;
    // The base coder decodes to empty text, encodes to no bytes and handles nothing.
    virtual String Decode(StringView charSet, const TIdBytes& data) const;
    virtual TIdBytes Encode(StringView charSet, StringView data) const;
    virtual bool CanHandle(StringView charSet) const;
};

// A coder class is referred to by its one shared instance.
using TIdHeaderCoderClass = const TIdHeaderCoder*;

template <class TCoder>
TIdHeaderCoderClass HeaderCoderClass()
{
    static const TCoder instance;
    return &instance;
}

// ISO-8859-*, WINDOWS-*, KOI8*, GB2312 and US-ASCII taken one byte per character:
// characters above 255 become "?".
class TIdHeaderCoderPlain : public TIdHeaderCoder {
public:
    String Decode(StringView charSet, const TIdBytes& data) const override;
    TIdBytes Encode(StringView charSet, StringView data) const override;
    bool CanHandle(StringView charSet) const override;
};

// ISO-2022-JP (RFC 1468): ASCII, and JIS X 0208 between ESC $ B and ESC ( B.
// Half-width katakana are written as their full-width forms; characters outside
// JIS X 0208 become "?".
class TIdHeaderCoder2022JP : public TIdHeaderCoder {
public:
    String Decode(StringView charSet, const TIdBytes& data) const override;
    TIdBytes Encode(StringView charSet, StringView data) const override;
    bool CanHandle(StringView charSet) const override;
};

// Any charset, through the text encoding the charset selects (8-bit for a name that
// is unknown). A failed conversion gives no bytes.
class TIdHeaderCoderGeneral : public TIdHeaderCoder {
public:
    String Decode(StringView charSet, const TIdBytes& data) const override;
    TIdBytes Encode(StringView charSet, StringView data) const override;
    bool CanHandle(StringView charSet) const override;
};

class TIdHeaderCoderList {
public:
    // Adds a class unless it is registered already.
    void Add(TIdHeaderCoderClass coder);
    void Remove(TIdHeaderCoderClass coder);
    int Count() const;
    // The class that handles the charset, asking the last registered first; null
    // when none does.
    TIdHeaderCoderClass ByCharSet(StringView charSet) const;

private:
    mutable std::mutex FLock;
    std::vector<TIdHeaderCoderClass> FCoders;
};

// The process-wide registry, created with the three standard coders on first use.
TIdHeaderCoderList& GHeaderCoderList();
void RegisterHeaderCoder(TIdHeaderCoderClass coder);
void UnregisterHeaderCoder(TIdHeaderCoderClass coder);

// Called when no registered coder handles a charset: sets bytes and `encoded`
// (false by default) when it can encode the text.
using TIdHeaderEncodingNeededEvent =
    std::function<void(const String& charSet, const String& data, TIdBytes& bytes, bool& encoded)>;
void SetHeaderEncodingNeeded(TIdHeaderEncodingNeededEvent hook);
TIdHeaderEncodingNeededEvent HeaderEncodingNeeded();

// The bytes of the text in the charset, from the coder that handles it, else from
// the hook; raises EIdHeaderEncodeError when neither can encode.
TIdBytes HeaderTextToCharsetBytes(StringView charSet, StringView text);
// The text of the bytes in the charset; false when no coder handles the charset.
bool HeaderCharsetBytesToText(StringView charSet, const TIdBytes& bytes, String& text);
