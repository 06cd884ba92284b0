#pragma once
// An attachment: a part whose content lives in a stream that the derived class
// provides (a file on disk for TIdAttachmentFile).

#include "mail/IdMessageParts.h"
#include "mime/IdStream.h"

class TIdAttachment : public TIdMessagePart {
public:
    TIdMessagePartType PartType() const override { return TIdMessagePartType::mptAttachment; }

    // The content for reading; CloseLoadStream releases it.
    virtual TStream& OpenLoadStream() = 0;
    virtual void CloseLoadStream() = 0;
    // Receiving side: a stream for the incoming content; FinishTempStream ends it.
    virtual TStream& PrepareTempStream() = 0;
    virtual void FinishTempStream() = 0;

    // The content from a file or stream (copied whole, from its start).
    virtual void LoadFromFile(const String& fileName);
    virtual void LoadFromStream(TStream& stream);
    // The content into a new file or a stream.
    virtual void SaveToFile(const String& fileName);
    virtual void SaveToStream(TStream& stream);

protected:
    using TIdMessagePart::TIdMessagePart;
};
