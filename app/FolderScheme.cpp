#include "app/FolderScheme.h"

namespace orvant::app {

namespace {

std::u16string Join(std::initializer_list<std::u16string_view> pieces)
{
    std::u16string out;
    for (auto p : pieces)
        out += p;
    return out;
}

std::u16string SourceFolder(std::u16string_view computer, std::u16string_view kind,
                            std::u16string_view year, std::u16string_view month)
{
    return Join({u"\\\\", computer, u"\\Kelmora\\PDV\\NFCE\\", kind, u"\\", year, month});
}

} // namespace

TTerminalPaths BuildTerminalPaths(std::u16string_view computer, std::u16string_view terminalKey,
                                  std::u16string_view year, std::u16string_view month)
{
    TTerminalPaths p;
    p.IssuedSource = SourceFolder(computer, u"Transmitidas", year, month);
    p.CancelledSource = SourceFolder(computer, u"Canceladas", year, month);
    p.IssuedPattern = p.IssuedSource + u"\\*.xml";
    p.CancelledPattern = p.CancelledSource + u"\\*.xml";
    p.TerminalStaging = Join({u"C:\\Kelmora\\Orvant\\Arquivos\\", year, u"\\", month, u"\\", terminalKey});
    p.IssuedStaging = Join({p.TerminalStaging, u"\\", u"Transmitidas", u"\\"});
    p.CancelledStaging = Join({p.TerminalStaging, u"\\", u"Canceladas", u"\\"});
    return p;
}

std::u16string SourceFilePath(std::u16string_view sourceFolder, std::u16string_view name)
{
    return Join({sourceFolder, u"\\", name});
}

std::u16string StagingFilePath(std::u16string_view stagingFolder, std::u16string_view name)
{
    return Join({stagingFolder, name});
}

std::u16string OutboxYearFolder(std::u16string_view year)
{
    return Join({u"C:\\Kelmora\\Orvant\\Enviar\\", year, u"\\"});
}

std::u16string ArchiveBase(std::u16string_view year, std::u16string_view month)
{
    return Join({u"C:\\Kelmora\\Orvant\\Enviar\\", year, u"\\", month});
}

std::u16string ArchiveFilePath(std::u16string_view archiveBase)
{
    return Join({archiveBase, u".7z"});
}

std::u16string TerminalShare(std::u16string_view computer)
{
    return Join({u"\\\\", computer, u"\\Kelmora"});
}

std::u16string TerminalInvoiceFolder(std::u16string_view computer)
{
    return Join({TerminalShare(computer), u"\\PDV\\NFCE"});
}

std::u16string MonthStagingFolder(std::u16string_view year, std::u16string_view month)
{
    return Join({u"C:\\Kelmora\\Orvant\\Arquivos\\", year, u"\\", month});
}

std::u16string PreviousExtractionsFolder(std::u16string_view year)
{
    return Join({OutboxYearFolder(year), u"anteriores\\"});
}

std::u16string MonthLockPath(std::u16string_view archiveBase)
{
    return Join({archiveBase, u".lock"});
}

} // namespace orvant::app
