#pragma once
// The system's error codes as the file and process functions of this folder report
// them: errno values on Linux, GetLastError values on Windows. What a code means is
// asked here, so that no caller compares with one system's constants.

#include <string>

namespace orvant::platform {

enum class TSystemErrorKind {
    Other,
    AccessDenied,
    NotFound,     // the file, the folder or the path to it does not exist
    DiskFull,
    QuotaExceeded,
    ReadOnly,
    InputOutput,
    Unreachable,  // the network or the computer holding the share did not answer
    InUse,        // another program holds the file
};

TSystemErrorKind SystemErrorKind(int error);

// The system's own text for the code, UTF-8 (Portuguese where the system has it).
std::string SystemErrorText(int error);

} // namespace orvant::platform
