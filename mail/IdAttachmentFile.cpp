#include "mail/IdAttachmentFile.h"

#include "mail/IdMessage.h"
#include "mail/IdMimeTable.h"
#include "platform/NativePath.h"
#include "platform/TempFile.h"
#include "smtp/IdExceptionCore.h"

#include <filesystem>
#include <system_error>

namespace {

std::filesystem::path ToPath(const String& fileName)
{
    return orvant::platform::NativePath(ToUtf8(fileName));
}

} // namespace

TIdAttachmentFile::TIdAttachmentFile(TCollection* collection, const String& path)
    : TIdAttachment(collection)
    , FStoredPathName(path)
{
    SetFileName(ExtractFileName(path));
    if (!FileName().empty())
        SetContentType(LookUpFileMIMEType(FileName()));
}

TIdAttachmentFile::~TIdAttachmentFile()
{
    FTempFileStream.reset();
    if (FFileIsTempFile) {
        std::error_code ignored; // a file already gone is no reason to fail a destructor
        std::filesystem::remove(ToPath(FStoredPathName), ignored);
    }
}

TStream& TIdAttachmentFile::OpenLoadStream()
{
    FTempFileStream = std::make_unique<TFileStream>(FStoredPathName, TFileStream::TMode::fmOpenRead);
    return *FTempFileStream;
}

void TIdAttachmentFile::CloseLoadStream()
{
    FTempFileStream.reset();
}

TStream& TIdAttachmentFile::PrepareTempStream()
{
    const TIdMessage* message = OwnerMessage();
    const String folder = message ? message->AttachmentTempDirectory() : String();
    const std::string path = orvant::platform::CreateTempFile(ToUtf8(folder), "att");
    if (path.empty())
        throw EFCreateError(Format(u"Cannot create a temporary file in \"%s\"",
                                   {folder.empty() ? FromUtf8(orvant::platform::TempFolder()) : folder}));
    FStoredPathName = FromUtf8(path);
    FFileIsTempFile = true;
    FTempFileStream = std::make_unique<TFileStream>(FStoredPathName, TFileStream::TMode::fmCreate);
    return *FTempFileStream;
}

void TIdAttachmentFile::FinishTempStream()
{
    FTempFileStream.reset();
    std::error_code error;
    FAttachmentBlocked = !std::filesystem::exists(ToPath(FStoredPathName), error);
    const TIdMessage* message = OwnerMessage();
    if (FAttachmentBlocked && (!message || message->ExceptionOnBlockedAttachments()))
        EIdException::Toss<EIdMessageCannotLoad>(Format(u"Attachment %s is blocked.", {FStoredPathName}));
}

void TIdAttachmentFile::SaveToFile(const String& fileName)
{
    std::error_code error;
    std::filesystem::copy_file(ToPath(FStoredPathName), ToPath(fileName),
                               std::filesystem::copy_options::overwrite_existing, error);
    if (error)
        EIdException::Toss(u"Error saving attachment.");
}
