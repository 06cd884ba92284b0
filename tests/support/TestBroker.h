#pragma once
// The Windows side of test_broker.py: Linux programs started for tests under Wine.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace testbroker {

// A connection to the broker (its port is in the file $ORVANT_TEST_BROKER_FILE);
// throws std::runtime_error when there is none.
int Connect();
void SendAll(int socket, const std::string& bytes);
// One byte, waiting until the deadline (none: as long as it takes); nothing when
// the time passed, '\0' with ended set when the broker closed.
std::optional<char> ReadByte(int socket, std::optional<std::chrono::steady_clock::time_point> deadline,
                             bool& ended);
std::string JsonArray(const std::vector<std::string>& items);
// Runs the program to its end with `input`; returns its exit code (-1: did not start).
int Run(const std::vector<std::string>& argv, const std::string& input, bool mergeError, std::string& output);

} // namespace testbroker
