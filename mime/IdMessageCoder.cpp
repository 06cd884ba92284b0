#include "mime/IdMessageCoder.h"

#include "mime/IdMessageCoderBinHex4.h"
#include "mime/IdMessageCoderMIME.h"
#include "mime/IdMessageCoderQuotedPrintable.h"
#include "mime/IdMessageCoderUUE.h"
#include "mime/IdMessageCoderXXE.h"
#include "smtp/IdException.h"

#include <mutex>
#include <utility>
#include <vector>

void TIdMessageEncoder::InitializeDefaults()
{
    TIdBaseComponent::InitializeDefaults();
    FPermissionCode = 660;
}

void TIdMessageEncoder::Encode(const String& fileName, TStream& destination)
{
    TFileStream source(fileName, TFileStream::TMode::fmOpenRead);
    Encode(source, destination);
}

void TIdMessageEncoder::Encode(TStream& source, TStrings& lines)
{
    TMemoryStream out;
    Encode(source, out);
    TStringList encoded;
    encoded.SetText(BytesToStringRaw(out.Bytes()));
    lines.AddStrings(encoded);
}

namespace {

struct TRegistry {
    std::mutex Lock;
    std::vector<std::pair<String, std::unique_ptr<TIdMessageEncoderInfo>>> Coders;

    TRegistry()
    {
        // The order in which they have always been registered at start-up.
        Add(u"MIME", std::make_unique<TIdMessageEncoderInfoMIME>());
        Add(u"binhex4", std::make_unique<TIdMessageEncoderInfoBinHex4>());
        Add(u"QP", std::make_unique<TIdMessageEncoderInfoQuotedPrintable>());
        Add(u"UUE", std::make_unique<TIdMessageEncoderInfoUUE>());
        Add(u"XXE", std::make_unique<TIdMessageEncoderInfoXXE>());
    }

    void Add(const String& name, std::unique_ptr<TIdMessageEncoderInfo> description)
    {
        Coders.emplace_back(name, std::move(description));
    }
};

TRegistry& Registry()
{
    static TRegistry registry;
    return registry;
}

} // namespace

void TIdMessageEncoderList::RegisterEncoder(const String& name, std::unique_ptr<TIdMessageEncoderInfo> description)
{
    TRegistry& registry = Registry();
    const std::lock_guard<std::mutex> guard(registry.Lock);
    registry.Add(name, std::move(description));
}

const TIdMessageEncoderInfo& TIdMessageEncoderList::ByName(StringView name)
{
    TRegistry& registry = Registry();
    const std::lock_guard<std::mutex> guard(registry.Lock);
    for (const auto& [registeredName, description] : registry.Coders)
        if (TextIsSame(registeredName, name))
            return *description;
    EIdException::Toss(u"Message encoder not found: " + String(name));
}

TStringList TIdMessageEncoderList::Names()
{
    TRegistry& registry = Registry();
    const std::lock_guard<std::mutex> guard(registry.Lock);
    TStringList names;
    for (const auto& entry : registry.Coders)
        names.Add(entry.first);
    return names;
}
