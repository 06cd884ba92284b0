#include "platform/Process.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace orvant::platform {

namespace {

constexpr std::size_t kOutputTail = 8 * 1024;

bool IsExecutableFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

struct TSpawnActions {
    posix_spawn_file_actions_t Actions;
    TSpawnActions() { posix_spawn_file_actions_init(&Actions); }
    ~TSpawnActions() { posix_spawn_file_actions_destroy(&Actions); }
    TSpawnActions(const TSpawnActions&) = delete;
    TSpawnActions& operator=(const TSpawnActions&) = delete;
};

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

TProcessResult TSpawnProcessRunner::Run(const std::string& program, const std::vector<std::string>& args)
{
    TProcessResult result;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        result.StartError = errno;
        return result;
    }
    TSpawnActions actions;
    posix_spawn_file_actions_addopen(&actions.Actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions.Actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions.Actions, pipeFds[1], 2);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions.Actions, nullptr, argv.data(), environ);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        result.StartError = rc;
        return result;
    }
    result.Started = true;

    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        result.Output.append(buffer, static_cast<std::size_t>(n));
        if (result.Output.size() > 2 * kOutputTail)
            result.Output.erase(0, result.Output.size() - kOutputTail);
    }
    ::close(pipeFds[0]);
    if (result.Output.size() > kOutputTail)
        result.Output.erase(0, result.Output.size() - kOutputTail);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return result;
    }
    if (WIFEXITED(status)) {
        result.Exited = true;
        result.ExitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.Signal = WTERMSIG(status);
    }
    return result;
}

} // namespace orvant::platform
