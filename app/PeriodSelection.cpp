#include "app/PeriodSelection.h"

#include "app/TerminalConfig.h"
#include "platform/CaseFold.h"

#include <algorithm>

namespace orvant::app {

namespace {

std::u16string_view Trimmed(std::u16string_view text)
{
    while (!text.empty() && (text.front() == u' ' || text.front() == u'\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t'))
        text.remove_suffix(1);
    return text;
}

// Lower case without the accents of Portuguese (ç -> c, ã -> a, é -> e, ...).
std::u16string Plain(std::u16string_view text)
{
    static constexpr std::u16string_view kAccented = u"àáâãäçèéêëìíîïñòóôõöùúûü";
    static constexpr std::u16string_view kPlain = u"aaaaaceeeeiiiinooooouuuu";
    std::u16string out = platform::FoldCase(text);
    for (auto& c : out) {
        if (const auto at = kAccented.find(c); at != std::u16string_view::npos)
            c = kPlain[at];
    }
    return out;
}

bool AllDigits(std::u16string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

} // namespace

int MonthIndexOf(std::u16string_view text)
{
    text = Trimmed(text);
    if (AllDigits(text) && text.size() <= 2) {
        const int number = text.size() == 1 ? text[0] - u'0' : (text[0] - u'0') * 10 + (text[1] - u'0');
        return number >= 1 && number <= 12 ? number - 1 : -1;
    }
    const std::u16string plain = Plain(text);
    for (std::size_t i = 0; i < kMonthNames.size(); ++i) {
        if (plain == Plain(kMonthNames[i]))
            return static_cast<int>(i);
    }
    return -1;
}

int YearIndexOf(std::u16string_view text, const std::vector<std::u16string>& years)
{
    const auto found = std::find(years.begin(), years.end(), Trimmed(text));
    return found == years.end() || found->empty() ? -1 : static_cast<int>(found - years.begin());
}

bool IsYearText(std::u16string_view text)
{
    return text.size() == 4 && AllDigits(text);
}

std::u16string MonthRefusal(std::u16string_view typed)
{
    return u"O mês \"" + std::u16string(typed) + u"\" não existe. Escolha um mês na lista ou digite o nome "
           u"(Março ou Marco) ou o número (1 a 12).";
}

std::u16string YearRefusal(std::u16string_view typed, const std::vector<std::u16string>& years)
{
    std::u16string list;
    for (std::size_t i = 0; i < years.size(); ++i)
        list += (i == 0 ? u"" : i + 1 == years.size() ? u" ou " : u", ") + years[i];
    return u"O ano \"" + std::u16string(typed) + u"\" não está na lista. Escolha ou digite um destes: " + list + u".";
}

} // namespace orvant::app
