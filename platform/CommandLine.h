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

// The command line that those rules split back into `program` and `args`
// exactly. The program name is quoted when it holds a blank (it cannot hold a
// quote: no Windows path does). An argument is quoted when it is empty or
// holds a blank, a line break or a quote; inside quotes a quote becomes \",
// and the backslashes before a quote or before the closing quote are doubled.
// Anything else goes as it is, backslashes of a path included.
std::u16string BuildWindowsCommandLine(std::u16string_view program, const std::vector<std::u16string>& args);

} // namespace orvant::platform
