#include "platform/ProgramConsole.h"

#include "platform/Utf.h"

#include <windows.h>
#include <shellapi.h>

namespace orvant::platform {

std::vector<std::string> ProgramArguments(int argc, char** argv)
{
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide)
        return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i)
        args.push_back(Utf16ToUtf8(reinterpret_cast<const char16_t*>(wide[i])));
    ::LocalFree(wide);
    return args;
}

void UseUtf8Console()
{
    ::SetConsoleOutputCP(CP_UTF8);
}

} // namespace orvant::platform
