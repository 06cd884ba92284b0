#include "app/PreviousExtraction.h"

#include "app/FileErrorText.h"
#include "app/FolderScheme.h"
#include "platform/Utf.h"

#include <cstdio>

namespace orvant::app {

namespace {

std::u16string Stamp(const platform::TLocalDateTime& now)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d", now.Year, now.Month, now.Day, now.Hour, now.Minute,
                  now.Second);
    return platform::Utf8ToUtf16(text);
}

// The archive, its volumes and 7-Zip's leftovers (MM.7z.001, MM.7z.tmp), the
// manifest with a replacement left half-written, and the month's report (a CSV of
// the earlier month must not go with the new one).
std::vector<std::u16string> OutboxLeftovers(const platform::TWinFileSystem& fs, std::u16string_view year,
                                            std::u16string_view month)
{
    std::vector<std::u16string> names;
    const std::u16string folder = OutboxYearFolder(year);
    const std::u16string base(month);
    for (const std::u16string& pattern : {base + u".7z*", base + u"-manifesto.txt*", base + u"-resumo.*"}) {
        for (const auto& entry : fs.FindFiles(folder + pattern))
            names.push_back(entry.Name);
    }
    return names;
}

} // namespace

TSetAside SetPreviousExtractionAside(const platform::TWinFileSystem& fs, std::u16string_view year,
                                     std::u16string_view month, const platform::TLocalDateTime& now)
{
    TSetAside result;
    const std::u16string staging = MonthStagingFolder(year, month);
    const bool hasStaging = fs.DirectoryExists(staging);
    const std::vector<std::u16string> leftovers = OutboxLeftovers(fs, year, month);
    if (!hasStaging && leftovers.empty())
        return result;

    // Two runs within one second (a refused one, say) still get folders of their own.
    std::u16string folder = PreviousExtractionsFolder(year) + std::u16string(month) + u"-" + Stamp(now);
    for (int n = 2; fs.DirectoryExists(folder + u"\\"); ++n)
        folder = PreviousExtractionsFolder(year) + std::u16string(month) + u"-" + Stamp(now) + u"-"
            + platform::Utf8ToUtf16(std::to_string(n));
    if (!fs.ForceDirectories(folder)) {
        result.Error = u"Não foi possível criar a pasta " + folder + u" para guardar a extração anterior do mês.";
        return result;
    }
    result.Folder = folder + u"\\";

    const auto move = [&](const std::u16string& from, const std::u16string& to) {
        if (const int error = fs.MovePath(from, to)) {
            result.Error = u"Não foi possível mover " + from + u" para " + to + u" (" + FileErrorText(error)
                + u"). Mova ou apague à mão o que sobrou da extração anterior e extraia o mês de novo.";
            return false;
        }
        result.Moved.push_back(from);
        return true;
    };
    for (const auto& name : leftovers) {
        if (!move(OutboxYearFolder(year) + name, result.Folder + name))
            return result;
    }
    if (hasStaging)
        move(staging, result.Folder + u"Arquivos");
    return result;
}

} // namespace orvant::app
