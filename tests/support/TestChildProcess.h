#pragma once
// Child programs for tests (the openssl command, loopback servers written in Python),
// started without a shell. A running child is terminated and reaped when its object
// goes, so a failing test does not leave servers behind.

#include <string>
#include <sys/types.h>
#include <vector>

// Runs a program (looked up in PATH) to its end; returns its exit status (-1 when it
// could not start or was killed) and leaves its standard output and error in output.
int RunTestProgram(const std::vector<std::string>& argv, std::string& output);

class TTestChildProcess {
public:
    // Starts the program (looked up in PATH); its standard output is read by ReadLine,
    // its standard error goes to the test's.
    explicit TTestChildProcess(const std::vector<std::string>& argv);
    ~TTestChildProcess();
    TTestChildProcess(const TTestChildProcess&) = delete;
    TTestChildProcess& operator=(const TTestChildProcess&) = delete;

    // The next line of the child's output without its line end; empty at the end.
    std::string ReadLine();
    // Sends SIGTERM (when still running) and waits; returns the exit status as
    // RunTestProgram does.
    int Stop();

private:
    pid_t FPid = -1;
    int FOutput = -1;
};
