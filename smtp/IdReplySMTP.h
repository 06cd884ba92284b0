#pragma once
// SMTP replies with enhanced status codes (RFC 3463: class.subject.detail, such as
// 5.7.1), which servers that announce ENHANCEDSTATUSCODES put after the reply code:
//
//   550-5.7.1 first
//   550 5.7.1 second

#include "smtp/IdExceptionCore.h"
#include "smtp/IdReplyRFC.h"

#include <cstdint>

// Whether the text after a reply code begins with an enhanced status code. Blank text
// counts as one (it carries an empty code). The class is told by its first digit, so
// 25.1.1 passes; 8BITMIME, SIZE or a host name do not.
bool IsValidEnhancedCode(StringView text);

// An enhanced status code. Plain copies (construction, operator=) are exact; Assign is
// the checked copy that replies and their exceptions use.
class TIdSMTPEnhancedCode {
public:
    std::uint32_t StatusClass() const { return FStatusClass; }
    // Only 2 (success), 4 (transient) and 5 (permanent failure) are classes.
    void SetStatusClass(std::uint32_t value);
    std::uint32_t Subject() const { return FSubject; }
    void SetSubject(std::uint32_t value) { FSubject = value; }
    std::uint32_t Details() const { return FDetails; }
    void SetDetails(std::uint32_t value) { FDetails = value; }
    bool Available() const { return FAvailable; }
    // Becoming available starts from 2.0.0.
    void SetAvailable(bool value);

    // "" when not available, else class.subject.detail (at most three digits each).
    String ReplyAsStr() const;
    // Takes the first word of the text; blank text makes the code unavailable.
    void SetReplyAsStr(StringView value);

    // The class goes through SetStatusClass, so a stored class other than 2, 4 or 5
    // makes the copy fail.
    void Assign(const TIdSMTPEnhancedCode& source);

    bool operator==(const TIdSMTPEnhancedCode&) const = default;

private:
    std::uint32_t FStatusClass = 2;
    std::uint32_t FSubject = 0;
    std::uint32_t FDetails = 0;
    bool FAvailable = false;
};

// A refusal by an SMTP server: the reply code and text, and the reply's enhanced code.
class EIdSMTPReplyError : public EIdReplyRFCError {
public:
    using EIdReplyRFCError::EIdReplyRFCError;
    // Copies the enhanced code with Assign: an invalid class raises
    // EIdSMTPReplyInvalidClass in place of the reply error.
    EIdSMTPReplyError(std::int32_t errorCode, const String& replyMessage, const TIdSMTPEnhancedCode& enhancedCode);
    static EIdSMTPReplyError CreateError(std::int32_t errorCode, const String& replyMessage,
                                         const TIdSMTPEnhancedCode& enhancedCode)
    {
        return EIdSMTPReplyError(errorCode, replyMessage, enhancedCode);
    }
    const TIdSMTPEnhancedCode& EnhancedCode() const { return FEnhancedCode; }

private:
    TIdSMTPEnhancedCode FEnhancedCode;
};

class TIdReplySMTP : public TIdReplyRFC {
public:
    using TIdReplyRFC::TIdReplyRFC;

    // Clear leaves it alone: a reply without an enhanced code keeps the previous one.
    const TIdSMTPEnhancedCode& EnhancedCode() const { return FEnhancedCode; }
    TIdSMTPEnhancedCode& EnhancedCode() { return FEnhancedCode; }
    void SetEnhancedCode(const TIdSMTPEnhancedCode& value) { FEnhancedCode.Assign(value); }

    TStrings FormattedReply() const override;
    // Takes an enhanced code from the front of every line that has one; a later line's
    // code replaces an earlier one.
    void SetFormattedReply(const TStrings& lines) override;
    [[noreturn]] void RaiseReplyError() const override;
    // Between two SMTP replies the code, enhanced code and text; from any other reply
    // what an RFC reply takes.
    void Assign(const TIdReply& source) override;
    String ClassName() const override { return u"TIdReplySMTP"; }

    void SetEnhReply(std::int32_t numericCode, StringView enhancedCode, const String& text);

private:
    TIdSMTPEnhancedCode FEnhancedCode;
};
