#include "mime/IdHeaderList.h"

#include <utility>

namespace {

constexpr StringView kFoldBreakText = u"\r\n ";
constexpr StringView kFoldBreakChars = u"\t ,";

bool IsBlankOrTab(char16_t c)
{
    return c == u' ' || c == TAB;
}

StringView SpecialsOf(TIdHeaderQuotingType quoteType)
{
    switch (quoteType) {
    case TIdHeaderQuotingType::QuotePlain: return u"";
    case TIdHeaderQuotingType::QuoteRFC822: return u"()<>,;:\\./@\"";
    case TIdHeaderQuotingType::QuoteMIME: return u"()<>,;:\\/[]?=@\"";
    case TIdHeaderQuotingType::QuoteHTTP: return u"()<>,;:\\/[]?={}@\" \t";
    }
    return u"";
}

// Control characters (blank included), DEL and the specials end a bare parameter
// value and force a written one into quotes.
bool NeedsQuoting(char16_t c, StringView specials)
{
    return c <= 32 || c == 127 || CharIsInSet(c, specials);
}

struct THeaderParams {
    String MainValue;
    std::vector<std::pair<String, String>> Params;

    int IndexOf(StringView name) const
    {
        for (std::size_t i = 0; i < Params.size(); ++i)
            if (TextIsSame(Params[i].first, name))
                return static_cast<int>(i);
        return -1;
    }
};

// Reads "main; name=value; name="quoted \" value"; ..." as the header's
// parameters. Parameters without a name or a value are dropped.
THeaderParams ParseHeaderParams(StringView value, TIdHeaderQuotingType quoteType)
{
    THeaderParams result;
    const std::size_t semicolon = value.find(u';');
    result.MainValue = Trim(value.substr(0, semicolon));
    if (semicolon == StringView::npos)
        return result;

    const StringView specials = SpecialsOf(quoteType);
    const StringView rest = value.substr(semicolon + 1);
    const std::size_t n = rest.size();
    std::size_t i = 0;
    auto skipWhiteSpace = [&] {
        while (i < n && rest[i] <= 32)
            ++i;
    };
    while (true) {
        skipWhiteSpace();
        if (i >= n)
            break;
        // A name ends at "="; a ";" before it means a parameter without a value,
        // which must not swallow the next parameter's name.
        const std::size_t end = rest.find_first_of(u"=;", i);
        String name = Trim(rest.substr(i, end == StringView::npos ? StringView::npos : end - i));
        if (end == StringView::npos)
            break;
        i = end + 1;
        if (rest[end] == u';')
            continue;

        skipWhiteSpace();
        String paramValue;
        if (i < n && rest[i] == u'"') {
            ++i;
            while (i < n && rest[i] != u'"') {
                if (rest[i] == u'\\')
                    ++i;
                if (i < n)
                    paramValue += rest[i++];
            }
            // whatever follows the closing quote up to the next ";" is not part of it
            const std::size_t next = rest.find(u';', i);
            i = next == StringView::npos ? n : next + 1;
        } else {
            while (i < n && !NeedsQuoting(rest[i], specials))
                paramValue += rest[i++];
            if (i < n && rest[i] == u';')
                ++i;
        }
        if (!name.empty() && !paramValue.empty())
            result.Params.emplace_back(std::move(name), std::move(paramValue));
    }
    return result;
}

// Splits folded text into list lines. Every line after the first must be a
// continuation line: a piece after a line break (CR LF, a lone CR or a lone LF)
// gets a blank in front unless it begins with one or a tab, and a piece that is
// empty once its trailing white space is gone is dropped, since an empty line
// would end the header block and turn the rest into body.
std::vector<String> SplitIntoHeaderLines(StringView text)
{
    std::vector<String> lines;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find_first_of(u"\r\n", start);
        String piece = TrimRight(text.substr(start, end == StringView::npos ? StringView::npos : end - start));
        if (lines.empty())
            lines.push_back(std::move(piece));
        else if (!piece.empty())
            lines.push_back(IsBlankOrTab(piece.front()) ? std::move(piece) : u" " + piece);
        if (end == StringView::npos)
            break;
        if (text[end] == CR && end + 1 < text.size() && text[end + 1] == LF)
            ++end;
        start = end + 1;
    }
    return lines;
}

} // namespace

// --- TIdHeaderList -------------------------------------------------------------------

TIdHeaderList::TIdHeaderList(TIdHeaderQuotingType quoteType) : FQuoteType(quoteType)
{
    if (quoteType == TIdHeaderQuotingType::QuoteHTTP)
        FFoldLinesLength = INT_MAX;
    TStringList::NameValueSeparator = u':';
}

void TIdHeaderList::SetNameValueSeparator(const String& value)
{
    FNameValueSeparator = value;
    const String delimiter = NameDelimiter();
    if (!delimiter.empty())
        TStringList::NameValueSeparator = delimiter.front();
}

String TIdHeaderList::NameDelimiter() const
{
    String delimiter = TrimRight(FNameValueSeparator);
    return delimiter.empty() ? FNameValueSeparator : delimiter;
}

bool TIdHeaderList::IsContinuation(int index) const
{
    const String& line = (*this)[index];
    return !line.empty() && IsBlankOrTab(line.front());
}

String TIdHeaderList::GetName(int index) const
{
    if (IsContinuation(index))
        return {};
    const String& line = (*this)[index];
    const String delimiter = NameDelimiter();
    const std::size_t pos = delimiter.empty() ? String::npos : line.find(delimiter);
    return pos == String::npos ? String() : line.substr(0, pos);
}

int TIdHeaderList::IndexOfName(StringView name) const
{
    for (int i = 0; i < Count(); ++i)
        if (!IsContinuation(i) && TextIsSame(GetName(i), name))
            return i;
    return -1;
}

String TIdHeaderList::ValueFromIndex(int index) const
{
    const String& line = (*this)[index];
    const String delimiter = NameDelimiter();
    const std::size_t pos = delimiter.empty() ? String::npos : line.find(delimiter);
    String value = pos == String::npos ? String() : TrimLeft(StringView(line).substr(pos + delimiter.size()));
    if (FUnfoldLines) {
        for (int i = index + 1; i < Count() && IsContinuation(i); ++i)
            value = Trim(value) + u" " + Trim((*this)[i]);
    }
    return Trim(value);
}

String TIdHeaderList::GetValue(StringView name) const
{
    const int i = IndexOfName(name);
    return i < 0 ? String() : ValueFromIndex(i);
}

void TIdHeaderList::DeleteContinuationLines(int index)
{
    while (index + 1 < Count() && IsContinuation(index + 1))
        Delete(index + 1);
}

std::vector<String> TIdHeaderList::MakeHeaderLines(StringView name, StringView value) const
{
    String line = String(name) + FNameValueSeparator + String(value);
    if (FFoldLines)
        return SplitIntoHeaderLines(WrapHeaderLine(line, kFoldBreakText, kFoldBreakChars, FFoldLinesLength));

    // Unfolded lists keep one list line per header; its line breaks are made
    // harmless all the same, because the line still goes on the wire as it stands.
    const std::vector<String> pieces = SplitIntoHeaderLines(line);
    String joined = pieces.front();
    for (std::size_t i = 1; i < pieces.size(); ++i)
        joined += String(EOL) + pieces[i];
    return {joined};
}

void TIdHeaderList::PutLines(int index, const std::vector<String>& lines)
{
    (*this)[index] = lines.front();
    for (std::size_t i = 1; i < lines.size(); ++i)
        Insert(index + static_cast<int>(i), lines[i]);
}

void TIdHeaderList::SetValue(StringView name, StringView value)
{
    int i = IndexOfName(name);
    if (value.empty()) {
        if (i >= 0) {
            if (FFoldLines)
                DeleteContinuationLines(i);
            Delete(i);
        }
        return;
    }
    if (i < 0)
        i = Add(String());
    if (FFoldLines)
        DeleteContinuationLines(i);
    PutLines(i, MakeHeaderLines(name, value));
}

void TIdHeaderList::AddValue(StringView name, StringView value)
{
    if (name.empty() || value.empty())
        return;
    PutLines(Add(String()), MakeHeaderLines(name, value));
}

void TIdHeaderList::AddStrings(const TIdHeaderList& source)
{
    const TStringList lines = source; // a copy, so that a list may append itself
    TStringList::AddStrings(lines);
}

void TIdHeaderList::AddStdValues(const TStringList& source)
{
    for (int i = 0; i < source.Count(); ++i)
        AddValue(source.Names(i), source.ValueFromIndex(i));
}

void TIdHeaderList::ConvertToStdValues(TStringList& dest) const
{
    for (int i = 0; i < Count(); ++i) {
        const String name = GetName(i);
        if (!name.empty())
            dest.Add(name + dest.NameValueSeparator + ValueFromIndex(i));
    }
}

void TIdHeaderList::Extract(StringView name, TStringList& dest) const
{
    for (int i = 0; i < Count(); ++i)
        if (!IsContinuation(i) && TextIsSame(GetName(i), name))
            dest.Add(ValueFromIndex(i));
}

TIdHeaderQuotingType TIdHeaderList::QuoteTypeOf(StringView name) const
{
    switch (FQuoteType) {
    case TIdHeaderQuotingType::QuoteRFC822:
    case TIdHeaderQuotingType::QuoteMIME:
        return TextIsSame(name, u"Content-Type") || TextIsSame(name, u"Content-Disposition")
                   ? TIdHeaderQuotingType::QuoteMIME
                   : TIdHeaderQuotingType::QuoteRFC822;
    default:
        return FQuoteType;
    }
}

String TIdHeaderList::GetParam(StringView name, StringView param) const
{
    return ExtractHeaderParam(GetValue(name), param, QuoteTypeOf(name));
}

void TIdHeaderList::SetParam(StringView name, StringView param, StringView value)
{
    SetValue(name, ReplaceParam(GetValue(name), param, value, QuoteTypeOf(name)));
}

String TIdHeaderList::GetAllParams(StringView name) const
{
    const String value = GetValue(name);
    const std::size_t semicolon = value.find(u';');
    return semicolon == String::npos ? String() : Trim(StringView(value).substr(semicolon + 1));
}

void TIdHeaderList::SetAllParams(StringView name, StringView params)
{
    if (IndexOfName(name) < 0)
        return;
    const String mainValue = ExtractHeaderMainValue(GetValue(name));
    SetValue(name, params.empty() ? mainValue : mainValue + u"; " + String(params));
}

// --- Global routines ----------------------------------------------------------------

String WrapHeaderLine(StringView line, StringView breakText, StringView breakChars, int maxColumn)
{
    // Positions count from 1, as in the description of the folding rule; at(p) is
    // the character at position p.
    const std::size_t n = line.size();
    auto at = [&](std::size_t p) { return line[p - 1]; };
    auto slice = [&](std::size_t from, std::size_t to) { // positions from..to inclusive
        return from > to ? StringView() : line.substr(from - 1, to - from + 1);
    };
    const char16_t breakFirst = breakText.empty() ? char16_t(0) : breakText.front();
    const auto maxCol = static_cast<std::int64_t>(maxColumn);

    std::size_t pos = 1, start = 1, breakAt = 0;
    std::int64_t col = 1;
    bool inQuote = false, existing = false;
    String result;
    result.reserve(n + n / 32 * breakText.size());

    while (pos <= n) {
        const char16_t c = at(pos);
        if (!breakText.empty() && c == breakFirst && !inQuote) {
            existing = pos - 1 + breakText.size() <= n && TextIsSame(slice(pos, pos + breakText.size() - 1), breakText);
            if (existing) {
                pos += breakText.size() - 1;
                breakAt = pos;
            }
        } else if (!inQuote && CharIsInSet(c, breakChars)) {
            breakAt = pos;
        } else if (inQuote && c == u'\\' && pos < n) {
            // an escaped character inside a quoted string: "\"" does not end it
            ++pos;
            ++col;
        } else if (c == u'"') {
            inQuote = !inQuote;
        }
        ++pos;
        ++col;

        if (inQuote)
            continue;
        if (!existing && !(col > maxCol && breakAt > start))
            continue;

        // Break after position breakAt. Break characters right behind the break point
        // are passed over: they begin the next line and are counted on it. Behind a
        // word that merely reached the width they are not passed over, since the next
        // one of them is where the next line may break.
        result += slice(start, breakAt);
        if (c != u'"') {
            if (pos == breakAt + 1) {
                while (pos <= n && (CharIsInSet(at(pos), breakChars) || at(pos) == CR || at(pos) == LF))
                    ++pos;
            }
            if (!existing && pos < n)
                result += breakText;
        }
        col = static_cast<std::int64_t>(pos - breakAt);
        ++breakAt;
        start = breakAt;
        existing = false;
    }
    result += slice(start, n);
    return result;
}

String QuoteParamValue(StringView value, TIdHeaderQuotingType quoteType)
{
    if (value.empty())
        return {};
    const StringView specials = SpecialsOf(quoteType);
    const bool escapeCR = quoteType == TIdHeaderQuotingType::QuoteRFC822 ||
                          quoteType == TIdHeaderQuotingType::QuoteMIME;
    bool quoted = false;
    String out;
    out.reserve(value.size() + 2);
    for (const char16_t c : value) {
        if (c == u'\\' || c == u'"' || (c == CR && escapeCR)) {
            out += u'\\';
            quoted = true;
        } else if (NeedsQuoting(c, specials)) {
            quoted = true;
        }
        out += c;
    }
    return quoted ? u"\"" + out + u"\"" : out;
}

String ReplaceParam(StringView value, StringView param, StringView newValue,
                    TIdHeaderQuotingType quoteType, String& oldValue)
{
    THeaderParams parsed = ParseHeaderParams(value, quoteType);
    const int index = parsed.IndexOf(param);
    oldValue = index < 0 ? String() : parsed.Params[static_cast<std::size_t>(index)].second;

    if (Trim(newValue).empty()) {
        if (index >= 0)
            parsed.Params.erase(parsed.Params.begin() + index);
    } else if (index >= 0) {
        parsed.Params[static_cast<std::size_t>(index)].second = String(newValue);
    } else {
        parsed.Params.emplace_back(String(param), String(newValue));
    }

    if (parsed.MainValue.empty())
        return {};
    String result = parsed.MainValue;
    for (const auto& [name, paramValue] : parsed.Params)
        result += u"; " + name + u"=" + QuoteParamValue(paramValue, quoteType);
    return result;
}

String ReplaceParam(StringView value, StringView param, StringView newValue,
                    TIdHeaderQuotingType quoteType)
{
    String oldValue;
    return ReplaceParam(value, param, newValue, quoteType, oldValue);
}

String ExtractHeaderParam(StringView value, StringView param, TIdHeaderQuotingType quoteType)
{
    const THeaderParams parsed = ParseHeaderParams(value, quoteType);
    const int index = parsed.IndexOf(param);
    return index < 0 ? String() : parsed.Params[static_cast<std::size_t>(index)].second;
}

String ExtractHeaderMainValue(StringView value)
{
    return Trim(value.substr(0, value.find(u';')));
}

bool HasMediaType(StringView value, StringView mediaType)
{
    const String mainValue = ExtractHeaderMainValue(value);
    if (mediaType.find(u'/') == StringView::npos)
        return TextStartsWith(mainValue, String(mediaType) + u"/");
    return TextIsSame(mainValue, mediaType);
}
