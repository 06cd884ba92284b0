#include "mime/IdStrings.h"

#include "smtp/IdException.h"

#include <algorithm>

TStringList::TStringList(std::initializer_list<String> lines)
    : FLines(lines)
{
}

void TStringList::CheckIndex(int index, bool allowEnd) const
{
    const int limit = Count() + (allowEnd ? 1 : 0);
    if (index < 0 || index >= limit)
        throw EListError(Format(u"List index out of bounds (%d)", {std::int64_t(index)}));
}

bool TStringList::Same(StringView a, StringView b) const
{
    return CaseSensitive ? a == b : TextIsSame(a, b);
}

const String& TStringList::operator[](int index) const
{
    CheckIndex(index, false);
    return FLines[static_cast<std::size_t>(index)];
}

String& TStringList::operator[](int index)
{
    CheckIndex(index, false);
    return FLines[static_cast<std::size_t>(index)];
}

int TStringList::Add(const String& line)
{
    FLines.push_back(line);
    return Count() - 1;
}

void TStringList::Insert(int index, const String& line)
{
    CheckIndex(index, true);
    FLines.insert(FLines.begin() + index, line);
}

void TStringList::Delete(int index)
{
    CheckIndex(index, false);
    FLines.erase(FLines.begin() + index);
}

void TStringList::Exchange(int a, int b)
{
    CheckIndex(a, false);
    CheckIndex(b, false);
    std::swap(FLines[static_cast<std::size_t>(a)], FLines[static_cast<std::size_t>(b)]);
}

void TStringList::Move(int from, int to)
{
    if (from == to)
        return;
    CheckIndex(from, false);
    CheckIndex(to, false);
    String line = std::move(FLines[static_cast<std::size_t>(from)]);
    FLines.erase(FLines.begin() + from);
    FLines.insert(FLines.begin() + to, std::move(line));
}

int TStringList::IndexOf(StringView s) const
{
    for (int i = 0; i < Count(); ++i)
        if (Same(FLines[static_cast<std::size_t>(i)], s))
            return i;
    return -1;
}

void TStringList::AddStrings(const TStringList& source)
{
    if (&source == this) {
        const std::vector<String> copy = FLines; // inserting a range of itself is undefined
        FLines.insert(FLines.end(), copy.begin(), copy.end());
        return;
    }
    FLines.insert(FLines.end(), source.FLines.begin(), source.FLines.end());
}

String TStringList::Text() const
{
    std::size_t total = 0;
    for (const auto& l : FLines)
        total += l.size() + 2;
    String out;
    out.reserve(total);
    for (const auto& l : FLines) {
        out += l;
        out += EOL;
    }
    return out;
}

void TStringList::SetText(StringView text)
{
    FLines.clear();
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char16_t c = text[i];
        if (c == CR || c == LF) {
            FLines.emplace_back(text.substr(start, i - start));
            if (c == CR && i + 1 < text.size() && text[i + 1] == LF)
                ++i;
            start = ++i;
            continue;
        }
        ++i;
    }
    if (start < text.size())
        FLines.emplace_back(text.substr(start));
}

String TStringList::Names(int index) const
{
    const String& line = (*this)[index];
    const std::size_t p = line.find(NameValueSeparator);
    return p == String::npos ? String() : line.substr(0, p);
}

String TStringList::ValueFromIndex(int index) const
{
    const String& line = (*this)[index];
    const std::size_t p = line.find(NameValueSeparator);
    return p == String::npos ? String() : line.substr(p + 1);
}

int TStringList::IndexOfName(StringView name) const
{
    for (int i = 0; i < Count(); ++i) {
        const String& line = FLines[static_cast<std::size_t>(i)];
        const std::size_t p = line.find(NameValueSeparator);
        if (p != String::npos && Same(StringView(line).substr(0, p), name))
            return i;
    }
    return -1;
}

String TStringList::Values(StringView name) const
{
    const int i = IndexOfName(name);
    return i < 0 ? String() : ValueFromIndex(i);
}

void TStringList::SetValues(StringView name, const String& value)
{
    const int i = IndexOfName(name);
    if (value.empty()) {
        if (i >= 0)
            Delete(i);
        return;
    }
    String line = String(name) + NameValueSeparator + value;
    if (i >= 0)
        FLines[static_cast<std::size_t>(i)] = std::move(line);
    else
        FLines.push_back(std::move(line));
}

void TStringList::Sort(const std::function<bool(const String&, const String&)>& less)
{
    if (less) {
        std::stable_sort(FLines.begin(), FLines.end(), less);
    } else if (CaseSensitive) {
        std::stable_sort(FLines.begin(), FLines.end());
    } else {
        std::stable_sort(FLines.begin(), FLines.end(),
                         [](const String& a, const String& b) { return CompareText(a, b) < 0; });
    }
}
