#include "platform/Process.h"
#include "platform/SystemError.h"

#include "support/StoreFixture.h"
#include "support/TempDir.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using orvant::platform::FindProgramInPath;
using orvant::platform::SystemErrorKind;
using orvant::platform::TSystemErrorKind;
using orvant::platform::IProcessRunner;
using orvant::platform::TProcessResult;
using orvant::platform::TSpawnProcessRunner;
using orvant::test::TTempDir;

namespace {

using TClock = std::chrono::steady_clock;

// Starts `sleep 1000` in the background, writes its own id and the sleep's to
// the file named by its argument (whole, by a rename), then sleeps itself.
constexpr const char* kSleepingFamily = "sleep 1000 &\necho $$ $! > \"$1.tmp\" && mv \"$1.tmp\" \"$1\"\nsleep 1000\n";

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

std::vector<pid_t> ReadPids(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::vector<pid_t> pids;
    for (pid_t pid = 0; in >> pid;)
        pids.push_back(pid);
    return pids;
}

// The state letter and the parent from /proc/PID/stat, "pid (name) state ppid ...".
std::pair<char, pid_t> StateAndParent(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    std::istringstream rest(text.substr(std::min(text.size(), text.rfind(')') + 1)));
    std::pair<char, pid_t> stat{'?', 0};
    rest >> stat.first >> stat.second;
    return stat;
}

bool IsGone(pid_t pid)
{
    return (::kill(pid, 0) != 0 && errno == ESRCH) || StateAndParent(pid).first == 'Z';
}

// A failing run kills what it finds left, so that it leaves nothing behind.
void ExpectAllGone(const std::vector<pid_t>& pids)
{
    if (Within(10s, [&] { return std::all_of(pids.begin(), pids.end(), IsGone); }))
        return;
    ADD_FAILURE() << "still running: " << ::testing::PrintToString(pids);
    ::kill(-pids.front(), SIGKILL);
    for (const pid_t pid : pids)
        ::kill(pid, SIGKILL);
}

bool NoChildLeft()
{
    return ::waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD;
}

std::vector<pid_t> ChildrenOf(pid_t parent)
{
    std::vector<pid_t> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const pid_t pid = std::atoi(entry.path().filename().c_str());
        if (pid > 0 && StateAndParent(pid).second == parent)
            children.push_back(pid);
    }
    return children;
}

std::size_t OpenDescriptors(pid_t pid)
{
    std::error_code ec;
    const std::filesystem::directory_iterator fds("/proc/" + std::to_string(pid) + "/fd", ec);
    return ec ? 0 : static_cast<std::size_t>(std::distance(fds, std::filesystem::directory_iterator()));
}

bool IgnoresSignal(pid_t pid, int signal)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("SigIgn:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    }
    return false;
}

} // namespace

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
    EXPECT_EQ(SystemErrorKind(missing.StartError), TSystemErrorKind::NotFound);
    const auto underAFile = runner.Run("/etc/passwd/7z", {});
    EXPECT_FALSE(underAFile.Started);
    EXPECT_EQ(underAFile.StartError, ENOTDIR);

    const auto killed = runner.Run("/bin/sh", {"-c", "kill -TERM $$"});
    EXPECT_TRUE(killed.Started);
    EXPECT_FALSE(killed.Exited);
    EXPECT_EQ(killed.Signal, SIGTERM);
    EXPECT_FALSE(killed.TimedOut);
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

TEST(Process, ATimeLimitKillsTheProgramAndAllItStarted)
{
    EXPECT_EQ(TSpawnProcessRunner().TimeLimit(), orvant::platform::kDefaultProcessTimeLimit);
    TTempDir dir;
    const auto pidFile = dir.Path() / "pids";
    TSpawnProcessRunner runner(1s);
    const auto start = TClock::now();
    const auto result = runner.Run("/bin/sh", {dir.WriteFile("familia.sh", kSleepingFamily).string(), pidFile.string()});
    EXPECT_LT(TClock::now() - start, 10s);
    EXPECT_TRUE(result.Started);
    EXPECT_TRUE(result.TimedOut);
    EXPECT_FALSE(result.Exited);
    EXPECT_EQ(result.Signal, SIGKILL);
    EXPECT_FALSE(result.Succeeded());
    const auto pids = ReadPids(pidFile);
    ASSERT_EQ(pids.size(), 2u);
    ExpectAllGone(pids);
    EXPECT_TRUE(NoChildLeft()); // the guardian was reaped too
}

// Orvant ended from outside while a program runs: by a SIGKILL to it alone, and
// by a Ctrl-C that reaches its whole group, the guardian included.
TEST(Process, WhenOrvantDiesItsGuardianKillsTheProgramAndAllItStarted)
{
    const std::array kEnds{SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    for (const int signal : {SIGKILL, SIGINT}) {
        SCOPED_TRACE(signal);
        TTempDir dir;
        const std::string script = dir.WriteFile("familia.sh", kSleepingFamily).string();
        const auto pidFile = dir.Path() / "pids";
        const pid_t orvant = ::fork();
        if (orvant == 0) {
            ::setpgid(0, 0); // a group of its own, as a terminal's foreground job has
            TSpawnProcessRunner(1h).Run("/bin/sh", {script, pidFile.string()});
            ::_exit(0);
        }
        ::setpgid(orvant, orvant);
        Within(20s, [&] { return std::filesystem::exists(pidFile); });
        const auto pids = ReadPids(pidFile);
        // Looked at while Orvant lives: the guardian is its child that is not the script.
        std::vector<pid_t> guardian;
        Within(10s, [&] {
            guardian = ChildrenOf(orvant);
            std::erase(guardian, pids.empty() ? 0 : pids.front());
            return guardian.size() == 1 && OpenDescriptors(guardian[0]) == 1 && IgnoresSignal(guardian[0], SIGQUIT);
        });
        const std::size_t descriptors = guardian.size() == 1 ? OpenDescriptors(guardian[0]) : 0;
        const bool ignoresEndSignals = guardian.size() == 1 && std::all_of(kEnds.begin(), kEnds.end(), [&](int s) {
            return IgnoresSignal(guardian[0], s);
        });

        ::kill(signal == SIGINT ? -orvant : orvant, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(orvant, &status, 0), orvant);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);
        EXPECT_EQ(guardian.size(), 1u);
        EXPECT_EQ(descriptors, 1u); // the lifeline alone
        EXPECT_TRUE(ignoresEndSignals);
        ASSERT_EQ(pids.size(), 2u);
        ExpectAllGone(pids);
    }
}

TEST(Process, StreamsStandardOutputOfAnySizeAndKeepsTheTailOfStandardError)
{
    // 120 kB of errors first, more than a pipe holds: standard error has to be
    // read while standard output is still open, or the program stalls.
    const std::string line = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ\n";
    const std::size_t lines = 320000; // 20 MB, the listing of a month of 60,000 invoices
    const std::string script = "yes aviso | head -n 20000 >&2; yes " + line.substr(0, line.size() - 1) + " | head -n "
        + std::to_string(lines) + "; echo ultimo aviso >&2";
    std::size_t received = 0, pieces = 0, largestPiece = 0, wrong = 0;
    TSpawnProcessRunner spawn;
    IProcessRunner& runner = spawn;
    const auto result = runner.RunStreaming("/bin/sh", {"-c", script}, [&](std::string_view piece) {
        for (const char c : piece)
            wrong += c != line[received++ % line.size()];
        ++pieces;
        largestPiece = std::max(largestPiece, piece.size());
    });
    EXPECT_TRUE(result.Succeeded()) << result.Output;
    EXPECT_EQ(received, lines * line.size());
    EXPECT_EQ(wrong, 0u);
    EXPECT_GT(pieces, 10u);                  // handed on as it came, not kept
    EXPECT_LE(largestPiece, 1024u * 1024u);
    EXPECT_LE(result.Output.size(), 8u * 1024u);
    EXPECT_TRUE(result.Output.ends_with("aviso\nultimo aviso\n"));
    EXPECT_EQ(result.Output.find("0123"), std::string::npos);

    // A runner without streaming of its own hands its whole output on at once.
    orvant::test::TRecordingProcessRunner recording;
    recording.Handler = [](const auto&) {
        TProcessResult listed;
        listed.Started = listed.Exited = true;
        listed.ExitCode = 0;
        listed.Output = "listagem";
        return listed;
    };
    std::vector<std::string> handed;
    const auto listed = recording.RunStreaming("7zz", {"l"}, [&](std::string_view piece) { handed.emplace_back(piece); });
    EXPECT_TRUE(listed.Succeeded());
    EXPECT_EQ(handed, std::vector<std::string>{"listagem"});
}

TEST(Process, AProgramThatLeavesAChildHoldingItsOutputIsDoneAtItsOwnEnd)
{
    TTempDir dir;
    const auto pidFile = dir.Path() / "pid";
    TSpawnProcessRunner runner(2min);
    const auto start = TClock::now();
    const auto result = runner.Run("/bin/sh", {"-c", "sleep 1000 & echo $! > \"$0\"; echo pronto", pidFile.string()});
    EXPECT_LT(TClock::now() - start, 30s);
    EXPECT_TRUE(result.Succeeded());
    EXPECT_FALSE(result.TimedOut);
    EXPECT_EQ(result.Output, "pronto\n");
    const auto pids = ReadPids(pidFile);
    ASSERT_EQ(pids.size(), 1u);
    ExpectAllGone(pids);
    EXPECT_TRUE(NoChildLeft());
}
