// INI files as the suite's configuration holds them: any bytes, any encoding.
#include "platform/IniFile.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> bytes(data, data + size);
    const auto ini = orvant::platform::TIniFile::FromText(orvant::platform::DecodeTextFile(bytes));
    const auto value = ini.ReadString(u"PDV", u"PDV1");
    if (value.size() > orvant::platform::TIniFile::kMaxValueLength)
        __builtin_trap();
    ini.ReadString(u"pdv", u"PDV1_COMPUTADOR");
    return 0;
}
