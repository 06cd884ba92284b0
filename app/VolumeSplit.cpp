#include "app/VolumeSplit.h"
#include "platform/NativePath.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace orvant::app {

namespace {

void RemoveEarlierVolumes(const std::string& archive)
{
    for (int number = 1;; ++number) {
        std::error_code error;
        if (!std::filesystem::remove(platform::NativePath(VolumeName(archive, number)), error))
            return;
    }
}

} // namespace

std::string VolumeName(const std::string& archive, int number)
{
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%03d", number);
    return archive + suffix;
}

std::vector<std::string> SplitIntoVolumes(const std::string& archive, std::uint64_t volumeSize)
{
    if (volumeSize == 0)
        throw std::system_error(EINVAL, std::generic_category(), "volume size 0");
    std::ifstream in(platform::NativePath(archive), std::ios::binary);
    if (!in)
        throw std::system_error(errno, std::generic_category(), "open " + archive);
    RemoveEarlierVolumes(archive);

    std::vector<std::string> volumes;
    std::vector<char> buffer(1 << 20);
    std::uint64_t left = std::filesystem::file_size(platform::NativePath(archive));
    while (left > 0) {
        const std::string name = VolumeName(archive, static_cast<int>(volumes.size()) + 1);
        std::ofstream out(platform::NativePath(name), std::ios::binary | std::ios::trunc);
        std::uint64_t inVolume = std::min(left, volumeSize);
        left -= inVolume;
        while (out && inVolume > 0) {
            const auto chunk = static_cast<std::streamsize>(std::min<std::uint64_t>(inVolume, buffer.size()));
            if (!in.read(buffer.data(), chunk))
                throw std::system_error(EIO, std::generic_category(), "read " + archive);
            out.write(buffer.data(), chunk);
            inVolume -= static_cast<std::uint64_t>(chunk);
        }
        out.close();
        if (!out)
            throw std::system_error(EIO, std::generic_category(), "write " + name);
        volumes.push_back(name);
    }
    return volumes;
}

} // namespace orvant::app
