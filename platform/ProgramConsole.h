#pragma once
// The command line and the console of a headless program, as UTF-8 on either system.

#include <string>
#include <vector>

namespace orvant::platform {

// The program's arguments without its name, in UTF-8. On Windows they are read again
// from the wide command line: the narrow argv holds the ANSI code page, which loses
// every character outside it.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Makes the console show the UTF-8 the program writes. A pipe or a file receives the
// bytes as they are on either system; nothing changes on Linux.
void UseUtf8Console();

} // namespace orvant::platform
