#include "mail/IdMimeTable.h"

#include "mail/IdMimeTableBuiltIn.h"
#include "platform/SystemMimeTypes.h"
#include "smtp/IdException.h"

#include <unordered_map>

namespace {

// The extension of a file name: from the last dot after the last path separator
// (backslash, slash or drive colon), dot included; empty when there is none.
String FileExtension(const String& fileName)
{
    const String name = ExtractFileName(fileName);
    const std::size_t dot = name.rfind(u'.');
    return dot == String::npos ? String() : name.substr(dot);
}

// The system's registrations, applied in file order: each gives its extension the
// type on the first line for that extension, or appends a line, so a later
// registration overrides an earlier one. Lines are found through an index by
// folded extension (same result as searching the names without regard to case,
// but linear in the size of the system's file).
void MergeSystemRegistrations(TStrings& lines)
{
    std::unordered_map<String, int> firstLineOf;
    for (int i = lines.Count() - 1; i >= 0; --i)
        firstLineOf[AnsiLowerCase(lines.Names(i))] = i;

    const auto registrations =
        orvant::platform::ReadMimeTypesFile(orvant::platform::SystemMimeTypesFile());
    for (const auto& r : registrations) {
        const String mimeType = AnsiLowerCase(r.MimeType);
        String ext = AnsiLowerCase(r.Extension);
        // An extension holding "=" cannot be written as an "ext=type" line.
        if (mimeType.empty() || ext.empty() || ext.find(u'=') != String::npos)
            continue;
        if (ext[0] != u'.')
            ext.insert(ext.begin(), u'.');
        const String line = ext + u"=" + mimeType;
        if (const auto found = firstLineOf.find(ext); found != firstLineOf.end())
            lines.SetStrings(found->second, line);
        else
            firstLineOf.emplace(ext, lines.Add(line));
    }
}

} // namespace

TIdMimeTable::TIdMimeTable(bool AutoFill)
{
    if (AutoFill)
        BuildCache();
}

void TIdMimeTable::BuildCache()
{
    if (OnBuildCache) {
        OnBuildCache(*this);
        return;
    }
    if (FFileExt.Count() > 0)
        return;
    TStringList lines;
    FillMimeTable(lines, FLoadTypesFromOS);
    LoadFromStrings(lines, u'=');
}

void TIdMimeTable::FillMimeTable(TStrings& AMIMEList, bool ALoadFromOS)
{
    if (AMIMEList.Count() > 0)
        return;
    for (std::size_t i = 0; i < IdMimeBuiltInLineCount; ++i) {
        const TIdMimeBuiltInLine& line = IdMimeBuiltInLines[i];
        AMIMEList.Add(String(line.Ext) + u"=" + line.MIMEType);
    }
    if (ALoadFromOS)
        MergeSystemRegistrations(AMIMEList);
}

String TIdMimeTable::GetFileMIMEType(const String& AFileName)
{
    const String ext = AnsiLowerCase(FileExtension(AFileName));
    int i = IndexOfExt(ext);
    if (i < 0) {
        BuildCache();
        i = IndexOfExt(ext);
    }
    return i < 0 ? String(u"application/octet-stream") : FMIMEList[i];
}

String TIdMimeTable::GetDefaultFileExt(const String& MIMEType)
{
    const String mimeType = AnsiLowerCase(MIMEType);
    int i = FMIMEList.IndexOf(mimeType);
    if (i < 0) {
        BuildCache();
        i = FMIMEList.IndexOf(mimeType);
    }
    return i < 0 ? String() : FFileExt[i];
}

void TIdMimeTable::AddMimeType(const String& Ext, const String& MIMEType, bool ARaiseOnError)
{
    String ext = AnsiLowerCase(Ext);
    const String mimeType = AnsiLowerCase(MIMEType);
    if (ext.empty()) {
        if (ARaiseOnError)
            EIdException::Toss(u"Extension is empty");
        return;
    }
    if (mimeType.empty()) {
        if (ARaiseOnError)
            EIdException::Toss(u"Mimetype is empty");
        return;
    }
    if (ext[0] != u'.')
        ext.insert(ext.begin(), u'.');
    if (IndexOfExt(ext) >= 0) {
        if (ARaiseOnError)
            EIdException::Toss(u"Extension already exits"); // sic: the known message text
        return;
    }
    FExtIndex.emplace(ext, FFileExt.Add(ext));
    FMIMEList.Add(mimeType);
}

int TIdMimeTable::IndexOfExt(const String& lowerExt) const
{
    const auto found = FExtIndex.find(lowerExt);
    return found == FExtIndex.end() ? -1 : found->second;
}

void TIdMimeTable::LoadFromStrings(const TStrings& AStrings, char16_t MimeSeparator)
{
    FFileExt.Clear();
    FMIMEList.Clear();
    FExtIndex.clear();
    for (const String& line : AStrings) {
        const std::size_t sep = line.find(MimeSeparator);
        if (sep == String::npos)
            continue;
        AddMimeType(AnsiLowerCase(StringView(line).substr(0, sep)), line.substr(sep + 1), false);
    }
}

void TIdMimeTable::SaveToStrings(TStrings& AStrings, char16_t MimeSeparator) const
{
    AStrings.Clear();
    for (int i = 0; i < FFileExt.Count(); ++i)
        AStrings.Add(FFileExt[i] + MimeSeparator + FMIMEList[i]);
}

String LookUpFileMIMEType(const String& AFileName)
{
    TIdMimeTable table(true);
    return table.GetFileMIMEType(AFileName);
}
