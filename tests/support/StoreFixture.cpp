#include "support/StoreFixture.h"

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
    for (int i = 1; i <= count; ++i) {
        char name[96];
        std::snprintf(name, sizeof name, "3521031234567800019565001%09d1%08d0-%s.%s", i, i,
                      kind == "Canceladas" ? "procEventoNFe" : "procNFe", extension.c_str());
        Dir.WriteFile((folder / name).string().substr(Dir.Str().size() + 1),
                      "<?xml version=\"1.0\"?><nota n=\"" + std::to_string(i) + "\" pdv=\"" + computer + "\"/>");
        names.emplace_back(name);
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
