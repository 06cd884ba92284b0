#include "app/ArchiveListing.h"

#include "platform/Utf.h"

#include <algorithm>
#include <charconv>

namespace orvant::app {

namespace {

template <typename T>
bool ParseNumber(std::string_view text, T& value, int base)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

} // namespace

void TArchiveListingParser::Feed(std::string_view bytes)
{
    FPartial.append(bytes);
    std::size_t start = 0;
    for (std::size_t end; (end = FPartial.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string_view line(FPartial.data() + start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        Line(line);
    }
    FPartial.erase(0, start);
}

std::vector<TArchiveEntry> TArchiveListingParser::Finish()
{
    if (!FPartial.empty())
        Line(FPartial);
    FPartial.clear();
    EndEntry();
    return std::move(FEntries);
}

void TArchiveListingParser::Line(std::string_view line)
{
    const std::size_t equals = line.find(" = ");
    if (line.empty() || equals == std::string_view::npos) {
        EndEntry();
        return;
    }
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = line.substr(equals + 3);
    if (key == "Path") {
        EndEntry();
        FEntry.Path = platform::Utf8ToUtf16(value);
        // 7-Zip for Windows shows the folders of a path with backslashes, 7-Zip for
        // Linux with slashes; both read the same stored path. A backslash cannot be
        // part of a name the terminals' Windows shares hold.
        std::replace(FEntry.Path.begin(), FEntry.Path.end(), u'\\', u'/');
        FInEntry = true;
    } else if (!FInEntry) {
        return; // the archive's own properties, before the first entry
    } else if (key == "Folder") {
        FEntry.IsFolder = value == "+";
    } else if (key == "Attributes") {
        FEntry.IsFolder = FEntry.IsFolder || value.starts_with('D');
    } else if (key == "Size") {
        ParseNumber(value, FEntry.Size, 10);
    } else if (key == "CRC") {
        std::uint32_t crc = 0;
        if (ParseNumber(value, crc, 16))
            FEntry.Crc32 = crc;
    }
}

void TArchiveListingParser::EndEntry()
{
    if (FInEntry)
        FEntries.push_back(std::move(FEntry));
    FEntry = {};
    FInEntry = false;
}

TArchiveListing ListArchive(platform::IProcessRunner& runner, const std::string& archiver, const std::string& archive)
{
    TArchiveListing listing;
    TArchiveListingParser parser;
    listing.Process = runner.RunStreaming(archiver, {"l", "-slt", "-ba", archive},
                                          [&parser](std::string_view bytes) { parser.Feed(bytes); });
    listing.Entries = parser.Finish();
    listing.Listed = listing.Process.Succeeded();
    return listing;
}

} // namespace orvant::app
