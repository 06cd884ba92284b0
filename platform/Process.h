#pragma once
// Starts an outside program (never through a shell), waits for it and keeps
// the tail of what it printed, so that a failure can be explained. Every
// program is bounded in time and owned: neither a time limit, nor its own end,
// nor Orvant's death leaves it or anything it started running.
//
// On Linux (ProcessPosix.cpp), with posix_spawn:
// - it runs as the leader of a process group of its own, with an empty signal
//   mask and the default handling of SIGINT, SIGTERM, SIGHUP and SIGPIPE;
// - when its time limit passes, the whole group is killed with SIGKILL and the
//   result says TimedOut; when it ends on its own, whatever it left running in
//   its group is killed too, so a forgotten child holding the output pipe
//   cannot keep us reading;
// - a guardian process waits on a pipe that only we can write to and kills the
//   group when that pipe closes: when we are done with the program, or when we
//   die in any way, SIGKILL included. It ignores SIGINT, SIGTERM, SIGHUP,
//   SIGQUIT and SIGTSTP, so a Ctrl-C to the terminal ends Orvant but not the
//   guardian before it has done its job, and it keeps none of our descriptors;
// - every wait is bounded: output is read against the limit's deadline, after
//   the program's end its pipes get two more seconds to deliver the rest, and
//   a killed program is reaped as soon as the kernel has ended it.
// A child of the program that moves to a group or session of its own is out of
// reach, as for any job control.
//
// On Windows (ProcessWindows.cpp), with CreateProcessW and no console window:
// - the command line is built from program and arguments by the quoting rules
//   Windows programs split it with (BuildWindowsCommandLine), so each argument
//   arrives as given; only the three standard handles are inherited;
// - the program starts suspended and is put in a job object of its own before
//   it runs, so all it starts is in the job too. At the time limit, and after
//   its own end, the job is terminated; the job is made to kill what is in it
//   when its last handle closes, which the system does when Orvant ends in any
//   way, so no guardian is needed;
// - output is read through overlapped pipes in the same bounded waits as on
//   Linux (WaitForMultipleObjects on the program and its pipes).

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvant::platform {

struct TProcessResult {
    bool Started = false;
    int StartError = 0;   // why it could not be started: errno, GetLastError() on Windows
    bool Exited = false;  // ended by itself (else killed by a signal or for its time limit)
    int ExitCode = -1;
    int Signal = 0;       // always 0 on Windows, which has no signals
    bool TimedOut = false; // killed because its time limit passed (on Linux Signal is SIGKILL)
    std::string Output;   // the last few KiB of its standard output and error

    bool Succeeded() const { return Started && Exited && ExitCode == 0; }
};

// The full path of a program found in $PATH, or nothing. On Windows a name
// without an extension is looked for with those of PATHEXT that CreateProcessW
// can start (".exe", ".com"), and the current folder is not searched.
std::optional<std::string> FindProgramInPath(std::string_view name);

// Receives a program's standard output piece by piece, as it arrives.
using TOutputSink = std::function<void(std::string_view)>;

class IProcessRunner {
public:
    virtual ~IProcessRunner() = default;
    // `program` is a path; `args` are the arguments after the program name.
    virtual TProcessResult Run(const std::string& program, const std::vector<std::string>& args) = 0;
    // Like Run, with the standard output handed to `standardOutput` instead of
    // kept, however long it is; Output then holds the tail of standard error.
    // This default runs Run and hands its whole Output on at once.
    virtual TProcessResult RunStreaming(const std::string& program, const std::vector<std::string>& args,
                                        const TOutputSink& standardOutput);
};

// Long enough for 7-Zip to pack or test a busy month of a big store.
inline constexpr std::chrono::minutes kDefaultProcessTimeLimit{10};

class TSpawnProcessRunner final : public IProcessRunner {
public:
    // Each program may run for `timeLimit` from its start.
    explicit TSpawnProcessRunner(std::chrono::milliseconds timeLimit = kDefaultProcessTimeLimit);

    std::chrono::milliseconds TimeLimit() const { return FTimeLimit; }

    // Standard output and error share one pipe; Output keeps their tail.
    TProcessResult Run(const std::string& program, const std::vector<std::string>& args) override;
    TProcessResult RunStreaming(const std::string& program, const std::vector<std::string>& args,
                                const TOutputSink& standardOutput) override;

private:
    // With no sink, standard error goes with standard output into the tail.
    TProcessResult RunBounded(const std::string& program, const std::vector<std::string>& args,
                              const TOutputSink* standardOutput) const;

    std::chrono::milliseconds FTimeLimit;
};

} // namespace orvant::platform
