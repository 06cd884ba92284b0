#include "platform/WinPath.h"


namespace orvant::platform {

namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsForbiddenInName(char16_t c)
{
    return c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|'
        || c == u'?' || c == u'*';
}

std::vector<std::u16string_view> SplitComponents(std::u16string_view rest)
{
    std::vector<std::u16string_view> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= rest.size(); ++i) {
        if (i == rest.size() || IsSeparator(rest[i])) {
            if (i > start)
                out.push_back(rest.substr(start, i - start));
            start = i + 1;
        }
    }
    return out;
}
} // namespace

bool LooksLikeWinAbsolutePath(std::u16string_view text)
{
    if (text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1]))
        return true;
    return text.size() >= 2 && text[1] == u':'
        && ((text[0] >= u'A' && text[0] <= u'Z') || (text[0] >= u'a' && text[0] <= u'z'));
}

std::optional<TWinPathParts> ParseWinPath(std::u16string_view path)
{
    TWinPathParts parts;
    std::u16string_view rest;
    std::size_t floor = 0; // components ".." may not remove
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        parts.IsUnc = true;
        rest = path.substr(2);
        floor = 2;
        if (rest.empty() || IsSeparator(rest.front()))
            return std::nullopt; // "\\\Kelmora": no computer name

    } else if (path.size() >= 2 && (path[0] == u'C' || path[0] == u'c') && path[1] == u':') {
        rest = path.substr(2);
        if (!rest.empty() && !IsSeparator(rest.front()))
            return std::nullopt; // "C:name" is relative to the drive's current folder
    } else {
        return std::nullopt;
    }
    parts.TrailingSeparator = !rest.empty() && IsSeparator(rest.back());

    const auto raw = SplitComponents(rest);
    if (parts.IsUnc) {
        // "\\host\share" needs both; "\\?\" and "\\.\" are device paths, not shares.
        if (raw.size() < 2 || raw[0] == u"?" || raw[0] == u".")
            return std::nullopt;
    }
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const std::u16string_view c = raw[i];
        const bool isHostOrShare = parts.IsUnc && i < 2;
        if (!isHostOrShare && c == u".")
            continue;
        if (!isHostOrShare && c == u"..") {
            if (parts.Components.size() <= floor)
                return std::nullopt;
            parts.Components.pop_back();
            continue;
        }
        for (char16_t ch : c) {
            if (IsForbiddenInName(ch))
                return std::nullopt;
        }
        if (isHostOrShare && (c == u"." || c == u".."))
            return std::nullopt;
        parts.Components.emplace_back(c);
    }
    return parts;
}

} // namespace orvant::platform
