#pragma once
// Replies of line-oriented Internet protocols (RFC 5321 section 4.2): a three-digit
// code, then "-" on every line but the last and a blank on the last.
//
//   250-mail.example.com
//   250-PIPELINING
//   250 8BITMIME

#include "smtp/IdReply.h"

class TIdReplyRFC : public TIdReply {
public:
    using TIdReply::TIdReply;

    // 100 to 999, or blank for "no code yet".
    bool IsValidCode(StringView code) const override;
    TStrings FormattedReply() const override;
    void SetFormattedReply(const TStrings& lines) override;
    // A line shorter than four characters, or with a blank after the code, ends the
    // reply; anything else there ("-", or a server's "250OK") continues it.
    bool IsEndMarker(StringView line) const override;
    [[noreturn]] void RaiseReplyError() const override;
    bool ReplyExists() const override;
    // Takes the numeric code and the text lines of any reply.
    void Assign(const TIdReply& source) override;
    String ClassName() const override { return u"TIdReplyRFC"; }

protected:
    // The wire form; a non-empty enhanced code goes after each code's separator.
    TStrings FormatLines(StringView enhancedCode) const;
    // The text of a received line after the code and its separator.
    static String LineText(StringView line);
};
