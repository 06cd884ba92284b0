#pragma once
// Cuts the month's archive into 7-Zip volumes: MM.7z.001, MM.7z.002, ... beside
// it. A 7-Zip volume set is the archive's bytes cut in order (what "7zz a -v"
// writes is byte for byte the archive cut at the volume size), so the archive
// that was checked is the one that travels, and the store's computer does not
// compress the month a second time while the mail server waits. The accountant
// joins them by opening MM.7z.001 with 7-Zip, all volumes in one folder.

#include <cstdint>
#include <string>
#include <vector>

namespace orvant::app {

// The volumes' Linux paths, in order. Volumes of an earlier split of the same
// archive are removed first, so a shorter set never mixes with an older one.
// Raises std::system_error when a volume cannot be written.
std::vector<std::string> SplitIntoVolumes(const std::string& archive, std::uint64_t volumeSize);

// "MM.7z.001"-style name of volume `number` (1-based).
std::string VolumeName(const std::string& archive, int number);

} // namespace orvant::app
