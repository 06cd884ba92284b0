#pragma once
// The table of file extensions and MIME types that gives an attachment its
// Content-Type: a built-in list, overridden by the types the system registers
// (/etc/mime.types), or filled by the user's own handler.

#include "mime/IdGlobal.h"
#include "mime/IdStrings.h"

#include <functional>
#include <unordered_map>

class TIdMimeTable {
public:
    // Fills the table at once when autoFill is set. (BuildCache runs here as this
    // class defines it: a derived class that overrides it fills its table later.)
    explicit TIdMimeTable(bool AutoFill = true);
    virtual ~TIdMimeTable() = default;
    TIdMimeTable(const TIdMimeTable&) = delete;
    TIdMimeTable& operator=(const TIdMimeTable&) = delete;

    // Calls OnBuildCache when set, and nothing else; otherwise runs the default
    // filling when the table is empty.
    virtual void BuildCache();

    // The type of the file name's extension, "application/octet-stream" when the
    // name has none or the table does not know it.
    String GetFileMIMEType(const String& AFileName);
    // The first extension (with its dot) listed for the type, or empty text.
    String GetDefaultFileExt(const String& MIMEType);

    // Adds a pair, both in lower case, the extension with a leading dot. An empty
    // part or an extension already in the table raises EIdException when
    // ARaiseOnError is set and is ignored otherwise (the first entry wins).
    void AddMimeType(const String& Ext, const String& MIMEType, bool ARaiseOnError = true);
    // Replaces the table with the "ext<separator>type" lines that hold the separator.
    void LoadFromStrings(const TStrings& AStrings, char16_t MimeSeparator = u'=');
    // Replaces the strings with one "ext<separator>type" line per entry.
    void SaveToStrings(TStrings& AStrings, char16_t MimeSeparator = u'=') const;

    bool LoadTypesFromOS() const { return FLoadTypesFromOS; }
    void SetLoadTypesFromOS(bool value) { FLoadTypesFromOS = value; }

    // When set, replaces the whole default filling.
    std::function<void(TIdMimeTable& Sender)> OnBuildCache;

protected:
    // The default filling: the built-in lines, then (when ALoadFromOS) the system's
    // registrations, as "ext=type" lines added to an empty AMIMEList.
    virtual void FillMimeTable(TStrings& AMIMEList, bool ALoadFromOS);

private:
    // The row of an extension given in lower case, -1 when it is not in the table.
    int IndexOfExt(const String& lowerExt) const;

    bool FLoadTypesFromOS = true;
    TStringList FMIMEList; // types, lower case
    TStringList FFileExt;  // extensions, lower case with their dot; parallel to FMIMEList
    // Row of each extension in FFileExt. The extensions are stored folded, so an exact
    // lookup finds what a search without regard to case would; a table of the system's
    // two thousand registrations is then filled in linear time, not quadratic.
    std::unordered_map<String, int> FExtIndex;
};

// The content type for an attachment's file name: a fresh, fully built table
// (system registrations included) asked once.
String LookUpFileMIMEType(const String& AFileName);
