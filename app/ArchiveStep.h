#pragma once
// Packs one terminal's staging folder into the month's 7-Zip archive.
//
// The command line is the one the suite has always used (technicians recognise
// it), split by the Windows rules into arguments whose paths are mapped to Linux,
// and started without a shell. The archiver is C:\Kelmora\Server\7z.exe when that
// file exists, else 7zz (Debian package 7zip), else 7z.
//
// Unlike the original program, every archiver run is waited for: the runs of one
// month all write the same archive, and the send dialog must find it complete.
// A run that cannot start or ends with an error yields a message for the user.

#include "platform/Process.h"
#include "platform/WinFileSystem.h"

#include <optional>
#include <string>
#include <string_view>

namespace orvant::app {

// "C:\Kelmora\Server\7z.exe" a -r  <archive base> "<terminal staging folder>"
std::u16string ArchiverCommandLine(std::u16string_view archiveBase, std::u16string_view terminalStaging);

// The line of the archiver's output that best explains a failure, as
// " Detalhe: <line>" (its last ERROR or WARNING line, else its last non-empty
// line); empty when it printed nothing.
std::u16string ArchiverFailureDetail(const std::string& output);

struct TArchiveOutcome {
    std::u16string CommandLine;
    std::string Program;            // the Linux program that was (or would have been) started
    std::vector<std::string> Arguments;
    platform::TProcessResult Process;
    std::u16string ErrorMessage;    // empty when the archiver did its work

    bool Succeeded() const { return ErrorMessage.empty(); }
};

class TArchiveStep {
public:
    TArchiveStep(const platform::TWinFileSystem& fileSystem, platform::IProcessRunner& runner);

    TArchiveOutcome Run(std::u16string_view terminalKey, std::u16string_view year,
                        std::u16string_view archiveBase, std::u16string_view terminalStaging);

    // The archiver program (Linux path) the step runs.
    std::string Archiver();

private:
    std::string ArchiverProgram(const std::u16string& programText);

    const platform::TWinFileSystem& FFileSystem;
    platform::IProcessRunner& FRunner;
    std::optional<std::string> FArchiver; // looked up once per run of the step
};

} // namespace orvant::app
