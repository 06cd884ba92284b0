#include "support/StoreFixture.h"

#include "support/NfceDocuments.h"

#include <cstdio>

namespace orvant::test {

void TStoreFixture::WriteConfig(const std::vector<std::string>& pdvLines) const
{
    std::string text = "[PDV]\r\n";
    for (const auto& line : pdvLines)
        text += line + "\r\n";
    Dir.WriteFile("c/Kelmora/Server/Orvant.ini", text);
}

std::filesystem::path TStoreFixture::SourceFolder(const std::string& computer, const std::string& kind,
                                                  const std::string& yearMonth) const
{
    return Dir.Path() / "unc" / computer / "Kelmora/PDV/NFCE" / kind / yearMonth;
}

std::vector<std::string> TStoreFixture::AddInvoices(const std::string& computer, const std::string& kind,
                                                    const std::string& yearMonth, int count,
                                                    const std::string& extension) const
{
    std::vector<std::string> names;
    const auto folder = SourceFolder(computer, kind, yearMonth);
    std::filesystem::create_directories(folder);
    // Invoices 1..count of the computer's series (CAIXA02: series 2), each
    // cancellation of the invoice with its number: a sound month.
    const auto digits = computer.find_last_not_of("0123456789");
    const std::string suffix = digits == std::string::npos ? computer : computer.substr(digits + 1);
    TNfceInvoice invoice;
    invoice.YearMonth = yearMonth;
    invoice.Series = suffix.empty() ? 1 : std::stoi(suffix);
    const bool cancelled = kind == "Canceladas";
    for (int i = 1; i <= count; ++i) {
        invoice.Number = i;
        invoice.Code = i;
        const std::string key = invoice.Key();
        const std::string name = key + (cancelled ? "-procEventoNFe." : "-procNFe.") + extension;
        Dir.WriteFile((folder / name).string().substr(Dir.Str().size() + 1),
                      cancelled ? CancellationXml(key) : invoice.Xml());
        names.push_back(name);
    }
    return names;
}

std::filesystem::path TStoreFixture::Staging(const std::string& year, const std::string& month,
                                             const std::string& terminal, const std::string& kind) const
{
    return Dir.Path() / "c/Kelmora/Orvant/Arquivos" / year / month / terminal / kind;
}

platform::TProcessResult TRecordingProcessRunner::Run(const std::string& program, const std::vector<std::string>& args)
{
    Calls.push_back({program, args});
    if (Handler)
        return Handler(Calls.back());
    platform::TProcessResult ok;
    ok.Started = true;
    ok.Exited = true;
    ok.ExitCode = 0;
    return ok;
}

} // namespace orvant::test
