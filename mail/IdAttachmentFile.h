#pragma once
// An attachment whose content is a file on disk. When sending, the file is read
// only while the message is written; when receiving, the content goes into a
// temporary file that belongs to the part and is deleted with it.

#include "mail/IdAttachment.h"

#include <memory>

class TIdAttachmentFile : public TIdAttachment {
public:
    // FileName becomes the path's file name and Content-Type the type registered for
    // its extension; the file is neither opened nor tested here.
    explicit TIdAttachmentFile(TCollection* collection, const String& path = {});
    ~TIdAttachmentFile() override;

    // Opens StoredPathName for reading (EFOpenError when it cannot be opened).
    TStream& OpenLoadStream() override;
    void CloseLoadStream() override;
    // A new temporary file in the owner message's AttachmentTempDirectory (the
    // system's temporary folder without one); FileIsTempFile is set.
    TStream& PrepareTempStream() override;
    // Closes the temporary file. When it has vanished meanwhile (a virus scanner took
    // it), the attachment is blocked, which raises EIdMessageCannotLoad unless the
    // owner message lets blocked attachments pass.
    void FinishTempStream() override;
    // Copies the stored file; EIdException "Error saving attachment." when it fails.
    void SaveToFile(const String& fileName) override;

    const String& StoredPathName() const { return FStoredPathName; }
    void SetStoredPathName(const String& value) { FStoredPathName = value; }
    bool FileIsTempFile() const { return FFileIsTempFile; }
    void SetFileIsTempFile(bool value) { FFileIsTempFile = value; }
    bool AttachmentBlocked() const { return FAttachmentBlocked; }

private:
    std::unique_ptr<TFileStream> FTempFileStream;
    String FStoredPathName;
    bool FFileIsTempFile = false;
    bool FAttachmentBlocked = false;
};
