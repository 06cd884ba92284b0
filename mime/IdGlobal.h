#pragma once
// Shared types and small text helpers of the mail and socket library.
//
// Text is UTF-16 everywhere inside the library (String); bytes on the wire and in
// files are TIdBytes. Conversions between the two go through a text encoding
// (mime/IdTextEncoding.h); UTF-8 only appears at operating-system boundaries.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

using String = std::u16string;
using StringView = std::u16string_view;
using TIdBytes = std::vector<std::uint8_t>;

inline constexpr char16_t CR = u'\r';
inline constexpr char16_t LF = u'\n';
inline constexpr char16_t TAB = u'\t';
inline constexpr StringView EOL = u"\r\n";

// --- Conversions at the operating-system boundary -------------------------------
std::string ToUtf8(StringView text);
String FromUtf8(std::string_view text);

// --- Trimming --------------------------------------------------------------------
// Trim, TrimLeft and TrimRight remove every character of code 32 or less.
String Trim(StringView s);
String TrimLeft(StringView s);
String TrimRight(StringView s);

// --- Case ------------------------------------------------------------------------
// UpperCase/LowerCase change ASCII letters only (protocol keywords, hex digits);
// the Ansi forms also fold the Latin, Greek and Cyrillic letters of the BMP.
String UpperCase(StringView s);
String LowerCase(StringView s);
String AnsiUpperCase(StringView s);
String AnsiLowerCase(StringView s);
char16_t CaseFoldChar(char16_t c);

// Comparison without regard to case (folding as AnsiLowerCase).
bool TextIsSame(StringView a, StringView b);
bool TextStartsWith(StringView s, StringView prefix);
bool TextEndsWith(StringView s, StringView suffix);
// Position of needle in s without regard to case, or npos.
std::size_t TextPos(StringView needle, StringView s, std::size_t from = 0);
// Ordering without regard to case: <0, 0, >0.
int CompareText(StringView a, StringView b);

// --- Numbers ---------------------------------------------------------------------
String IntToStr(std::int64_t value);
String UIntToStr(std::uint64_t value);
// Decimal text (optional sign, surrounding blanks allowed) to a number, else the default.
std::int64_t StrToInt64Def(StringView s, std::int64_t def);
int StrToIntDef(StringView s, int def);
bool IsNumeric(char16_t c);
// 0-15 for a hexadecimal digit of either case, -1 for anything else.
int HexDigitValue(char16_t c);
bool IsNumeric(StringView s); // non-empty and only the digits 0-9

// --- Formatting ------------------------------------------------------------------
// printf-style formatting of the library's message texts. Supports %s, %d, %u,
// %x/%X, %% and an optional width with zero padding (%02d). A missing argument
// leaves the directive empty; surplus arguments are ignored.
using FormatArg = std::variant<std::int64_t, std::uint64_t, String>;
String Format(StringView format, std::initializer_list<FormatArg> args);

// --- Small helpers ---------------------------------------------------------------
// Splits at the first occurrence of the delimiter: returns the text before it and
// leaves the rest (after the delimiter) in s. Without the delimiter, returns all of s.
String Fetch(String& s, StringView delimiter, bool caseSensitive = true);
String StringReplaceAll(StringView s, StringView from, StringView to);
// Characters only from the given set.
bool CharIsInSet(char16_t c, StringView set);
// Index of the first character of s that is in the set, or npos.
std::size_t FindFirstOf(StringView s, StringView set, std::size_t from = 0);

// Bytes <-> text without any character set: each byte is one character (0-255);
// characters above 255 become "?". For protocol texts that are ASCII by construction.
TIdBytes ToBytesRaw(StringView text);
String BytesToStringRaw(const std::uint8_t* bytes, std::size_t length);
inline String BytesToStringRaw(const TIdBytes& bytes)
{
    return BytesToStringRaw(bytes.data(), bytes.size());
}

// The bytes in lower-case hexadecimal, two digits each, with the separator between
// bytes ("ab:01" for a fingerprint, "ab01" without one).
String BytesToHex(const std::uint8_t* bytes, std::size_t length, StringView separator = {});
inline String BytesToHex(const TIdBytes& bytes, StringView separator = {})
{
    return BytesToHex(bytes.data(), bytes.size(), separator);
}

// File name part of a path: the text after the last "\", "/" or drive colon. Both
// separators count because paths may be Windows text or mapped Linux paths.
String ExtractFileName(StringView path);
