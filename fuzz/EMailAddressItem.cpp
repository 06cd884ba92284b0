// Address item parser: any text parses without failing (the sanitizers and the
// fuzzer's time-out watch for crashes and hangs), and an item of the promised
// shapes formats to text that parses back to the same name, address and text.
#include "EMailAddressShapes.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void CheckRoundTrip(const TIdEMailAddressItem& item)
{
    if (!orvant::fuzz::PromisesRoundTrip(item))
        return;
    const String text = item.Text();
    TIdEMailAddressItem again;
    again.SetText(text);
    if (again.Name() != item.Name() || again.Address() != item.Address() || again.Text() != text)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // The whole input as typed text.
    TIdEMailAddressItem parsed;
    parsed.SetText(FromUtf8(bytes));
    (void)parsed.Domain();
    (void)parsed.User();
    CheckRoundTrip(parsed);

    // Name and address set directly: the input split at its first NUL byte.
    if (const std::size_t nul = bytes.find('\0'); nul != std::string_view::npos) {
        TIdEMailAddressItem set;
        set.SetName(FromUtf8(bytes.substr(0, nul)));
        set.SetAddress(FromUtf8(bytes.substr(nul + 1)));
        CheckRoundTrip(set);
    }
    return 0;
}
