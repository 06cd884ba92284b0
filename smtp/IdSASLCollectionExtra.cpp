// Wider surface of the library, kept for completeness: no road of the program reaches the code below.
//
// SASL login through the collection's mechanisms (AuthType satSASL). The program
// logs in with AUTH LOGIN as the client's own default (IdSMTP.cpp), and uses the
// collection only to read the AUTH capability.

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
