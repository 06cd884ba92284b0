#include "smtp/IdReplyRFC.h"

#include "smtp/IdExceptionCore.h"

bool TIdReplyRFC::IsValidCode(StringView code) const
{
    if (Trim(code).empty())
        return true;
    const int value = StrToIntDef(code, 0);
    return value >= 100 && value <= 999;
}

TStrings TIdReplyRFC::FormattedReply() const
{
    return FormatLines(u"");
}

TStrings TIdReplyRFC::FormatLines(StringView enhancedCode) const
{
    TStrings lines;
    const std::int32_t code = NumericCode();
    if (code < 1) {
        lines.Assign(Text());
        return lines;
    }
    const String c = IntToStr(code);
    if (Text().IsEmpty()) {
        lines.Add(enhancedCode.empty() ? c : c + u' ' + String(enhancedCode));
        return lines;
    }
    const String prefix = enhancedCode.empty() ? String() : String(enhancedCode) + u' ';
    const int last = Text().Count() - 1;
    for (int i = 0; i <= last; ++i)
        lines.Add(c + (i < last ? u'-' : u' ') + prefix + Text()[i]);
    return lines;
}

String TIdReplyRFC::LineText(StringView line)
{
    return line.size() > 4 ? String(line.substr(4)) : String();
}

void TIdReplyRFC::SetFormattedReply(const TStrings& lines)
{
    Clear();
    if (lines.IsEmpty())
        return;
    SetCode(Trim(StringView(lines[0]).substr(0, 3)));
    for (const String& line : lines)
        Text().Add(LineText(line));
}

bool TIdReplyRFC::IsEndMarker(StringView line) const
{
    return line.size() < 4 || line[3] == u' ';
}

void TIdReplyRFC::RaiseReplyError() const
{
    throw EIdReplyRFCError(NumericCode(), Text().Text());
}

bool TIdReplyRFC::ReplyExists() const
{
    return NumericCode() >= 1 || !Text().IsEmpty();
}

void TIdReplyRFC::Assign(const TIdReply& source)
{
    if (&source == this)
        return;
    // A reply without a numeric code copies as one without a code: its number, 0,
    // is not a valid code and would make the copy fail.
    const std::int32_t code = source.NumericCode();
    if (code >= 1)
        SetNumericCode(code);
    else
        SetCode(String());
    SetText(source.Text());
}
