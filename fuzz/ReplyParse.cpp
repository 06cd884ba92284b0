// Server replies as the SMTP client receives them: the input is split at LF, each
// line stripped and blank lines skipped, and lines are gathered until the reply's
// end marker, then handed to one reply record (kept across replies, as a connection
// keeps its last reply). For every complete reply:
//  - reading it either fails with the invalid-code error and leaves the record empty,
//    or gives a code between 100 and 999 and one text line per received line;
//  - an available enhanced code reads back as a valid enhanced code;
//  - the formatted reply, received again, gives the same code, enhanced code and text;
//  - the refusal raised for it carries the code, the text and the enhanced code (or,
//    for a stored class other than 2, 4 or 5, is the class error);
//  - a copy formats the same way.
#include "mime/IdGlobal.h"
#include "smtp/IdReplySMTP.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <typeinfo>

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "reply property violated: %s\n", what);
        std::abort();
    }
}
#define REQUIRE(condition) Require((condition), #condition)

// The lines of a formatted reply after the trip to a peer that reads them like we do.
TStrings AsReceived(const TStrings& sent)
{
    TStrings received;
    for (const String& line : sent)
        received.Add(Trim(line));
    return received;
}

// A text line that a formatted reply without enhanced code sends bare, but which reads
// back as an enhanced code: the format cannot tell the two apart.
bool AmbiguousWithoutEnhancedCode(const TIdReplySMTP& reply)
{
    if (reply.EnhancedCode().Available())
        return false;
    for (const String& text : reply.Text())
        if (!Trim(text).empty() && IsValidEnhancedCode(text))
            return true;
    return false;
}

bool ValidClass(std::uint32_t statusClass)
{
    return statusClass == 2 || statusClass == 4 || statusClass == 5;
}

void CheckFormattedReply(const TIdReplySMTP& reply)
{
    const TStrings formatted = reply.FormattedReply();
    const TStrings received = AsReceived(formatted);
    REQUIRE(received.Count() >= 1);
    for (int i = 0; i < received.Count(); ++i)
        REQUIRE(reply.IsEndMarker(received[i]) == (i == received.Count() - 1));

    TIdReplySMTP back;
    back.SetFormattedReply(received);
    REQUIRE(back.NumericCode() == reply.NumericCode());
    if (AmbiguousWithoutEnhancedCode(reply))
        return;
    REQUIRE(back.Text() == reply.Text());
    REQUIRE(back.EnhancedCode().Available() == reply.EnhancedCode().Available());
    REQUIRE(back.EnhancedCode().ReplyAsStr() == reply.EnhancedCode().ReplyAsStr());
}

void CheckRefusal(const TIdReplySMTP& reply)
{
    const TIdSMTPEnhancedCode& enhanced = reply.EnhancedCode();
    try {
        reply.RaiseReplyError();
    } catch (const EIdSMTPReplyError& e) {
        REQUIRE(ValidClass(enhanced.StatusClass()));
        REQUIRE(e.ErrorCode() == reply.NumericCode());
        REQUIRE(e.Message() == reply.Text().Text());
        REQUIRE(e.EnhancedCode() == enhanced);
        return;
    } catch (const EIdSMTPReplyInvalidClass&) {
        REQUIRE(!ValidClass(enhanced.StatusClass()));
    }
}

void CheckCopy(const TIdReplySMTP& reply)
{
    TIdReplySMTP copy;
    try {
        copy.Assign(reply);
    } catch (const EIdSMTPReplyInvalidClass&) {
        REQUIRE(!ValidClass(reply.EnhancedCode().StatusClass()));
        return;
    }
    REQUIRE(copy.FormattedReply() == reply.FormattedReply());
}

void CheckReply(TIdReplySMTP& reply, const TStrings& lines)
{
    try {
        reply.SetFormattedReply(lines);
    } catch (const EIdException& e) {
        REQUIRE(typeid(e) == typeid(EIdException));
        REQUIRE(TextStartsWith(e.Message(), u"Reply Code is not valid: "));
        REQUIRE(reply.Code().empty() && reply.Text().IsEmpty());
        return;
    }
    REQUIRE(reply.NumericCode() >= 100 && reply.NumericCode() <= 999);
    REQUIRE(reply.Text().Count() == lines.Count());
    REQUIRE(reply.ReplyExists());
    const TIdSMTPEnhancedCode& enhanced = reply.EnhancedCode();
    if (enhanced.Available())
        REQUIRE(!enhanced.ReplyAsStr().empty() && IsValidEnhancedCode(enhanced.ReplyAsStr()));

    CheckFormattedReply(reply);
    CheckRefusal(reply);
    CheckCopy(reply);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    String input = BytesToStringRaw(data, size);
    TIdReplySMTP reply;
    TStrings lines;
    while (!input.empty()) {
        const String line = Trim(Fetch(input, u"\n"));
        if (line.empty())
            continue;
        lines.Add(line);
        if (reply.IsEndMarker(line)) {
            CheckReply(reply, lines);
            lines.Clear();
        }
    }
    // A reply without its last line is still being received: nothing to check.
    return 0;
}
