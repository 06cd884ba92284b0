// The command line a program is started with on Windows: what the builder
// writes must come back, argument by argument, from the Windows splitting rules.

#include "platform/CommandLine.h"

#include <gtest/gtest.h>
#include <random>

using orvant::platform::BuildWindowsCommandLine;
using orvant::platform::SplitWindowsCommandLine;

namespace {

std::vector<std::u16string> RoundTrip(std::u16string_view program, const std::vector<std::u16string>& args)
{
    std::vector<std::u16string> split = SplitWindowsCommandLine(BuildWindowsCommandLine(program, args));
    if (split.empty()) {
        ADD_FAILURE() << "no program name";
        return split;
    }
    EXPECT_EQ(split.front(), program);
    return std::vector<std::u16string>(split.begin() + 1, split.end());
}

} // namespace

TEST(ProcessCommandLine, ArchiverCommandLineIsWrittenAsAPersonWouldTypeIt)
{
    EXPECT_EQ(BuildWindowsCommandLine(u"C:\\Program Files\\7-Zip\\7z.exe",
                                      {u"a", u"-tzip", u"C:\\Kelmora\\Server\\XML\\2026\\11\\PDV 01.zip",
                                       u"C:\\Kelmora\\Server\\XML\\2026\\11\\PDV01\\*"}),
              u"\"C:\\Program Files\\7-Zip\\7z.exe\" a -tzip \"C:\\Kelmora\\Server\\XML\\2026\\11\\PDV 01.zip\" "
              u"C:\\Kelmora\\Server\\XML\\2026\\11\\PDV01\\*");
    EXPECT_EQ(BuildWindowsCommandLine(u"7zz.exe", {u"", u"say \"hi\"", u"C:\\dir with space\\"}),
              u"7zz.exe \"\" \"say \\\"hi\\\"\" \"C:\\dir with space\\\\\"");
}

TEST(ProcessCommandLine, HardArgumentsComeBackExactly)
{
    const std::vector<std::u16string> hard{
        u"", u" ", u"\t", u"\"", u"\"\"", u"\\", u"\\\\", u"\\\"", u"a\\", u"a\\\\", u"a b\\", u"a b\\\\",
        u"\\\\servidor\\xml\\", u"fim\\\"", u"\"entre aspas\"", u"ação à Ω 日本 😀", u"linha\nquebrada",
        u"-p\"se nh\\a\"", u"C:\\Arquivos de Programas\\7-Zip\\7z.exe"};
    EXPECT_EQ(RoundTrip(u"C:\\Program Files\\7-Zip\\7z.exe", hard), hard);
    for (const std::u16string& one : hard)
        EXPECT_EQ(RoundTrip(u"7zz", {one, u"depois"}), (std::vector<std::u16string>{one, u"depois"}));
    EXPECT_TRUE(RoundTrip(u"7zz", {}).empty());
}

// Random arguments made of the characters the rules treat specially.
TEST(ProcessCommandLine, RandomArgumentsComeBackExactly)
{
    const std::u16string alphabet = u"ab \t\"\\\n\u00e9";
    std::mt19937 random(20261210);
    std::uniform_int_distribution<std::size_t> length(0, 8), pick(0, alphabet.size() - 1), count(0, 5);
    for (int round = 0; round < 5000; ++round) {
        std::vector<std::u16string> args(count(random));
        for (std::u16string& arg : args) {
            for (std::size_t n = length(random); n > 0; --n)
                arg += alphabet[pick(random)];
        }
        ASSERT_EQ(RoundTrip(u"C:\\7 zip\\7z.exe", args), args) << "round " << round;
    }
}
