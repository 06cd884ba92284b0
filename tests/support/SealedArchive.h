#pragma once
// A month archive that an extraction checked: its manifest beside it, listing one
// invoice and sealed with the archive's size and SHA-256, so that the send takes
// it. For the send tests, whose archives are made up rather than extracted.

#include "app/FileDigest.h"
#include "app/MonthManifest.h"
#include "platform/Utf.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace orvant::test {

inline void SealMonthArchive(const std::filesystem::path& archive, const std::u16string& year,
                             const std::u16string& month)
{
    app::TMonthManifest manifest;
    manifest.Year = year;
    manifest.Month = month;
    manifest.Terminals = {{u"PDV1", u"CAIXA01"}};
    manifest.Files = {{u"PDV1", app::kIssuedFolder, u"1.xml", 1, "2026-03-01 10:00:00", 0}};
    manifest.Seal = app::TManifestSeal {u"2026-04-01 06:00:00", std::filesystem::file_size(archive),
                                        app::Sha256OfFile(archive.string())};
    const std::u16string path = app::ManifestPathFor(platform::Utf8ToUtf16(archive.string()));
    std::ofstream(platform::Utf16ToUtf8(path), std::ios::binary) << app::ManifestText(manifest);
}

} // namespace orvant::test
