#include "app/FolderScheme.h"

#include <gtest/gtest.h>

using namespace orvant::app;

TEST(FolderScheme, PathsOfTerminal1ForMarch2021)
{
    const TTerminalPaths p = BuildTerminalPaths(u"CAIXA01", u"PDV1", u"2021", u"03");
    EXPECT_EQ(p.IssuedSource, u"\\\\CAIXA01\\Kelmora\\PDV\\NFCE\\Transmitidas\\202103");
    EXPECT_EQ(p.CancelledSource, u"\\\\CAIXA01\\Kelmora\\PDV\\NFCE\\Canceladas\\202103");
    EXPECT_EQ(p.IssuedPattern, u"\\\\CAIXA01\\Kelmora\\PDV\\NFCE\\Transmitidas\\202103\\*.xml");
    EXPECT_EQ(p.CancelledPattern, u"\\\\CAIXA01\\Kelmora\\PDV\\NFCE\\Canceladas\\202103\\*.xml");
    EXPECT_EQ(p.TerminalStaging, u"C:\\Kelmora\\Orvant\\Arquivos\\2021\\03\\PDV1");
    EXPECT_EQ(p.IssuedStaging, u"C:\\Kelmora\\Orvant\\Arquivos\\2021\\03\\PDV1\\Transmitidas\\");
    EXPECT_EQ(p.CancelledStaging, u"C:\\Kelmora\\Orvant\\Arquivos\\2021\\03\\PDV1\\Canceladas\\");
    EXPECT_EQ(SourceFilePath(p.IssuedSource, u"N"), u"\\\\CAIXA01\\Kelmora\\PDV\\NFCE\\Transmitidas\\202103\\N");
    EXPECT_EQ(StagingFilePath(p.IssuedStaging, u"N"), u"C:\\Kelmora\\Orvant\\Arquivos\\2021\\03\\PDV1\\Transmitidas\\N");
    EXPECT_EQ(OutboxYearFolder(u"2021"), u"C:\\Kelmora\\Orvant\\Enviar\\2021\\");
    EXPECT_EQ(ArchiveBase(u"2021", u"03"), u"C:\\Kelmora\\Orvant\\Enviar\\2021\\03");
    EXPECT_EQ(ArchiveFilePath(ArchiveBase(u"2021", u"03")), u"C:\\Kelmora\\Orvant\\Enviar\\2021\\03.7z");
    EXPECT_EQ(kArchiverProgramPath, u"C:\\Kelmora\\Server\\7z.exe");
}

TEST(FolderScheme, EmptyComputerOrMonthLeaveTheirPieceEmpty)
{
    const TTerminalPaths noHost = BuildTerminalPaths(u"", u"PDV2", u"2021", u"03");
    EXPECT_EQ(noHost.IssuedSource, u"\\\\\\Kelmora\\PDV\\NFCE\\Transmitidas\\202103");
    const TTerminalPaths noMonth = BuildTerminalPaths(u"CAIXA01", u"PDV1", u"2021", u"");
    EXPECT_EQ(noMonth.IssuedSource, u"\\\\CAIXA01\\Kelmora\\PDV\\NFCE\\Transmitidas\\2021");
    EXPECT_EQ(noMonth.TerminalStaging, u"C:\\Kelmora\\Orvant\\Arquivos\\2021\\\\PDV1");
    EXPECT_EQ(ArchiveFilePath(ArchiveBase(u"2021", u"")), u"C:\\Kelmora\\Orvant\\Enviar\\2021\\.7z");
    EXPECT_EQ(ArchiveFilePath(u""), u".7z");
}
