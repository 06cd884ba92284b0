#include "platform/CaseFold.h"

namespace orvant::platform {

char16_t FoldCase(char16_t c)
{
    if (c >= u'A' && c <= u'Z')
        return static_cast<char16_t>(c + 0x20);
    if (c < 0xC0)
        return c;
    // Latin-1: À..Þ fold to à..þ, except the multiplication sign.
    if (c <= 0xDE)
        return c == 0xD7 ? c : static_cast<char16_t>(c + 0x20);
    // Latin Extended-A pairs upper/lower case on even/odd code points, with the
    // parity flipped in 0139..0148 and 0179..017E.
    if ((c >= 0x0100 && c <= 0x0137) || (c >= 0x014A && c <= 0x0177))
        return static_cast<char16_t>(c | 1);
    if ((c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E))
        return (c & 1) ? static_cast<char16_t>(c + 1) : c;
    if (c == 0x0178) // Ÿ
        return 0x00FF;
    return c;
}

std::u16string FoldCase(std::u16string_view text)
{
    std::u16string out(text);
    for (auto& c : out)
        c = FoldCase(c);
    return out;
}

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i]))
            return false;
    }
    return true;
}

bool MatchesWildcard(std::u16string_view pattern, std::u16string_view name)
{
    if (pattern == u"*.*" || pattern == u"*")
        return true;
    // Iterative glob with one back-track point: linear in practice, never
    // exponential on patterns with many stars.
    std::size_t p = 0, n = 0;
    std::size_t starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == u'?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

} // namespace orvant::platform
