#include "platform/Process.h"

// What every system shares; starting, waiting and killing are in
// ProcessPosix.cpp and ProcessWindows.cpp.

namespace orvant::platform {

TProcessResult IProcessRunner::RunStreaming(const std::string& program, const std::vector<std::string>& args,
                                            const TOutputSink& standardOutput)
{
    TProcessResult result = Run(program, args);
    standardOutput(result.Output);
    return result;
}

TSpawnProcessRunner::TSpawnProcessRunner(std::chrono::milliseconds timeLimit) : FTimeLimit(timeLimit)
{
}

TProcessResult TSpawnProcessRunner::Run(const std::string& program, const std::vector<std::string>& args)
{
    return RunBounded(program, args, nullptr);
}

TProcessResult TSpawnProcessRunner::RunStreaming(const std::string& program, const std::vector<std::string>& args,
                                                 const TOutputSink& standardOutput)
{
    return RunBounded(program, args, &standardOutput);
}

} // namespace orvant::platform
