#include "mail/IdAttachment.h"

namespace {

// Runs work, then cleanup, also when work raises; an error of cleanup's own then
// replaces the work's.
template <class Work, class Cleanup>
void WithCleanup(Work work, Cleanup cleanup)
{
    try {
        work();
    } catch (...) {
        cleanup();
        throw;
    }
    cleanup();
}

} // namespace

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
