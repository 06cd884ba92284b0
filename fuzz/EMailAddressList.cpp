// Address list parser: any text parses without failing, and a list whose items
// all have the promised shapes reads back from its own text unchanged.
#include "EMailAddressShapes.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TIdEMailAddressList list;
    list.SetEMailAddresses(FromUtf8(std::string_view(reinterpret_cast<const char*>(data), size)));
    const String text = list.EMailAddresses();

    for (int i = 0; i < list.Count(); ++i) {
        // An empty item would leave an empty piece, which reading skips.
        if (list[i].Text().empty() || !orvant::fuzz::PromisesRoundTrip(list[i]))
            return 0;
    }
    TIdEMailAddressList again;
    again.SetEMailAddresses(text);
    if (again.Count() != list.Count() || again.EMailAddresses() != text)
        std::abort();
    for (int i = 0; i < list.Count(); ++i)
        if (again[i].Name() != list[i].Name() || again[i].Address() != list[i].Address())
            std::abort();
    return 0;
}
