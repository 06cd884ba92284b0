#pragma once
// Settings of one installation: where drive C: and the terminals' shares live (on
// Linux), and the mail account. Read from $ORVANT_CONFIG, else the default path
// (/etc/orvant/orvant.conf on Linux, %ProgramData%\Orvant\orvant.conf on Windows);
// a missing file or key keeps the default. On Windows the drive and the shares are
// real, so [Paths] is accepted and not used.
//
//   [Paths]
//   DriveC=/var/lib/orvant/drive_c
//   Network=/var/lib/orvant/unc
//   [Mail]
//   Host=   Port=465   Mailbox=   Password=   CAFile=   MaxMessageSize=
//   [Archiver]
//   TimeLimit=600       ; seconds one run of 7-Zip (pack, test, list) may take
//   [Report]
//   AttachCsv=0   StopOnProblems=0   Cnpj=
//
// Relative paths count from the folder of the file. A ';' or '#' after a blank
// starts a comment, so that values can be annotated on their line. A value that
// cannot be used (a port "abc", a CAFile that is not there) is not replaced by
// the default: it is named in Problems, and the programs refuse to start.

#include "platform/WinPath.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvant::platform {

// The path read when ORVANT_CONFIG names none.
std::string DefaultDeploymentConfigPath();
// Whether [Paths] says where drive C: and the shares are (only where they are stand-ins).
bool DeploymentPathsUsed();
// The system's rules for the paths written in the file: whether one stands on its
// own, and the characters that separate folders.
bool IsAbsoluteConfigPath(const std::string& path);
const char* ConfigPathSeparators();

struct TDeploymentConfig {
    std::string SourcePath;  // the file that was read (it may not exist)
    bool FileFound = false;
    TWinPathRoots Roots {"/var/lib/orvant/drive_c", "/var/lib/orvant/unc"};
    std::u16string MailHost;
    int MailPort = 465;
    std::u16string Mailbox;
    std::u16string Password;
    std::string CAFile;
    // 7-Zip packs a terminal of 3,000 invoices in seconds; ten minutes is far above
    // a busy month on a slow disk, and still ends a scheduled run that would hang.
    std::chrono::seconds ArchiverTimeLimit {600};
    // [Mail] MaxMessageSize in bytes (0: none of our own); unset keeps the
    // program's default.
    std::optional<std::uint64_t> MaxMessageSize;
    // [Report]: the month's report. AttachCsv=1 mails the CSV beside the archive;
    // StopOnProblems=1 makes orvant-cli run keep a month with problems; Cnpj= the
    // store's CNPJs (else the one most of the month's invoices carry).
    bool AttachReportCsv = false;
    bool StopOnReportProblems = false;
    std::vector<std::string> StoreCnpjs;
    // One sentence per value that cannot be used, naming the file, the section
    // and the key.
    std::vector<std::u16string> Problems;
};

std::string DeploymentConfigPath(); // $ORVANT_CONFIG or the default path
TDeploymentConfig LoadDeploymentConfig();
TDeploymentConfig LoadDeploymentConfigFile(const std::string& path);

} // namespace orvant::platform
