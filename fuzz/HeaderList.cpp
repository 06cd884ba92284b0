// Header folding and parameters on arbitrary values.
//
// Input: byte 0 picks the fold width and the quoting type, byte 1 splits the rest
// into a header value and a parameter value; each byte is one character (0-255),
// so line breaks, quotes, commas and control characters all occur.
//
// Properties:
//  - every line after the first begins with a blank or a tab, and none is empty
//    (a value never starts a header line of its own, nor ends the header block);
//  - a line outside double quotes is longer than the fold width only when it has no
//    blank, tab or comma to break at (or when breaking would leave a single
//    character for the rest);
//  - unfolding gives the value back, up to white space at fold points;
//  - a parameter set with ReplaceParam is read back unchanged, and through the
//    header list too when it holds no line break.
#include "mime/IdHeaderList.h"
#include "fuzz/PropertyCheck.h"

#include <cstdint>

namespace {

bool IsSpace(char16_t c)
{
    return c <= 32;
}

// White space runs become one blank, and a blank after a comma goes (folding may
// put one there); the ends are trimmed.
String Normalize(StringView text)
{
    String out;
    bool pendingSpace = false;
    for (const char16_t c : text) {
        if (IsSpace(c)) {
            pendingSpace = true;
            continue;
        }
        if (pendingSpace && !out.empty() && out.back() != u',')
            out += u' ';
        pendingSpace = false;
        out += c;
    }
    return out;
}

void CheckFolding(const TIdHeaderList& list, StringView value, int width)
{
    const int count = list.Count();
    FUZZ_CHECK(count >= 1);
    bool inQuote = false; // quoted text may run on over a line break of the value
    for (int i = 0; i < count; ++i) {
        const String& line = list[i];
        if (i > 0)
            FUZZ_CHECK(!line.empty() && (line[0] == u' ' || line[0] == TAB));
        FUZZ_CHECK(line.find_first_of(u"\r\n") == String::npos);
        const bool startsQuoted = inQuote;
        for (std::size_t k = 0; k < line.size(); ++k) {
            if (inQuote && line[k] == u'\\')
                ++k;
            else if (line[k] == u'"')
                inQuote = !inQuote;
        }
        const String trimmed = TrimRight(line);
        if (startsQuoted || trimmed.find(u'"') != String::npos || trimmed.size() <= static_cast<std::size_t>(width) + 1)
            continue;
        // No break is made that would leave a single character for what follows.
        std::size_t charactersAfter = 0;
        for (int j = i + 1; j < count; ++j)
            for (const char16_t c : list[j])
                charactersAfter += (c == u' ' || c == TAB || c == u',') ? 0 : 1;
        if (charactersAfter <= 1)
            continue;
        // An over-long line must have had nowhere to break. The break characters that
        // follow a break point are passed over with it and begin the next line, so a
        // run of them at the start of a line offers no break.
        auto isBreakChar = [](char16_t c) { return c == u' ' || c == TAB || c == u','; };
        std::size_t k = 1;
        while (i > 0 && k < trimmed.size() && isBreakChar(trimmed[k]))
            ++k;
        const std::size_t limit = std::min<std::size_t>(static_cast<std::size_t>(width), trimmed.size());
        for (; k < limit; ++k)
            FUZZ_CHECK(!isBreakChar(trimmed[k]));
    }
    FUZZ_CHECK(Normalize(list.GetValue(u"X-Fuzz")) == Normalize(value));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    static constexpr TIdHeaderQuotingType kQuoteTypes[] = {
        TIdHeaderQuotingType::QuoteRFC822, TIdHeaderQuotingType::QuoteMIME, TIdHeaderQuotingType::QuoteHTTP};
    const int width = (data[0] & 0x3F) < 8 ? 78 : (data[0] & 0x3F) + 8;
    const TIdHeaderQuotingType quoteType = kQuoteTypes[(data[0] >> 6) % 3];
    const String all = BytesToStringRaw(data + 2, size - 2);
    const std::size_t split = std::min<std::size_t>(data[1], all.size());
    const String value = all.substr(0, split);
    const String param = all.substr(split);

    // Folding, unfolding, replacement in place.
    TIdHeaderList list(TIdHeaderQuotingType::QuoteRFC822);
    list.SetFoldLinesLength(width);
    list.Add(u"From: a@b.c");
    list.SetValue(u"X-Fuzz", u"old value");
    list.Add(u"To: d@e.f");
    if (Trim(value).empty()) {
        list.SetValue(u"X-Fuzz", value);
    } else {
        list.SetValue(u"X-Fuzz", value);
        FUZZ_CHECK(list[0] == u"From: a@b.c" && list[list.Count() - 1] == u"To: d@e.f");
        TIdHeaderList alone(TIdHeaderQuotingType::QuoteRFC822);
        alone.SetFoldLinesLength(width);
        alone.SetValue(u"X-Fuzz", value);
        CheckFolding(alone, value, width);
    }
    // Folding must also be safe with folding off.
    TIdHeaderList unfolded(TIdHeaderQuotingType::QuoteRFC822);
    unfolded.SetFoldLines(false);
    unfolded.SetValue(u"X-Fuzz", value);
    for (int i = 0; i < unfolded.Count(); ++i) {
        const String& line = unfolded[i];
        for (std::size_t k = line.find_first_of(u"\r\n"); k != String::npos; k = line.find_first_of(u"\r\n", k + 1)) {
            const std::size_t next = line[k] == CR && k + 1 < line.size() && line[k + 1] == LF ? k + 2 : k + 1;
            FUZZ_CHECK(next < line.size() && (line[next] == u' ' || line[next] == TAB));
            k = next - 1;
        }
    }

    // Parameters: reading arbitrary values, and setting one reads it back.
    (void)ExtractHeaderParam(value, u"charset", quoteType);
    (void)HasMediaType(value, u"text");
    const String replaced = ReplaceParam(value, u"p", param, quoteType);
    if (!ExtractHeaderMainValue(value).empty() && !Trim(param).empty())
        FUZZ_CHECK(ExtractHeaderParam(replaced, u"P", quoteType) == param);

    const bool hasLineBreak = param.find_first_of(u"\r\n") != String::npos;
    // Through the list the value is folded: that is only safe for the parameter when
    // the other parts of the line hold no double quote of their own (quoted text is
    // never broken, so a stray quote shifts what counts as quoted).
    if (!ExtractHeaderMainValue(value).empty() && !Trim(param).empty() && !hasLineBreak &&
        value.find_first_of(u"\r\n\"") == String::npos) {
        TIdHeaderList headers(TIdHeaderQuotingType::QuoteRFC822);
        headers.SetFoldLinesLength(width);
        headers.SetValue(u"Content-Type", value);
        headers.SetParam(u"Content-Type", u"p", param);
        FUZZ_CHECK(headers.GetParam(u"content-type", u"p") == param);
    }
    return 0;
}
