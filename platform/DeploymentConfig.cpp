#include "platform/DeploymentConfig.h"

#include "platform/IniFile.h"
#include "platform/Utf.h"

#include <cstdlib>
#include <sys/stat.h>

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

std::string ResolvePath(const std::string& value, const std::string& configPath)
{
    if (value.empty() || value.front() == '/')
        return value;
    const auto slash = configPath.find_last_of('/');
    const std::string base = slash == std::string::npos ? "." : configPath.substr(0, slash);
    return base + "/" + value;
}

} // namespace

std::string DeploymentConfigPath()
{
    const char* env = std::getenv("ORVANT_CONFIG");
    return env && *env ? std::string(env) : std::string(kDefaultDeploymentConfigPath);
}

TDeploymentConfig LoadDeploymentConfig()
{
    return LoadDeploymentConfigFile(DeploymentConfigPath());
}

TDeploymentConfig LoadDeploymentConfigFile(const std::string& path)
{
    TDeploymentConfig config;
    config.SourcePath = path;
    struct stat st {};
    config.FileFound = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    const TIniFile ini = TIniFile::Load(path);
    const auto read = [&](std::u16string_view section, std::u16string_view key) {
        return StripComment(ini.ReadString(section, key));
    };
    const auto readPath = [&](std::u16string_view key, std::string& target) {
        const std::string value = Utf16ToUtf8(read(u"Paths", key));
        if (!value.empty())
            target = ResolvePath(value, path);
    };
    readPath(u"DriveC", config.Roots.DriveC);
    readPath(u"Network", config.Roots.Network);
    config.MailHost = read(u"Mail", u"Host");
    config.Mailbox = read(u"Mail", u"Mailbox");
    config.Password = read(u"Mail", u"Password");
    const std::string ca = Utf16ToUtf8(read(u"Mail", u"CAFile"));
    config.CAFile = ca.empty() ? ca : ResolvePath(ca, path);
    const std::string limit = Utf16ToUtf8(read(u"Archiver", u"TimeLimit"));
    if (!limit.empty()) {
        char* end = nullptr;
        const long long value = std::strtoll(limit.c_str(), &end, 10);
        if (end && *end == '\0' && value > 0 && value <= 7 * 24 * 3600)
            config.ArchiverTimeLimit = std::chrono::seconds(value);
    }
    const std::string port = Utf16ToUtf8(read(u"Mail", u"Port"));
    if (!port.empty()) {
        char* end = nullptr;
        const long value = std::strtol(port.c_str(), &end, 10);
        if (end && *end == '\0' && value > 0 && value < 65536)
            config.MailPort = static_cast<int>(value);
    }
    return config;
}

} // namespace orvant::platform
