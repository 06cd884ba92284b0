#pragma once
// TIdMessageClient: writes a message record as RFC 5322 / MIME text onto the client's
// I/O handler: the generated header lines, then the body, laid out as a plain body,
// a MIME multipart body (preamble, boundary lines, part headers, encoded contents)
// or a single-part MIME body. The SMTP client sends what it writes between DATA and
// the final "."; a handler over a stream lets the message record save itself the
// same way (TIdMessage::SaveToStream).
//
//   auto client = MakeComponent<TIdMessageClient>();
//   client->SetIOHandler(&handler);   // an open handler
//   client->SendMsg(message);
//
// Every line ends with CR LF. Lines of body text are dot-stuffed (RFC 5321 4.5.2);
// header, boundary and part header lines are not, and the encoders never start a
// line with a full stop. Attachments are read from their stream and encoded on the
// way out, in bounded buffers, whatever their size.
//
// Writing settles the record as it goes: part content types, transfer encodings and
// dispositions left empty are filled in, a body turned into a first text part stays
// in the message, and the boundary stack is emptied at the end.

#include "mime/IdGlobal.h"
#include "mime/IdMessageCoder.h"
#include "mime/IdStrings.h"
#include "mime/IdTextEncoding.h"
#include "smtp/IdExplicitTLSClientServerBase.h"

#include <cstdint>

class TIdAttachment;
class TIdMessage;
class TIdMessagePart;
class TIdText;

class TIdMessageClient : public TIdExplicitTLSClient {
public:
    explicit TIdMessageClient(TIdCreationKey key) : TIdExplicitTLSClient(key) {}

    static String ClassName() { return u"TIdMessageClient"; }

    // Encoded attachment data leaves in writes of this many bytes.
    static constexpr std::int32_t kAttachmentWriteThreshold = 8192;

    // Not used by the writer; kept for clients that fold their own lines.
    std::int32_t MsgLineLength() const { return FMsgLineLength; }
    void SetMsgLineLength(std::int32_t AValue) { FMsgLineLength = AValue; }
    const String& MsgLineFold() const { return FMsgLineFold; }
    void SetMsgLineFold(const String& AValue) { FMsgLineFold = AValue; }

    // The whole message, or its header lines alone. With the message's NoEncode set,
    // its Headers and Body go out as they stand.
    virtual void SendMsg(TIdMessage& AMsg, bool AHeadersOnly = false);
    // Generates the header lines and writes them in one buffered write (no empty
    // line after them).
    virtual void EmitHeaders(TIdMessage& AMsg);
    // Everything after the header lines. Raises EIdException when the message has
    // parts and its own base64 or quoted-printable transfer encoding.
    virtual void EmitBody(TIdMessage& AMsg);
    // The lines dot-stuffed, in the given encoding (none: the handler's default).
    void EmitBodyLines(const TStrings& ALines, const IIdTextEncodingPtr& AEncoding);

protected:
    void InitializeDefaults() override;

    // A text part: its header lines, an empty line, its body in the part's charset.
    void EmitTextPart(TIdText& APart, char16_t AHeaderEncoding, const String& ACharSet);
    // An attachment of a MIME message: its header lines, an empty line, its contents.
    void EmitAttachment(TIdAttachment& APart, char16_t AHeaderEncoding, const String& ACharSet);
    // The attachment's stream through a message encoder straight onto the handler.
    void EmitAttachmentData(TIdAttachment& APart, TIdMessageEncoderClass AEncoderClass);
    // Lines joined with CR LF, turned into bytes with the encoding, encoded, and
    // written line by line.
    void EmitEncodedLines(const TStrings& ALines, TIdMessageEncoderClass AEncoderClass,
                          const IIdTextEncodingPtr& AEncoding);

private:
    void EmitPlainTextBody(TIdMessage& AMsg, char16_t AHeaderEncoding, const String& ACharSet);
    void EmitMIMEBody(TIdMessage& AMsg, char16_t AHeaderEncoding, const String& ACharSet);
    // The attachment's lines as text in its charset, each dot-stuffed: for the
    // identity transfer encodings (7bit, 8bit, binary).
    void EmitAttachmentLines(TIdAttachment& APart);
    // "Content-Type: ..." with the charset and, on a line of its own, the name.
    void EmitContentTypeLine(const TIdMessagePart& APart, const String& AName);
    // "Content-Disposition: ..." with, on a line of its own, the file name.
    void EmitContentDispositionLine(const TIdMessagePart& APart, const String& AName);
    // Content-ID, Content-Description, the extra headers and the empty line.
    void EmitPartClosingHeaders(const TIdMessagePart& APart);
    void ReportStatusText(const String& AText);

    std::int32_t FMsgLineLength = 0;
    String FMsgLineFold;
};
