#include "support/TestChildProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Starts argv with its standard output (and error, when mergeError) on a new pipe;
// returns the child's id and the pipe's reading end.
pid_t Spawn(const std::vector<std::string>& argv, bool mergeError, int& readEnd)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    if (mergeError)
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int result = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (result != 0) {
        close(pipeEnds[0]);
        throw std::runtime_error("cannot start " + argv.at(0));
    }
    readEnd = pipeEnds[0];
    return pid;
}

int WaitFor(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

TTestChildProcess::TTestChildProcess(const std::vector<std::string>& argv)
{
    FPid = Spawn(argv, false, FOutput);
}

TTestChildProcess::~TTestChildProcess()
{
    Stop();
}

std::string TTestChildProcess::ReadLine()
{
    std::string line;
    char c = 0;
    while (FOutput >= 0) {
        const ssize_t n = read(FOutput, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || c == '\n')
            break;
        line += c;
    }
    return line;
}

int TTestChildProcess::Stop()
{
    int status = -1;
    if (FPid > 0) {
        kill(FPid, SIGTERM);
        status = WaitFor(FPid);
        FPid = -1;
    }
    if (FOutput >= 0) {
        close(FOutput);
        FOutput = -1;
    }
    return status;
}
