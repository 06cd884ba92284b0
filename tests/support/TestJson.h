#pragma once
// A JSON value read from text, for the files that test servers write (JSON lines).
// Strings come out as UTF-8. Asking a value for the wrong kind throws
// std::runtime_error, so a test notices a changed file format at once.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TTestJson {
public:
    enum class TKind { Null, Bool, Number, String, Array, Object };

    // Throws std::runtime_error naming the offset of the first fault.
    static TTestJson Parse(std::string_view text);

    TKind Kind() const { return FKind; }
    bool IsNull() const { return FKind == TKind::Null; }
    bool AsBool() const;
    double AsNumber() const;
    std::int64_t AsInt() const;
    const std::string& AsString() const;
    const std::vector<TTestJson>& Items() const;
    // The member's value; a null value when there is no such member.
    const TTestJson& operator[](std::string_view name) const;
    bool Has(std::string_view name) const;

private:
    friend class TTestJsonParser;
    void Expect(TKind kind) const;

    TKind FKind = TKind::Null;
    bool FBool = false;
    double FNumber = 0;
    std::string FString;
    std::vector<TTestJson> FItems;     // array items, or object member values
    std::vector<std::string> FNames;   // object member names, parallel to FItems
};
