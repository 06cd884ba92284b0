#pragma once
// Whether the caller runs on the process's main thread (the one that runs the user
// interface).

namespace orvant::platform {

bool IsMainThread();

} // namespace orvant::platform
