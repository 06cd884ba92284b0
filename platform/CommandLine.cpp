#include "platform/CommandLine.h"

namespace orvant::platform {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

} // namespace

std::vector<std::u16string> SplitWindowsCommandLine(std::u16string_view line)
{
    std::vector<std::u16string> args;
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i == line.size())
        return args;

    std::u16string program;
    if (line[i] == u'"') {
        const std::size_t close = line.find(u'"', i + 1);
        const std::size_t end = close == std::u16string_view::npos ? line.size() : close;
        program.assign(line.substr(i + 1, end - i - 1));
        i = close == std::u16string_view::npos ? line.size() : close + 1;
    }
    while (i < line.size() && !IsBlank(line[i]))
        program += line[i++]; // text glued to the closing quote still belongs to the name
    args.push_back(std::move(program));

    for (;;) {
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        if (i == line.size())
            break;
        std::u16string arg;
        bool quoted = false;
        while (i < line.size() && (quoted || !IsBlank(line[i]))) {
            if (line[i] == u'\\') {
                std::size_t slashes = 0;
                while (i < line.size() && line[i] == u'\\') {
                    ++slashes;
                    ++i;
                }
                if (i < line.size() && line[i] == u'"') {
                    arg.append(slashes / 2, u'\\');
                    if (slashes % 2 == 1) {
                        arg += u'"';
                        ++i;
                    }
                } else {
                    arg.append(slashes, u'\\');
                }
            } else if (line[i] == u'"') {
                if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
                    arg += u'"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += line[i++];
            }
        }
        args.push_back(std::move(arg));
    }
    return args;
}

} // namespace orvant::platform
