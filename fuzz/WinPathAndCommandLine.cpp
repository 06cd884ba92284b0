// Windows path text and command lines: never a crash, never a path outside the roots.
#include "platform/CommandLine.h"
#include "platform/Utf.h"
#include "platform/WinPath.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::u16string text;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    orvant::platform::SplitWindowsCommandLine(text);
    // Roots that do not exist: nothing is resolved on disk, only the text is checked.
    const orvant::platform::TWinPathMapper mapper({"/nonexistent-orvant/c", "/nonexistent-orvant/unc"});
    if (const auto mapped = mapper.Map(text)) {
#ifdef _WIN32
        // Drive and UNC paths are real on Windows: a path that maps is itself.
        if (*mapped != orvant::platform::Utf16ToUtf8(text))
            __builtin_trap();
#else
        if (mapped->rfind("/nonexistent-orvant/c", 0) != 0 && mapped->rfind("/nonexistent-orvant/unc/", 0) != 0)
            __builtin_trap();
        if (mapped->find("/../") != std::string::npos || mapped->ends_with("/.."))
            __builtin_trap();
#endif
    }
    return 0;
}
