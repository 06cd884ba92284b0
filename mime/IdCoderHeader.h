#pragma once
// Encoded words (RFC 2047) for header text that is not plain printable ASCII: a
// subject with "Março", a display name, an attachment's file name.
//
// A header encoding is one character: 'B' (base64 encoded words), 'Q'
// (quoted-printable encoded words) or '8' (no encoding: the charset's bytes go into
// the header text one character per byte).

#include "mime/IdGlobal.h"

// The header encoding used when nobody chooses one.
inline constexpr char16_t DefaultHeaderEncoding = u'B';

// The text with every word that needs it turned into encoded words of the charset.
// Neighbouring words that need encoding share one run of encoded words (the blanks
// between them encoded too); the blanks before and after a run stay plain. The
// specials are printable ASCII characters that force their word to be encoded. No
// encoded word is longer than 75 characters and none splits a character; the words
// of one run are separated by CR LF and a blank, which the header list keeps as a
// fold. Raises EIdHeaderEncodeError when the charset cannot be encoded at all.
// A header encoding other than 'Q', 'q' or '8' is taken as 'B'.
String MakeEncodedWords(StringView text, StringView specials, char16_t headerEncoding, StringView charSet);

// The text with every whitespace-separated encoded word ("=?charset?B|Q|8?data?=")
// decoded; white space between two encoded words is dropped (RFC 2047 section 6.2).
// Tokens that are not encoded words, or whose charset no coder handles, stay as
// they are.
String DecodeEncodedWords(StringView text);

// The charset for encoded words by the user's language: simplified Chinese of the
// PRC "GB2312", other Chinese "Big5", Japanese "ISO-2022-JP", Korean "csEUCKR",
// Russian "KOI8-R", Ukrainian "windows-1251", every other language "UTF-8".
String DefaultCharSetForLocale();
// The same for a locale name such as "pt_BR.UTF-8" or "zh_CN".
String DefaultCharSetForLocale(std::string_view localeName);
