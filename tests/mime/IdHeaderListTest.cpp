#include "mime/IdHeaderList.h"

#include <gtest/gtest.h>

namespace {

std::vector<String> LinesOf(const TIdHeaderList& list)
{
    return {list.begin(), list.end()};
}

TIdHeaderList Rfc822List(std::initializer_list<String> lines = {})
{
    TIdHeaderList list(TIdHeaderQuotingType::QuoteRFC822);
    for (const String& line : lines)
        list.Add(line);
    return list;
}

// 200 characters of words separated by single blanks.
String TwoHundredCharacterValue()
{
    String value;
    for (int i = 0; value.size() < 200; ++i)
        value += (value.empty() ? u"" : u" ") + String(u"palavra") + IntToStr(i);
    value.resize(200);
    if (value.back() == u' ')
        value.back() = u'z';
    return value;
}

} // namespace

TEST(IdHeaderList, LongValueIsFoldedAtBlanksWithinTheWidth)
{
    TIdHeaderList list = Rfc822List();
    const String value = TwoHundredCharacterValue();
    list.SetValue(u"Subject", value);

    const std::vector<String> lines = LinesOf(list);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_TRUE(TextStartsWith(lines[0], u"Subject: "));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(ToUtf8(lines[i]));
        if (i + 1 < lines.size()) {
            EXPECT_LE(lines[i].size(), 78u);
        }
        EXPECT_NE(lines[i].back(), u' ');
        if (i > 0) {
            EXPECT_EQ(lines[i][0], u' ');
            EXPECT_NE(lines[i][1], u' ');
        }
    }
    EXPECT_EQ(list.GetValue(u"subject"), value);
}

TEST(IdHeaderList, NothingInsideDoubleQuotesIsBroken)
{
    TIdHeaderList list = Rfc822List();
    String quoted = u"\"";
    for (int i = 0; i < 30; ++i)
        quoted += u"nota fiscal ";
    quoted += u"\"";
    list.SetValue(u"X-Long", quoted);
    EXPECT_EQ(LinesOf(list), std::vector<String>{u"X-Long: " + quoted});

    // An escaped double quote does not end the quoted text.
    list.Clear();
    const String escaped = u"\"" + quoted.substr(1, 40) + u"\\\" " + quoted.substr(1);
    list.SetValue(u"X-Long", escaped);
    EXPECT_EQ(LinesOf(list), std::vector<String>{u"X-Long: " + escaped});

    // A long quoted file name stays whole on its line, whatever comes before it.
    list.Clear();
    const String disposition = u"attachment; filename=\"Notas fiscais da Loja Centro de Sao Paulo, marco de 2026 (PDV 01 a PDV 20).7z\"";
    list.SetValue(u"Content-Disposition", disposition);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.GetParam(u"Content-Disposition", u"filename"),
              u"Notas fiscais da Loja Centro de Sao Paulo, marco de 2026 (PDV 01 a PDV 20).7z");
}

TEST(IdHeaderList, WrapHeaderLineKeepsBreaksAlreadyThereAndAvoidsLoneCharacters)
{
    // Encoded words arrive separated by CR LF and a blank: each stays a break and
    // restarts the count. The first word does not fit behind the name, so the line
    // breaks after "Subject:".
    const String first = u"=?UTF-8?B?w6fDp8Onw6fDp8Onw6fDp8Onw6fDp8Onw6fDp8Onw6fDp8Onw6fDp8Onw6fD?=";
    const String second = u"=?UTF-8?B?w6fDp8On?=";
    EXPECT_EQ(WrapHeaderLine(u"Subject: " + first + u"\r\n " + second, u"\r\n ", u"\t ,", 78),
              u"Subject: \r\n " + first + u"\r\n " + second);

    // A break that would leave next to nothing for the next line is not made.
    const String almost = String(76, u'a') + u" bc";
    EXPECT_EQ(WrapHeaderLine(almost, u"\r\n ", u"\t ,", 78), almost);
    const String enough = String(76, u'a') + u" bcd";
    EXPECT_EQ(WrapHeaderLine(enough, u"\r\n ", u"\t ,", 78), String(76, u'a') + u" \r\n bcd");

    // A comma is a break point too; the comma ends its line.
    const String addresses = u"To: " + String(60, u'x') + u"@a.br,yy@b.com.br,zz@c.com.br";
    EXPECT_EQ(WrapHeaderLine(addresses, u"\r\n ", u"\t ,", 78),
              u"To: " + String(60, u'x') + u"@a.br,\r\n yy@b.com.br,zz@c.com.br");

    // The width is reached at the end of a word: the blank behind it is the next
    // line's break point, so that line stays within the width too.
    const String wordAtWidth = u"X: " + String(75, u'a') + u" " + String(20, u'b') + u" c";
    EXPECT_EQ(WrapHeaderLine(wordAtWidth, u"\r\n ", u"\t ,", 78),
              u"X: \r\n " + String(75, u'a') + u" \r\n " + String(20, u'b') + u" c");
    // Blanks passed over at a break point begin the next line and count on it.
    const String blanks = String(77, u'a') + String(8, u' ') + String(70, u'c') + u" dddd";
    EXPECT_EQ(WrapHeaderLine(blanks, u"\r\n ", u"\t ,", 78),
              String(77, u'a') + u" \r\n " + String(7, u' ') + String(70, u'c') + u" \r\n dddd");

    // Without a break character the line is never broken.
    const String word(120, u'z');
    EXPECT_EQ(WrapHeaderLine(word, u"\r\n ", u"\t ,", 78), word);
}

TEST(IdHeaderList, SetValueReplacesAFoldedHeaderInPlace)
{
    TIdHeaderList list = Rfc822List({u"subject: old text that was", u" folded once", u"X-Private: stays"});
    list.SetValue(u"Subject", u"Loja Centro - XML");
    EXPECT_EQ(LinesOf(list), (std::vector<String>{u"Subject: Loja Centro - XML", u"X-Private: stays"}));

    // A new name goes to the end.
    list.SetValue(u"To", u"contador@example.com.br");
    EXPECT_EQ(list[2], u"To: contador@example.com.br");
    // A second header of the same name is left alone: only the first is replaced.
    list.Add(u"X-Private: second");
    list.SetValue(u"x-private", u"changed");
    EXPECT_EQ(list[1], u"x-private: changed");
    EXPECT_EQ(list[3], u"X-Private: second");
}

TEST(IdHeaderList, EmptyValueDeletesTheHeaderWithItsContinuationLines)
{
    TIdHeaderList list = Rfc822List({u"From: a@b.c", u"Subject: one", u"\ttwo", u" three", u"To: d@e.f"});
    list.SetValue(u"SUBJECT", u"");
    EXPECT_EQ(LinesOf(list), (std::vector<String>{u"From: a@b.c", u"To: d@e.f"}));

    list.SetValue(u"Cc", u"");
    EXPECT_EQ(list.Count(), 2);
    list.AddValue(u"Cc", u"");
    list.AddValue(u"", u"value");
    EXPECT_EQ(list.Count(), 2);
}

TEST(IdHeaderList, GetValueUnfoldsAndTrims)
{
    TIdHeaderList list = Rfc822List({u"Subject:   Loja  ", u"\t  Centro ", u"  - XML", u"To:x@y.z", u"Broken line"});
    EXPECT_EQ(list.GetValue(u"subject"), u"Loja Centro - XML");
    EXPECT_EQ(list.GetValue(u"To"), u"x@y.z");
    EXPECT_EQ(list.GetValue(u"Cc"), u"");
    // Continuation lines and lines without a colon have no name.
    EXPECT_EQ(list.IndexOfName(u"Centro"), -1);
    EXPECT_EQ(list.GetName(1), u"");
    EXPECT_EQ(list.GetName(4), u"");
    EXPECT_EQ(list.Names(3), u"To");
    EXPECT_EQ(list.Values(u"TO"), u"x@y.z");

    list.SetUnfoldLines(false);
    EXPECT_EQ(list.GetValue(u"Subject"), u"Loja");
}

TEST(IdHeaderList, ContentTypeParameters)
{
    TIdHeaderList list = Rfc822List();
    list.SetValue(u"Content-Type", u"multipart/mixed");
    list.SetParam(u"Content-Type", u"boundary", u"K9=_XM4V2Q46Qo8EcwZOy3qI97JoBZdNX4");
    // 76 characters: one line, boundary in double quotes because it holds "=".
    EXPECT_EQ(LinesOf(list),
              std::vector<String>{u"Content-Type: multipart/mixed; boundary=\"K9=_XM4V2Q46Qo8EcwZOy3qI97JoBZdNX4\""});
    EXPECT_EQ(list.GetParam(u"content-type", u"BOUNDARY"), u"K9=_XM4V2Q46Qo8EcwZOy3qI97JoBZdNX4");

    list.SetValue(u"Content-Type", u"text/plain");
    list.SetParam(u"Content-Type", u"charset", u"us-ascii");
    EXPECT_EQ(list.GetValue(u"Content-Type"), u"text/plain; charset=us-ascii");
    list.SetParam(u"Content-Type", u"charset", u"iso-8859-1");
    EXPECT_EQ(list.GetValue(u"Content-Type"), u"text/plain; charset=iso-8859-1");
    list.SetParam(u"Content-Type", u"charset", u"  ");
    EXPECT_EQ(list.GetValue(u"Content-Type"), u"text/plain");

    // A parameter of a missing header is not set.
    list.SetParam(u"Content-Disposition", u"filename", u"03.7z");
    EXPECT_EQ(list.IndexOfName(u"Content-Disposition"), -1);
}

TEST(IdHeaderList, GetParamReadsQuotedAndBareValues)
{
    TIdHeaderList list = Rfc822List({u"Content-Type: text/plain; charset=\"iso-8859-1\"",
                                     u"Content-Disposition: attachment; filename=\"a \\\"b\\\\c\\\".7z\" junk; size=12",
                                     u"X-Odd: main; flag; ; =novalue; key=value"});
    EXPECT_EQ(list.GetParam(u"Content-Type", u"charset"), u"iso-8859-1");
    EXPECT_EQ(list.GetParam(u"Content-Type", u"name"), u"");
    EXPECT_EQ(list.GetParam(u"Content-Disposition", u"filename"), u"a \"b\\c\".7z");
    EXPECT_EQ(list.GetParam(u"Content-Disposition", u"Size"), u"12");
    // A parameter without a value does not swallow the name of the next one.
    EXPECT_EQ(list.GetParam(u"X-Odd", u"key"), u"value");
    EXPECT_EQ(list.GetAllParams(u"Content-Type"), u"charset=\"iso-8859-1\"");

    list.SetAllParams(u"Content-Type", u"charset=utf-8");
    EXPECT_EQ(list.GetValue(u"Content-Type"), u"text/plain; charset=utf-8");
    list.SetAllParams(u"Content-Type", u"");
    EXPECT_EQ(list.GetValue(u"Content-Type"), u"text/plain");
    list.SetAllParams(u"Missing", u"a=b");
    EXPECT_EQ(list.IndexOfName(u"Missing"), -1);
}

TEST(IdHeaderList, QuotingRulesFollowTheHeaderName)
{
    const TIdHeaderList rfc822 = Rfc822List();
    EXPECT_EQ(rfc822.QuoteTypeOf(u"content-type"), TIdHeaderQuotingType::QuoteMIME);
    EXPECT_EQ(rfc822.QuoteTypeOf(u"Content-Disposition"), TIdHeaderQuotingType::QuoteMIME);
    EXPECT_EQ(rfc822.QuoteTypeOf(u"X-Mailer"), TIdHeaderQuotingType::QuoteRFC822);
    const TIdHeaderList mime(TIdHeaderQuotingType::QuoteMIME);
    EXPECT_EQ(mime.QuoteTypeOf(u"X-Mailer"), TIdHeaderQuotingType::QuoteRFC822);
    const TIdHeaderList http(TIdHeaderQuotingType::QuoteHTTP);
    EXPECT_EQ(http.QuoteTypeOf(u"Content-Type"), TIdHeaderQuotingType::QuoteHTTP);
    EXPECT_EQ(http.FoldLinesLength(), INT_MAX);
    EXPECT_EQ(rfc822.FoldLinesLength(), 78);

    EXPECT_EQ(QuoteParamValue(u"", TIdHeaderQuotingType::QuoteMIME), u"");
    EXPECT_EQ(QuoteParamValue(u"us-ascii", TIdHeaderQuotingType::QuoteMIME), u"us-ascii");
    EXPECT_EQ(QuoteParamValue(u"a=b", TIdHeaderQuotingType::QuoteMIME), u"\"a=b\"");
    EXPECT_EQ(QuoteParamValue(u"a=b", TIdHeaderQuotingType::QuoteRFC822), u"a=b");
    EXPECT_EQ(QuoteParamValue(u"03.7z", TIdHeaderQuotingType::QuoteRFC822), u"\"03.7z\"");
    EXPECT_EQ(QuoteParamValue(u"03.7z", TIdHeaderQuotingType::QuoteMIME), u"03.7z");
    EXPECT_EQ(QuoteParamValue(u"two words", TIdHeaderQuotingType::QuotePlain), u"\"two words\"");
    EXPECT_EQ(QuoteParamValue(u"a\"b\\c", TIdHeaderQuotingType::QuotePlain), u"\"a\\\"b\\\\c\"");
    EXPECT_EQ(QuoteParamValue(u"a\rb", TIdHeaderQuotingType::QuoteRFC822), u"\"a\\\rb\"");
    EXPECT_EQ(QuoteParamValue(u"a\rb", TIdHeaderQuotingType::QuoteHTTP), u"\"a\rb\"");
    EXPECT_EQ(QuoteParamValue(u"{x}", TIdHeaderQuotingType::QuoteHTTP), u"\"{x}\"");
    EXPECT_EQ(QuoteParamValue(u"caf\u00e9", TIdHeaderQuotingType::QuoteMIME), u"caf\u00e9");

    // What QuoteParamValue writes, the parameter reader gives back.
    const String tricky = u"a \"quoted\" \\ value; with=specials";
    EXPECT_EQ(ExtractHeaderParam(ReplaceParam(u"x/y", u"p", tricky, TIdHeaderQuotingType::QuoteMIME), u"p",
                                 TIdHeaderQuotingType::QuoteMIME),
              tricky);
}

TEST(IdHeaderList, ReplaceParamKeepsOrderAndReportsTheOldValue)
{
    String old;
    EXPECT_EQ(ReplaceParam(u"text/plain; charset=\"iso-8859-1\"; name=a.txt", u"CHARSET", u"", TIdHeaderQuotingType::QuoteMIME, old),
              u"text/plain; name=a.txt");
    EXPECT_EQ(old, u"iso-8859-1");
    EXPECT_EQ(ReplaceParam(u"text/plain; a=1; b=2", u"A", u"3", TIdHeaderQuotingType::QuoteMIME, old),
              u"text/plain; a=3; b=2");
    EXPECT_EQ(old, u"1");
    EXPECT_EQ(ReplaceParam(u"text/plain", u"name", u"x", TIdHeaderQuotingType::QuoteMIME, old), u"text/plain; name=x");
    EXPECT_EQ(old, u"");
    EXPECT_EQ(ReplaceParam(u"; a=1", u"b", u"2", TIdHeaderQuotingType::QuoteMIME), u"");
    EXPECT_EQ(ExtractHeaderMainValue(u"  multipart/mixed ; boundary=x"), u"multipart/mixed");
}

TEST(IdHeaderList, HasMediaType)
{
    EXPECT_TRUE(HasMediaType(u"Text/Plain; charset=us-ascii", u"text"));
    EXPECT_TRUE(HasMediaType(u"multipart/digest", u"MULTIPART/DIGEST"));
    EXPECT_FALSE(HasMediaType(u"multipart/digest", u"multipart/mixed"));
    EXPECT_FALSE(HasMediaType(u"textual/x", u"text"));
    EXPECT_FALSE(HasMediaType(u"text", u"text"));
}

TEST(IdHeaderList, ValuesNeverStartANewHeaderLine)
{
    // A subject typed with a line break and a header behind it stays in the subject.
    TIdHeaderList list = Rfc822List();
    list.SetValue(u"Subject", u"Loja\r\nBcc: intruso@example.com");
    list.SetValue(u"To", u"contador@example.com");
    EXPECT_EQ(LinesOf(list), (std::vector<String>{u"Subject: Loja", u" Bcc: intruso@example.com",
                                                  u"To: contador@example.com"}));
    EXPECT_EQ(list.IndexOfName(u"Bcc"), -1);
    EXPECT_EQ(list.GetValue(u"Subject"), u"Loja Bcc: intruso@example.com");

    // Lone line feeds and carriage returns count as line breaks; pieces that would be
    // empty lines (the end of the header block) are dropped.
    list.SetValue(u"Subject", u"a\nBcc: x\rCc: y\r\n\r\n\r\nbody\r\n ");
    EXPECT_EQ(LinesOf(list), (std::vector<String>{u"Subject: a", u" Bcc: x", u" Cc: y", u" body",
                                                  u"To: contador@example.com"}));

    // The same through AddValue, parameters and a list that does not fold.
    list.Clear();
    list.AddValue(u"X-Loja", u"Centro\r\nX-Injected: 1");
    list.SetValue(u"Content-Type", u"text/plain");
    list.SetParam(u"Content-Type", u"name", u"a\r\nX-Evil: 1");
    for (int i = 0; i < list.Count(); ++i)
        EXPECT_TRUE(list.GetName(i) != u"X-Injected" && list.GetName(i) != u"X-Evil") << ToUtf8(list[i]);

    TIdHeaderList unfolded = Rfc822List();
    unfolded.SetFoldLines(false);
    unfolded.SetValue(u"Subject", u"Loja\nBcc: x\r\n\r\nz");
    EXPECT_EQ(LinesOf(unfolded), std::vector<String>{u"Subject: Loja\r\n Bcc: x\r\n z"});
}

TEST(IdHeaderList, CopyingAndConvertingLists)
{
    TIdHeaderList headers = Rfc822List({u"Subject: a", u" b", u"X-Id: 1"});
    TIdHeaderList copy = Rfc822List({u"From: f@g.h"});
    copy.AddStrings(headers);
    EXPECT_EQ(LinesOf(copy), (std::vector<String>{u"From: f@g.h", u"Subject: a", u" b", u"X-Id: 1"}));
    copy.AddStrings(copy);
    EXPECT_EQ(copy.Count(), 8);

    TStringList plain{u"X-A=1", u"X-B=two words", u"X-Empty="};
    TIdHeaderList fromPlain = Rfc822List();
    fromPlain.AddStrings(plain);
    EXPECT_EQ(LinesOf(fromPlain), (std::vector<String>{u"X-A: 1", u"X-B: two words"}));

    TStringList converted;
    headers.ConvertToStdValues(converted);
    EXPECT_EQ(converted, (TStringList{u"Subject=a b", u"X-Id=1"}));

    TStringList extracted;
    copy.Extract(u"subject", extracted);
    EXPECT_EQ(extracted, (TStringList{u"a b", u"a b"}));

    TIdHeaderList assigned = Rfc822List();
    assigned.Assign(headers);
    EXPECT_EQ(LinesOf(assigned), LinesOf(headers));

    TIdHeaderList http(TIdHeaderQuotingType::QuoteHTTP);
    http.SetNameValueSeparator(u"=");
    http.SetValue(u"k", u"v");
    EXPECT_EQ(http[0], u"k=v");
    EXPECT_EQ(http.GetValue(u"K"), u"v");
}
