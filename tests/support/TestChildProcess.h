#pragma once
// Child programs for tests (the openssl command, loopback servers written in Python),
// started without a shell. Under Wine they are Linux programs started by the test
// broker (test_broker.py), and Windows paths in their arguments reach them as the
// Linux paths they stand for. A running child is terminated and reaped when its object
// goes, so a failing test does not leave servers behind.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// Runs a program (looked up in PATH) to its end; returns its exit status (-1 when it
// could not start or was killed) and leaves its standard output and error in output.
int RunTestProgram(const std::vector<std::string>& argv, std::string& output);

class TTestChildProcess {
public:
    // Starts the program (looked up in PATH); its standard output is read by ReadLine,
    // its standard error goes to the test's. With holdStdin the child's standard input
    // is a pipe that only this object holds: the child sees its end when the object
    // stops it, and also when the test program dies without cleaning up.
    explicit TTestChildProcess(const std::vector<std::string>& argv, bool holdStdin = false);
    ~TTestChildProcess();
    TTestChildProcess(const TTestChildProcess&) = delete;
    TTestChildProcess& operator=(const TTestChildProcess&) = delete;

    // The next line of the child's output without its line end; empty at the end.
    std::string ReadLine();
    // The same, waiting at most `bound`: nothing when no whole line came in time (what
    // came stays for the next call), the rest of the output (maybe empty) at its end.
    std::optional<std::string> ReadLineWithin(std::chrono::milliseconds bound);
    // Closes the held standard input, sends SIGTERM (when still running) and waits,
    // killing a child that is not gone after ten seconds; returns the exit status as
    // RunTestProgram does.
    int Stop();
    long Pid() const { return FPid; }

private:
    // No deadline: wait as long as it takes.
    std::optional<std::string> ReadLineBefore(std::optional<std::chrono::steady_clock::time_point> deadline);

    long FPid = -1;
    // The child's output (Linux); on Windows the connection to the test broker.
    int FOutput = -1;
    int FInput = -1;
    std::string FPartialLine;
    // Windows: the broker's framing of the output (see test_broker.py).
    std::string FFrameHeader;
    std::size_t FFrameLeft = 0;
    std::optional<int> FExitStatus;
};
