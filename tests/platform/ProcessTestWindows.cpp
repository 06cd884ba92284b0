// The process runner on Windows, through real programs: cmd.exe, and the
// small child program of tests/platform/child, found beside this test program
// (or where ORVANT_TEST_CHILD says).

#include "platform/Process.h"
#include "platform/SystemError.h"

#include "support/TempDir.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;
using orvant::platform::FindProgramInPath;
using orvant::platform::SystemErrorKind;
using orvant::platform::SystemErrorText;
using orvant::platform::TSystemErrorKind;
using orvant::platform::IProcessRunner;
using orvant::platform::TProcessResult;
using orvant::platform::TSpawnProcessRunner;
using orvant::test::TTempDir;

namespace {

using TClock = std::chrono::steady_clock;

// std::filesystem's string() goes through the ANSI code page and would spoil
// the non-ASCII names these tests are about.
std::string Utf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::filesystem::path ChildProgram()
{
    if (const char* given = std::getenv("ORVANT_TEST_CHILD"))
        return given;
    std::wstring self(32768, L'\0');
    self.resize(::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    return std::filesystem::path(self).parent_path() / "orvant_test_child.exe";
}

class ProcessWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        Child = ChildProgram();
        ASSERT_TRUE(std::filesystem::is_regular_file(Child)) << Utf8(Child) << " is built with the tests";
    }

    std::string ChildPath() const { return Utf8(Child); }

    std::filesystem::path Child;
};

template <class TCondition>
bool Within(std::chrono::seconds bound, TCondition condition)
{
    const auto until = TClock::now() + bound;
    while (!condition()) {
        if (TClock::now() >= until)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::vector<DWORD> ReadIds(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::vector<DWORD> ids;
    for (DWORD id = 0; in >> id;)
        ids.push_back(id);
    return ids;
}

bool IsGone(DWORD id, DWORD waitMs)
{
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, id);
    if (!process)
        return true;
    const bool ended = ::WaitForSingleObject(process, waitMs) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return ended;
}

// Kills what a failing run left, so that one failure does not leave sleepers.
void ExpectAllGone(const std::vector<DWORD>& ids)
{
    bool all = true;
    for (const DWORD id : ids) {
        if (IsGone(id, 10000))
            continue;
        all = false;
        if (const HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, id)) {
            ::TerminateProcess(process, 1);
            ::CloseHandle(process);
        }
    }
    EXPECT_TRUE(all) << "still running: " << ::testing::PrintToString(ids);
}

std::vector<std::string> SplitAtNul(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t nul; (nul = text.find('\0', start)) != std::string::npos; start = nul + 1)
        parts.push_back(text.substr(start, nul - start));
    return parts;
}

} // namespace

TEST_F(ProcessWindows, ReportsExitCodeAndOutputOfASystemProgram)
{
    const auto cmd = FindProgramInPath("cmd");
    ASSERT_TRUE(cmd.has_value());
    TSpawnProcessRunner runner;
    const auto echo = runner.Run(*cmd, {"/c", "echo", "ola"});
    EXPECT_TRUE(echo.Succeeded()) << echo.Output;
    EXPECT_EQ(echo.Output, "ola\r\n");

    const auto failing = runner.Run(*cmd, {"/c", "exit", "3"});
    EXPECT_TRUE(failing.Started);
    EXPECT_TRUE(failing.Exited);
    EXPECT_EQ(failing.ExitCode, 3);
    EXPECT_EQ(failing.Signal, 0);
    EXPECT_FALSE(failing.Succeeded());

    const auto own = runner.Run(ChildPath(), {"exit", "7"});
    EXPECT_TRUE(own.Exited);
    EXPECT_EQ(own.ExitCode, 7);
}

TEST_F(ProcessWindows, AMissingProgramIsAStartError)
{
    TTempDir dir;
    TSpawnProcessRunner runner;
    const auto missing = runner.Run(Utf8(dir.Path() / "7zz.exe"), {"t", "x.zip"});
    EXPECT_FALSE(missing.Started);
    EXPECT_EQ(missing.StartError, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(missing.Succeeded());
    EXPECT_EQ(SystemErrorKind(missing.StartError), TSystemErrorKind::NotFound);
    EXPECT_FALSE(SystemErrorText(missing.StartError).empty());

    const auto noFolder = runner.Run(Utf8(dir.Path() / "nao existe" / "7zz.exe"), {});
    EXPECT_FALSE(noFolder.Started);
    EXPECT_EQ(SystemErrorKind(noFolder.StartError), TSystemErrorKind::NotFound) << noFolder.StartError;

    // A bare name is a file name in the current folder, never a search.
    const auto bare = runner.Run("cmd", {"/c", "exit", "0"});
    EXPECT_FALSE(bare.Started);
    EXPECT_NE(bare.StartError, 0);
}

TEST_F(ProcessWindows, TheCommandLineReachesTheProgramExactly)
{
    // Started from a folder whose name needs quoting and is not ASCII.
    TTempDir dir;
    const auto folder = dir.Path() / std::filesystem::path(u8"Programas ação 日本");
    std::filesystem::create_directories(folder);
    const auto copy = folder / "filho.exe";
    std::filesystem::copy_file(Child, copy);
    const std::vector<std::string> args{"args", "", "a b", "\"", "say \"oi\"", "C:\\pasta com espaço\\",
                                        "\\\\servidor\\xml\\", "fim\\\"", "x\\\\\"y", "*", "%PATH%", "$HOME",
                                        "tab\there", "nota ção 😀", "-p\"se nh\\a\""};
    TSpawnProcessRunner runner;
    const auto result = runner.Run(Utf8(copy), args);
    ASSERT_TRUE(result.Succeeded()) << result.StartError << " " << result.Output;
    EXPECT_EQ(SplitAtNul(result.Output), args);
}

TEST_F(ProcessWindows, KeepsOnlyTheTailOfLongOutput)
{
    TSpawnProcessRunner runner;
    const auto chatty = runner.Run(ChildPath(), {"print", "5000"});
    EXPECT_TRUE(chatty.Succeeded());
    EXPECT_LE(chatty.Output.size(), 8u * 1024u);
    EXPECT_TRUE(chatty.Output.ends_with("linha 4999\nfim\n")) << chatty.Output.substr(chatty.Output.size() - 40);
}

TEST_F(ProcessWindows, StreamsStandardOutputOfAnySizeAndKeepsTheTailOfStandardError)
{
    const std::size_t lines = 300000; // about 3.5 MB, a listing of a big month
    std::string received;
    std::size_t pieces = 0;
    TSpawnProcessRunner spawn;
    IProcessRunner& runner = spawn;
    const auto result = runner.RunStreaming(ChildPath(), {"print", std::to_string(lines)},
                                            [&](std::string_view piece) {
                                                received.append(piece);
                                                ++pieces;
                                            });
    EXPECT_TRUE(result.Succeeded()) << result.Output;
    EXPECT_EQ(result.Output, "fim\n");
    EXPECT_GT(pieces, 10u); // handed on as it came
    EXPECT_TRUE(received.starts_with("linha 0\nlinha 1\n"));
    EXPECT_TRUE(received.ends_with("linha 299999\n"));
    EXPECT_EQ(std::count(received.begin(), received.end(), '\n'), static_cast<std::ptrdiff_t>(lines));
}

TEST_F(ProcessWindows, ATimeLimitKillsTheProgramAndAllItStarted)
{
    TTempDir dir;
    const auto idFile = dir.Path() / "ids";
    TSpawnProcessRunner runner(2s);
    const auto start = TClock::now();
    const auto result = runner.Run(ChildPath(), {"family", Utf8(idFile)});
    EXPECT_LT(TClock::now() - start, 15s);
    EXPECT_TRUE(result.Started);
    EXPECT_TRUE(result.TimedOut);
    EXPECT_FALSE(result.Exited);
    EXPECT_EQ(result.Signal, 0);
    EXPECT_FALSE(result.Succeeded());
    const auto ids = ReadIds(idFile);
    ASSERT_EQ(ids.size(), 2u) << "the child did not get to start its own";
    ExpectAllGone(ids);
}

TEST_F(ProcessWindows, AProgramThatLeavesAChildHoldingItsOutputIsDoneAtItsOwnEnd)
{
    TTempDir dir;
    const auto idFile = dir.Path() / "ids";
    TSpawnProcessRunner runner(2min);
    const auto start = TClock::now();
    const auto result = runner.Run(ChildPath(), {"leave", Utf8(idFile)});
    EXPECT_LT(TClock::now() - start, 30s);
    EXPECT_TRUE(result.Succeeded()) << result.Output;
    EXPECT_FALSE(result.TimedOut);
    EXPECT_EQ(result.Output, "pronto\n");
    const auto ids = ReadIds(idFile);
    ASSERT_EQ(ids.size(), 2u);
    ExpectAllGone(ids);
}

// Orvant killed while 7-Zip runs: the system closes its job handle, and the
// job takes the program and its child with it.
TEST_F(ProcessWindows, WhenOrvantIsKilledTheProgramAndAllItStartedEnd)
{
    TTempDir dir;
    const auto idFile = dir.Path() / "ids";
    const std::wstring self = Child.wstring();
    std::wstring line = L"\"" + self + L"\" orvant \"" + idFile.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION orvant{};
    ASSERT_TRUE(::CreateProcessW(self.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                                 nullptr, &startup, &orvant));
    ::CloseHandle(orvant.hThread);
    const bool started = Within(30s, [&] { return std::filesystem::exists(idFile); });
    ::TerminateProcess(orvant.hProcess, 9);
    EXPECT_EQ(::WaitForSingleObject(orvant.hProcess, 10000), WAIT_OBJECT_0);
    ::CloseHandle(orvant.hProcess);
    ASSERT_TRUE(started) << "the program under the stand-in did not start";
    const auto ids = ReadIds(idFile);
    ASSERT_EQ(ids.size(), 2u);
    ExpectAllGone(ids);
}

TEST_F(ProcessWindows, FindsProgramsInPathWithTheirExtension)
{
    const auto cmd = FindProgramInPath("cmd");
    ASSERT_TRUE(cmd.has_value());
    std::string lower = *cmd;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    EXPECT_TRUE(lower.ends_with("\\cmd.exe")) << *cmd;
    EXPECT_FALSE(FindProgramInPath("programa-que-nao-existe-orvant").has_value());
    EXPECT_FALSE(FindProgramInPath("").has_value());

    // A folder with a non-ASCII name on PATH, and a path given with no extension.
    TTempDir dir;
    const auto folder = dir.Path() / std::filesystem::path(u8"ferramentas ç");
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(Child, folder / "orvant-filho.exe");
    std::filesystem::create_directories(folder / "7zz.exe"); // a folder is no program
    EXPECT_EQ(FindProgramInPath(Utf8(folder / "orvant-filho")), Utf8(folder / "orvant-filho.exe"));
    std::wstring path(32768, L'\0');
    path.resize(::GetEnvironmentVariableW(L"PATH", path.data(), static_cast<DWORD>(path.size())));
    ::SetEnvironmentVariableW(L"PATH", (folder.wstring() + L";" + path).c_str());
    const auto found = FindProgramInPath("orvant-filho");
    const auto notAProgram = FindProgramInPath("7zz");
    ::SetEnvironmentVariableW(L"PATH", path.c_str());
    EXPECT_EQ(found, Utf8(folder / "orvant-filho.exe"));
    EXPECT_NE(notAProgram, Utf8(folder / "7zz.exe"));
}

// The Linux cases that have no Windows counterpart are listed, so that a
// Windows run says why they did not run.
TEST(Process, AProgramKilledByASignalIsReported)
{
    GTEST_SKIP() << "Windows has no signals: a program ended from outside simply has the exit code it was given, "
                    "and Signal stays 0 (ReportsExitCodeAndOutputOfASystemProgram covers the exit codes)";
}

TEST(Process, WhenOrvantDiesItsGuardianKillsTheProgramAndAllItStarted)
{
    GTEST_SKIP() << "Windows needs no guardian process and no Ctrl-C handling: the job object is killed by the "
                    "system when Orvant's handle to it closes (WhenOrvantIsKilledTheProgramAndAllItStartedEnd)";
}
