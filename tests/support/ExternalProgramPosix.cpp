#include "support/ExternalProgram.h"

#include "platform/TempFile.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

TProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& input)
{
    TProgramResult result;
    // The input goes through a file, so a program that writes before it has read
    // everything cannot block against us.
    const std::string inputFile = orvant::platform::CreateTempFile("", "orvant-input-");
    const char* inputPath = inputFile.c_str();
    const int inputFd = inputFile.empty() ? -1 : open(inputPath, O_WRONLY | O_CLOEXEC);
    if (inputFd < 0) {
        if (!inputFile.empty())
            unlink(inputPath);
        return result;
    }
    const bool written = write(inputFd, input.data(), input.size()) == static_cast<ssize_t>(input.size());
    close(inputFd);
    int pipeFds[2];
    if (!written || pipe2(pipeFds, O_CLOEXEC) != 0) {
        unlink(inputPath);
        return result;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inputPath, O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);

    if (spawned == 0) {
        char buffer[65536];
        for (;;) {
            const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
            if (n > 0)
                result.Output.append(buffer, static_cast<std::size_t>(n));
            else if (n == 0 || errno != EINTR)
                break;
        }
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            result.ExitCode = WEXITSTATUS(status);
    }
    close(pipeFds[0]);
    unlink(inputPath);
    return result;
}
