#include "platform/DeploymentConfig.h"

#include "platform/IniFile.h"
#include "platform/Utf.h"

#include "platform/NativePath.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace orvant::platform {

namespace {

std::u16string StripComment(std::u16string value)
{
    for (std::size_t i = 1; i < value.size(); ++i) {
        if ((value[i] == u';' || value[i] == u'#') && (value[i - 1] == u' ' || value[i - 1] == u'\t')) {
            value.resize(i);
            break;
        }
    }
    while (!value.empty() && (value.back() == u' ' || value.back() == u'\t'))
        value.pop_back();
    // A value that is only a comment ("Host=   ; the server") reads as empty.
    if (!value.empty() && (value.front() == u';' || value.front() == u'#'))
        value.clear();
    return value;
}

// A regular file there (a link counts as what it leads to), as stat tells it.
bool IsRegularFile(const std::string& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(NativePath(path), error);
}

std::string ResolvePath(const std::string& value, const std::string& configPath)
{
    if (value.empty() || IsAbsoluteConfigPath(value))
        return value;
    const auto slash = configPath.find_last_of(ConfigPathSeparators());
    const std::string base = slash == std::string::npos ? "." : configPath.substr(0, slash);
    return base + ConfigPathSeparators()[0] + value;
}

constexpr std::uint64_t kMaxArchiverTimeLimit = 7 * 24 * 3600;
constexpr std::uint64_t kMaxMessageSizeLimit = 1'000'000'000'000'000'000ull;

// Decimal digits only, within [least, most]; anything else (signs, blanks, units,
// overflow) is no number.
std::optional<std::uint64_t> Number(std::u16string_view text, std::uint64_t least, std::uint64_t most)
{
    if (text.empty() || text.size() > 19)
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char16_t c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - u'0');
    }
    if (value < least || value > most)
        return std::nullopt;
    return value;
}

// "12.345.678/0001-95, 98765432000110" -> the 14-digit CNPJs; false when one is not.
bool ReadCnpjList(std::u16string_view text, std::vector<std::string>& cnpjs)
{
    std::string digits;
    const auto take = [&] {
        if (digits.empty())
            return true;
        if (digits.size() != 14)
            return false;
        cnpjs.push_back(digits);
        digits.clear();
        return true;
    };
    for (const char16_t c : text) {
        if (c >= u'0' && c <= u'9')
            digits += static_cast<char>(c);
        else if (c == u',' || c == u';') {
            if (!take())
                return false;
        } else if (c != u'.' && c != u'/' && c != u'-' && c != u' ')
            return false;
    }
    return take();
}

} // namespace

std::string DeploymentConfigPath()
{
    const char* env = std::getenv("ORVANT_CONFIG");
    return env && *env ? std::string(env) : DefaultDeploymentConfigPath();
}

TDeploymentConfig LoadDeploymentConfig()
{
    return LoadDeploymentConfigFile(DeploymentConfigPath());
}

TDeploymentConfig LoadDeploymentConfigFile(const std::string& path)
{
    TDeploymentConfig config;
    config.SourcePath = path;
    config.FileFound = IsRegularFile(path);
    const TIniFile ini = TIniFile::Load(path);
    const auto read = [&](std::u16string_view section, std::u16string_view key) {
        return StripComment(ini.ReadString(section, key));
    };
    const auto readPath = [&](std::u16string_view key, std::string& target) {
        const std::string value = Utf16ToUtf8(read(u"Paths", key));
        if (!value.empty())
            target = ResolvePath(value, path);
    };
    if (DeploymentPathsUsed()) {
        readPath(u"DriveC", config.Roots.DriveC);
        readPath(u"Network", config.Roots.Network);
    }
    config.MailHost = read(u"Mail", u"Host");
    config.Mailbox = read(u"Mail", u"Mailbox");
    config.Password = read(u"Mail", u"Password");
    const std::string ca = Utf16ToUtf8(read(u"Mail", u"CAFile"));
    config.CAFile = ca.empty() ? ca : ResolvePath(ca, path);
    const auto problem = [&](std::u16string_view section, std::u16string_view key, std::u16string_view why) {
        config.Problems.push_back(u"O valor \"" + read(section, key) + u"\" de " + std::u16string(key)
                                  + u" na seção [" + std::u16string(section) + u"] de " + Utf8ToUtf16(path)
                                  + u" não pode ser usado: " + std::u16string(why) + u".");
    };
    if (!config.CAFile.empty() && !IsRegularFile(config.CAFile))
        problem(u"Mail", u"CAFile", u"não há um arquivo nesse caminho");
    if (const auto port = Number(read(u"Mail", u"Port"), 1, 65535))
        config.MailPort = static_cast<int>(*port);
    else if (!read(u"Mail", u"Port").empty())
        problem(u"Mail", u"Port", u"a porta é um número de 1 a 65535 (o servidor de e-mail usa 465)");
    if (const auto bytes = Number(read(u"Mail", u"MaxMessageSize"), 0, kMaxMessageSizeLimit))
        config.MaxMessageSize = *bytes;
    else if (!read(u"Mail", u"MaxMessageSize").empty())
        problem(u"Mail", u"MaxMessageSize", u"o tamanho é um número de bytes (0: sem limite próprio)");
    if (const auto seconds = Number(read(u"Archiver", u"TimeLimit"), 1, kMaxArchiverTimeLimit))
        config.ArchiverTimeLimit = std::chrono::seconds(*seconds);
    else if (!read(u"Archiver", u"TimeLimit").empty())
        problem(u"Archiver", u"TimeLimit", u"o tempo é um número de segundos de 1 a 604800 (uma semana)");
    const auto readSwitch = [&](std::u16string_view key, bool& target) {
        const std::u16string value = read(u"Report", key);
        if (value == u"1")
            target = true;
        else if (!value.empty() && value != u"0")
            problem(u"Report", key, u"use 1 (sim) ou 0 (não)");
    };
    readSwitch(u"AttachCsv", config.AttachReportCsv);
    readSwitch(u"StopOnProblems", config.StopOnReportProblems);
    if (!ReadCnpjList(read(u"Report", u"Cnpj"), config.StoreCnpjs))
        problem(u"Report", u"Cnpj", u"cada CNPJ tem 14 dígitos (pontos, barra e traço podem ficar); separe vários "
                                    u"com vírgula");
    return config;
}

} // namespace orvant::platform
