#include "smtp/IdReplyRFC.h"
#include "smtp/IdReplySMTP.h"

#include <gtest/gtest.h>

#include <ostream>

// Lets GoogleTest show string lists in failures.
static void PrintTo(const TStrings& lines, std::ostream* os)
{
    *os << ToUtf8(lines.Text());
}

namespace {

// Reads one reply from the lines as the command connection does: lines up to and
// including the first end marker. Returns how many lines the reply took.
int ReadReply(TIdReply& reply, const TStrings& received)
{
    TStrings lines;
    for (const String& line : received) {
        lines.Add(line);
        if (reply.IsEndMarker(line))
            break;
    }
    reply.SetFormattedReply(lines);
    return lines.Count();
}

// Runs f and returns the message of the EIdException it raises ("" when none).
template <class F>
String ErrorOf(F&& f)
{
    try {
        f();
    } catch (const EIdException& e) {
        return e.Message();
    }
    return {};
}

} // namespace

TEST(IdReplyRFC, MultiLineReplyGivesCodeAndOneTextLinePerLine)
{
    TIdReplyRFC reply;
    const TStrings ehlo{u"250-mail.example.com", u"250-PIPELINING", u"250-AUTH LOGIN PLAIN",
                        u"250 8BITMIME", u"220 next reply"};
    EXPECT_EQ(ReadReply(reply, ehlo), 4);
    EXPECT_EQ(reply.Code(), u"250");
    EXPECT_EQ(reply.NumericCode(), 250);
    EXPECT_EQ(reply.Text(), (TStrings{u"mail.example.com", u"PIPELINING", u"AUTH LOGIN PLAIN", u"8BITMIME"}));
    EXPECT_EQ(reply.FormattedReply(),
              (TStrings{u"250-mail.example.com", u"250-PIPELINING", u"250-AUTH LOGIN PLAIN", u"250 8BITMIME"}));
    EXPECT_EQ(reply.DisplayName(), u"250 mail.example.com");
}

TEST(IdReplyRFC, EndOfReplyIsAShortLineOrABlankAfterTheCode)
{
    const TIdReplyRFC reply;
    for (StringView end : {u"250 OK", u"250", u"2xx", u"", u"354 "})
        EXPECT_TRUE(reply.IsEndMarker(end)) << ToUtf8(end);
    // A server that writes 250OK without the blank has not ended its reply.
    for (StringView more : {u"250-PIPELINING", u"250OK", u"250_x"})
        EXPECT_FALSE(reply.IsEndMarker(more)) << ToUtf8(more);
}

TEST(IdReplyRFC, FormattedReplyForCodesWithoutTextAndTextWithoutCode)
{
    TIdReplyRFC reply;
    reply.SetReply(221, u"");
    EXPECT_EQ(reply.FormattedReply(), TStrings{u"221"});
    reply.SetReply(u"", u"one\r\ntwo");
    EXPECT_EQ(reply.FormattedReply(), (TStrings{u"one", u"two"}));
    // Writing the empty list clears the reply.
    reply.SetFormattedReply({});
    EXPECT_EQ(reply.Code(), u"");
    EXPECT_TRUE(reply.Text().IsEmpty());
    // Lines too short for a text give empty text lines; the RFC form takes only three
    // characters of code, so 250OK is the code 250.
    reply.SetFormattedReply({u"250OK", u"250-", u"250 last"});
    EXPECT_EQ(reply.Code(), u"250");
    EXPECT_EQ(reply.Text(), (TStrings{u"K", u"", u"last"}));
}

TEST(IdReplyRFC, CodeMustBeBlankOrBetween100And999)
{
    TIdReplyRFC reply;
    for (const String bad : {u"99", u"1000", u"abc", u"-250", u"0"}) {
        EXPECT_EQ(ErrorOf([&] { reply.SetCode(bad); }), u"Reply Code is not valid: " + bad);
        EXPECT_EQ(reply.Code(), u"");
    }
    reply.SetCode(u" 250 ");
    EXPECT_EQ(reply.NumericCode(), 250);
    reply.SetCode(u"  ");
    EXPECT_EQ(reply.NumericCode(), 0);
    EXPECT_FALSE(reply.ReplyExists());
}

TEST(IdReplyRFC, NewCodeClearsTheTextAndTheSameCodeKeepsIt)
{
    TIdReplyRFC reply;
    reply.SetReply(250, u"first\nsecond");
    EXPECT_EQ(reply.Text(), (TStrings{u"first", u"second"}));
    reply.SetCode(u"250");
    EXPECT_EQ(reply.Text().Count(), 2);
    reply.SetNumericCode(251);
    EXPECT_EQ(reply.Code(), u"251");
    EXPECT_TRUE(reply.Text().IsEmpty());
    EXPECT_TRUE(reply.ReplyExists());
    reply.Clear();
    EXPECT_FALSE(reply.ReplyExists());
    reply.Text().Add(u"text alone");
    EXPECT_TRUE(reply.ReplyExists());
}

TEST(IdReplyRFC, InvalidFirstLineLeavesTheReplyEmpty)
{
    TIdReplyRFC reply;
    reply.SetReply(250, u"previous");
    EXPECT_EQ(ErrorOf([&] { ReadReply(reply, {u"HELLO world", u"250 OK"}); }), u"Reply Code is not valid: HEL");
    EXPECT_EQ(reply.Code(), u"");
    EXPECT_TRUE(reply.Text().IsEmpty());
}

TEST(IdReplyRFC, RefusalRaisesTheCodeAndTheTextLines)
{
    TIdReplyRFC reply;
    ReadReply(reply, {u"550-No such user", u"550 here"});
    try {
        reply.RaiseReplyError();
    } catch (const EIdReplyRFCError& e) {
        EXPECT_EQ(e.ErrorCode(), 550);
        EXPECT_EQ(e.Message(), u"No such user\r\nhere\r\n");
        EXPECT_EQ(typeid(e), typeid(EIdReplyRFCError));
        return;
    }
    FAIL() << "no exception";
}

TEST(IdReplyRFC, CopyTakesNumericCodeAndTextFromAnyReply)
{
    TIdReplySMTP smtp;
    ReadReply(smtp, {u"550 5.7.1 refused"});
    TIdReplyRFC rfc;
    rfc.Assign(smtp);
    EXPECT_EQ(rfc.Code(), u"550");
    EXPECT_EQ(rfc.Text(), TStrings{u"refused"});
    rfc.Assign(rfc);
    EXPECT_EQ(rfc.Text(), TStrings{u"refused"});

    // An SMTP reply may carry a code such as 0250; the RFC copy writes it as a number.
    smtp.SetCode(u"0250");
    rfc.Assign(smtp);
    EXPECT_EQ(rfc.Code(), u"250");

    // A reply without any code copies as one (its number 0 is not a valid code).
    const TIdReplyRFC empty;
    rfc.Assign(empty);
    EXPECT_EQ(rfc.Code(), u"");
    EXPECT_TRUE(rfc.Text().IsEmpty());
}

TEST(IdReply, ClassesWithoutACopyRuleRefuseIt)
{
    // A reply class of another protocol that defines no copy of its own.
    class TPlainReply : public TIdReply {
    public:
        using TIdReply::TIdReply;
        void SetFormattedReply(const TStrings&) override {}
        [[noreturn]] void RaiseReplyError() const override { throw EIdReplyError(u"plain"); }
        String ClassName() const override { return u"TPlainReply"; }
    };
    TPlainReply plain;
    const TIdReplyRFC rfc;
    try {
        plain.Assign(rfc);
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), u"Cannot assign a TIdReplyRFC to a TPlainReply");
    }
    // The base accepts any code and answers for its code alone.
    plain.SetCode(u"+OK");
    EXPECT_EQ(plain.NumericCode(), 0);
    EXPECT_TRUE(plain.ReplyExists());
    EXPECT_FALSE(plain.IsEndMarker(u"+OK"));
}

TEST(IdReplies, CodesAreUniqueWithinACollection)
{
    TIdReplies replies(&CreateWithReplyTexts<TIdReplyRFC>);
    TIdReply& ok = replies.Add(250, u"OK");
    replies.Add(u"550", u"refused");
    EXPECT_EQ(ErrorOf([&] { replies.Add(250, u"again"); }), u"Reply Code already exists: 250");
    EXPECT_EQ(ErrorOf([&] { replies.Add(u"25", u"short"); }), u"Reply Code is not valid: 25");
    EXPECT_EQ(replies.Count(), 2);
    EXPECT_EQ(ErrorOf([&] { ok.SetCode(u"550"); }), u"Reply Code already exists: 550");
    EXPECT_EQ(ok.Code(), u"250");
    ok.SetCode(u"251");

    EXPECT_EQ(replies.Find(u"251"), &ok);
    EXPECT_EQ(replies.Find(u"251", &ok), nullptr);
    EXPECT_EQ(replies.Find(u""), nullptr);
    EXPECT_EQ(replies.Find(u" 550"), nullptr); // exact text, not the number
    EXPECT_NE(dynamic_cast<TIdReplyRFC*>(&replies[1]), nullptr);
}

TEST(IdReplies, DefaultTextsFillOnlyRepliesWithoutText)
{
    TIdReplies texts(&CreateWithReplyTexts<TIdReplySMTP>);
    texts.Add(421, u"Service not available");
    TIdReplySMTP reply(nullptr, &texts);
    reply.SetCode(u"421");
    reply.UpdateText();
    EXPECT_EQ(reply.Text(), TStrings{u"Service not available"});
    reply.SetReply(421, u"own text");
    reply.UpdateText();
    EXPECT_EQ(reply.Text(), TStrings{u"own text"});
    TIdReplySMTP alone;
    alone.SetCode(u"421");
    alone.UpdateText();
    EXPECT_TRUE(alone.Text().IsEmpty());
}
