#include "net/IdSSLOpenSSL.h"

#include "mime/IdStream.h"
#include "mime/IdTextEncoding.h"
#include "net/IdSSLLibrary.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace {

using enum TIdSSLVersion;

// The callbacks run inside the library, which may have set the socket error (errno,
// or the Windows Sockets error) for its own purposes (the 1.0 code kept the thread's
// socket error the same way).
class TErrnoKeeper {
public:
    TErrnoKeeper() : FSaved(TlsSystemSocketError()) {}
    ~TErrnoKeeper() { SetTlsSystemSocketError(FSaved); }
    TErrnoKeeper(const TErrnoKeeper&) = delete;
    TErrnoKeeper& operator=(const TErrnoKeeper&) = delete;

private:
    int FSaved;
};

// Holds one of the binding's callback locks when it exists.
std::unique_lock<std::mutex> HoldCallbackLock(std::mutex* lock)
{
    return lock != nullptr ? std::unique_lock<std::mutex>(*lock) : std::unique_lock<std::mutex>();
}

// The TIdSSLContext that built a library context (its application data, index 0).
TIdSSLContext* ContextOf(const SSL* ssl)
{
    if (ssl == nullptr)
        return nullptr;
    return static_cast<TIdSSLContext*>(GOpenSSL.SSL_CTX_get_ex_data(GOpenSSL.SSL_get_SSL_CTX(ssl), 0));
}

// An exception must not travel through the library's C frames: it would end the
// process. So each callback catches everything and answers as for a refusal.

void StatusCallback(const SSL* ssl, int where, int ret)
{
    TErrnoKeeper errnoKeeper;
    auto lock = HoldCallbackLock(TlsInfoCallbackLock());
    try {
        TIdSSLContext* context = ContextOf(ssl);
        if (context == nullptr || context->Parent == nullptr)
            return;
        const String stateText = FromUtf8(GOpenSSL.SSL_state_string_long(ssl));
        context->Parent->DoStatusInfo(Format(u"SSL status: \"%s\"", {stateText}));
        const TIdSSLStatusTexts texts = StatusInfoTexts(where, ret, stateText);
        context->Parent->DoStatusInfoEx(ssl, where, ret, texts.AType, texts.AMsg);
    } catch (...) {
        // A status report is informational; the handshake goes on.
    }
}

int PasswordCallback(char* buffer, int size, int rwflag, void* userdata)
{
    TErrnoKeeper errnoKeeper;
    auto lock = HoldCallbackLock(TlsPasswordCallbackLock());
    String password;
    try {
        auto* context = static_cast<TIdSSLContext*>(userdata);
        if (context != nullptr && context->Parent != nullptr) {
            context->Parent->DoGetPasswordEx(password, rwflag > 0);
            if (password.empty())
                context->Parent->DoGetPassword(password);
        }
    } catch (...) {
        password.clear(); // no password: the key cannot be read, which is reported
    }
    if (buffer == nullptr || size <= 0)
        return 0;
    std::memset(buffer, 0, static_cast<std::size_t>(size));
    const TIdBytes bytes = IndyTextEncoding_OSDefault()->GetBytes(password);
    // The last byte stays zero, and the result is what the buffer really holds: the
    // library reads that many bytes from it.
    const std::size_t copied = std::min(bytes.size(), static_cast<std::size_t>(size - 1));
    if (copied > 0)
        std::memcpy(buffer, bytes.data(), copied);
    return static_cast<int>(copied);
}

int VerifyCallback(int ok, X509_STORE_CTX* store)
{
    auto lock = HoldCallbackLock(TlsVerifyCallbackLock());
    try {
        const auto* ssl = static_cast<const SSL*>(
            GOpenSSL.X509_STORE_CTX_get_ex_data(store, GOpenSSL.SSL_get_ex_data_X509_STORE_CTX_idx()));
        TIdSSLContext* context = ContextOf(ssl);
        if (context == nullptr || context->Parent == nullptr)
            return ok;
        const int depth = GOpenSSL.X509_STORE_CTX_get_error_depth(store);
        const int error = GOpenSSL.X509_STORE_CTX_get_error(store);
        const bool verdict = ok > 0 && depth <= context->VerifyDepth();
        X509* current = GOpenSSL.X509_STORE_CTX_get_current_cert(store);
        std::unique_ptr<TIdX509> certificate = current != nullptr ? std::make_unique<TIdX509>(current) : nullptr;
        return context->Parent->DoVerifyPeer(certificate.get(), verdict, depth, error) ? 1 : 0;
    } catch (...) {
        return 0; // the handler could not decide: the peer is not accepted
    }
}

// The whole file, read through the operating system.
TIdBytes ReadWholeFile(const String& fileName)
{
    TFileStream stream(fileName, TFileStream::TMode::fmOpenRead);
    TIdBytes bytes(static_cast<std::size_t>(stream.Size()));
    if (!bytes.empty())
        stream.ReadBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    return bytes;
}

// A library memory stream over a file's bytes (which must outlive it). A file that
// cannot be read raises E with the step's message and the system's reason.
template <class E>
TIdBIOPtr OpenFileBIO(const String& fileName, const String& message, TIdBytes& bytes)
{
    try {
        bytes = ReadWholeFile(fileName);
    } catch (const EStreamError& e) {
        throw E(0, message + u"\r\n" + e.Message());
    }
    // An empty file still gets a stream, so that the library reports what is missing.
    const void* data = bytes.empty() ? static_cast<const void*>("") : bytes.data();
    TIdBIOPtr bio(GOpenSSL.BIO_new_mem_buf(data, static_cast<int>(bytes.size())));
    if (bio == nullptr)
        RaiseException<E>(message);
    return bio;
}

std::chrono::system_clock::time_point TimeOf(const ASN1_TIME* time)
{
    std::tm parts{};
    if (time == nullptr || GOpenSSL.ASN1_TIME_to_tm(time, &parts) != 1)
        return {};
    // The parts are UTC (timegm's reading, written out so that no system call of one
    // system is needed).
    using namespace std::chrono;
    const sys_days day{year(parts.tm_year + 1900) / month(static_cast<unsigned>(parts.tm_mon + 1))
                       / static_cast<unsigned>(parts.tm_mday)};
    return time_point_cast<system_clock::duration>(day + hours(parts.tm_hour) + minutes(parts.tm_min)
                                                   + seconds(parts.tm_sec));
}

String NameText(const X509_NAME* name)
{
    char buffer[1024] = {};
    if (name != nullptr)
        GOpenSSL.X509_NAME_oneline(name, buffer, sizeof buffer);
    return FromUtf8(buffer);
}

} // namespace

// --- TIdSSLOptions -----------------------------------------------------------------

void TIdSSLOptions::SetMethod(TIdSSLVersion value)
{
    fMethod = value;
    fSSLVersions = value == sslvSSLv23 ? AllSSLVersions : TIdSSLVersions{value};
}

void TIdSSLOptions::SetSSLVersions(TIdSSLVersions value)
{
    for (TIdSSLVersion single : {sslvSSLv2, sslvSSLv3, sslvTLSv1, sslvTLSv1_1, sslvTLSv1_2}) {
        if (value == TIdSSLVersions{single}) {
            fSSLVersions = value;
            fMethod = single;
            return;
        }
    }
    fMethod = sslvSSLv23;
    if (value.Contains(sslvSSLv23)) {
        value.Exclude(sslvSSLv23);
        if (value.IsEmpty())
            value = AllSSLVersions;
    }
    fSSLVersions = value;
}

void TIdSSLOptions::Assign(const TIdSSLOptions& source)
{
    fsRootCertFile = source.fsRootCertFile;
    fsCertFile = source.fsCertFile;
    fsKeyFile = source.fsKeyFile;
    fsDHParamsFile = source.fsDHParamsFile;
    SetMethod(source.fMethod);
    SetSSLVersions(source.fSSLVersions);
    fMode = source.fMode;
    fVerifyMode = source.fVerifyMode;
    fVerifyDepth = source.fVerifyDepth;
    fVerifyDirs = source.fVerifyDirs;
    fCipherList = source.fCipherList;
}

// --- TIdX509 -----------------------------------------------------------------------

TIdX509::TIdX509(X509* certificate)
{
    if (certificate != nullptr && GOpenSSL.X509_up_ref(certificate) == 1)
        FCertificate.reset(certificate);
}

String TIdX509::SubjectName() const
{
    return FCertificate ? NameText(GOpenSSL.X509_get_subject_name(FCertificate.get())) : String();
}

String TIdX509::IssuerName() const
{
    return FCertificate ? NameText(GOpenSSL.X509_get_issuer_name(FCertificate.get())) : String();
}

TIdBytes TIdX509::Fingerprint(TIdX509Digest digest) const
{
    decltype(GOpenSSL.EVP_md5) algorithm = nullptr;
    switch (digest) {
    case TIdX509Digest::MD5: algorithm = GOpenSSL.EVP_md5; break;
    case TIdX509Digest::SHA1: algorithm = GOpenSSL.EVP_sha1; break;
    case TIdX509Digest::SHA224: algorithm = GOpenSSL.EVP_sha224; break;
    case TIdX509Digest::SHA256: algorithm = GOpenSSL.EVP_sha256; break;
    case TIdX509Digest::SHA384: algorithm = GOpenSSL.EVP_sha384; break;
    case TIdX509Digest::SHA512: algorithm = GOpenSSL.EVP_sha512; break;
    }
    if (!FCertificate || algorithm == nullptr)
        return {};
    TIdBytes result(EVP_MAX_MD_SIZE);
    unsigned int length = 0;
    if (GOpenSSL.X509_digest(FCertificate.get(), algorithm(), result.data(), &length) != 1)
        return {};
    result.resize(length);
    return result;
}

String TIdX509::FingerprintAsString(TIdX509Digest digest) const
{
    return BytesToHex(Fingerprint(digest), u":");
}

String TIdX509::SerialNumber() const
{
    if (!FCertificate)
        return {};
    TIdBIGNUMPtr number(GOpenSSL.ASN1_INTEGER_to_BN(GOpenSSL.X509_get_serialNumber(FCertificate.get()), nullptr));
    if (!number)
        return {};
    char* hex = GOpenSSL.BN_bn2hex(number.get());
    if (hex == nullptr)
        return {};
    String text = FromUtf8(hex);
    GOpenSSL.CRYPTO_free(hex, __FILE__, __LINE__);
    return text;
}

std::int32_t TIdX509::Version() const
{
    return FCertificate ? static_cast<std::int32_t>(GOpenSSL.X509_get_version(FCertificate.get()) + 1) : 0;
}

std::chrono::system_clock::time_point TIdX509::NotBefore() const
{
    return FCertificate ? TimeOf(GOpenSSL.X509_get0_notBefore(FCertificate.get())) : std::chrono::system_clock::time_point();
}

std::chrono::system_clock::time_point TIdX509::NotAfter() const
{
    return FCertificate ? TimeOf(GOpenSSL.X509_get0_notAfter(FCertificate.get())) : std::chrono::system_clock::time_point();
}

// --- Status texts ------------------------------------------------------------------

TIdSSLStatusTexts StatusInfoTexts(std::int32_t AWhere, std::int32_t Aret, const String& stateText)
{
    auto exitText = [Aret](StringView what) {
        return String(what) + (Aret > 0 ? u" Exit" : Aret == 0 ? u" Failed" : u" Error");
    };
    auto alertType = [Aret] { return FromUtf8(GOpenSSL.SSL_alert_type_string_long(Aret)); };
    auto alertDescription = [Aret] { return FromUtf8(GOpenSSL.SSL_alert_desc_string_long(Aret)); };
    switch (AWhere) {
    case SSL_CB_HANDSHAKE_START: return {u"Handshake Start", stateText};
    case SSL_CB_HANDSHAKE_DONE: return {u"Handshake Done", stateText};
    case SSL_CB_CONNECT_LOOP: return {u"Connect Loop", stateText};
    case SSL_CB_CONNECT_EXIT: return {exitText(u"Connect"), stateText};
    case SSL_CB_ACCEPT_LOOP: return {u"Accept Loop", stateText};
    case SSL_CB_ACCEPT_EXIT: return {exitText(u"Accept"), stateText};
    case SSL_CB_ALERT: return {Format(u"%s Alert", {alertType()}), alertType()};
    case SSL_CB_READ_ALERT: return {Format(u"%s Read Alert", {alertType()}), alertDescription()};
    case SSL_CB_WRITE_ALERT: return {Format(u"%s Write Alert", {alertType()}), alertDescription()};
    default: return {Format(u"SSL status: \"%s\"", {stateText}), String()};
    }
}

// --- TIdSSLContext -----------------------------------------------------------------

TIdSSLContext::TIdSSLContext()
{
    if (!LoadTlsLibrary())
        EIdException::Toss<EIdOSSLCouldNotLoadSSLLibrary>(u"Could not load SSL library.");
}

TIdSSLContext::~TIdSSLContext()
{
    DiscardContext();
}

void TIdSSLContext::DiscardContext()
{
    // A connection object may keep the library context alive a little longer; its
    // callbacks must then no longer find this object.
    if (fContext && GOpenSSL.SSL_CTX_set_ex_data != nullptr)
        GOpenSSL.SSL_CTX_set_ex_data(fContext.get(), 0, nullptr);
    fContext.reset();
}

TIdSSLMethod TIdSSLContext::SelectMethod() const
{
    using enum TIdSSLMode;
    if (fMode == sslmUnassigned)
        EIdException::Toss<EIdOSSLModeNotSet>(u"Mode has not been set.");

    int version = 0;
    switch (fMethod) {
    case sslvSSLv23: version = 0; break;
    case sslvTLSv1: version = TLS1_VERSION; break;
    // 3.x always has TLS 1.1 and 1.2, so these never fall back to TLS 1.0.
    case sslvTLSv1_1: version = TLS1_1_VERSION; break;
    case sslvTLSv1_2: version = TLS1_2_VERSION; break;
    case sslvSSLv3:
#ifdef OPENSSL_NO_SSL3_METHOD
        // This build of the library has no SSL 3.0 at all.
        EIdException::Toss<EIdOSSLGetMethodError>(u"Error getting SSL method.");
#else
        version = SSL3_VERSION;
        break;
#endif
    case sslvSSLv2: // SSL 2.0 is gone from the library
    default: EIdException::Toss<EIdOSSLGetMethodError>(u"Error getting SSL method.");
    }

    switch (fMode) {
    case sslmClient: return {GOpenSSL.TLS_client_method(), version};
    case sslmServer: return {GOpenSSL.TLS_server_method(), version};
    case sslmBoth: return {GOpenSSL.TLS_method(), version};
    default: EIdException::Toss<EIdOSSLGetMethodError>(u"Error getting SSL method.");
    }
}

void TIdSSLContext::ExcludeVersions()
{
    // SSL 2.0 does not exist in 3.x (its option bit is 0). TLS 1.3, which a version
    // set cannot name, goes with TLS 1.2: a set without TLS 1.2 allows nothing newer,
    // and an empty set allows nothing at all.
    std::uint64_t options = 0;
    if (!fSSLVersions.Contains(sslvSSLv3))
        options |= SSL_OP_NO_SSLv3;
    if (!fSSLVersions.Contains(sslvTLSv1))
        options |= SSL_OP_NO_TLSv1;
    if (!fSSLVersions.Contains(sslvTLSv1_1))
        options |= SSL_OP_NO_TLSv1_1;
    if (!fSSLVersions.Contains(sslvTLSv1_2))
        options |= SSL_OP_NO_TLSv1_2 | SSL_OP_NO_TLSv1_3;
    if (options != 0)
        GOpenSSL.SSL_CTX_set_options(fContext.get(), options);
}

void TIdSSLContext::BuildContext(TIdSSLCtxMode ACtxMode)
{
    DiscardContext();
    fCtxMode = ACtxMode;
    if (fMode == TIdSSLMode::sslmUnassigned)
        fMode = ACtxMode == TIdSSLCtxMode::sslCtxServer ? TIdSSLMode::sslmServer : TIdSSLMode::sslmClient;

    // A failure below must report its own error, not one left in the queue earlier.
    GOpenSSL.ERR_clear_error();
    const TIdSSLMethod method = SelectMethod();
    fContext.reset(GOpenSSL.SSL_CTX_new(method.Method));
    if (!fContext)
        RaiseException<EIdOSSLCreatingContextError>(u"Error creating SSL context.");
    SSL_CTX* context = fContext.get();
    GOpenSSL.SSL_CTX_set_ex_data(context, 0, this); // how the callbacks find us
    if (method.PinnedVersion != 0) {
        GOpenSSL.SSL_CTX_ctrl(context, SSL_CTRL_SET_MIN_PROTO_VERSION, method.PinnedVersion, nullptr);
        GOpenSSL.SSL_CTX_ctrl(context, SSL_CTRL_SET_MAX_PROTO_VERSION, method.PinnedVersion, nullptr);
    }

    ExcludeVersions();
    // Reads and writes retry by themselves after a renegotiation (1.0: mode bit 4).
    GOpenSSL.SSL_CTX_ctrl(context, SSL_CTRL_MODE, SSL_MODE_AUTO_RETRY, nullptr);
    GOpenSSL.SSL_CTX_set_default_passwd_cb(context, PasswordCallback);
    GOpenSSL.SSL_CTX_set_default_passwd_cb_userdata(context, this);
    // The system's trust store; RootCertFile adds to it below. A client's store reads
    // it only when RootCertFile lacks the issuer; a server's store, which connections
    // share, reads it now.
    if (ACtxMode == TIdSSLCtxMode::sslCtxServer
        || !TlsAddSystemTrustOnDemand(GOpenSSL.SSL_CTX_get_cert_store(context)))
        TlsUseSystemTrust(context);

    if (!fsRootCertFile.empty() || !fVerifyDirs.empty())
        LoadRootCert();
    if (!fsCertFile.empty())
        LoadCert();
    if (!fsKeyFile.empty())
        LoadKey();
    if (!fsDHParamsFile.empty())
        LoadDHParams();
    if (fStatusInfoOn)
        GOpenSSL.SSL_CTX_set_info_callback(context, StatusCallback);

    const TIdBytes cipherBytes = ToBytesRaw(fCipherList.empty() ? DefaultCipherList : StringView(fCipherList));
    const std::string cipherList(cipherBytes.begin(), cipherBytes.end());
    if (GOpenSSL.SSL_CTX_set_cipher_list(context, cipherList.c_str()) <= 0)
        EIdException::Toss<EIdOSSLSettingCipherError>(u"SetCipher failed.");

    if (!fVerifyMode.IsEmpty())
        ApplyVerifyMode();
    if (ACtxMode == TIdSSLCtxMode::sslCtxServer) {
        unsigned char sessionId[sizeof fSessionId];
        std::memcpy(sessionId, &fSessionId, sizeof fSessionId);
        GOpenSSL.SSL_CTX_set_session_id_context(context, sessionId, sizeof sessionId);
    }
    if (!fsRootCertFile.empty()) {
        // The certificate authorities a server names when it asks for a client
        // certificate. A file without any leaves the list empty; its parse error must
        // not be mistaken later for the error of another call.
        STACK_OF(X509_NAME)* names = GOpenSSL.SSL_load_client_CA_file(ToUtf8(fsRootCertFile).c_str());
        if (names != nullptr)
            GOpenSSL.SSL_CTX_set_client_CA_list(context, names);
        else
            GOpenSSL.ERR_clear_error();
    }
}

void TIdSSLContext::ApplyVerifyMode()
{
    GOpenSSL.SSL_CTX_set_verify(fContext.get(), fVerifyMode.Bits(), fVerifyOn ? VerifyCallback : nullptr);
    GOpenSSL.SSL_CTX_set_verify_depth(fContext.get(), fVerifyDepth);
}

void TIdSSLContext::LoadRootCert()
{
    const String message = u"Could not load root certificate.";
    X509_STORE* store = GOpenSSL.SSL_CTX_get_cert_store(fContext.get());
    if (!fsRootCertFile.empty()) {
        TIdBytes bytes;
        TIdBIOPtr bio = OpenFileBIO<EIdOSSLLoadingRootCertError>(fsRootCertFile, message, bytes);
        int added = 0;
        while (TIdX509Ptr certificate{GOpenSSL.PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)}) {
            if (GOpenSSL.X509_STORE_add_cert(store, certificate.get()) != 1)
                RaiseException<EIdOSSLLoadingRootCertError>(message);
            ++added;
        }
        if (added == 0)
            RaiseException<EIdOSSLLoadingRootCertError>(message);
        GOpenSSL.ERR_clear_error(); // the end of the file, reported as "no start line"
    }
    if (!fVerifyDirs.empty() && GOpenSSL.X509_STORE_load_path(store, ToUtf8(fVerifyDirs).c_str()) != 1)
        RaiseException<EIdOSSLLoadingRootCertError>(message);
}

void TIdSSLContext::LoadCert()
{
    const String message = u"Could not load certificate.";
    TIdBytes bytes;
    TIdBIOPtr bio = OpenFileBIO<EIdOSSLLoadingCertError>(fsCertFile, message, bytes);
    TIdX509Ptr certificate{GOpenSSL.PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)};
    if (!certificate || GOpenSSL.SSL_CTX_use_certificate(fContext.get(), certificate.get()) != 1)
        RaiseException<EIdOSSLLoadingCertError>(message);
}

void TIdSSLContext::LoadKey()
{
    const String message = u"Could not load key, check password.";
    TIdBytes bytes;
    TIdBIOPtr bio = OpenFileBIO<EIdOSSLLoadingKeyError>(fsKeyFile, message, bytes);
    TIdEVPPKeyPtr key{GOpenSSL.PEM_read_bio_PrivateKey(bio.get(), nullptr, PasswordCallback, this)};
    if (!key || GOpenSSL.SSL_CTX_use_PrivateKey(fContext.get(), key.get()) != 1
        || GOpenSSL.SSL_CTX_check_private_key(fContext.get()) != 1)
        RaiseException<EIdOSSLLoadingKeyError>(message);
}

void TIdSSLContext::LoadDHParams()
{
    const String message = u"Could not load DH Parameters.";
    TIdBytes bytes;
    TIdBIOPtr bio = OpenFileBIO<EIdOSSLLoadingDHParamsError>(fsDHParamsFile, message, bytes);
    TIdEVPPKeyPtr parameters{GOpenSSL.PEM_read_bio_Parameters(bio.get(), nullptr)};
    if (!parameters || GOpenSSL.SSL_CTX_set0_tmp_dh_pkey(fContext.get(), parameters.get()) != 1)
        RaiseException<EIdOSSLLoadingDHParamsError>(message);
    (void)parameters.release(); // the context owns it now
}
