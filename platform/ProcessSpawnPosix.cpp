#include "platform/ProcessSpawn.h"

#include <csignal>
#include <initializer_list>
#include <fcntl.h>
#include <spawn.h>

extern char** environ;

namespace orvant::platform {

namespace {

struct TSpawnActions {
    posix_spawn_file_actions_t Actions;
    TSpawnActions() { posix_spawn_file_actions_init(&Actions); }
    ~TSpawnActions() { posix_spawn_file_actions_destroy(&Actions); }
    TSpawnActions(const TSpawnActions&) = delete;
    TSpawnActions& operator=(const TSpawnActions&) = delete;
};

struct TSpawnAttributes {
    posix_spawnattr_t Attributes;
    TSpawnAttributes() { posix_spawnattr_init(&Attributes); }
    ~TSpawnAttributes() { posix_spawnattr_destroy(&Attributes); }
    TSpawnAttributes(const TSpawnAttributes&) = delete;
    TSpawnAttributes& operator=(const TSpawnAttributes&) = delete;
};

// pgid 0: the child's own id. glibc's posix_spawn returns only once the child
// has exec'd, so the group exists before anyone may signal it.
void StartAsGroupLeaderWithPlainSignals(posix_spawnattr_t& attributes)
{
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        sigaddset(&defaults, signal);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
}

} // namespace

int SpawnInNewProcessGroup(const std::string& program, const std::vector<std::string>& args, int standardOutput,
                           int standardError, pid_t& pid)
{
    TSpawnActions actions;
    posix_spawn_file_actions_addopen(&actions.Actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions.Actions, standardOutput, 1);
    posix_spawn_file_actions_adddup2(&actions.Actions, standardError, 2);
    TSpawnAttributes attributes;
    StartAsGroupLeaderWithPlainSignals(attributes.Attributes);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return ::posix_spawn(&pid, program.c_str(), &actions.Actions, &attributes.Attributes, argv.data(), environ);
}

} // namespace orvant::platform
