#include "smtp/IdSASLCollection.h"

#include "mime/IdCoderMIME.h"
#include "smtp/IdExceptionCore.h"
#include "smtp/IdSASL.h"
#include "smtp/IdTCPConnection.h"

#include <algorithm>

namespace {

const String kNotSupported = u"Doesn't support AUTH or the specified SASL handlers!!";
const String kNotReady = u"The specified SASL handlers are not ready!!";

bool Contains(const std::vector<String>& ACodes, const String& ACode)
{
    return std::find(ACodes.begin(), ACodes.end(), ACode) != ACodes.end();
}

// Challenges and responses are octets: one character per byte both ways.
String Base64(const String& AOctets)
{
    return TIdEncoderMIME::EncodeString(AOctets, IndyTextEncoding_8Bit());
}

String ChallengeOf(const TIdTCPConnection& AClient)
{
    return TIdDecoderMIME::DecodeString(TrimRight(AClient.LastCmdResult().Text().Text()), IndyTextEncoding_8Bit());
}

// One mechanism's whole exchange; true when the server accepted it. The last reply
// read stays in the client's LastCmdResult.
bool PerformSASLLogin(const String& ACmd, TIdSASL& AMechanism, TIdTCPConnection& AClient,
                      const std::vector<String>& AOkReplies, const std::vector<String>& AContinueReplies,
                      const String& AHost, const String& AProtocolName, bool ACanAttemptIR)
{
    struct TFinish {
        TIdSASL& Mechanism;
        ~TFinish() { Mechanism.FinishAuthenticate(); }
    } finish{AMechanism};

    const String command = ACmd + u" " + AMechanism.ServiceName();
    String initialResponse;
    const bool sentInitialResponse =
        ACanAttemptIR && AMechanism.TryStartAuthenticate(AHost, AProtocolName, initialResponse);
    // RFC 4954: an empty initial response is sent as "=", not as nothing.
    if (sentInitialResponse)
        AClient.SendCmd(command + u" " + (initialResponse.empty() ? String(u"=") : Base64(initialResponse)),
                        StringView());
    else
        AClient.SendCmd(command, StringView());
    bool firstAnswer = !sentInitialResponse;
    for (;;) {
        const String code = AClient.LastCmdResult().Code();
        if (Contains(AOkReplies, code))
            return true;
        if (!Contains(AContinueReplies, code))
            return false;
        const String challenge = ChallengeOf(AClient);
        const String answer = firstAnswer ? AMechanism.StartAuthenticate(challenge, AHost, AProtocolName)
                                          : AMechanism.ContinueAuthenticate(challenge, AHost, AProtocolName);
        firstAnswer = false;
        AClient.SendCmd(Base64(answer), StringView());
    }
}

} // namespace

// --- Entries ----------------------------------------------------------------------------

void TIdSASLListEntry::SetSASL(TIdSASL* AValue)
{
    FSASL = AValue;
    // The link stays when the entry changes or goes: the owner then finds nothing to
    // delete when the mechanism dies.
    if (auto* entries = dynamic_cast<TIdSASLEntries*>(Collection()); entries && entries->Owner() && AValue)
        entries->Owner()->FreeNotification(AValue);
}

TIdSASLListEntry& TIdSASLEntries::Add()
{
    return TCollection::Emplace<TIdSASLListEntry>(*this);
}

void TIdSASLEntries::Assign(const TIdSASLEntries& ASource)
{
    if (&ASource == this)
        return;
    Clear();
    for (int i = 0; i < ASource.Count(); ++i)
        Add().Assign(ASource[i]);
}

void TIdSASLEntries::RemoveByComp(const TComponent* AComponent)
{
    for (int i = Count() - 1; i >= 0; --i) {
        if (static_cast<const TComponent*>(Items(i).SASL()) == AComponent)
            Delete(i);
    }
}

TIdSASL* TIdSASLEntries::FindSASL(StringView AServiceName) const
{
    for (int i = 0; i < Count(); ++i) {
        TIdSASL* mechanism = Items(i).SASL();
        if (mechanism && TextIsSame(mechanism->ServiceName(), AServiceName))
            return mechanism;
    }
    return nullptr;
}

// --- Offered mechanisms -----------------------------------------------------------------

void TIdSASLEntries::ParseCapaReplyToList(const TStrings* ACapaReply, TStrings& ADestList, StringView AAuthString)
{
    if (!ACapaReply)
        return;
    for (const String& line : *ACapaReply) {
        if (line.size() <= AAuthString.size() || !TextStartsWith(line, AAuthString)
            || !CharIsInSet(line[AAuthString.size()], u" ="))
            continue;
        const String names = StringReplaceAll(UpperCase(line.substr(AAuthString.size())), u"=", u" ");
        std::size_t start = 0;
        while (start < names.size()) {
            std::size_t end = names.find(u' ', start);
            if (end == String::npos)
                end = names.size();
            const String name = names.substr(start, end - start);
            if (!name.empty() && ADestList.IndexOf(name) < 0)
                ADestList.Add(name);
            start = end + 1;
        }
    }
}

std::unique_ptr<TStringList> TIdSASLEntries::ParseCapaReply(const TStrings* ACapaReply, StringView AAuthString)
{
    auto list = std::make_unique<TStringList>();
    ParseCapaReplyToList(ACapaReply, *list, AAuthString);
    return list;
}

// --- Login ------------------------------------------------------------------------------

void TIdSASLEntries::LoginSASL(const String& ACmd, const String& AHost, const String& AProtocolName,
                               const std::vector<String>& AOkReplies, const std::vector<String>& AContinueReplies,
                               TIdTCPConnection& AClient, const TStrings* ACapaReply, StringView AAuthString,
                               bool ACanAttemptIR)
{
    bool anyMechanism = false;
    for (int i = 0; i < Count() && !anyMechanism; ++i)
        anyMechanism = Items(i).SASL() != nullptr;
    if (!anyMechanism)
        EIdException::Toss<EIdSASLMechNeeded>(u"Need SASL mechanisms to login with it!!");

    TStringList offered;
    ParseCapaReplyToList(ACapaReply, offered, AAuthString);
    std::vector<TIdSASL*> usable;
    for (int i = Count() - 1; i >= 0; --i) {
        TIdSASL* mechanism = Items(i).SASL();
        if (mechanism && mechanism->IsAuthProtocolAvailable(offered)
            && std::find(usable.begin(), usable.end(), mechanism) == usable.end())
            usable.push_back(mechanism);
    }
    if (usable.empty())
        EIdException::Toss<EIdSASLNotSupported>(kNotSupported);

    bool anyReady = false;
    std::exception_ptr firstFailure;
    for (TIdSASL* mechanism : usable) {
        if (!mechanism->IsReadyToStart())
            continue;
        anyReady = true;
        if (PerformSASLLogin(ACmd, *mechanism, AClient, AOkReplies, AContinueReplies, AHost, AProtocolName,
                             ACanAttemptIR))
            return;
        if (!firstFailure)
            firstFailure = AClient.LastCmdResultError();
    }
    if (!anyReady)
        EIdException::Toss<EIdSASLNotReady>(kNotReady);
    std::rethrow_exception(firstFailure);
}

void TIdSASLEntries::LoginSASL(const String& ACmd, const String& AHost, const String& AProtocolName,
                               const String& AServiceName, const std::vector<String>& AOkReplies,
                               const std::vector<String>& AContinueReplies, TIdTCPConnection& AClient,
                               const TStrings* ACapaReply, StringView AAuthString, bool ACanAttemptIR)
{
    TStringList offered;
    ParseCapaReplyToList(ACapaReply, offered, AAuthString);
    TIdSASL* mechanism = offered.IndexOf(AServiceName) >= 0 ? FindSASL(AServiceName) : nullptr;
    if (!mechanism)
        EIdException::Toss<EIdSASLNotSupported>(kNotSupported);
    if (!mechanism->IsReadyToStart())
        EIdException::Toss<EIdSASLNotReady>(kNotReady);
    if (!PerformSASLLogin(ACmd, *mechanism, AClient, AOkReplies, AContinueReplies, AHost, AProtocolName,
                          ACanAttemptIR))
        AClient.RaiseExceptionForLastCmdResult();
}
