#include "platform/CommandLine.h"

namespace orvant::platform {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// Line breaks separate nothing by the Windows rules, but some programs split on
// them: such an argument is quoted too.
bool NeedsQuotes(std::u16string_view arg)
{
    return arg.empty() || arg.find_first_of(u" \t\n\v\r\"") != std::u16string_view::npos;
}

void AppendQuoted(std::u16string& line, std::u16string_view arg)
{
    line += u'"';
    std::size_t slashes = 0;
    for (const char16_t c : arg) {
        if (c == u'\\') {
            ++slashes;
        } else if (c == u'"') {
            line.append(2 * slashes + 1, u'\\'); // each backslash doubled, then one for the quote
            slashes = 0;
        } else {
            line.append(slashes, u'\\');
            slashes = 0;
        }
        if (c != u'\\')
            line += c;
    }
    line.append(2 * slashes, u'\\'); // before the closing quote they must not escape it
    line += u'"';
}

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

std::u16string BuildWindowsCommandLine(std::u16string_view program, const std::vector<std::u16string>& args)
{
    std::u16string line;
    const bool quoteProgram = program.empty() || program.find_first_of(u" \t") != std::u16string_view::npos;
    if (quoteProgram)
        line += u'"';
    line += program;
    if (quoteProgram)
        line += u'"';
    for (const std::u16string& arg : args) {
        line += u' ';
        if (NeedsQuotes(arg))
            AppendQuoted(line, arg);
        else
            line += arg;
    }
    return line;
}

} // namespace orvant::platform
