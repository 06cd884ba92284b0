#include "platform/Process.h"

#include <csignal>
#include <gtest/gtest.h>

using orvant::platform::FindProgramInPath;
using orvant::platform::TSpawnProcessRunner;

TEST(Process, RunsWithoutAShellAndReportsExitCodeAndOutput)
{
    TSpawnProcessRunner runner;
    // The arguments reach the program as they are: no shell expands "$HOME" or "*".
    const auto echo = runner.Run(*FindProgramInPath("printf"), {"%s|%s", "$HOME", "*"});
    EXPECT_TRUE(echo.Succeeded());
    EXPECT_EQ(echo.Output, "$HOME|*");

    const auto failing = runner.Run("/bin/sh", {"-c", "echo ERROR: sem espaco >&2; exit 2"});
    EXPECT_TRUE(failing.Started);
    EXPECT_TRUE(failing.Exited);
    EXPECT_EQ(failing.ExitCode, 2);
    EXPECT_EQ(failing.Output, "ERROR: sem espaco\n");
    EXPECT_FALSE(failing.Succeeded());
}

TEST(Process, AProgramThatCannotStartOrIsKilledIsReported)
{
    TSpawnProcessRunner runner;
    const auto missing = runner.Run("/nao/existe/7z", {});
    EXPECT_FALSE(missing.Started);
    EXPECT_EQ(missing.StartError, ENOENT);

    const auto killed = runner.Run("/bin/sh", {"-c", "kill -TERM $$"});
    EXPECT_TRUE(killed.Started);
    EXPECT_FALSE(killed.Exited);
    EXPECT_EQ(killed.Signal, SIGTERM);
}

TEST(Process, KeepsOnlyTheTailOfLongOutput)
{
    TSpawnProcessRunner runner;
    const auto chatty = runner.Run("/bin/sh", {"-c", "i=0; while [ $i -lt 5000 ]; do echo linha $i; i=$((i+1)); done"});
    EXPECT_TRUE(chatty.Succeeded());
    EXPECT_LE(chatty.Output.size(), 8u * 1024u);
    EXPECT_NE(chatty.Output.find("linha 4999\n"), std::string::npos);
}

TEST(Process, FindsProgramsInPath)
{
    EXPECT_EQ(FindProgramInPath("sh").value_or("").back(), 'h');
    EXPECT_FALSE(FindProgramInPath("programa-que-nao-existe-orvant").has_value());
    EXPECT_FALSE(FindProgramInPath("").has_value());
}
