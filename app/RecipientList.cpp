#include "app/RecipientList.h"

#include "mail/IdEMailAddress.h"

#include <algorithm>

namespace orvant::app {

namespace {

bool IsAsciiLetterOrDigit(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// RFC 5322 atext.
bool IsAtext(char16_t c)
{
    return IsAsciiLetterOrDigit(c) || std::u16string_view(u"!#$%&'*+-/=?^_`{|}~").find(c) != std::u16string_view::npos;
}

std::u16string Quoted(std::u16string_view text)
{
    return u"\"" + std::u16string(text) + u"\"";
}

// Dot-separated atoms of atext, none empty.
bool IsDotAtom(std::u16string_view text)
{
    bool atomStarted = false;
    for (const char16_t c : text) {
        if (c == u'.') {
            if (!atomStarted)
                return false;
            atomStarted = false;
        } else if (IsAtext(c)) {
            atomStarted = true;
        } else {
            return false;
        }
    }
    return atomStarted;
}

// Labels of letters, digits and hyphens, 1 to 63 long, not starting or ending with
// a hyphen.
bool IsHostName(std::u16string_view text)
{
    std::size_t labelStart = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != u'.') {
            if (!IsAsciiLetterOrDigit(text[i]) && text[i] != u'-')
                return false;
            continue;
        }
        const std::u16string_view label = text.substr(labelStart, i - labelStart);
        if (label.empty() || label.size() > 63 || label.front() == u'-' || label.back() == u'-')
            return false;
        labelStart = i + 1;
    }
    return true;
}

std::u16string NotAnAddress(std::u16string_view address, std::u16string_view why)
{
    return Quoted(address) + u" não é um endereço de e-mail válido: " + std::u16string(why) + u".";
}

} // namespace

std::u16string AddressProblem(std::u16string_view address)
{
    if (const auto wide = std::find_if(address.begin(), address.end(), [](char16_t c) { return c > 0x7E; });
        wide != address.end()) {
        // A surrogate pair is one character to the user.
        const std::size_t length = (*wide >= 0xD800 && *wide <= 0xDBFF && wide + 1 != address.end()) ? 2 : 1;
        return u"O endereço " + Quoted(address) + u" tem o caractere "
            + Quoted(address.substr(static_cast<std::size_t>(wide - address.begin()), length))
            + u", fora do ASCII, que os servidores de e-mail não aceitam em endereços. Digite o endereço sem "
              u"acentos nem cedilha, como o provedor o registrou.";
    }
    if (address.size() > kMaxAddressLength)
        return u"O endereço " + Quoted(address) + u" tem " + UIntToStr(address.size()) + u" caracteres; o limite é "
            + UIntToStr(kMaxAddressLength) + u".";
    const std::size_t at = address.rfind(u'@');
    if (at == std::u16string_view::npos)
        return NotAnAddress(address, u"falta o @ e o domínio (por exemplo contador@example.com)");
    const std::u16string_view local = address.substr(0, at);
    const std::u16string_view domain = address.substr(at + 1);
    if (local.find(u'@') != std::u16string_view::npos)
        return NotAnAddress(address, u"tem mais de um @; separe vários endereços com \",\" ou \";\"");
    if (local.empty())
        return NotAnAddress(address, u"falta o nome antes do @");
    if (domain.empty())
        return NotAnAddress(address, u"falta o domínio depois do @");
    if (local.size() > kMaxLocalPartLength)
        return u"A parte antes do @ do endereço " + Quoted(address) + u" tem " + UIntToStr(local.size())
            + u" caracteres; o limite é " + UIntToStr(kMaxLocalPartLength) + u".";
    if (!IsDotAtom(local))
        return NotAnAddress(address, u"a parte antes do @ tem um espaço, um ponto fora de lugar ou um caractere "
                                     u"que não pode ser usado");
    if (!IsHostName(domain))
        return NotAnAddress(address, u"o domínio " + Quoted(domain) + u" não é um nome de domínio");
    return {};
}

TRecipientList ParseRecipients(std::u16string_view typed)
{
    TRecipientList result;
    TIdEMailAddressList list;
    list.SetEMailAddresses(String(typed));
    for (std::int32_t i = 0; i < list.Count(); ++i) {
        const TIdEMailAddressItem& item = list[i];
        if (item.Address().empty()) {
            result.Problem = Quoted(item.Text()) + u" não tem endereço de e-mail.";
            return result;
        }
        if (std::u16string problem = AddressProblem(item.Address()); !problem.empty()) {
            result.Problem = std::move(problem);
            return result;
        }
        if (item.Name().size() > kMaxDisplayNameLength) {
            result.Problem = u"O nome do destinatário " + item.Address() + u" tem " + UIntToStr(item.Name().size())
                + u" caracteres; o limite é " + UIntToStr(kMaxDisplayNameLength) + u".";
            return result;
        }
        result.Recipients.push_back({item.Name(), item.Address()});
    }
    if (result.Recipients.empty())
        result.Problem = Quoted(typed) + u" não tem nenhum endereço de e-mail.";
    else if (result.Recipients.size() > kMaxRecipients)
        result.Problem = u"São " + UIntToStr(result.Recipients.size()) + u" destinatários; o limite é "
            + UIntToStr(kMaxRecipients) + u" por mensagem.";
    return result;
}

std::u16string RecipientAddresses(const TRecipientList& list)
{
    std::u16string text;
    for (const TRecipient& r : list.Recipients)
        text += (text.empty() ? u"" : u", ") + r.Address;
    return text;
}

} // namespace orvant::app
