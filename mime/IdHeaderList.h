#pragma once
// Header lines of a message or a message part, held exactly as they go on the wire.
//
// A long header is one line "Name: value" followed by continuation lines that begin
// with a blank or a tab. Setting a value folds it at the fold width (78 columns by
// default); reading a value unfolds it. Parameters ("; name=value" after the main
// value of Content-Type and the like) are read, set and quoted here as well.
//
// Text typed by a user never starts a header line of its own: wherever a value
// becomes lines, every piece after a line break begins with a blank or a tab, and
// pieces that would be empty are dropped (an empty line would end the header block).

#include "mime/IdGlobal.h"
#include "mime/IdStrings.h"

#include <climits>

// Which characters force a parameter value into double quotes.
enum class TIdHeaderQuotingType {
    QuotePlain,  // none
    QuoteRFC822, // ( ) < > , ; : \ . / @ "
    QuoteMIME,   // ( ) < > , ; : \ / [ ] ? = @ "   (RFC 2045 tspecials)
    QuoteHTTP,   // ( ) < > , ; : \ / [ ] ? = { } @ " blank tab
};

class TIdHeaderList : public TStringList {
public:
    explicit TIdHeaderList(TIdHeaderQuotingType quoteType);

    // Index of the first header line (not a continuation line) named `name`,
    // compared without regard to case; -1 when there is none.
    int IndexOfName(StringView name) const;
    // The name of the line: its text before the name delimiter (":"); empty for a
    // continuation line or a line without the delimiter.
    String GetName(int index) const;
    String Names(int index) const { return GetName(index); }

    // The value of the first header of that name, unfolded and trimmed; empty when
    // there is none.
    String GetValue(StringView name) const;
    // The value of the header line at index (unfolded when UnfoldLines is on).
    String ValueFromIndex(int index) const;
    String Values(StringView name) const { return GetValue(name); }

    // Replaces the first header of that name in place (with its continuation lines),
    // appends a new one at the end, or, for an empty value, deletes it.
    void SetValue(StringView name, StringView value);
    void SetValues(StringView name, StringView value) { SetValue(name, value); }
    // Appends a header even when the name exists; nothing when name or value is empty.
    void AddValue(StringView name, StringView value);

    // From another header list the lines are appended unchanged; from a plain list
    // of name=value lines each line is added with AddValue.
    void AddStrings(const TIdHeaderList& source);
    void AddStrings(const TStringList& source) { AddStdValues(source); }
    void AddStdValues(const TStringList& source);
    // Appends "name=value" (value unfolded) for every header to a plain list.
    void ConvertToStdValues(TStringList& dest) const;
    // Appends the unfolded value of every header named `name`.
    void Extract(StringView name, TStringList& dest) const;

    // Parameter access with the quoting rules of the header's name (see QuoteTypeOf).
    String GetParam(StringView name, StringView param) const;
    // Sets (or, with an empty value, removes) a parameter; a missing header stays missing.
    void SetParam(StringView name, StringView param, StringView value);
    // The value's text after its first ";", trimmed.
    String GetAllParams(StringView name) const;
    // When the header exists: main value, then "; " and the text (main value alone
    // for an empty text).
    void SetAllParams(StringView name, StringView params);

    // The quoting rules for parameters of header `name` in this list: Content-Type and
    // Content-Disposition use MIME rules in RFC 822 and MIME lists, other names RFC 822.
    TIdHeaderQuotingType QuoteTypeOf(StringView name) const;

    const String& NameValueSeparator() const { return FNameValueSeparator; }
    void SetNameValueSeparator(const String& value);
    bool UnfoldLines() const { return FUnfoldLines; }
    void SetUnfoldLines(bool value) { FUnfoldLines = value; }
    bool FoldLines() const { return FFoldLines; }
    void SetFoldLines(bool value) { FFoldLines = value; }
    int FoldLinesLength() const { return FFoldLinesLength; }
    void SetFoldLinesLength(int value) { FFoldLinesLength = value; }
    TIdHeaderQuotingType QuoteType() const { return FQuoteType; }

private:
    bool IsContinuation(int index) const;
    void DeleteContinuationLines(int index);
    // The text that ends a header name: the separator without its trailing blanks.
    String NameDelimiter() const;
    // Name + separator + value as list lines: folded when FoldLines is on, always
    // with line breaks neutralised.
    std::vector<String> MakeHeaderLines(StringView name, StringView value) const;
    void PutLines(int index, const std::vector<String>& lines);

    String FNameValueSeparator = u": ";
    bool FUnfoldLines = true;
    bool FFoldLines = true;
    int FFoldLinesLength = 78;
    TIdHeaderQuotingType FQuoteType;
};

// Breaks a header line for folding: the break text goes in after the last break
// character that keeps the line within maxColumn. Nothing inside double quotes is
// broken (a backslash inside them escapes the next character, so an escaped quote
// does not end them); a break text already in the line stays a break and restarts
// the count.
String WrapHeaderLine(StringView line, StringView breakText, StringView breakChars, int maxColumn);

// The parameter value as it is written after "=": in double quotes (with "\" before
// "\", the double quote and, for RFC 822 and MIME rules, CR) when it holds a control
// character, a blank, DEL or a special character of the quoting type.
String QuoteParamValue(StringView value, TIdHeaderQuotingType quoteType);

// The header value with parameter `param` set to newValue (appended when missing,
// replaced in place when present) or removed when the trimmed new value is empty.
// Empty when the value has no main value. The second form also gives the value the
// parameter had before (empty when it had none).
String ReplaceParam(StringView value, StringView param, StringView newValue,
                    TIdHeaderQuotingType quoteType);
String ReplaceParam(StringView value, StringView param, StringView newValue,
                    TIdHeaderQuotingType quoteType, String& oldValue);

// The parameter's value (unquoted) in a header value; empty when it is missing.
String ExtractHeaderParam(StringView value, StringView param, TIdHeaderQuotingType quoteType);

// The main value of a header value: its text before the first ";", trimmed.
String ExtractHeaderMainValue(StringView value);

// True when the main value of `value` is the media type ("text/plain"), or, for a
// bare type ("text"), when it is of that type ("text/...").
bool HasMediaType(StringView value, StringView mediaType);
