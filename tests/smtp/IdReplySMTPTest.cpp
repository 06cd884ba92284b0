#include "smtp/IdReplySMTP.h"

#include <gtest/gtest.h>

#include <ostream>

// Lets GoogleTest show string lists in failures.
static void PrintTo(const TStrings& lines, std::ostream* os)
{
    *os << ToUtf8(lines.Text());
}

namespace {

// Hands the received lines of one reply to the record as the command connection does.
void Receive(TIdReplySMTP& reply, const TStrings& lines)
{
    for (int i = 0; i < lines.Count(); ++i)
        ASSERT_EQ(reply.IsEndMarker(lines[i]), i == lines.Count() - 1) << ToUtf8(lines[i]);
    reply.SetFormattedReply(lines);
}

TIdSMTPEnhancedCode Enhanced(StringView text)
{
    TIdSMTPEnhancedCode code;
    code.SetReplyAsStr(text);
    return code;
}

template <class E, class F>
String ErrorOf(F&& f)
{
    try {
        f();
    } catch (const E& e) {
        return e.Message();
    }
    return u"<no " + FromUtf8(typeid(E).name()) + u">";
}

} // namespace

TEST(IdReplySMTP, CapabilityLinesAreTextAndKeepThePreviousEnhancedCode)
{
    TIdReplySMTP reply;
    reply.EnhancedCode().SetReplyAsStr(u"2.1.5");
    Receive(reply, {u"250-mail.example.com", u"250-PIPELINING", u"250-AUTH LOGIN PLAIN", u"250 8BITMIME"});
    EXPECT_EQ(reply.NumericCode(), 250);
    EXPECT_EQ(reply.Text(), (TStrings{u"mail.example.com", u"PIPELINING", u"AUTH LOGIN PLAIN", u"8BITMIME"}));
    EXPECT_EQ(reply.EnhancedCode().ReplyAsStr(), u"2.1.5");
}

TEST(IdReplySMTP, EnhancedCodeIsTakenFromTheTextAndWrittenBack)
{
    TIdReplySMTP reply;
    Receive(reply, {u"250 2.1.5 Ok"});
    EXPECT_EQ(reply.Code(), u"250");
    EXPECT_EQ(reply.Text(), TStrings{u"Ok"});
    EXPECT_TRUE(reply.EnhancedCode().Available());
    EXPECT_EQ(reply.EnhancedCode().StatusClass(), 2u);
    EXPECT_EQ(reply.EnhancedCode().Subject(), 1u);
    EXPECT_EQ(reply.EnhancedCode().Details(), 5u);
    EXPECT_EQ(reply.FormattedReply(), TStrings{u"250 2.1.5 Ok"});

    const TStrings refusal{u"550-5.7.1 first", u"550 5.7.1 second"};
    Receive(reply, refusal);
    EXPECT_EQ(reply.Text(), (TStrings{u"first", u"second"}));
    EXPECT_EQ(reply.FormattedReply(), refusal);

    // A later line's code replaces an earlier one; only the first word is taken.
    Receive(reply, {u"250-2.0.0 a", u"250 2.1.0 2.2.2 b"});
    EXPECT_EQ(reply.EnhancedCode().ReplyAsStr(), u"2.1.0");
    EXPECT_EQ(reply.Text(), (TStrings{u"a", u"2.2.2 b"}));
    EXPECT_EQ(reply.FormattedReply(), (TStrings{u"250-2.1.0 a", u"250 2.1.0 2.2.2 b"}));
}

TEST(IdReplySMTP, ReplyWithoutEnhancedCodeKeepsTheOneBeforeButABareCodeDropsIt)
{
    TIdReplySMTP reply;
    Receive(reply, {u"250 2.1.5 Ok"});
    Receive(reply, {u"354 End data with <CR><LF>.<CR><LF>"});
    EXPECT_EQ(reply.Text(), TStrings{u"End data with <CR><LF>.<CR><LF>"});
    EXPECT_EQ(reply.EnhancedCode().ReplyAsStr(), u"2.1.5");

    Receive(reply, {u"235"});
    EXPECT_EQ(reply.Code(), u"235");
    EXPECT_EQ(reply.Text(), TStrings{u""});
    EXPECT_FALSE(reply.EnhancedCode().Available());
    EXPECT_EQ(reply.FormattedReply(), TStrings{u"235 "});
    // Clearing leaves the enhanced code alone too.
    Receive(reply, {u"250 2.0.0"});
    reply.Clear();
    EXPECT_EQ(reply.EnhancedCode().ReplyAsStr(), u"2.0.0");
    EXPECT_EQ(reply.FormattedReply(), TStrings{});
    reply.SetCode(u"250");
    EXPECT_EQ(reply.FormattedReply(), TStrings{u"250 2.0.0"});
}

TEST(IdReplySMTP, CodesWithoutTheBlankAreInvalidAndLeaveTheReplyEmpty)
{
    TIdReplySMTP reply;
    reply.SetReply(250, u"previous");
    // The fourth character is not a blank, so a later line ends the reply.
    EXPECT_EQ(ErrorOf<EIdException>([&] { Receive(reply, {u"HELLO world", u"250 OK"}); }),
              u"Reply Code is not valid: HELL");
    EXPECT_EQ(reply.Code(), u"");
    EXPECT_TRUE(reply.Text().IsEmpty());
    EXPECT_EQ(ErrorOf<EIdException>([&] { Receive(reply, {u"250OK", u"250 OK"}); }),
              u"Reply Code is not valid: 250O");
    EXPECT_EQ(ErrorOf<EIdException>([&] { Receive(reply, {u"2xx"}); }), u"Reply Code is not valid: 2xx");
    EXPECT_FALSE(reply.ReplyExists());
}

TEST(IdSMTPEnhancedCode, TestLooksAtTheFirstWordOnly)
{
    for (StringView pass : {u"2.0.0", u"5.7.1 Relaying denied", u"4.4.2", u"", u"   ", u"25.1.1 x", u"2.10.300"})
        EXPECT_TRUE(IsValidEnhancedCode(pass)) << ToUtf8(pass);
    for (StringView fail : {u"8BITMIME", u"SIZE 10240000", u"AUTH LOGIN", u"mail.example.com", u"2.0",
                            u"3.1.1", u"2..1", u"2.1.", u"2.x.1", u"2.1.1.1", u"Ok 2.0.0", u" 2.0.0 x", u"2u.1.1"})
        EXPECT_FALSE(IsValidEnhancedCode(fail)) << ToUtf8(fail);
}

TEST(IdSMTPEnhancedCode, SettersApplyTheirRules)
{
    TIdSMTPEnhancedCode code;
    EXPECT_EQ(code.ReplyAsStr(), u"");
    EXPECT_EQ(ErrorOf<EIdSMTPReplyInvalidClass>([&] { code.SetStatusClass(3); }), u"Invalid Reply Class.");
    EXPECT_EQ(ErrorOf<EIdSMTPReply>([&] { code.SetReplyAsStr(u"3.1.1"); }), u"Invalid Reply String.");
    EXPECT_EQ(ErrorOf<EIdSMTPReplyInvalidReplyString>([&] { code.SetReplyAsStr(u"2.0"); }),
              u"Invalid Reply String.");
    EXPECT_FALSE(code.Available());

    code.SetStatusClass(5);
    code.SetSubject(7);
    code.SetAvailable(true); // becoming available starts from 2.0.0
    EXPECT_EQ(code.ReplyAsStr(), u"2.0.0");
    code.SetSubject(1234);
    code.SetAvailable(true);
    EXPECT_EQ(code.ReplyAsStr(), u"2.123.0");
    code.SetAvailable(false);
    EXPECT_EQ(code.Subject(), 1234u);

    code.SetReplyAsStr(u"4.4.2 rest");
    EXPECT_EQ(code.ReplyAsStr(), u"4.4.2");
    code.SetReplyAsStr(u"");
    EXPECT_FALSE(code.Available());
    EXPECT_EQ(code.StatusClass(), 4u);
}

TEST(IdReplySMTP, RefusalCarriesACopyOfTheEnhancedCode)
{
    TIdReplySMTP reply;
    Receive(reply, {u"550 5.7.1 refused"});
    try {
        reply.RaiseReplyError();
    } catch (const EIdReplyRFCError& e) {
        const auto& smtp = dynamic_cast<const EIdSMTPReplyError&>(e);
        EXPECT_EQ(smtp.ErrorCode(), 550);
        EXPECT_EQ(smtp.Message(), u"refused\r\n");
        EXPECT_TRUE(smtp.EnhancedCode().Available());
        EXPECT_EQ(smtp.EnhancedCode().ReplyAsStr(), u"5.7.1");
        return;
    }
    FAIL() << "no exception";
}

TEST(IdReplySMTP, CopyingChecksTheStatusClass)
{
    // Only the first character of 25 is tested, so the class is stored as 25; the
    // checked copy that building the exception makes then refuses it.
    TIdReplySMTP reply;
    Receive(reply, {u"550 25.1.1 x"});
    EXPECT_EQ(reply.EnhancedCode().StatusClass(), 25u);
    EXPECT_EQ(ErrorOf<EIdSMTPReply>([&] { reply.RaiseReplyError(); }), u"Invalid Reply Class.");

    TIdReplySMTP target;
    Receive(target, {u"250 2.0.0 fine"});
    EXPECT_EQ(ErrorOf<EIdSMTPReplyInvalidClass>([&] { target.Assign(reply); }), u"Invalid Reply Class.");
    EXPECT_EQ(target.EnhancedCode().ReplyAsStr(), u"2.0.0");
}

TEST(IdReplySMTP, ClassThatIsNoNumberIsText)
{
    // Found by fuzzing: 2u passed on its first character, was stored as class 0 and
    // written back as 0.1.1.
    TIdReplySMTP reply;
    Receive(reply, {u"550 2u.1.1 x"});
    EXPECT_EQ(reply.Text(), TStrings{u"2u.1.1 x"});
    EXPECT_FALSE(reply.EnhancedCode().Available());
    EXPECT_EQ(reply.FormattedReply(), TStrings{u"550 2u.1.1 x"});
    EXPECT_EQ(ErrorOf<EIdSMTPReplyError>([&] { reply.RaiseReplyError(); }), u"2u.1.1 x\r\n");
    EXPECT_EQ(ErrorOf<EIdSMTPReplyInvalidReplyString>([&] { reply.EnhancedCode().SetReplyAsStr(u"2u.1.1"); }),
              u"Invalid Reply String.");
}

TEST(IdReplySMTP, CopyBetweenSMTPRepliesTakesTheEnhancedCode)
{
    TIdReplySMTP source;
    Receive(source, {u"451-4.3.0 try", u"451 4.3.0 later"});
    TIdReplySMTP target;
    target.Assign(source);
    EXPECT_EQ(target.Code(), u"451");
    EXPECT_EQ(target.Text(), (TStrings{u"try", u"later"}));
    EXPECT_EQ(target.EnhancedCode(), source.EnhancedCode());

    // From an RFC reply only code and text come; the enhanced code stays.
    TIdReplyRFC rfc;
    rfc.SetReply(250, u"OK");
    target.Assign(rfc);
    EXPECT_EQ(target.FormattedReply(), TStrings{u"250 4.3.0 OK"});

    // A copy of an unavailable code keeps its numbers.
    TIdSMTPEnhancedCode stored = Enhanced(u"5.1.1");
    stored.SetAvailable(false);
    TIdSMTPEnhancedCode copy;
    copy.Assign(stored);
    EXPECT_EQ(copy, stored);
}

TEST(IdReplySMTP, SetEnhReplyAndFormattingWithoutText)
{
    TIdReplySMTP reply;
    reply.SetEnhReply(250, u"2.0.0", u"");
    EXPECT_EQ(reply.FormattedReply(), TStrings{u"250 2.0.0"});
    reply.SetEnhReply(550, u"5.1.1", u"No such user\r\nhere");
    EXPECT_EQ(reply.FormattedReply(), (TStrings{u"550-5.1.1 No such user", u"550 5.1.1 here"}));
    EXPECT_EQ(ErrorOf<EIdSMTPReplyInvalidReplyString>([&] { reply.SetEnhReply(550, u"x", u""); }),
              u"Invalid Reply String.");
    EXPECT_EQ(reply.Code(), u"550");
}
