#include "platform/Process.h"

#include "platform/ChildWatch.h"
#include "platform/FileDescriptor.h"
#include "platform/OwnedProcessGroup.h"
#include "platform/ProcessOutput.h"
#include "platform/ProcessOutputPosix.h"
#include "platform/ProcessSpawn.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvant::platform {

namespace {

using TClock = TChildWatch::TClock;

// Once the program has ended and the rest of its group is killed, its pipes
// close at once; only something that left the group (a daemon in a session of
// its own) could hold them open, and it is not waited for longer than this.
constexpr std::chrono::seconds kDrainAfterEnd{2};

bool IsExecutableFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

struct TRunPipes {
    TPipe Output;
    std::optional<TPipe> Errors; // only when standard error is kept apart
    TPipe Lifeline;
};

// Nothing, with errno set, when the system refused one of them.
std::optional<TRunPipes> OpenRunPipes(bool separateErrors)
{
    std::optional<TPipe> output = OpenPipe();
    if (!output)
        return std::nullopt;
    std::optional<TPipe> errors;
    if (separateErrors && !(errors = OpenPipe()))
        return std::nullopt;
    std::optional<TPipe> lifeline = OpenPipe();
    if (!lifeline)
        return std::nullopt;
    return TRunPipes{std::move(*output), std::move(errors), std::move(*lifeline)};
}

// Returns 0 or the error number. Our writing ends are closed either way: from
// then on the end of the pipes is the end of the program's output.
int SpawnOnPipes(const std::string& program, const std::vector<std::string>& args, TRunPipes& pipes, pid_t& pid)
{
    const int outputEnd = pipes.Output.WriteEnd.Get();
    const int errorEnd = pipes.Errors ? pipes.Errors->WriteEnd.Get() : outputEnd;
    const int error = SpawnInNewProcessGroup(program, args, outputEnd, errorEnd, pid);
    pipes.Output.WriteEnd.Close();
    if (pipes.Errors)
        pipes.Errors->WriteEnd.Close();
    return error;
}

// Reads output until the program ends; false when the deadline came first.
bool PumpUntilEnd(TOutputPump& pump, const TChildWatch& program, TClock::time_point deadline)
{
    while (!program.HasEnded()) {
        if (TClock::now() >= deadline)
            return false;
        pump.PumpOnce(program.NextCheck(deadline), program.EndFd());
    }
    return true;
}

void DrainPipes(TOutputPump& pump)
{
    const auto until = TClock::now() + kDrainAfterEnd;
    while (!pump.Finished() && TClock::now() < until)
        pump.PumpOnce(until, -1);
}

void SetStatus(TProcessResult& result, std::optional<int> status, bool killedForTime)
{
    if (!status)
        return;
    if (WIFEXITED(*status)) {
        result.Exited = true;
        result.ExitCode = WEXITSTATUS(*status);
    } else if (WIFSIGNALED(*status)) {
        result.Signal = WTERMSIG(*status);
        // It may have ended by itself just before the deadline's kill.
        result.TimedOut = killedForTime && result.Signal == SIGKILL;
    }
}

// Reads the output until the program ends or the deadline passes, then kills
// what is left of its group, takes the rest of the output and the status.
void Supervise(TOwnedProcessGroup& group, TRunPipes& pipes, const TOutputSink* standardOutput,
               TClock::time_point deadline, TProcessResult& result)
{
    TOutputTail tail(kKeptOutputSize);
    const auto keepTail = [&tail](std::string_view data) { tail.Append(data); };
    TOutputPump pump;
    if (standardOutput)
        pump.Add(std::move(pipes.Output.ReadEnd), [standardOutput](std::string_view data) { (*standardOutput)(data); });
    else
        pump.Add(std::move(pipes.Output.ReadEnd), keepTail);
    if (pipes.Errors)
        pump.Add(std::move(pipes.Errors->ReadEnd), keepTail);

    const bool ended = PumpUntilEnd(pump, group.Leader(), deadline);
    group.Kill();
    DrainPipes(pump);
    SetStatus(result, group.Finish(), !ended);
    result.Output = tail.Take();
}

} // namespace

std::optional<std::string> FindProgramInPath(std::string_view name)
{
    if (name.empty())
        return std::nullopt;
    if (name.find('/') != std::string_view::npos)
        return IsExecutableFile(std::string(name)) ? std::optional<std::string>(name) : std::nullopt;
    const char* path = std::getenv("PATH");
    std::string_view dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const auto colon = dirs.find(':');
        std::string dir(dirs.substr(0, colon));
        if (dir.empty())
            dir = ".";
        const std::string candidate = dir + "/" + std::string(name);
        if (IsExecutableFile(candidate))
            return candidate;
        if (colon == std::string_view::npos)
            return std::nullopt;
        dirs.remove_prefix(colon + 1);
    }
}

// The order keeps every descriptor where it belongs and the program unguarded
// for as short a time as can be. All pipes are made close-on-exec first, so the
// program gets only its output ends (by dup2) and never the lifeline. The
// program is spawned and our writing ends of its output closed before the
// guardian is forked, so the guardian never holds them; it is forked right
// after, and only our death in that moment would leave the program unguarded.
// The guardian closes all it inherited but the lifeline as its first act.
TProcessResult TSpawnProcessRunner::RunBounded(const std::string& program, const std::vector<std::string>& args,
                                               const TOutputSink* standardOutput) const
{
    TProcessResult result;
    std::optional<TRunPipes> pipes = OpenRunPipes(standardOutput != nullptr);
    if (!pipes) {
        result.StartError = errno;
        return result;
    }
    pid_t pid = -1;
    result.StartError = SpawnOnPipes(program, args, *pipes, pid);
    if (result.StartError != 0)
        return result;
    const auto deadline = TClock::now() + FTimeLimit;
    TOwnedProcessGroup group(pid, std::move(pipes->Lifeline));
    result.StartError = group.GuardianError();
    result.Started = result.StartError == 0;
    if (result.Started)
        Supervise(group, *pipes, standardOutput, deadline, result);
    return result;
}

} // namespace orvant::platform
