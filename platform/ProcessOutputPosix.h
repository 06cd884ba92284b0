#pragma once
// Reading a running program's output: its pipes are read side by side as data
// arrives (a program filling its error pipe while we wait on its output pipe
// would otherwise stall), and each piece goes to the pipe's consumer at once,
// so memory does not grow with the amount printed.

#include "platform/FileDescriptor.h"

#include <chrono>
#include <functional>
#include <string_view>
#include <vector>

namespace orvant::platform {

class TOutputPump {
public:
    using TConsumer = std::function<void(std::string_view)>;

    TOutputPump();
    void Add(TFileDescriptor readEnd, TConsumer consumer);
    // Every pipe reached its end (or could not be read any more).
    bool Finished() const { return FStreams.empty(); }
    // Waits until output arrives, a pipe ends, `wakeFd` (when not -1) becomes
    // readable or `until` passes, and hands on what has arrived.
    void PumpOnce(std::chrono::steady_clock::time_point until, int wakeFd);

private:
    struct TStream {
        TFileDescriptor ReadEnd;
        TConsumer Consumer;
    };
    // False when the stream has ended.
    bool ReadFrom(TStream& stream);

    std::vector<TStream> FStreams;
    std::vector<char> FBuffer;
};

} // namespace orvant::platform
