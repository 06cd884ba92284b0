#pragma once
// An ordered list of text lines with optional name=value access: bodies,
// capability lists, reply texts and temporary tables.

#include "mime/IdGlobal.h"

#include <functional>
#include <vector>

class TStringList {
public:
    TStringList() = default;
    TStringList(std::initializer_list<String> lines);

    int Count() const { return static_cast<int>(FLines.size()); }
    bool IsEmpty() const { return FLines.empty(); }
    const String& operator[](int index) const;
    String& operator[](int index);
    const String& Strings(int index) const { return (*this)[index]; }
    void SetStrings(int index, const String& value) { (*this)[index] = value; }

    int Add(const String& line);
    void Insert(int index, const String& line);
    void Delete(int index);
    void Clear() { FLines.clear(); }
    void Exchange(int a, int b);
    void Move(int from, int to);

    // First line equal to s (without regard to case unless CaseSensitive), or -1.
    int IndexOf(StringView s) const;

    // Copying: Assign replaces the contents, AddStrings appends.
    void Assign(const TStringList& source) { FLines = source.FLines; }
    void AddStrings(const TStringList& source);

    // Every line followed by CR LF.
    String Text() const;
    // Splits at CR LF, a lone LF or a lone CR; a final line end adds no empty line.
    void SetText(StringView text);

    // name=value access, with NameValueSeparator between name and value.
    String Names(int index) const;
    String ValueFromIndex(int index) const;
    int IndexOfName(StringView name) const;
    String Values(StringView name) const;
    // An empty value removes the line of that name; a new name is appended.
    void SetValues(StringView name, const String& value);

    char16_t NameValueSeparator = u'=';
    bool CaseSensitive = false;

    // Sorts with the given comparison (default: CompareText, or plain order when
    // CaseSensitive).
    void Sort(const std::function<bool(const String&, const String&)>& less = {});

    auto begin() const { return FLines.begin(); }
    auto end() const { return FLines.end(); }
    auto begin() { return FLines.begin(); }
    auto end() { return FLines.end(); }

    bool operator==(const TStringList& other) const { return FLines == other.FLines; }

private:
    void CheckIndex(int index, bool allowEnd) const;
    bool Same(StringView a, StringView b) const;

    std::vector<String> FLines;
};

// The abstract list type of the framework has the same shape here.
using TStrings = TStringList;
