#include "smtp/IdReplySMTP.h"

namespace {

// The word at the front of a text: up to the first blank, or all of it.
String FirstWord(StringView text)
{
    return String(text.substr(0, text.find(u' ')));
}

bool IsInteger(StringView s)
{
    // StrToIntDef answers the default only for text that is not a 32-bit integer, and
    // no text gives both defaults.
    return StrToIntDef(s, 0) == StrToIntDef(s, 1);
}

// The part of an enhanced code as a number; 0 when it is not one.
std::uint32_t CodePart(StringView s)
{
    return static_cast<std::uint32_t>(StrToIntDef(s, 0));
}

String FirstDigits(std::uint32_t value, std::size_t count)
{
    return UIntToStr(value).substr(0, count);
}

} // namespace

bool IsValidEnhancedCode(StringView text)
{
    if (Trim(text).empty())
        return true;
    String rest = FirstWord(text);
    const String statusClass = Fetch(rest, u".");
    // The class decides by its first digit (25 counts as 2), but it must be a number
    // all the same: "2u" would be stored as class 0 and written back as 0.x.y, which
    // is no enhanced code.
    if (statusClass.empty() || !CharIsInSet(statusClass[0], u"245") || !IsInteger(statusClass))
        return false;
    const String subject = Fetch(rest, u".");
    const String& details = rest;
    return !subject.empty() && IsInteger(subject) && !details.empty() && IsInteger(details);
}

// --- TIdSMTPEnhancedCode -----------------------------------------------------------

void TIdSMTPEnhancedCode::SetStatusClass(std::uint32_t value)
{
    if (value != 2 && value != 4 && value != 5)
        EIdException::Toss<EIdSMTPReplyInvalidClass>(u"Invalid Reply Class.");
    FStatusClass = value;
}

void TIdSMTPEnhancedCode::SetAvailable(bool value)
{
    if (value && !FAvailable) {
        FStatusClass = 2;
        FSubject = 0;
        FDetails = 0;
    }
    FAvailable = value;
}

String TIdSMTPEnhancedCode::ReplyAsStr() const
{
    if (!FAvailable)
        return {};
    return FirstDigits(FStatusClass, 1) + u'.' + FirstDigits(FSubject, 3) + u'.' + FirstDigits(FDetails, 3);
}

void TIdSMTPEnhancedCode::SetReplyAsStr(StringView value)
{
    if (!IsValidEnhancedCode(value))
        EIdException::Toss<EIdSMTPReplyInvalidReplyString>(u"Invalid Reply String.");
    String word = FirstWord(value);
    if (word.empty()) {
        FAvailable = false;
        return;
    }
    // Stored as received: the class is not held to 2, 4 or 5 here.
    FStatusClass = CodePart(Fetch(word, u"."));
    FSubject = CodePart(Fetch(word, u"."));
    FDetails = CodePart(word);
    FAvailable = true;
}

void TIdSMTPEnhancedCode::Assign(const TIdSMTPEnhancedCode& source)
{
    SetStatusClass(source.FStatusClass); // a refused class leaves this code unchanged
    FSubject = source.FSubject;
    FDetails = source.FDetails;
    // Copied as a value: switching it on through SetAvailable would reset the numbers.
    FAvailable = source.FAvailable;
}

// --- EIdSMTPReplyError --------------------------------------------------------------

EIdSMTPReplyError::EIdSMTPReplyError(std::int32_t errorCode, const String& replyMessage,
                                     const TIdSMTPEnhancedCode& enhancedCode)
    : EIdReplyRFCError(errorCode, replyMessage)
{
    FEnhancedCode.Assign(enhancedCode);
}

// --- TIdReplySMTP -------------------------------------------------------------------

TStrings TIdReplySMTP::FormattedReply() const
{
    return FormatLines(FEnhancedCode.ReplyAsStr());
}

void TIdReplySMTP::SetFormattedReply(const TStrings& lines)
{
    Clear();
    if (lines.IsEmpty())
        return;
    String code = Trim(StringView(lines[0]).substr(0, 4));
    if (code.size() == 4 && code[3] == u'-')
        code.resize(3);
    SetCode(code);
    for (const String& line : lines) {
        String text = LineText(line);
        if (IsValidEnhancedCode(text))
            FEnhancedCode.SetReplyAsStr(Fetch(text, u" "));
        Text().Add(text);
    }
}

void TIdReplySMTP::RaiseReplyError() const
{
    throw EIdSMTPReplyError(NumericCode(), Text().Text(), FEnhancedCode);
}

void TIdReplySMTP::Assign(const TIdReply& source)
{
    const auto* smtp = dynamic_cast<const TIdReplySMTP*>(&source);
    if (!smtp) {
        TIdReplyRFC::Assign(source);
        return;
    }
    if (smtp == this)
        return;
    SetCode(smtp->Code());
    FEnhancedCode.Assign(smtp->FEnhancedCode);
    SetText(smtp->Text());
}

void TIdReplySMTP::SetEnhReply(std::int32_t numericCode, StringView enhancedCode, const String& text)
{
    SetReply(numericCode, text);
    FEnhancedCode.SetReplyAsStr(enhancedCode);
}
