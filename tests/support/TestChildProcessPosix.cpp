#include "support/TestChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

// Starts argv with its standard output (and error, when mergeError) on a new pipe;
// returns the child's id and the pipe's reading end. With inputWriteEnd the child's
// standard input is another pipe, whose writing end (close-on-exec, so that no other
// child inherits it) goes there.
pid_t Spawn(const std::vector<std::string>& argv, bool mergeError, int& readEnd, int* inputWriteEnd = nullptr)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    int inputEnds[2] = {-1, -1};
    if (inputWriteEnd != nullptr && pipe2(inputEnds, O_CLOEXEC) != 0) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    if (mergeError)
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
    if (inputWriteEnd != nullptr)
        posix_spawn_file_actions_adddup2(&actions, inputEnds[0], STDIN_FILENO);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int result = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (inputWriteEnd != nullptr)
        close(inputEnds[0]);
    if (result != 0) {
        close(pipeEnds[0]);
        if (inputWriteEnd != nullptr)
            close(inputEnds[1]);
        throw std::runtime_error("cannot start " + argv.at(0));
    }
    readEnd = pipeEnds[0];
    if (inputWriteEnd != nullptr)
        *inputWriteEnd = inputEnds[1];
    return pid;
}

int ExitStatus(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int WaitFor(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return ExitStatus(status);
}

// Reaps the child when it ends within the bound.
std::optional<int> WaitWithin(pid_t pid, std::chrono::milliseconds bound)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        int status = 0;
        const pid_t reaped = waitpid(pid, &status, WNOHANG);
        if (reaped == pid)
            return ExitStatus(status);
        if (reaped < 0 && errno != EINTR)
            return -1;
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace

int RunTestProgram(const std::vector<std::string>& argv, std::string& output)
{
    int readEnd = -1;
    const pid_t pid = Spawn(argv, true, readEnd);
    output.clear();
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(readEnd, buffer, sizeof buffer);
        if (n > 0)
            output.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    close(readEnd);
    return WaitFor(pid);
}

TTestChildProcess::TTestChildProcess(const std::vector<std::string>& argv, bool holdStdin)
{
    FPid = Spawn(argv, false, FOutput, holdStdin ? &FInput : nullptr);
}

TTestChildProcess::~TTestChildProcess()
{
    Stop();
}

std::string TTestChildProcess::ReadLine()
{
    return *ReadLineBefore(std::nullopt);
}

std::optional<std::string> TTestChildProcess::ReadLineWithin(std::chrono::milliseconds bound)
{
    return ReadLineBefore(std::chrono::steady_clock::now() + bound);
}

std::optional<std::string> TTestChildProcess::ReadLineBefore(std::optional<std::chrono::steady_clock::time_point> deadline)
{
    char c = 0;
    while (FOutput >= 0) {
        int waitMs = -1;
        if (deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
            waitMs = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
        }
        pollfd output{FOutput, POLLIN, 0};
        const int ready = poll(&output, 1, waitMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            return std::nullopt;
        const ssize_t n = read(FOutput, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || c == '\n')
            break;
        FPartialLine += c;
    }
    std::string line;
    std::swap(line, FPartialLine);
    return line;
}

int TTestChildProcess::Stop()
{
    int status = -1;
    if (FInput >= 0) {
        close(FInput);
        FInput = -1;
    }
    if (FPid > 0) {
        kill(FPid, SIGTERM);
        const std::optional<int> ended = WaitWithin(FPid, std::chrono::seconds(10));
        if (ended) {
            status = *ended;
        } else {
            kill(FPid, SIGKILL);
            WaitFor(FPid);
        }
        FPid = -1;
    }
    if (FOutput >= 0) {
        close(FOutput);
        FOutput = -1;
    }
    return status;
}
