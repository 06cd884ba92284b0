#include "support/TestJson.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

class TTestJsonParser {
public:
    explicit TTestJsonParser(std::string_view text) : FText(text) {}

    TTestJson Document()
    {
        TTestJson value = Value();
        SkipBlanks();
        if (FAt != FText.size())
            Fail("text after the value");
        return value;
    }

private:
    [[noreturn]] void Fail(const char* what) const
    {
        throw std::runtime_error("JSON: " + std::string(what) + " at offset " + std::to_string(FAt));
    }

    void SkipBlanks()
    {
        while (FAt < FText.size() && (FText[FAt] == ' ' || FText[FAt] == '\t' || FText[FAt] == '\r' || FText[FAt] == '\n'))
            ++FAt;
    }

    char Next()
    {
        if (FAt >= FText.size())
            Fail("unexpected end");
        return FText[FAt++];
    }

    void Take(std::string_view word)
    {
        if (FText.substr(FAt, word.size()) != word)
            Fail("unknown word");
        FAt += word.size();
    }

    TTestJson Value()
    {
        SkipBlanks();
        TTestJson value;
        if (FAt >= FText.size())
            Fail("missing value");
        switch (FText[FAt]) {
        case '{':
            value.FKind = TTestJson::TKind::Object;
            Members(value);
            break;
        case '[':
            value.FKind = TTestJson::TKind::Array;
            Items(value);
            break;
        case '"':
            value.FKind = TTestJson::TKind::String;
            value.FString = String();
            break;
        case 't':
            Take("true");
            value.FKind = TTestJson::TKind::Bool;
            value.FBool = true;
            break;
        case 'f':
            Take("false");
            value.FKind = TTestJson::TKind::Bool;
            break;
        case 'n':
            Take("null");
            break;
        default:
            value.FKind = TTestJson::TKind::Number;
            value.FNumber = Number();
        }
        return value;
    }

    void Members(TTestJson& object)
    {
        ++FAt;
        SkipBlanks();
        if (FAt < FText.size() && FText[FAt] == '}') {
            ++FAt;
            return;
        }
        for (;;) {
            SkipBlanks();
            if (Next() != '"')
                Fail("member name expected");
            --FAt;
            object.FNames.push_back(String());
            SkipBlanks();
            if (Next() != ':')
                Fail("':' expected");
            object.FItems.push_back(Value());
            SkipBlanks();
            const char c = Next();
            if (c == '}')
                return;
            if (c != ',')
                Fail("',' or '}' expected");
        }
    }

    void Items(TTestJson& array)
    {
        ++FAt;
        SkipBlanks();
        if (FAt < FText.size() && FText[FAt] == ']') {
            ++FAt;
            return;
        }
        for (;;) {
            array.FItems.push_back(Value());
            SkipBlanks();
            const char c = Next();
            if (c == ']')
                return;
            if (c != ',')
                Fail("',' or ']' expected");
        }
    }

    double Number()
    {
        const std::size_t start = FAt;
        while (FAt < FText.size() && std::string_view("+-0123456789.eE").find(FText[FAt]) != std::string_view::npos)
            ++FAt;
        double number = 0;
        const auto [end, error] = std::from_chars(FText.data() + start, FText.data() + FAt, number);
        if (start == FAt || error != std::errc() || end != FText.data() + FAt)
            Fail("bad number");
        return number;
    }

    unsigned Hex4()
    {
        unsigned code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = Next();
            unsigned digit = 0;
            if (c >= '0' && c <= '9')
                digit = static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                digit = static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                digit = static_cast<unsigned>(c - 'A' + 10);
            else
                Fail("bad \\u escape");
            code = code * 16 + digit;
        }
        return code;
    }

    static void AppendUtf8(std::string& out, unsigned code)
    {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    std::string String()
    {
        ++FAt;
        std::string out;
        for (;;) {
            const char c = Next();
            if (c == '"')
                return out;
            if (static_cast<unsigned char>(c) < 0x20)
                Fail("control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            const char escaped = Next();
            switch (escaped) {
            case '"': case '\\': case '/': out += escaped; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                unsigned code = Hex4();
                // A UTF-16 surrogate pair stands for one character beyond the BMP.
                if (code >= 0xD800 && code < 0xDC00 && FText.substr(FAt, 2) == "\\u") {
                    FAt += 2;
                    const unsigned low = Hex4();
                    if (low < 0xDC00 || low >= 0xE000)
                        Fail("bad surrogate pair");
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                }
                AppendUtf8(out, code);
                break;
            }
            default:
                Fail("bad escape");
            }
        }
    }

    std::string_view FText;
    std::size_t FAt = 0;
};

TTestJson TTestJson::Parse(std::string_view text)
{
    return TTestJsonParser(text).Document();
}

void TTestJson::Expect(TKind kind) const
{
    if (FKind != kind)
        throw std::runtime_error("JSON: the value is of another kind");
}

bool TTestJson::AsBool() const
{
    Expect(TKind::Bool);
    return FBool;
}

double TTestJson::AsNumber() const
{
    Expect(TKind::Number);
    return FNumber;
}

std::int64_t TTestJson::AsInt() const
{
    Expect(TKind::Number);
    if (std::trunc(FNumber) != FNumber)
        throw std::runtime_error("JSON: the number is not whole");
    return static_cast<std::int64_t>(FNumber);
}

const std::string& TTestJson::AsString() const
{
    Expect(TKind::String);
    return FString;
}

const std::vector<TTestJson>& TTestJson::Items() const
{
    Expect(TKind::Array);
    return FItems;
}

const TTestJson& TTestJson::operator[](std::string_view name) const
{
    static const TTestJson null;
    Expect(TKind::Object);
    for (std::size_t i = 0; i < FNames.size(); ++i) {
        if (FNames[i] == name)
            return FItems[i];
    }
    return null;
}

bool TTestJson::Has(std::string_view name) const
{
    Expect(TKind::Object);
    for (const std::string& member : FNames) {
        if (member == name)
            return true;
    }
    return false;
}
