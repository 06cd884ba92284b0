// orvant-cli: the monthly extraction without a display (servers, scheduled runs).
#include "app/ArchiveStep.h"
#include "app/CliOptions.h"
#include "app/ConsoleView.h"
#include "app/ExtractionRun.h"
#include "app/TerminalConfig.h"
#include "platform/DeploymentConfig.h"
#include "platform/Process.h"
#include "platform/Utf.h"

#include <clocale>
#include <iostream>
#include <string>
#include <vector>

using namespace orvant;

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    const std::vector<std::string> args(argv + 1, argv + argc);
    const app::TCliOptions options = app::ParseCliArguments(args, platform::TSystemClock().Now());
    switch (options.Command) {
    case app::TCliOptions::TCommand::cmHelp:
        std::cout << app::CliUsageText();
        return 0;
    case app::TCliOptions::TCommand::cmInvalid:
        std::cerr << options.Error << "\n\n" << app::CliUsageText();
        return 2;
    case app::TCliOptions::TCommand::cmExtract:
        break;
    }

    const platform::TDeploymentConfig deployment = platform::LoadDeploymentConfig();
    if (!deployment.FileFound)
        std::cerr << "Aviso: arquivo de implantação " << deployment.SourcePath
                  << " não encontrado; usando C: em " << deployment.Roots.DriveC
                  << " e a rede em " << deployment.Roots.Network << std::endl;

    const platform::TWinFileSystem fileSystem(deployment.Roots);
    platform::TSpawnProcessRunner runner;
    app::TArchiveStep archiveStep(fileSystem, runner);
    app::TConsoleExtractionView view(std::cerr, std::cout, fileSystem.Mapper());
    app::TExtractionRun run(view, fileSystem, archiveStep);

    const std::u16string year = platform::Utf8ToUtf16(std::to_string(options.Year));
    const std::u16string month(app::kMonthNames[static_cast<std::size_t>(options.Month - 1)]);
    const app::TExtractionSummary summary = run.Execute(year, month);

    if (summary.Terminals.empty()) {
        std::cerr << "Nenhum PDV habilitado em " << platform::Utf16ToUtf8(app::kConfigFilePath)
                  << " (valor TRUE na seção [PDV]); nada foi extraído." << std::endl;
        return 1;
    }
    int copied = 0;
    for (const auto& t : summary.Terminals)
        copied += t.Issued.Copied + t.Cancelled.Copied;
    std::cerr << copied << " arquivos XML copiados de " << summary.Terminals.size() << " PDVs." << std::endl;
    return summary.AllComplete() ? 0 : 1;
}
