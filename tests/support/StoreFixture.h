#pragma once
// A store laid out in a temporary folder for the application's tests: drive C:
// under c/, the terminals' shares under unc/; plus a process starter that
// records what it was asked to run instead of running it.

#include "platform/Process.h"
#include "platform/WinPath.h"
#include "support/TempDir.h"

#include <functional>
#include <string>
#include <vector>

namespace orvant::test {

class TStoreFixture {
public:
    TTempDir Dir;

    platform::TWinPathRoots Roots() const { return {Dir.Str() + "/c", Dir.Str() + "/unc"}; }
    std::filesystem::path DriveC() const { return Dir.Path() / "c"; }

    // Writes C:\Kelmora\Server\Orvant.ini with "[PDV]" and the given lines.
    void WriteConfig(const std::vector<std::string>& pdvLines) const;

    // Creates `count` invoice files in \\computer\Kelmora\PDV\NFCE\<kind>\<yearMonth>
    // (kind "Transmitidas" or "Canceladas") and returns their names.
    std::vector<std::string> AddInvoices(const std::string& computer, const std::string& kind,
                                         const std::string& yearMonth, int count,
                                         const std::string& extension = "xml") const;
    std::filesystem::path SourceFolder(const std::string& computer, const std::string& kind,
                                       const std::string& yearMonth) const;
    // C:\Kelmora\Orvant\Arquivos\<year>\<month>\<terminal>\<kind>
    std::filesystem::path Staging(const std::string& year, const std::string& month,
                                  const std::string& terminal, const std::string& kind) const;
};

class TRecordingProcessRunner final : public platform::IProcessRunner {
public:
    struct TCall {
        std::string Program;
        std::vector<std::string> Args;
    };
    std::vector<TCall> Calls;
    // Answers each call; by default every program "succeeds".
    std::function<platform::TProcessResult(const TCall&)> Handler;

    platform::TProcessResult Run(const std::string& program, const std::vector<std::string>& args) override;
};

} // namespace orvant::test
