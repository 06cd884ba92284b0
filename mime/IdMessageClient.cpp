#include "mime/IdMessageClient.h"

#include "mail/IdAttachment.h"
#include "mail/IdMessage.h"
#include "mail/IdText.h"
#include "mime/IdCleanup.h"
#include "mime/IdCoderHeader.h"
#include "mime/IdHeaderList.h"
#include "mime/IdMessageCoderBinHex4.h"
#include "mime/IdMessageCoderMIME.h"
#include "mime/IdMessageCoderQuotedPrintable.h"
#include "mime/IdMessageCoderUUE.h"
#include "mime/IdMessageCoderXXE.h"
#include "mime/IdStream.h"
#include "smtp/IdIOHandlerStream.h"
#include "smtp/IdTCPStream.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace {

const String kMultiPartPreamble = u"This is a multi-part message in MIME format";
const String kEncodingText = u"Encoding text";
const String kEncodingAttachment = u"Encoding attachment";

bool IsOneOf(StringView value, std::initializer_list<StringView> names)
{
    return std::any_of(names.begin(), names.end(), [&](StringView name) { return TextIsSame(value, name); });
}

bool IsIdentityTransferEncoding(StringView value)
{
    return IsOneOf(value, {u"7bit", u"8bit", u"binary"});
}

// BeginWork on entry and EndWork on every way out.
class TWriteWork {
public:
    explicit TWriteWork(TIdComponent& component) : FComponent(component)
    {
        FComponent.BeginWork(TWorkMode::wmWrite, 0);
    }
    ~TWriteWork() { FComponent.EndWork(TWorkMode::wmWrite); }
    TWriteWork(const TWriteWork&) = delete;
    TWriteWork& operator=(const TWriteWork&) = delete;

private:
    TIdComponent& FComponent;
};

// The value of the name and filename parameters: the file name without its folder,
// as encoded words. A line break in the file name would end the header line and let
// the rest pass for a header of its own, so it becomes a blank; the only line breaks
// left are the folds between encoded words, each followed by a blank. A double quote
// or backslash is escaped, so the value stays one quoted string.
String FileNameParamValue(const TIdMessagePart& part, char16_t headerEncoding, const String& charSet)
{
    if (part.FileName().empty())
        return {};
    String fileName = ExtractFileName(part.FileName());
    std::replace_if(fileName.begin(), fileName.end(), [](char16_t c) { return c == CR || c == LF; }, u' ');
    const String encoded = MakeEncodedWords(fileName, u"", headerEncoding, charSet);
    return StringReplaceAll(StringReplaceAll(encoded, u"\\", u"\\\\"), u"\"", u"\\\"");
}

// A text in the encoding's bytes, with a line ending at CR LF, a lone LF or a lone
// CR. Reads its source in blocks; only the current line is held in memory.
class TStreamLineReader {
public:
    TStreamLineReader(TStream& source, IIdTextEncodingPtr encoding)
        : FSource(source)
        , FEncoding(std::move(encoding))
        , FCR(FEncoding->GetBytes(StringView(u"\r")))
        , FLF(FEncoding->GetBytes(StringView(u"\n")))
    {
        // Line ends are found unit by unit: a byte in ASCII-compatible encodings, two
        // bytes in UTF-16.
        if (FCR.empty() || FCR.size() != FLF.size()) {
            FCR = {13};
            FLF = {10};
        }
        FUnit = FCR.size();
    }

    // The next line, without its line end; false when the source is exhausted.
    bool ReadLn(String& line)
    {
        // Offsets count from the start of the line, so they survive Fill moving it.
        for (std::size_t offset = 0;; offset += FUnit) {
            if (!Available(offset + FUnit))
                return TakeRest(line);
            const bool isCR = IsUnit(offset, FCR);
            if (!isCR && !IsUnit(offset, FLF))
                continue;
            std::size_t next = offset + FUnit;
            if (isCR && Available(next + FUnit) && IsUnit(next, FLF))
                next += FUnit;
            line = FEncoding->GetString(FBuffer.data() + FStart, offset);
            FStart += next;
            return true;
        }
    }

private:
    bool IsUnit(std::size_t offset, const TIdBytes& unit) const
    {
        return std::memcmp(FBuffer.data() + FStart + offset, unit.data(), FUnit) == 0;
    }

    // True when count bytes of the current line are in the buffer, reading on as needed.
    bool Available(std::size_t count)
    {
        while (FBuffer.size() - FStart < count)
            if (!Fill())
                return false;
        return true;
    }

    // The last line, which has no line end.
    bool TakeRest(String& line)
    {
        if (FStart >= FBuffer.size())
            return false;
        line = FEncoding->GetString(FBuffer.data() + FStart, FBuffer.size() - FStart);
        FStart = FBuffer.size();
        return true;
    }

    // Drops the consumed bytes and appends the next block; false at the end.
    bool Fill()
    {
        FBuffer.erase(FBuffer.begin(), FBuffer.begin() + static_cast<std::ptrdiff_t>(FStart));
        FStart = 0;
        const std::size_t kept = FBuffer.size();
        FBuffer.resize(kept + kBlockSize);
        const std::int64_t count = FSource.Read(FBuffer.data() + kept, kBlockSize);
        FBuffer.resize(kept + static_cast<std::size_t>(std::max<std::int64_t>(count, 0)));
        return count > 0;
    }

    static constexpr std::size_t kBlockSize = 64 * 1024;
    TStream& FSource;
    IIdTextEncodingPtr FEncoding;
    TIdBytes FCR;
    TIdBytes FLF;
    std::size_t FUnit = 1;
    TIdBytes FBuffer;
    std::size_t FStart = 0;
};

} // namespace

void TIdMessageClient::InitializeDefaults()
{
    TIdExplicitTLSClient::InitializeDefaults();
    FMsgLineLength = 79;
    FMsgLineFold = String(1, TAB);
}

void TIdMessageClient::ReportStatusText(const String& AText)
{
    ReportStatus(TIdStatus::hsStatusText, {AText});
}

// --- The message --------------------------------------------------------------------------

void TIdMessageClient::SendMsg(TIdMessage& AMsg, bool AHeadersOnly)
{
    TWriteWork work(*this);
    if (AMsg.NoEncode()) {
        TIdIOHandler& io = RequireIOHandler();
        io.Write(AMsg.Headers());
        io.WriteLn();
        if (!AHeadersOnly)
            io.WriteRFCStrings(AMsg.Body(), false);
        return;
    }
    EmitHeaders(AMsg);
    if (!AHeadersOnly)
        EmitBody(AMsg);
}

void TIdMessageClient::EmitHeaders(TIdMessage& AMsg)
{
    AMsg.GenerateHeader();
    RequireIOHandler().Write(AMsg.LastGeneratedHeaders());
}

void TIdMessageClient::EmitBodyLines(const TStrings& ALines, const IIdTextEncodingPtr& AEncoding)
{
    RequireIOHandler().WriteRFCStrings(ALines, false, AEncoding);
}

void TIdMessageClient::EmitBody(TIdMessage& AMsg)
{
    TWriteWork work(*this);
    char16_t headerEncoding = DefaultHeaderEncoding;
    String charSet;
    AMsg.InitializeISO(headerEncoding, charSet);

    const String& transfer = AMsg.ContentTransferEncoding();
    if (!AMsg.IsMsgSinglePartMime() && IsOneOf(transfer, {u"base64", u"quoted-printable"})) {
        if (AMsg.MessageParts().Count() > 0)
            EIdException::Toss(u"Message parts cannot be used in a message which has a ContentTransferEncoding value.");
        RequireIOHandler().WriteLn();
        ReportStatusText(kEncodingText);
        EmitEncodedLines(AMsg.Body(),
                         TextIsSame(transfer, u"base64") ? &MakeMessageEncoder<TIdMessageEncoderMIME>
                                                          : &MakeMessageEncoder<TIdMessageEncoderQuotedPrintable>,
                         TextEncodingForCharset(AMsg.CharSet()));
        return;
    }
    if (AMsg.Encoding() == TIdMessageEncoding::mePlainText)
        EmitPlainTextBody(AMsg, headerEncoding, charSet);
    else
        EmitMIMEBody(AMsg, headerEncoding, charSet);
}

void TIdMessageClient::EmitPlainTextBody(TIdMessage& AMsg, char16_t AHeaderEncoding, const String& ACharSet)
{
    TIdIOHandler& io = RequireIOHandler();
    io.WriteLn();
    ReportStatusText(kEncodingText);
    EmitBodyLines(AMsg.Body(), TextEncodingForCharset(AMsg.CharSet()));
    io.WriteLn();

    TIdMessageParts& parts = AMsg.MessageParts();
    for (int i = 0; i < parts.Count(); ++i) {
        if (auto* text = dynamic_cast<TIdText*>(&parts[i])) {
            io.WriteLn();
            io.WriteLn(u"------- Start of text attachment -------");
            ReportStatusText(kEncodingText);
            EmitTextPart(*text, AHeaderEncoding, ACharSet);
            io.WriteLn(u"------- End of text attachment -------");
        } else if (auto* attachment = dynamic_cast<TIdAttachment*>(&parts[i])) {
            ReportStatusText(kEncodingAttachment);
            if (attachment->ContentTransfer().empty()) {
                // Case counts here: only the exact names select their encoder.
                const String& name = AMsg.AttachmentEncoding();
                attachment->SetContentTransfer(name == u"UUE" || name == u"XXE" ? name : String(u"UUE"));
            }
            const String transfer = attachment->ContentTransfer();
            if (TextIsSame(transfer, u"UUE"))
                EmitAttachmentData(*attachment, &MakeMessageEncoder<TIdMessageEncoderUUE>);
            else if (TextIsSame(transfer, u"XXE"))
                EmitAttachmentData(*attachment, &MakeMessageEncoder<TIdMessageEncoderXXE>);
        }
        io.WriteLn();
    }
}

void TIdMessageClient::EmitMIMEBody(TIdMessage& AMsg, char16_t AHeaderEncoding, const String& ACharSet)
{
    TIdIOHandler& io = RequireIOHandler();
    TIdMessageParts& parts = AMsg.MessageParts();
    TIdMIMEBoundary& boundaries = AMsg.MIMEBoundary();
    const bool singlePart = AMsg.IsMsgSinglePartMime();

    // The preamble: what a reader without MIME shows before the first part.
    TIdText* bodyPart = nullptr;
    if (!singlePart) {
        io.WriteLn();
        bool hasTextPart = false;
        for (int i = 0; i < parts.Count(); ++i)
            hasTextPart = hasTextPart || parts[i].PartType() == TIdMessagePartType::mptText;
        if (AMsg.IsBodyEmpty()) {
            if (parts.Count() > 0)
                io.WriteLn(kMultiPartPreamble);
        } else if (AMsg.ConvertPreamble() && !hasTextPart && parts.Count() > 0) {
            // The body would be hidden as a preamble: it becomes the first text part
            // instead, and stays in the message.
            bodyPart = &TCollection::Emplace<TIdText>(parts, &AMsg.Body());
            bodyPart->SetCharSet(AMsg.CharSet());
            bodyPart->SetContentType(u"text/plain");
            bodyPart->SetContentTransfer(u"quoted-printable");
            io.WriteLn(kMultiPartPreamble);
        } else {
            EmitBodyLines(AMsg.Body(), TextEncodingForCharset(AMsg.CharSet()));
        }
        io.WriteLn();
        if (boundaries.Boundary().empty())
            boundaries.Push(TIdMIMEBoundaryStrings::GenerateBoundary(), -1);
    }
    String boundary = boundaries.Boundary();

    if (bodyPart) {
        io.WriteLn(u"--" + boundary);
        ReportStatusText(kEncodingText);
        EmitTextPart(*bodyPart, AHeaderEncoding, ACharSet);
        io.WriteLn();
    }

    for (int i = 0; i < parts.Count(); ++i) {
        TIdMessagePart& part = parts[i];
        if (&part == bodyPart)
            continue;
        if (!singlePart) {
            // Close the nested levels the part is not in. A parent that is no open
            // level (not a multipart part written before) leaves the part at the
            // message's level, each level closed once. A multipart part closes levels
            // too, or it would land inside the multipart part written before it.
            while (boundaries.Count() > 1 && boundaries.ParentPart() != part.ParentPart()) {
                io.WriteLn(u"--" + boundary + u"--");
                io.WriteLn();
                boundaries.Pop();
                boundary = boundaries.Boundary();
            }
        }
        if (HasMediaType(part.ContentType(), u"multipart")) {
            io.WriteLn(u"--" + boundary);
            boundary = TIdMIMEBoundaryStrings::GenerateBoundary();
            boundaries.Push(boundary, i);
            io.WriteLn(u"Content-Type: " + ReplaceParam(part.ContentType(), u"boundary", u"", TIdHeaderQuotingType::QuoteMIME) + u";");
            io.WriteLn(TAB + String(u"boundary=\"") + boundary + u"\"");
            io.WriteLn();
            continue;
        }
        if (!singlePart)
            io.WriteLn(u"--" + boundary);
        if (auto* text = dynamic_cast<TIdText*>(&part)) {
            ReportStatusText(kEncodingText);
            EmitTextPart(*text, AHeaderEncoding, ACharSet);
        } else if (auto* attachment = dynamic_cast<TIdAttachment*>(&part)) {
            ReportStatusText(kEncodingAttachment);
            EmitAttachment(*attachment, AHeaderEncoding, ACharSet);
        }
        io.WriteLn();
    }

    if (parts.Count() > 0) {
        while (boundaries.Count() > 0) {
            if (!singlePart) {
                io.WriteLn(u"--" + boundaries.Boundary() + u"--");
                io.WriteLn();
            }
            boundaries.Pop();
        }
    }
}

// --- Parts ----------------------------------------------------------------------------------

void TIdMessageClient::EmitContentTypeLine(const TIdMessagePart& APart, const String& AName)
{
    TIdIOHandler& io = RequireIOHandler();
    String line = u"Content-Type: " + APart.ContentType();
    if (!APart.CharSet().empty())
        line += u"; charset=\"" + APart.CharSet() + u"\"";
    if (AName.empty()) {
        io.WriteLn(line);
        return;
    }
    io.WriteLn(line + u";");
    io.WriteLn(TAB + String(u"name=\"") + AName + u"\"");
}

void TIdMessageClient::EmitContentDispositionLine(const TIdMessagePart& APart, const String& AName)
{
    TIdIOHandler& io = RequireIOHandler();
    const String line = u"Content-Disposition: " + APart.ContentDisposition();
    if (AName.empty()) {
        io.WriteLn(line);
        return;
    }
    io.WriteLn(line + u";");
    io.WriteLn(TAB + String(u"filename=\"") + AName + u"\"");
}

void TIdMessageClient::EmitPartClosingHeaders(const TIdMessagePart& APart)
{
    TIdIOHandler& io = RequireIOHandler();
    if (const String id = APart.ContentID(); !id.empty())
        io.WriteLn(u"Content-ID: " + id);
    if (const String description = APart.ContentDescription(); !description.empty())
        io.WriteLn(u"Content-Description: " + description);
    for (const String& line : APart.ExtraHeaders())
        io.WriteLn(line);
    io.WriteLn();
}

void TIdMessageClient::EmitTextPart(TIdText& APart, char16_t AHeaderEncoding, const String& ACharSet)
{
    if (APart.ContentType().empty())
        APart.SetContentType(u"text/plain");
    const String transfer = APart.ContentTransfer();
    if (HasMediaType(APart.ContentType(), u"multipart")) {
        // A multipart entity may only carry an identity encoding (RFC 2045 6.4).
        if (!transfer.empty() && !IsIdentityTransferEncoding(transfer))
            APart.SetContentTransfer(u"");
    } else if (transfer.empty()) {
        APart.SetContentTransfer(u"quoted-printable");
    } else if (!IsOneOf(transfer, {u"quoted-printable", u"base64"}) && APart.IsBodyEncodingRequired()) {
        APart.SetContentTransfer(u"8bit");
    }
    if (APart.ContentDisposition().empty())
        APart.SetContentDisposition(u"inline");

    const String name = FileNameParamValue(APart, AHeaderEncoding, ACharSet);
    EmitContentTypeLine(APart, name);
    const String finalTransfer = APart.ContentTransfer();
    if (!finalTransfer.empty())
        RequireIOHandler().WriteLn(u"Content-Transfer-Encoding: " + finalTransfer);
    EmitContentDispositionLine(APart, name);
    EmitPartClosingHeaders(APart);

    const IIdTextEncodingPtr encoding = TextEncodingForCharset(APart.CharSet());
    if (TextIsSame(finalTransfer, u"quoted-printable"))
        EmitEncodedLines(APart.Body(), &MakeMessageEncoder<TIdMessageEncoderQuotedPrintable>, encoding);
    else if (TextIsSame(finalTransfer, u"base64"))
        EmitEncodedLines(APart.Body(), &MakeMessageEncoder<TIdMessageEncoderMIME>, encoding);
    else
        RequireIOHandler().WriteRFCStrings(APart.Body(), false, encoding);
}

void TIdMessageClient::EmitAttachment(TIdAttachment& APart, char16_t AHeaderEncoding, const String& ACharSet)
{
    if (APart.ContentTransfer().empty())
        APart.SetContentTransfer(u"base64");
    if (APart.ContentDisposition().empty())
        APart.SetContentDisposition(u"attachment");
    const String transfer = APart.ContentTransfer();
    if (APart.ContentType().empty())
        APart.SetContentType(TextIsSame(transfer, u"base64") ? u"application/octet-stream" : u"text/plain");

    const String name = FileNameParamValue(APart, AHeaderEncoding, ACharSet);
    if (TextIsSame(transfer, u"binhex40")) {
        // BinHex carries its own name and encoding; the type says all.
        APart.SetContentType(u"application/mac-binhex40");
        EmitContentTypeLine(APart, name);
    } else {
        EmitContentTypeLine(APart, name);
        RequireIOHandler().WriteLn(u"Content-Transfer-Encoding: " + transfer);
        EmitContentDispositionLine(APart, name);
    }
    EmitPartClosingHeaders(APart);

    if (TextIsSame(transfer, u"base64"))
        EmitAttachmentData(APart, &MakeMessageEncoder<TIdMessageEncoderMIME>);
    else if (TextIsSame(transfer, u"quoted-printable"))
        EmitAttachmentData(APart, &MakeMessageEncoder<TIdMessageEncoderQuotedPrintable>);
    else if (TextIsSame(transfer, u"binhex40"))
        EmitAttachmentData(APart, &MakeMessageEncoder<TIdMessageEncoderBinHex4>);
    else
        EmitAttachmentLines(APart);
}

// --- Contents -------------------------------------------------------------------------------

void TIdMessageClient::EmitAttachmentData(TIdAttachment& APart, TIdMessageEncoderClass AEncoderClass)
{
    TIdTCPStream destination(*this, kAttachmentWriteThreshold);
    const std::unique_ptr<TIdMessageEncoder> encoder = AEncoderClass();
    encoder->SetFilename(APart.FileName());
    TStream& source = APart.OpenLoadStream();
    WithCleanup([&] { encoder->Encode(source, destination); }, [&] { APart.CloseLoadStream(); });
    // Sends the rest now, so that a failure to send it is seen here.
    destination.CloseWriteBuffering();
}

void TIdMessageClient::EmitAttachmentLines(TIdAttachment& APart)
{
    TIdIOHandler& io = RequireIOHandler();
    const IIdTextEncodingPtr encoding = TextEncodingForCharset(APart.CharSet());
    TStream& source = APart.OpenLoadStream();
    WithCleanup(
        [&] {
            TStreamLineReader reader(source, encoding);
            String line;
            while (reader.ReadLn(line))
                io.WriteLnRFC(line, encoding);
        },
        [&] { APart.CloseLoadStream(); });
}

void TIdMessageClient::EmitEncodedLines(const TStrings& ALines, TIdMessageEncoderClass AEncoderClass,
                                        const IIdTextEncodingPtr& AEncoding)
{
    String text;
    for (const String& line : ALines)
        text.append(line).append(EOL);
    TMemoryStream source(EnsureEncoding(AEncoding)->GetBytes(text));
    TMemoryStream encoded;
    AEncoderClass()->Encode(source, encoded);
    TStringList lines;
    lines.SetText(BytesToStringRaw(encoded.Bytes()));
    RequireIOHandler().WriteRFCStrings(lines, false);
}

// --- Saving a message -------------------------------------------------------------------------

void TIdMessage::SaveToStream(TStream& stream, bool headersOnly)
{
    const auto client = MakeComponent<TIdMessageClient>();
    const auto io = MakeComponent<TIdIOHandlerStream>(nullptr, &stream);
    client->SetIOHandler(io.get());
    io->Open();
    client->SendMsg(*this, headersOnly);
    if (!headersOnly)
        io->WriteLn(u".");
}

void TIdMessage::SaveToFile(const String& fileName, bool headersOnly)
{
    TFileStream file(fileName, TFileStream::TMode::fmCreate);
    // Bcc and Message-Id belong in the sender's own copy.
    SetSavingToFile(true);
    WithCleanup([&] { SaveToStream(file, headersOnly); }, [&] { SetSavingToFile(false); });
}
