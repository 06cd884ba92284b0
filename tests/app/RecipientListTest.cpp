#include "app/RecipientList.h"
#include "platform/Utf.h"

#include <gtest/gtest.h>

using orvant::app::ParseRecipients;

TEST(RecipientList, EveryAddressOfACommaOrSemicolonListWithItsName)
{
    const auto list = ParseRecipients(u"Fulano <contador@example.com>, outro@example.com; \"Souza, Ana\" <ana@x.com.br>");
    ASSERT_EQ(list.Problem, u"");
    ASSERT_EQ(list.Recipients.size(), 3u);
    EXPECT_EQ(list.Recipients[0].Name, u"Fulano");
    EXPECT_EQ(list.Recipients[0].Address, u"contador@example.com");
    EXPECT_EQ(list.Recipients[1].Address, u"outro@example.com");
    EXPECT_EQ(list.Recipients[2].Name, u"Souza, Ana");
    EXPECT_EQ(orvant::app::RecipientAddresses(list), u"contador@example.com, outro@example.com, ana@x.com.br");
    EXPECT_EQ(ParseRecipients(u"a@x.com,, ;b@y.com").Recipients.size(), 2u);
}

TEST(RecipientList, APartThatIsNoUsableAddressRefusesTheWholeTextAndIsNamed)
{
    const std::u16string local64(64, u'a');
    EXPECT_EQ(ParseRecipients(local64 + u"@example.com").Problem, u"");
    const struct {
        std::u16string Typed;
        std::u16string Named;
    } refused[] = {
        {u"ok@example.com, joão@example.com", u"o caractere \"ã\", fora do ASCII"},
        {u"contador@açaí.com.br", u"\"ç\""},
        {local64 + u"a@example.com", u"tem 65 caracteres; o limite é 64"},
        {u"a@" + std::u16string(250, u'b') + u".com", u"tem 256 caracteres; o limite é 254"},
        {u"ok@example.com; Fulano", u"\"Fulano\" não é um endereço de e-mail válido: falta o @"},
        {u"a@x.com b@y.com", u"separe vários endereços"},
        {u"a..b@x.com", u"ponto fora de lugar"},
        {u"a@-x.com", u"o domínio \"-x.com\""},
        {u"Fulano <>", u"\"Fulano <>\" não tem endereço de e-mail"},
        {u" , ; ", u"não tem nenhum endereço"},
        {std::u16string(201, u'N') + u" <a@x.com>", u"O nome do destinatário a@x.com tem 201 caracteres"},
    };
    for (const auto& r : refused) {
        const auto list = ParseRecipients(r.Typed);
        EXPECT_NE(list.Problem.find(r.Named), std::u16string::npos)
            << orvant::platform::Utf16ToUtf8(r.Typed) << " -> " << orvant::platform::Utf16ToUtf8(list.Problem);
    }
    std::u16string many;
    for (int i = 0; i < 101; ++i)
        many += u"c" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) + u"@x.com,";
    EXPECT_NE(ParseRecipients(many).Problem.find(u"São 101 destinatários; o limite é 100"), std::u16string::npos);
}
