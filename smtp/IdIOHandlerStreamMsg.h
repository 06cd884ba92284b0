#pragma once
// TIdIOHandlerStreamMsg: a stream I/O handler for messages kept in files, which
// adds and removes the SMTP dot framing on the way.
//
// Reading: when the receive stream is exhausted the handler delivers one closing
// "." line, so a message file reads like a message received after DATA. With
// EscapeLines, every line read that begins with "." gets one more in front
// (except that closing line). Writing: with UnescapeLines, a line that begins
// with ".." loses one "." before it is written.

#include "smtp/IdIOHandlerStream.h"

class TIdIOHandlerStreamMsg : public TIdIOHandlerStream {
public:
    using TIdIOHandlerStream::TIdIOHandlerStream;

    static String ClassName() { return u"TIdIOHandlerStreamMsg"; }

    bool EscapeLines() const { return FEscapeLines; }
    void SetEscapeLines(bool AValue) { FEscapeLines = AValue; }
    bool UnescapeLines() const { return FUnescapeLines; }
    void SetUnescapeLines(bool AValue) { FUnescapeLines = AValue; }

    void Open() override;
    using TIdIOHandler::ReadLn;
    String ReadLn(const String& ATerminator, std::int32_t ATimeout, std::int32_t AMaxLineLength = -1,
                  const IIdTextEncodingPtr& AByteEncoding = nullptr) override;
    using TIdIOHandler::WriteLn;
    void WriteLn(const String& AOut, const IIdTextEncodingPtr& AByteEncoding = nullptr) override;

protected:
    std::int32_t ReceiveFromSource(TIdBytes& VBuffer) override;

private:
    bool FEscapeLines = false;
    bool FUnescapeLines = false;
    // The whole closing line has been handed out.
    bool FTerminatorWasRead = false;
    std::uint8_t FLastByteRecv = 0;
    // The part of the closing line not yet handed out.
    TIdBytes FPendingTerminator;
    bool FSourceExhausted = false;
};
