#pragma once
// Splits a Windows command line into arguments by the rules Windows programs
// apply to their own command line:
//  - the program name is taken literally: up to the closing quote when it starts
//    with one, else up to the first blank;
//  - later arguments are separated by blanks and tabs outside quotes (several
//    blanks make one separator, never an empty argument);
//  - 2n backslashes before a quote give n backslashes and the quote opens or closes
//    quoting; 2n+1 give n backslashes and a literal quote; backslashes not
//    followed by a quote are literal;
//  - inside quotes, two quotes in a row give one literal quote.

#include <string>
#include <string_view>
#include <vector>

namespace orvant::platform {

std::vector<std::u16string> SplitWindowsCommandLine(std::u16string_view line);

} // namespace orvant::platform
