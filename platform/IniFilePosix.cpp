#include "platform/IniFile.h"

#include <fstream>
#include <iterator>

namespace orvant::platform {

TIniFile TIniFile::Load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    return FromText(DecodeTextFile(bytes));
}

// Linux keeps the text in FSections; FSystemFile stays empty.
std::u16string TIniFile::ReadFromSystem(std::u16string_view, std::u16string_view,
                                        std::u16string_view defaultValue) const
{
    return std::u16string(defaultValue);
}

bool TIniFile::SystemHasSection(std::u16string_view) const
{
    return false;
}

} // namespace orvant::platform
