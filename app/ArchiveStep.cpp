#include "app/ArchiveStep.h"

#include "app/FolderScheme.h"
#include "platform/CommandLine.h"
#include "platform/SystemError.h"
#include "platform/Utf.h"
#include "platform/WinPath.h"


namespace orvant::app {

namespace {

using platform::Utf8ToUtf16;

std::u16string Number(int value)
{
    return Utf8ToUtf16(std::to_string(value));
}

std::u16string OutcomeMessage(const TArchiveOutcome& o, std::u16string_view terminalKey,
                              std::u16string_view archiveFile)
{
    const std::u16string where = u" ao arquivar o " + std::u16string(terminalKey) + u" em "
        + std::u16string(archiveFile);
    const auto& p = o.Process;
    if (!p.Started) {
        const std::u16string reason = platform::SystemErrorKind(p.StartError) == platform::TSystemErrorKind::NotFound
            ? u"programa não encontrado (instale o pacote 7zip ou coloque o 7z.exe em C:\\Kelmora\\Server\\)"
            : u"erro do sistema " + Number(p.StartError) + u" (" + Utf8ToUtf16(platform::SystemErrorText(p.StartError)) + u")";
        return u"Não foi possível iniciar o compactador 7-Zip (" + Utf8ToUtf16(o.Program) + u")" + where
            + u": " + reason + u".";
    }
    if (p.TimedOut)
        return u"O compactador 7-Zip não terminou no tempo limite" + where
            + u" e foi encerrado; o arquivo está incompleto. Confira o 7-Zip e o disco (o limite é TimeLimit na "
              u"seção [Archiver] do arquivo de implantação) e extraia o mês de novo.";
    if (!p.Exited)
        return u"O compactador 7-Zip foi interrompido (sinal " + Number(p.Signal) + u")" + where
            + u"; o arquivo pode estar incompleto." + ArchiverFailureDetail(p.Output);
    if (p.ExitCode == 1)
        return u"O compactador 7-Zip terminou com aviso (código 1)" + where
            + u"; alguns arquivos podem ter ficado de fora." + ArchiverFailureDetail(p.Output);
    return u"O compactador 7-Zip terminou com erro (código " + Number(p.ExitCode) + u")" + where
        + u"; o arquivo pode estar incompleto." + ArchiverFailureDetail(p.Output);
}

} // namespace

std::u16string ArchiverFailureDetail(const std::string& output)
{
    std::string best, lastNonEmpty;
    std::size_t pos = 0;
    while (pos < output.size()) {
        std::size_t end = output.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = output.size();
        const std::string line = output.substr(pos, end - pos);
        if (line.find_first_not_of(" \t") != std::string::npos) {
            lastNonEmpty = line;
            if (line.rfind("ERROR", 0) == 0 || line.rfind("WARNING", 0) == 0)
                best = line;
        }
        pos = end + 1;
    }
    const std::string& chosen = best.empty() ? lastNonEmpty : best;
    return chosen.empty() ? std::u16string() : u" Detalhe: " + Utf8ToUtf16(chosen);
}

// 7-Zip's -r also looks for the folder's name below the folder's parent; the
// parent (the month's staging folder) holds only PDVn folders with XML files
// below them, so nothing else is picked up.
std::u16string ArchiverCommandLine(std::u16string_view archiveBase, std::u16string_view terminalStaging)
{
    std::u16string line = u"\"";
    line += kArchiverProgramPath;
    line += u"\" a -r  ";
    line += archiveBase;
    line += u" \"";
    line += terminalStaging;
    line += u"\"";
    return line;
}

TArchiveStep::TArchiveStep(const platform::TWinFileSystem& fileSystem, platform::IProcessRunner& runner)
    : FFileSystem(fileSystem), FRunner(runner)
{
}

std::string TArchiveStep::Archiver()
{
    return ArchiverProgram(std::u16string(kArchiverProgramPath));
}

std::string TArchiveStep::ArchiverProgram(const std::u16string& programText)
{
    if (!FArchiver) {
        if (FFileSystem.FileExists(programText))
            FArchiver = FFileSystem.Map(programText);
        else if (auto found = platform::FindProgramInPath("7zz"))
            FArchiver = found;
        else
            FArchiver = platform::FindProgramInPath("7z").value_or("7z");
    }
    return *FArchiver;
}

TArchiveOutcome TArchiveStep::Run(std::u16string_view terminalKey, std::u16string_view year,
                                  std::u16string_view archiveBase, std::u16string_view terminalStaging)
{
    const std::u16string outbox = OutboxYearFolder(year);
    if (!FFileSystem.DirectoryExists(outbox))
        FFileSystem.ForceDirectories(outbox);

    TArchiveOutcome outcome;
    outcome.CommandLine = ArchiverCommandLine(archiveBase, terminalStaging);
    const std::u16string archiveFile = ArchiveFilePath(archiveBase);

    const auto words = platform::SplitWindowsCommandLine(outcome.CommandLine);
    outcome.Program = ArchiverProgram(words.front());
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (!platform::LooksLikeWinAbsolutePath(words[i])) {
            outcome.Arguments.push_back(platform::Utf16ToUtf8(words[i]));
            continue;
        }
        const auto mapped = FFileSystem.Map(words[i]);
        if (!mapped) {
            outcome.ErrorMessage = u"Caminho inválido para o compactador 7-Zip ao arquivar o "
                + std::u16string(terminalKey) + u": " + words[i];
            return outcome;
        }
        outcome.Arguments.push_back(*mapped);
    }
    outcome.Process = FRunner.Run(outcome.Program, outcome.Arguments);
    // On a terminal without invoices 7-Zip only warns (code 1) that the folder it
    // was given is not there; that is no news: the run says "Sem notas ...".
    const bool onlyNoFolder = outcome.Process.Exited && outcome.Process.ExitCode == 1
        && !FFileSystem.DirectoryExists(terminalStaging);
    if (!outcome.Process.Succeeded() && !onlyNoFolder)
        outcome.ErrorMessage = OutcomeMessage(outcome, terminalKey, archiveFile);
    return outcome;
}

} // namespace orvant::app
