#include "mail/IdMimeTable.h"
#include "mail/IdMimeTableBuiltIn.h"
#include "platform/SystemMimeTypes.h"
#include "smtp/IdException.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>

namespace {

// Points the library at a mime.types file of the test's own for its lifetime.
class ScopedSystemMimeTypes {
public:
    explicit ScopedSystemMimeTypes(const std::string& content)
        : FOld(orvant::platform::SystemMimeTypesFile())
        , FPath(FFolder.WriteFile("mime.types", content))
    {
        orvant::platform::SetSystemMimeTypesFile(FPath.string());
    }
    ~ScopedSystemMimeTypes()
    {
        orvant::platform::SetSystemMimeTypesFile(FOld);
    }
    ScopedSystemMimeTypes(const ScopedSystemMimeTypes&) = delete;
    ScopedSystemMimeTypes& operator=(const ScopedSystemMimeTypes&) = delete;

private:
    orvant::test::TTempDir FFolder {"orvant-mime-types-"};
    std::string FOld;
    std::filesystem::path FPath;
};

String ExpectIdException(const std::function<void()>& call)
{
    try {
        call();
    } catch (const EIdException& e) {
        return e.Message();
    }
    ADD_FAILURE() << "no EIdException";
    return {};
}

} // namespace

TEST(IdMimeTableBuiltIn, HasItsFixedShape)
{
    ASSERT_EQ(IdMimeBuiltInLineCount, 384u);
    std::set<String> distinct;
    for (std::size_t i = 0; i < IdMimeBuiltInLineCount; ++i) {
        const String ext = IdMimeBuiltInLines[i].Ext;
        ASSERT_FALSE(ext.empty());
        EXPECT_EQ(ext[0], u'.');
        EXPECT_EQ(ext, LowerCase(ext));
        distinct.insert(ext);
        // Only the .mjf line keeps upper-case letters in its type.
        const String type = IdMimeBuiltInLines[i].MIMEType;
        EXPECT_EQ(type == LowerCase(type), i + 1 != 29) << ToUtf8(type);
    }
    EXPECT_EQ(distinct.size(), 372u);

    const struct {
        int line;
        const char16_t* ext;
        const char16_t* type;
    } telling[] = {
        {1, u".nml", u"animation/narrative"},
        {9, u".m3u", u"audio/mpegurl"},
        {14, u".mp2", u"audio/x-mpg"},
        {15, u".mp3", u"audio/x-mpg"},
        {17, u".m3u", u"audio/x-mpegurl"},
        {22, u".rm", u"audio/x-pn-realaudio"},
        {29, u".mjf", nullptr},
        {34, u".cpt", u"image/x-corelphotopaint"},
        {49, u".png", u"image/x-png"},
        {60, u".svg", u"image/svg-xml"},
        {66, u".xbm", u"image/xbm"},
        {67, u".xbm", u"image/x-xbitmap"},
        {71, u".xml", u"text/xml"},
        {73, u".txt", u"text/plain"},
        {80, u".asf", u"video/x-ms-asf"},
        {81, u".asx", u"video/x-ms-asf"},
        {91, u".mp2", u"video/mpeg"},
        {92, u".mp3", u"video/mpeg"},
        {113, u".asx", u"video/x-ms-asf-plugin"},
        {115, u".7z", u"application/x-7z-compressed"},
        {126, u".asf", u"application/vnd.ms-asf"},
        {145, u".cpt", u"application/mac-compactpro"},
        {155, u".dist", u"vnd.apple.installer+xml"},
        {156, u".distz", u"vnd.apple.installer+xml"},
        {166, u".exe", u"application/x-msdos-program"},
        {210, u".mpkg", u"vnd.apple.installer+xml"},
        {238, u".pkg", u"vnd.apple.installer+xml"},
        {239, u".pdf", u"application/pdf"},
        {254, u".rm", u"application/vnd.rn-realmedia"},
        {349, u".zip", u"application/x-zip-compressed"},
        {372, u".htm", u"text/html"},
        {373, u".html", u"text/html"},
        {380, u".shtml", u"server-parsed-html"},
        {381, u".xml", u"text/xml"},
        {384, u".mht", u"message/rfc822"},
    };
    for (const auto& t : telling) {
        const TIdMimeBuiltInLine& line = IdMimeBuiltInLines[t.line - 1];
        EXPECT_EQ(String(line.Ext), t.ext) << "line " << t.line;
        if (t.type) {
            EXPECT_EQ(String(line.MIMEType), t.type) << "line " << t.line;
        }
    }
    // Repeated extensions that repeat their type.
    for (auto [a, b] : {std::pair{64, 350}, {252, 376}, {262, 377}}) {
        EXPECT_EQ(String(IdMimeBuiltInLines[a - 1].Ext), IdMimeBuiltInLines[b - 1].Ext);
        EXPECT_EQ(String(IdMimeBuiltInLines[a - 1].MIMEType), IdMimeBuiltInLines[b - 1].MIMEType);
    }
}

TEST(IdMimeTable, BuiltInTableKeepsTheFirstLineOfEachExtension)
{
    TIdMimeTable table(false);
    table.SetLoadTypesFromOS(false);
    table.BuildCache();
    TStringList saved;
    table.SaveToStrings(saved);
    ASSERT_EQ(saved.Count(), 372);
    EXPECT_EQ(saved[0], u".nml=animation/narrative");
    EXPECT_EQ(saved[saved.Count() - 1], u".mht=message/rfc822");

    EXPECT_EQ(table.GetFileMIMEType(u"lista.m3u"), u"audio/mpegurl");
    EXPECT_EQ(table.GetFileMIMEType(u"faixa.mp3"), u"audio/x-mpg");
    EXPECT_EQ(table.GetFileMIMEType(u"video.rm"), u"audio/x-pn-realaudio");
    EXPECT_EQ(table.GetFileMIMEType(u"foto.cpt"), u"image/x-corelphotopaint");
    EXPECT_EQ(table.GetFileMIMEType(u"icone.xbm"), u"image/xbm");
    EXPECT_EQ(table.GetFileMIMEType(u"filme.asx"), u"video/x-ms-asf");
    EXPECT_EQ(table.GetFileMIMEType(u"som.mjf"), u"audio/x-vnd.audioexplosion.mjuicemediafile");
    EXPECT_EQ(table.GetFileMIMEType(u"pagina.shtml"), u"server-parsed-html");
}

TEST(IdMimeTable, TypeOfAFileName)
{
    ScopedSystemMimeTypes none("");
    TIdMimeTable table;
    EXPECT_EQ(table.GetFileMIMEType(u"03.7z"), u"application/x-7z-compressed");
    EXPECT_EQ(table.GetFileMIMEType(u"C:\\Kelmora\\Orvant\\Enviar\\2026\\03.7z"), u"application/x-7z-compressed");
    EXPECT_EQ(table.GetFileMIMEType(u"/var/lib/orvant/drive_c/Kelmora/03.7z"), u"application/x-7z-compressed");
    EXPECT_EQ(table.GetFileMIMEType(u"NOTAS.XML"), u"text/xml");
    EXPECT_EQ(table.GetFileMIMEType(u"C:notas.pdf"), u"application/pdf");
    EXPECT_EQ(table.GetFileMIMEType(u"relatorio.tar.gz"), u"application/gzip");
    for (const char16_t* name : {u"LEIAME", u"arquivo.", u".", u"", u"C:\\a.b\\arquivo", u"/tmp/a.b/arquivo",
                                 u"nota.desconhecida"})
        EXPECT_EQ(table.GetFileMIMEType(name), u"application/octet-stream") << ToUtf8(name);
    EXPECT_EQ(LookUpFileMIMEType(u"03.7z"), u"application/x-7z-compressed");
}

TEST(IdMimeTable, SystemRegistrationsOverrideTheBuiltInLines)
{
    ScopedSystemMimeTypes registry("# local types\n"
                                   "Application/X-7Z\t\t7z\n"
                                   "application/vnd.notas+xml nfce NotaXML  # ours\n"
                                   "text/x-first lst\n"
                                   "text/x-second lst\n"
                                   "audio/x-custom m3u\n"
                                   "text/odd zz=b\n"
                                   "application/no-extension\n");
    EXPECT_EQ(LookUpFileMIMEType(u"03.7z"), u"application/x-7z");
    EXPECT_EQ(LookUpFileMIMEType(u"lote.NFCE"), u"application/vnd.notas+xml");
    EXPECT_EQ(LookUpFileMIMEType(u"lote.notaxml"), u"application/vnd.notas+xml");
    // Registrations apply in file order, so the later line wins.
    EXPECT_EQ(LookUpFileMIMEType(u"a.lst"), u"text/x-second");
    // An extension listed twice in the built-in lines: its first line takes the type.
    EXPECT_EQ(LookUpFileMIMEType(u"a.m3u"), u"audio/x-custom");
    // An extension that cannot stand in an "ext=type" line is skipped.
    EXPECT_EQ(LookUpFileMIMEType(u"x.zz"), u"application/octet-stream");
    // Built-in lines the system does not mention stay.
    EXPECT_EQ(LookUpFileMIMEType(u"a.pdf"), u"application/pdf");

    TIdMimeTable table(false);
    table.SetLoadTypesFromOS(false);
    EXPECT_EQ(table.GetFileMIMEType(u"03.7z"), u"application/x-7z-compressed");
    EXPECT_EQ(table.GetFileMIMEType(u"lote.nfce"), u"application/octet-stream");
}

TEST(IdMimeTable, UnreadableRegistryLeavesTheBuiltInLines)
{
    const std::string old = orvant::platform::SystemMimeTypesFile();
    orvant::platform::SetSystemMimeTypesFile("/nonexistent/orvant/mime.types");
    EXPECT_EQ(LookUpFileMIMEType(u"03.7z"), u"application/x-7z-compressed");
    orvant::platform::SetSystemMimeTypesFile(old);
}

TEST(IdMimeTable, LoadAndSaveLines)
{
    TIdMimeTable table(false);
    table.LoadFromStrings(TStringList{u".abc=x/y", u"abc=z/w", u"=q/r", u"no separator", u".DEF=Text/Upper"});
    TStringList saved;
    saved.Add(u"stale");
    table.SaveToStrings(saved);
    EXPECT_EQ(saved, (TStringList{u".abc=x/y", u".def=text/upper"}));
    EXPECT_EQ(table.GetFileMIMEType(u"a.ABC"), u"x/y");

    table.SaveToStrings(saved, u'|');
    EXPECT_EQ(saved, (TStringList{u".abc|x/y", u".def|text/upper"}));
    table.LoadFromStrings(TStringList{u"ghi|a/b=c"}, u'|');
    table.SaveToStrings(saved);
    EXPECT_EQ(saved, (TStringList{u".ghi=a/b=c"}));
}

TEST(IdMimeTable, DefaultExtensionOfAType)
{
    ScopedSystemMimeTypes none("");
    TIdMimeTable table;
    EXPECT_EQ(table.GetDefaultFileExt(u"text/html"), u".htm");
    EXPECT_EQ(table.GetDefaultFileExt(u"TEXT/HTML"), u".htm");
    EXPECT_EQ(table.GetDefaultFileExt(u"application/x-7z-compressed"), u".7z");
    EXPECT_EQ(table.GetDefaultFileExt(u"application/x-unknown"), u"");
}

TEST(IdMimeTable, AddMimeTypeRules)
{
    TIdMimeTable table(false);
    table.AddMimeType(u"NFCE", u"Application/XML");
    table.AddMimeType(u".Zip", u"application/zip");
    TStringList saved;
    table.SaveToStrings(saved);
    EXPECT_EQ(saved, (TStringList{u".nfce=application/xml", u".zip=application/zip"}));

    EXPECT_EQ(ExpectIdException([&] { table.AddMimeType(u"", u"a/b", true); }), u"Extension is empty");
    EXPECT_EQ(ExpectIdException([&] { table.AddMimeType(u"", u"", true); }), u"Extension is empty");
    EXPECT_EQ(ExpectIdException([&] { table.AddMimeType(u"abc", u"", true); }), u"Mimetype is empty");
    EXPECT_EQ(ExpectIdException([&] { table.AddMimeType(u"nfce", u"a/b", true); }), u"Extension already exits");

    // Without raising, the same calls change nothing.
    table.AddMimeType(u"", u"a/b", false);
    table.AddMimeType(u"abc", u"", false);
    table.AddMimeType(u".NFCE", u"a/b", false);
    table.SaveToStrings(saved);
    EXPECT_EQ(saved, (TStringList{u".nfce=application/xml", u".zip=application/zip"}));
}

TEST(IdMimeTable, AddingAKnownExtensionToAFilledTableFails)
{
    ScopedSystemMimeTypes none("");
    TIdMimeTable table;
    EXPECT_EQ(ExpectIdException([&] { table.AddMimeType(u"7z", u"a/b", true); }), u"Extension already exits");
    EXPECT_EQ(table.GetFileMIMEType(u"03.7z"), u"application/x-7z-compressed");
}

TEST(IdMimeTable, BuildCacheFillsOnlyAnEmptyTable)
{
    ScopedSystemMimeTypes none("");
    TIdMimeTable table(false);
    table.AddMimeType(u"abc", u"x/y");
    table.BuildCache();
    TStringList saved;
    table.SaveToStrings(saved);
    EXPECT_EQ(saved, (TStringList{u".abc=x/y"}));
    // A miss asks BuildCache again, which leaves a filled table alone.
    EXPECT_EQ(table.GetFileMIMEType(u"03.7z"), u"application/octet-stream");

    // An emptied table fills itself on the next miss.
    table.LoadFromStrings(TStringList{});
    EXPECT_EQ(table.GetFileMIMEType(u"03.7z"), u"application/x-7z-compressed");
}

TEST(IdMimeTable, OnBuildCacheReplacesTheFilling)
{
    TIdMimeTable table(false);
    int calls = 0;
    table.OnBuildCache = [&](TIdMimeTable& sender) {
        ++calls;
        EXPECT_EQ(&sender, &table);
        sender.AddMimeType(u"nfce", u"application/xml", false);
    };
    EXPECT_EQ(table.GetFileMIMEType(u"lote.nfce"), u"application/xml");
    EXPECT_EQ(calls, 1);
    // The handler runs on every miss; the built-in lines never come in.
    EXPECT_EQ(table.GetFileMIMEType(u"03.7z"), u"application/octet-stream");
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(table.GetDefaultFileExt(u"application/xml"), u".nfce");
    EXPECT_EQ(calls, 2);
}
