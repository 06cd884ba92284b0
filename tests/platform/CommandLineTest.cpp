#include "platform/CommandLine.h"

#include <gtest/gtest.h>

using orvant::platform::SplitWindowsCommandLine;
using Args = std::vector<std::u16string>;

TEST(CommandLine, TheArchiverLineSplitsIntoFiveArguments)
{
    EXPECT_EQ(SplitWindowsCommandLine(
                  u"\"C:\\Kelmora\\Server\\7z.exe\" a -r  C:\\Kelmora\\Orvant\\Enviar\\2021\\03 "
                  u"\"C:\\Kelmora\\Orvant\\Arquivos\\2021\\03\\PDV1\""),
              (Args {u"C:\\Kelmora\\Server\\7z.exe", u"a", u"-r", u"C:\\Kelmora\\Orvant\\Enviar\\2021\\03",
                     u"C:\\Kelmora\\Orvant\\Arquivos\\2021\\03\\PDV1"}));
}

TEST(CommandLine, BlanksAndQuotes)
{
    EXPECT_EQ(SplitWindowsCommandLine(u""), Args {});
    EXPECT_EQ(SplitWindowsCommandLine(u"   "), Args {});
    EXPECT_EQ(SplitWindowsCommandLine(u"p  a\t\tb   "), (Args {u"p", u"a", u"b"}));
    EXPECT_EQ(SplitWindowsCommandLine(u"p \"a b\" c\" \"d \"\""), (Args {u"p", u"a b", u"c d", u""}));
    EXPECT_EQ(SplitWindowsCommandLine(u"p \"unterminated arg"), (Args {u"p", u"unterminated arg"}));
    EXPECT_EQ(SplitWindowsCommandLine(u"p \"a\"\"b\""), (Args {u"p", u"a\"b"}));
}

TEST(CommandLine, BackslashesCountOnlyBeforeAQuote)
{
    EXPECT_EQ(SplitWindowsCommandLine(u"p a\\\\b"), (Args {u"p", u"a\\\\b"}));
    EXPECT_EQ(SplitWindowsCommandLine(u"p \"a\\\\\" b"), (Args {u"p", u"a\\", u"b"}));
    EXPECT_EQ(SplitWindowsCommandLine(u"p a\\\"b"), (Args {u"p", u"a\"b"}));
    EXPECT_EQ(SplitWindowsCommandLine(u"p a\\\\\\\"b"), (Args {u"p", u"a\\\"b"}));
    EXPECT_EQ(SplitWindowsCommandLine(u"p \\\\HOST\\SHARE\\x \"\\\\HOST\\S P\\\""),
              (Args {u"p", u"\\\\HOST\\SHARE\\x", u"\\\\HOST\\S P\""}));
}

TEST(CommandLine, TheProgramNameIsTakenLiterally)
{
    EXPECT_EQ(SplitWindowsCommandLine(u"\"C:\\Program Files\\x\\\" a"), (Args {u"C:\\Program Files\\x\\", u"a"}));
    EXPECT_EQ(SplitWindowsCommandLine(u"C:\\dir\\p.exe a"), (Args {u"C:\\dir\\p.exe", u"a"}));
    EXPECT_EQ(SplitWindowsCommandLine(u"  \"p\"x a"), (Args {u"px", u"a"}));
}
