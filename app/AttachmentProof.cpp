#include "app/AttachmentProof.h"

#include "app/FileDigest.h"
#include "app/MailDispatch.h"
#include "app/TerminalConfig.h"
#include "platform/NativePath.h"
#include "platform/Utf.h"

#include <filesystem>

namespace orvant::app {

namespace {

using platform::Utf8ToUtf16;

const std::u16string kExtractAgain = u" Extraia o mês de novo (\"Extrair XML\" ou orvant-cli extract).";

TAttachmentProof Refused(std::u16string text)
{
    TAttachmentProof proof;
    proof.State = TProofState::psRefused;
    proof.Refusal = std::move(text);
    return proof;
}

std::optional<std::string> MappedManifest(std::u16string_view manifestPath, const platform::TWinPathMapper& mapper)
{
    if (manifestPath.empty())
        return std::nullopt;
    return manifestPath.front() == u'/' ? platform::Utf16ToUtf8(manifestPath) : mapper.Map(manifestPath);
}

// The month's archive against its sealed manifest, and against the month named.
TAttachmentProof ProveMonthArchive(const TMailDispatchInput& input, const std::string& file,
                                   const std::u16string& manifestPath, const std::optional<std::string>& manifestFile)
{
    const std::u16string& archive = input.AttachmentPath;
    std::optional<TMonthManifest> manifest = manifestFile ? ReadManifestFile(*manifestFile) : std::nullopt;
    if (!manifest)
        return Refused(u"O arquivo " + archive + u" não tem manifesto legível (" + manifestPath
                       + u"): não há como conferir se ele é o mês inteiro." + kExtractAgain);
    if (!manifest->Seal)
        return Refused(u"O arquivo " + archive + u" não passou na conferência com o manifesto " + manifestPath
                       + u" (veja as mensagens da extração)." + kExtractAgain);
    std::error_code error;
    const std::uint64_t size = std::filesystem::file_size(platform::NativePath(file), error);
    if (error || size != manifest->Seal->ArchiveSize)
        return Refused(u"O arquivo " + archive + u" mudou depois da conferência: tem "
                       + Utf8ToUtf16(std::to_string(size)) + u" bytes e o manifesto registrou "
                       + Utf8ToUtf16(std::to_string(manifest->Seal->ArchiveSize))
                       + u". Ele pode estar pela metade ou ser de outra extração." + kExtractAgain);
    const std::string sha256 = Sha256OfFile(file);
    if (sha256 != manifest->Seal->ArchiveSha256)
        return Refused(u"O arquivo " + archive + u" mudou depois da conferência (o SHA-256 não é o registrado "
                       u"no manifesto). Ele pode ter sido gravado de novo ou ser de outra extração." + kExtractAgain);
    const std::u16string month = MonthNumber(input.MonthEditText);
    if (manifest->Year != input.YearEditText || manifest->Month != month)
        return Refused(u"O anexo " + archive + u" é o mês " + manifest->Month + u"/" + manifest->Year
                       + u", mas o assunto diria " + input.MonthEditText + u" de " + input.YearEditText
                       + u". Escolha esse mês na janela principal (ou em --year e --month) ou extraia o mês do "
                         u"assunto.");

    TAttachmentProof proof;
    proof.State = TProofState::psSealed;
    proof.File = file;
    proof.Manifest = std::move(manifest);
    proof.ManifestPath = manifestPath;
    proof.ManifestSha256 = Sha256OfFile(*manifestFile);
    proof.ArchiveSha256 = sha256;
    return proof;
}

} // namespace

std::u16string TAttachmentProof::Caveat() const
{
    if (NoTerminal)
        return u"Nenhum PDV foi extraído (nenhum está habilitado em " + std::u16string(kConfigFilePath)
            + u"): o e-mail iria sem nenhuma nota.";
    if (State != TProofState::psSealed)
        return {};
    const std::u16string month = Manifest->Month + u"/" + Manifest->Year;
    if (!Manifest->Complete())
        return u"O mês " + month + u" está incompleto: o arquivo não tem todas as notas dos PDVs."
            + Manifest->ProblemList();
    if (Manifest->Files.empty())
        return u"O mês " + month + u" não tem nenhuma nota: o arquivo do mês está vazio.";
    return {};
}

std::u16string TAttachmentProof::StateText() const
{
    switch (State) {
    case TProofState::psSealed: // "conferido, completo: 764 arquivos" is kStateWholeMonth's
        return u"conferido, " + Manifest->StateText();
    case TProofState::psUnchecked: return u"não conferido: anexo escolhido pelo usuário";
    case TProofState::psNoAttachment: return u"sem anexo";
    default: return u"recusado";
    }
}

TAttachmentProof ProveAttachment(const TMailDispatchInput& input, const platform::TWinPathMapper& mapper)
{
    const std::u16string& path = input.AttachmentPath;
    TAttachmentProof none;
    if (path.empty())
        return none;
    if (path == u".7z") { // the hand-off of a run with no terminal enabled
        none.NoTerminal = true;
        return none;
    }
    const std::optional<std::string> file = AttachmentFile(path, mapper);
    const std::u16string manifestPath = ManifestPathFor(path);
    const std::optional<std::string> manifestFile = MappedManifest(manifestPath, mapper);
    std::error_code error;
    const bool hasManifest = manifestFile && std::filesystem::exists(platform::NativePath(*manifestFile), error);
    if (input.UserAttachment && !hasManifest) {
        if (!file)
            return Refused(u"Arquivo para anexar não encontrado: " + path + u".");
        TAttachmentProof own;
        own.State = TProofState::psUnchecked;
        own.File = file;
        return own;
    }
    if (!file)
        return Refused(u"O arquivo do mês " + path + u" não existe." + kExtractAgain);
    return ProveMonthArchive(input, *file, manifestPath, manifestFile);
}

} // namespace orvant::app
