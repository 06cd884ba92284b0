#include "platform/DeploymentConfig.h"

namespace orvant::platform {

std::string DefaultDeploymentConfigPath()
{
    return "/etc/orvant/orvant.conf";
}

bool DeploymentPathsUsed()
{
    return true;
}

bool IsAbsoluteConfigPath(const std::string& path)
{
    return !path.empty() && path.front() == '/';
}

const char* ConfigPathSeparators()
{
    return "/";
}

} // namespace orvant::platform
