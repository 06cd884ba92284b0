#pragma once
// Starts an outside program with posix_spawn (never through a shell), waits for
// it and keeps the tail of what it printed, so that a failure can be explained.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvant::platform {

struct TProcessResult {
    bool Started = false;
    int StartError = 0;   // errno when the program could not be started
    bool Exited = false;  // ended normally (else killed by a signal)
    int ExitCode = -1;
    int Signal = 0;
    std::string Output;   // the last few KiB of its standard output and error

    bool Succeeded() const { return Started && Exited && ExitCode == 0; }
};

// The full path of a program found in $PATH, or nothing.
std::optional<std::string> FindProgramInPath(std::string_view name);

class IProcessRunner {
public:
    virtual ~IProcessRunner() = default;
    // `program` is a path; `args` are the arguments after the program name.
    virtual TProcessResult Run(const std::string& program, const std::vector<std::string>& args) = 0;
};

class TSpawnProcessRunner final : public IProcessRunner {
public:
    TProcessResult Run(const std::string& program, const std::vector<std::string>& args) override;
};

} // namespace orvant::platform
