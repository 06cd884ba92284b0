#pragma once
// The entries of a 7-Zip archive as "7zz l -slt -ba" lists them: one block of
// "Key = value" lines per entry (Path, Folder or Attributes, Size, CRC, ...),
// blocks separated by a blank line. The listing is read as it streams out of
// 7-Zip, so a month of 60 000 invoices costs one listing and no more memory than
// its entries.

#include "platform/Process.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvant::app {

struct TArchiveEntry {
    std::u16string Path;     // "PDV1/Transmitidas/<name>", as stored (folders split by "/")
    bool IsFolder = false;
    std::uint64_t Size = 0;
    std::optional<std::uint32_t> Crc32; // none for folders and empty files
};

// Feeds on the listing's bytes in pieces of any size.
class TArchiveListingParser {
public:
    void Feed(std::string_view bytes);
    // The entries, once the listing has ended.
    std::vector<TArchiveEntry> Finish();

private:
    void Line(std::string_view line);
    void EndEntry();

    std::string FPartial;
    TArchiveEntry FEntry;
    bool FInEntry = false;
    std::vector<TArchiveEntry> FEntries;
};

struct TArchiveListing {
    bool Listed = false;              // 7-Zip listed the archive to its end
    std::vector<TArchiveEntry> Entries;
    platform::TProcessResult Process; // how the listing went
};

TArchiveListing ListArchive(platform::IProcessRunner& runner, const std::string& archiver, const std::string& archive);

} // namespace orvant::app
