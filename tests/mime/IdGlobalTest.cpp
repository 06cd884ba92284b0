#include "mime/IdCollection.h"
#include "mime/IdGlobal.h"
#include "mime/IdStream.h"
#include "mime/IdStrings.h"
#include "smtp/IdException.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(IdGlobal, FormatFillsTheLibrarysMessageDirectives)
{
    EXPECT_EQ(Format(u"Socket Error # %d\r\n%s", {std::int64_t(10061), String(u"Connection refused.")}),
              u"Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(Format(u"Not enough data in buffer. (%d/%d)", {std::int64_t(10), std::int64_t(-3)}),
              u"Not enough data in buffer. (10/-3)");
    EXPECT_EQ(Format(u"%02d:%02d %X 100%%", {std::int64_t(9), std::int64_t(5), std::uint64_t(0xE7)}),
              u"09:05 E7 100%");
    // A directive without argument stays empty, so a report without arguments gives "".
    EXPECT_EQ(Format(u"[%s]", {}), u"[]");
}

TEST(IdGlobal, TrimAndCaseRules)
{
    EXPECT_EQ(Trim(u"\t  a b \r\n"), u"a b");
    EXPECT_EQ(TrimLeft(u"  a "), u"a ");
    EXPECT_EQ(TrimRight(u"  a "), u"  a");
    EXPECT_TRUE(TextIsSame(u"MARÇO", u"março"));
    EXPECT_FALSE(TextIsSame(u"Março", u"Marco"));
    // The plain forms touch ASCII letters only.
    EXPECT_EQ(UpperCase(u"março"), u"MARçO");
    EXPECT_EQ(AnsiUpperCase(u"março"), u"MARÇO");
    EXPECT_EQ(StrToIntDef(u" 465 ", 0), 465);
    EXPECT_EQ(StrToIntDef(u"46x", -1), -1);
    EXPECT_EQ(StrToIntDef(u"99999999999", 7), 7);
    EXPECT_EQ(ExtractFileName(u"C:\\Kelmora\\Orvant\\Enviar\\2026\\03.7z"), u"03.7z");
    EXPECT_EQ(ExtractFileName(u"/var/lib/orvant/drive_c/Kelmora/03.7z"), u"03.7z");
}

TEST(IdGlobal, Utf8RoundTripAtTheSystemBoundary)
{
    const String text = u"Março \U0001F600";
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(ToUtf8(u"ç"), "\xC3\xA7");
    EXPECT_EQ(FromUtf8("\xFF"), u"\uFFFD");
}

TEST(IdStrings, TextSplitsAtEveryKindOfLineEnd)
{
    TStringList list;
    list.SetText(u"a\r\nb\nc\rd\r\n");
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list[3], u"d");
    EXPECT_EQ(list.Text(), u"a\r\nb\r\nc\r\nd\r\n");
    list.SetText(u"\r\n\r\n");
    EXPECT_EQ(list.Count(), 2);
}

TEST(IdStrings, NameValueAccess)
{
    TStringList list{u"AUTH=LOGIN PLAIN", u"SIZE=1000"};
    EXPECT_EQ(list.Values(u"auth"), u"LOGIN PLAIN");
    list.SetValues(u"SIZE", u"");
    EXPECT_EQ(list.Count(), 1);
    list.SetValues(u"X", u"1");
    EXPECT_EQ(list[1], u"X=1");
    EXPECT_THROW(list[2], EListError);
}

namespace {
struct Item : TCollectionItem {
    Item(TCollection* c, int v, int* destroyed) : TCollectionItem(c), value(v), counter(destroyed) {}
    ~Item() override { ++*counter; }
    int value;
    int* counter;
};
} // namespace

TEST(IdCollection, ItemsBelongToTheirCollection)
{
    int destroyed = 0;
    {
        TOwnedCollectionOf<Item> items;
        Item& a = TCollection::Emplace<Item>(items, 1, &destroyed);
        TCollection::Emplace<Item>(items, 2, &destroyed);
        EXPECT_EQ(items.Count(), 2);
        EXPECT_EQ(a.Index(), 0);
        EXPECT_EQ(a.Collection(), &items);
        items.Remove(a);
        EXPECT_EQ(destroyed, 1);
        EXPECT_EQ(items[0].value, 2);
    }
    EXPECT_EQ(destroyed, 2);
}

TEST(IdStream, FileStreamReportsTheFileThatCannotBeOpened)
{
    try {
        TFileStream missing(u"/nonexistent/orvant/03.7z", TFileStream::TMode::fmOpenRead);
        FAIL() << "opened a missing file";
    } catch (const EFOpenError& e) {
        EXPECT_NE(e.Message().find(u"/nonexistent/orvant/03.7z"), String::npos);
    }
    // A folder is not a file.
    EXPECT_THROW(TFileStream(u"/tmp", TFileStream::TMode::fmOpenRead), EFOpenError);
}

TEST(IdStream, CopyFromCopiesWholeStreamsAndRanges)
{
    TIdBytes data(200000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7);
    TMemoryStream source(data);
    TMemoryStream whole;
    source.SetPosition(500);
    EXPECT_EQ(whole.CopyFrom(source, 0), 200000);
    EXPECT_EQ(whole.Bytes(), data);

    const orvant::test::TTempDir dir;
    const auto path = dir.Path() / "stream-test.bin";
    {
        TFileStream file(FromUtf8(path.string()), TFileStream::TMode::fmCreate);
        source.SetPosition(10);
        file.CopyFrom(source, 100);
        EXPECT_EQ(file.Size(), 100);
    }
    TFileStream back(FromUtf8(path.string()), TFileStream::TMode::fmOpenRead);
    std::uint8_t first = 0;
    back.ReadBuffer(&first, 1);
    EXPECT_EQ(first, data[10]);
}
