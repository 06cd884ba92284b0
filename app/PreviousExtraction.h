#pragma once
// Each extraction builds its month afresh: 7-Zip only adds to an archive and the
// copy only adds to the staging tree, so what an earlier run left (invoices since
// removed from a share, a terminal since disabled, a file cut short by a killed
// run) would travel with the new month. Before the first copy, the month's
// staging folder, its archive with any volumes and its manifest are moved aside,
// never deleted, to
//   C:\Kelmora\Orvant\Enviar\2021\anteriores\03-20210401-060012\ (a folder)
// where they stay until someone removes them.

#include "platform/Clock.h"
#include "platform/WinFileSystem.h"

#include <string>
#include <vector>

namespace orvant::app {

struct TSetAside {
    std::u16string Folder;             // where they went; empty when nothing was there
    std::vector<std::u16string> Moved; // what was moved, as it was named
    std::u16string Error;              // Portuguese; empty when all went well
};

TSetAside SetPreviousExtractionAside(const platform::TWinFileSystem& fileSystem, std::u16string_view year,
                                     std::u16string_view month, const platform::TLocalDateTime& now);

} // namespace orvant::app
