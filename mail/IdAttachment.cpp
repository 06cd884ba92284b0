#include "mail/IdAttachment.h"

#include "mime/IdCleanup.h"

void TIdAttachment::LoadFromFile(const String& fileName)
{
    TFileStream file(fileName, TFileStream::TMode::fmOpenRead);
    LoadFromStream(file);
}

void TIdAttachment::LoadFromStream(TStream& stream)
{
    TStream& target = PrepareTempStream();
    WithCleanup([&] { target.CopyFrom(stream, 0); }, [&] { FinishTempStream(); });
}

void TIdAttachment::SaveToFile(const String& fileName)
{
    TFileStream file(fileName, TFileStream::TMode::fmCreate);
    SaveToStream(file);
}

void TIdAttachment::SaveToStream(TStream& stream)
{
    TStream& source = OpenLoadStream();
    WithCleanup([&] { stream.CopyFrom(source, 0); }, [&] { CloseLoadStream(); });
}
