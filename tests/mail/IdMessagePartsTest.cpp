#include "mail/IdMessageParts.h"

#include "mail/IdAttachmentFile.h"
#include "mail/IdMessage.h"
#include "mail/IdMimeTable.h"
#include "mail/IdText.h"
#include "smtp/IdExceptionCore.h"
#include "support/Caught.h"
#include "support/RaisedMessage.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <type_traits>

namespace fs = std::filesystem;

namespace {

// A message part can only be made as one of its descendants.
static_assert(!std::is_constructible_v<TIdMessagePart, TCollection*>);
static_assert(std::is_abstract_v<TIdAttachment>);

using orvant::test::ReadFile;

// A folder of its own under the temporary folder, removed afterwards.
class PartFiles : public ::testing::Test {
protected:
    fs::path Write(const std::string& name, const std::string& content) { return Temp.WriteFile(name, content); }
    static String U(const fs::path& path) { return FromUtf8(path.string()); }

    orvant::test::TTempDir Temp;
    const fs::path& Folder = Temp.Path();
};

TEST(IdMessagePart, TheBaseClassCannotBeCreated)
{
    TIdMessageParts parts;
    const auto e = Caught<EIdCanNotCreateMessagePart>([&] { TIdMessagePart::Create(&parts); });
    EXPECT_EQ(e.Message(), u"TIdMessagePart can not be created.  Use descendant classes. ");
    EXPECT_EQ(parts.Count(), 0);
}

TEST(IdMessagePart, ContentTypeKeepsCharsetAndNameApart)
{
    TIdMessageParts parts;
    TIdText& text = TCollection::Emplace<TIdText>(parts);
    text.SetName(u"keep");
    text.SetContentType(u"text/plain; charset=iso-8859-1");
    EXPECT_EQ(text.Headers().GetValue(u"Content-Type"), u"text/plain");
    EXPECT_EQ(text.ContentType(), u"text/plain");
    EXPECT_EQ(text.CharSet(), u"iso-8859-1");
    EXPECT_EQ(text.Name(), u"keep");

    text.SetContentType(u"text/html");
    EXPECT_EQ(text.CharSet(), u"iso-8859-1") << "a content type without charset keeps the old one";

    text.SetContentType(u"application/pdf; name=\"nota fiscal.pdf\"; x-mac-type=PDF");
    EXPECT_EQ(text.Name(), u"nota fiscal.pdf");
    EXPECT_EQ(text.ContentType(), u"application/pdf; x-mac-type=PDF");

    text.SetContentType(u"");
    EXPECT_EQ(text.Headers().IndexOfName(u"Content-Type"), -1);
}

TEST(IdMessagePart, ContentDispositionTakesTheDecodedFileName)
{
    TIdMessageParts parts;
    TIdText& text = TCollection::Emplace<TIdText>(parts);
    text.SetContentDisposition(u"attachment; filename=\"=?UTF-8?B?TWFyw6dvLjd6?=\"");
    EXPECT_EQ(text.ContentDisposition(), u"attachment");
    EXPECT_EQ(text.FileName(), u"Março.7z");
    text.SetContentDisposition(u"inline");
    EXPECT_EQ(text.FileName(), u"Março.7z");
}

TEST(IdMessagePart, ContentHeadersAreHeaderLines)
{
    TIdMessageParts parts;
    TIdText& text = TCollection::Emplace<TIdText>(parts);
    text.SetContentTransfer(u"base64");
    text.SetContentID(u"<logo>");
    EXPECT_EQ(text.Headers().Text(), u"Content-Transfer-Encoding: base64\r\nContent-ID: <logo>\r\n");
    text.SetContentID(u"");
    EXPECT_EQ(text.Headers().Text(), u"Content-Transfer-Encoding: base64\r\n");
    EXPECT_EQ(TIdMessagePart::GetCharSet(u"text/plain; charset=\"UTF-8\""), u"UTF-8");
}

TEST(IdMessagePart, AssignCopiesPartsAndRefusesOtherItems)
{
    TIdMessageParts parts;
    TIdText& a = TCollection::Emplace<TIdText>(parts);
    a.SetContentType(u"text/html; charset=UTF-8");
    a.Body().Add(u"<p>oi</p>");
    a.ExtraHeaders().SetValue(u"X-A", u"1");
    a.SetFileName(u"a.html");
    TIdText& b = TCollection::Emplace<TIdText>(parts);
    parts.SetItems(1, a);
    EXPECT_EQ(b.ContentType(), u"text/html");
    EXPECT_EQ(b.CharSet(), u"UTF-8");
    EXPECT_EQ(b.Body().Text(), u"<p>oi</p>\r\n");
    EXPECT_EQ(b.ExtraHeaders().GetValue(u"X-A"), u"1");
    EXPECT_EQ(b.FileName(), u"a.html");

    TIdAttachmentFile& file = TCollection::Emplace<TIdAttachmentFile>(parts, u"/x/y.pdf");
    b.Assign(file); // a part, not a text part: headers yes, body untouched
    EXPECT_EQ(b.ContentType(), u"application/pdf");
    EXPECT_EQ(b.Body().Count(), 1);

    TIdEMailAddressItem address;
    const auto e = Caught<EConvertError>([&] { b.Assign(address); });
    EXPECT_EQ(e.Message(), u"Cannot assign a TIdEMailAddressItem to a TIdText");
}

TEST(IdMessageParts, CountPartsOfTheDispatchMessage)
{
    auto msg = MakeComponent<TIdMessage>();
    TIdText& text = TCollection::Emplace<TIdText>(msg->MessageParts());
    text.Body().Add(u"Segue em anexo os arquivos referentes");
    text.SetContentType(u"text/plain; charset=iso-8859-1");
    TCollection::Emplace<TIdAttachmentFile>(msg->MessageParts(), u"/srv/Enviar/2026/03.7z");
    TIdMessageParts& parts = msg->MessageParts();
    parts.CountParts();
    EXPECT_EQ(parts.TextPartCount(), 1);
    EXPECT_EQ(parts.AttachmentCount(), 1);
    EXPECT_EQ(parts.RelatedPartCount(), 0);

    text.SetContentID(u"<t1>");
    parts.CountParts();
    EXPECT_EQ(parts.RelatedPartCount(), 1);
    EXPECT_EQ(parts.TextPartCount(), 1) << "a related part is counted by its kind as well";
    EXPECT_EQ(parts.Add(), nullptr);
}

TEST(IdMessageParts, PartsKnowTheirCollectionAndMessage)
{
    auto msg = MakeComponent<TIdMessage>();
    TIdText& text = TCollection::Emplace<TIdText>(msg->MessageParts());
    EXPECT_EQ(text.MessageParts(), &msg->MessageParts());
    EXPECT_EQ(text.OwnerMessage(), msg.get());
    EXPECT_EQ(text.ParentPart(), -1);

    TIdText alone(nullptr);
    EXPECT_EQ(alone.MessageParts(), nullptr);
    EXPECT_EQ(alone.OwnerMessage(), nullptr);
    TIdMessageParts ownerless;
    TIdText& loose = TCollection::Emplace<TIdText>(ownerless);
    EXPECT_EQ(loose.OwnerMessage(), nullptr);

    msg->MessageParts().Delete(0); // destroying a part takes it out of the collection
    EXPECT_EQ(msg->MessageParts().Count(), 0);
}

TEST(IdMessageParts, ResolveContentType)
{
    auto msg = MakeComponent<TIdMessage>();
    TIdMessageParts& parts = msg->MessageParts();
    TIdText& top = TCollection::Emplace<TIdText>(parts);
    EXPECT_EQ(top.ResolveContentType(u"text/html"), u"text/html");
    EXPECT_EQ(top.ResolveContentType(u""), u"") << "meDefault message";

    msg->SetEncoding(TIdMessageEncoding::meMIME);
    EXPECT_EQ(top.ResolveContentType(u""), u"text/plain");

    top.SetContentType(u"multipart/digest");
    TIdText& inDigest = TCollection::Emplace<TIdText>(parts);
    inDigest.SetParentPart(0);
    EXPECT_EQ(inDigest.ResolveContentType(u""), u"message/rfc822");
    top.SetContentType(u"multipart/mixed");
    EXPECT_EQ(inDigest.ResolveContentType(u""), u"text/plain");
    inDigest.SetParentPart(7); // names no part: taken as the top level
    EXPECT_EQ(inDigest.ResolveContentType(u""), u"text/plain");

    TIdText alone(nullptr);
    EXPECT_EQ(alone.ResolveContentType(u""), u"");
}

TEST(IdText, CreatedWithACopyOfTheBody)
{
    TStringList lines{u"a", u"a", u"b"};
    TIdMessageParts parts;
    TIdText& text = TCollection::Emplace<TIdText>(parts, &lines);
    lines.Add(u"c");
    EXPECT_EQ(text.Body().Count(), 3) << "duplicates kept, later changes not seen";
    EXPECT_EQ(text.PartType(), TIdMessagePartType::mptText);
    EXPECT_FALSE(text.IsBodyEncodingRequired());
    text.Body().Add(u"ação");
    EXPECT_TRUE(text.IsBodyEncodingRequired());
}

TEST(IdAttachmentFile, ArchivePathGivesNameAndType)
{
    TIdMessageParts parts;
    const String path = u"/var/lib/orvant/drive_c/Kelmora/Orvant/Enviar/2026/03.7z";
    TIdAttachmentFile& file = TCollection::Emplace<TIdAttachmentFile>(parts, path);
    EXPECT_EQ(file.FileName(), u"03.7z");
    EXPECT_EQ(file.StoredPathName(), path);
    EXPECT_EQ(file.ContentType(), LookUpFileMIMEType(u"03.7z"));
    EXPECT_EQ(file.ContentType(), u"application/x-7z-compressed");
    EXPECT_EQ(file.CharSet(), u"");
    EXPECT_EQ(file.Name(), u"");
    EXPECT_FALSE(file.FileIsTempFile());
    EXPECT_EQ(file.PartType(), TIdMessagePartType::mptAttachment);

    TIdAttachmentFile& windows = TCollection::Emplace<TIdAttachmentFile>(parts, u"C:\\Kelmora\\Orvant\\Enviar\\2026\\03.7z");
    EXPECT_EQ(windows.FileName(), u"03.7z");
    TIdAttachmentFile& drive = TCollection::Emplace<TIdAttachmentFile>(parts, u"C:03.7z");
    EXPECT_EQ(drive.FileName(), u"03.7z");
}

TEST(IdAttachmentFile, EmptyPathSetsNoContentType)
{
    TIdMessageParts parts;
    TIdAttachmentFile& file = TCollection::Emplace<TIdAttachmentFile>(parts);
    EXPECT_EQ(file.FileName(), u"");
    EXPECT_EQ(file.StoredPathName(), u"");
    EXPECT_EQ(file.Headers().Count(), 0);
}

TEST_F(PartFiles, LoadStreamReadsTheFileAndAMissingFileFails)
{
    const fs::path archive = Write("03.7z", std::string("7z\xBC\xAF\x27\x1C", 6));
    TIdMessageParts parts;
    TIdAttachmentFile& file = TCollection::Emplace<TIdAttachmentFile>(parts, U(archive));
    TMemoryStream copy;
    file.SaveToStream(copy);
    EXPECT_EQ(std::string(copy.Bytes().begin(), copy.Bytes().end()), ReadFile(archive));

    fs::remove(archive); // removed between creating the part and writing the message
    EXPECT_THROW(file.OpenLoadStream(), EFOpenError);
    EXPECT_THROW(file.SaveToStream(copy), EFOpenError);
}

TEST_F(PartFiles, SaveToFileCopiesTheStoredFile)
{
    const fs::path source = Write("a.bin", "abc");
    TIdMessageParts parts;
    TIdAttachmentFile& file = TCollection::Emplace<TIdAttachmentFile>(parts, U(source));
    file.SaveToFile(U(Folder / "copy.bin"));
    EXPECT_EQ(ReadFile(Folder / "copy.bin"), "abc");

    EXPECT_EQ(RaisedMessage([&] { file.SaveToFile(U(Folder / "no" / "such" / "dir.bin")); }),
              u"Error saving attachment.");
    file.SetStoredPathName(U(Folder / "missing.bin"));
    EXPECT_EQ(RaisedMessage([&] { file.SaveToFile(U(Folder / "copy2.bin")); }), u"Error saving attachment.");
}

TEST_F(PartFiles, ReceivedContentGoesToATempFileDeletedWithThePart)
{
    auto msg = MakeComponent<TIdMessage>();
    msg->SetAttachmentTempDirectory(U(Folder) + u"/");
    TIdAttachmentFile& file = TCollection::Emplace<TIdAttachmentFile>(msg->MessageParts());
    TMemoryStream content(TIdBytes{'x', 'y', 'z'});
    file.LoadFromStream(content);
    EXPECT_TRUE(file.FileIsTempFile());
    EXPECT_FALSE(file.AttachmentBlocked());
    const fs::path stored(ToUtf8(file.StoredPathName()));
    EXPECT_EQ(stored.parent_path(), Folder);
    EXPECT_EQ(ReadFile(stored), "xyz");

    // Loading from a file goes the same way.
    TIdAttachmentFile& second = TCollection::Emplace<TIdAttachmentFile>(msg->MessageParts());
    second.LoadFromFile(U(Write("in.txt", "hello")));
    EXPECT_EQ(ReadFile(ToUtf8(second.StoredPathName())), "hello");
    const fs::path secondStored(ToUtf8(second.StoredPathName()));

    msg->ClearBody();
    EXPECT_FALSE(fs::exists(stored));
    EXPECT_FALSE(fs::exists(secondStored));
}

TEST_F(PartFiles, AVanishedTempFileIsABlockedAttachment)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows refuses to delete a file that is open: nothing takes it away mid-write there";
#endif
    auto msg = MakeComponent<TIdMessage>();
    msg->SetAttachmentTempDirectory(U(Folder));
    TIdAttachmentFile& file = TCollection::Emplace<TIdAttachmentFile>(msg->MessageParts());
    file.PrepareTempStream();
    fs::remove(ToUtf8(file.StoredPathName())); // a scanner took it
    file.FinishTempStream();
    EXPECT_TRUE(file.AttachmentBlocked()) << "the message lets it pass by default";

    msg->SetExceptionOnBlockedAttachments(true);
    file.PrepareTempStream();
    const String stored = file.StoredPathName();
    fs::remove(ToUtf8(stored));
    const auto e = Caught<EIdMessageCannotLoad>([&] { file.FinishTempStream(); });
    EXPECT_EQ(e.Message(), u"Attachment " + stored + u" is blocked.");

    TIdMessageParts ownerless;
    TIdAttachmentFile& alone = TCollection::Emplace<TIdAttachmentFile>(ownerless);
    TMemoryStream content(TIdBytes{'1'});
    alone.LoadFromStream(content); // the system's temporary folder
    EXPECT_TRUE(fs::exists(ToUtf8(alone.StoredPathName())));
    const fs::path aloneStored(ToUtf8(alone.StoredPathName()));
    ownerless.Clear();
    EXPECT_FALSE(fs::exists(aloneStored));
}

} // namespace
