#pragma once
// TLS settings of an I/O handler (TIdSSLOptions), the library context built from
// them (TIdSSLContext), the certificate wrapper (TIdX509) and the three callbacks
// the library calls back into (status, key password, peer verification).
//
// The TLS I/O handler owns one options object, copies it into a new context before
// each handshake and frees the context when the connection closes. The library
// defaults stay as they were: no certificate verification unless VerifyMode asks.

#include "mime/IdGlobal.h"
#include "net/IdSSLOpenSSLHeaders.h"

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>

enum class TIdSSLVersion : std::uint8_t {
    sslvSSLv2 = 0,
    sslvSSLv23 = 1,
    sslvSSLv3 = 2,
    sslvTLSv1 = 3,
    sslvTLSv1_1 = 4,
    sslvTLSv1_2 = 5,
};

enum class TIdSSLMode : std::uint8_t { sslmUnassigned = 0, sslmClient = 1, sslmServer = 2, sslmBoth = 3 };

// Passed to the library as its bits: peer 1, fail-if-no-peer-certificate 2, client-once 4.
enum class TIdSSLVerifyMode : std::uint8_t { sslvrfPeer = 0, sslvrfFailIfNoPeerCert = 1, sslvrfClientOnce = 2 };

enum class TIdSSLCtxMode : std::uint8_t { sslCtxClient = 0, sslCtxServer = 1 };

// A set of enumeration values in one byte, bit n = value n.
template <class E>
class TIdSmallSet {
public:
    constexpr TIdSmallSet() = default;
    constexpr TIdSmallSet(std::initializer_list<E> values)
    {
        for (E value : values)
            Include(value);
    }
    constexpr bool Contains(E value) const { return (FBits & Bit(value)) != 0; }
    constexpr void Include(E value) { FBits = static_cast<std::uint8_t>(FBits | Bit(value)); }
    constexpr void Exclude(E value) { FBits = static_cast<std::uint8_t>(FBits & ~Bit(value)); }
    constexpr bool IsEmpty() const { return FBits == 0; }
    constexpr std::uint8_t Bits() const { return FBits; }
    friend constexpr bool operator==(TIdSmallSet, TIdSmallSet) = default;

private:
    static constexpr std::uint8_t Bit(E value) { return static_cast<std::uint8_t>(1u << static_cast<unsigned>(value)); }
    std::uint8_t FBits = 0;
};

using TIdSSLVersions = TIdSmallSet<TIdSSLVersion>;
using TIdSSLVerifyModeSet = TIdSmallSet<TIdSSLVerifyMode>;

// The five protocol versions a set can name (sslvSSLv23 is the negotiating method,
// not a version).
inline constexpr TIdSSLVersions AllSSLVersions{TIdSSLVersion::sslvSSLv2, TIdSSLVersion::sslvSSLv3,
                                               TIdSSLVersion::sslvTLSv1, TIdSSLVersion::sslvTLSv1_1,
                                               TIdSSLVersion::sslvTLSv1_2};

// The TLS settings of a handler. Method and SSLVersions follow each other: setting
// one adjusts the other.
class TIdSSLOptions {
public:
    const String& RootCertFile() const { return fsRootCertFile; }
    void SetRootCertFile(const String& value) { fsRootCertFile = value; }
    const String& CertFile() const { return fsCertFile; }
    void SetCertFile(const String& value) { fsCertFile = value; }
    const String& KeyFile() const { return fsKeyFile; }
    void SetKeyFile(const String& value) { fsKeyFile = value; }
    const String& DHParamsFile() const { return fsDHParamsFile; }
    void SetDHParamsFile(const String& value) { fsDHParamsFile = value; }

    TIdSSLVersion Method() const { return fMethod; }
    // sslvSSLv23 allows all five versions; any other method just its own.
    void SetMethod(TIdSSLVersion value);
    TIdSSLVersions SSLVersions() const { return fSSLVersions; }
    // A one-version set selects that version's method; any other set the negotiating
    // one. sslvSSLv23 in a set means "all": it is removed, and when nothing else
    // remains the set becomes all five versions.
    void SetSSLVersions(TIdSSLVersions value);

    TIdSSLMode Mode() const { return fMode; }
    void SetMode(TIdSSLMode value) { fMode = value; }
    // With VerifyMode set, how many CA certificates may stand between the peer's
    // certificate and a trusted one (the library's count). The default 0 accepts
    // only a certificate that a trusted CA signed itself: a public server's chain
    // goes through an intermediate CA and needs at least 1, so whoever turns
    // verification on sets a depth too. With OnVerifyPeer assigned, a certificate
    // deeper than this (the trusted one counts) reaches the event as not OK.
    std::int32_t VerifyDepth() const { return fVerifyDepth; }
    void SetVerifyDepth(std::int32_t value) { fVerifyDepth = value; }
    TIdSSLVerifyModeSet VerifyMode() const { return fVerifyMode; }
    void SetVerifyMode(TIdSSLVerifyModeSet value) { fVerifyMode = value; }
    const String& VerifyDirs() const { return fVerifyDirs; }
    void SetVerifyDirs(const String& value) { fVerifyDirs = value; }
    const String& CipherList() const { return fCipherList; }
    void SetCipherList(const String& value) { fCipherList = value; }

    // Copies the file names, then Method and SSLVersions through their setters, then
    // the rest.
    void Assign(const TIdSSLOptions& source);

private:
    String fsRootCertFile;
    String fsCertFile;
    String fsKeyFile;
    String fsDHParamsFile;
    TIdSSLVersion fMethod = TIdSSLVersion::sslvTLSv1;
    TIdSSLVersions fSSLVersions{TIdSSLVersion::sslvTLSv1};
    TIdSSLMode fMode = TIdSSLMode::sslmUnassigned;
    std::int32_t fVerifyDepth = 0;
    TIdSSLVerifyModeSet fVerifyMode;
    String fVerifyDirs;
    String fCipherList;
};

// A certificate: names, fingerprints, serial number, version, validity. Holds its own
// reference to the library's certificate.
enum class TIdX509Digest { MD5, SHA1, SHA224, SHA256, SHA384, SHA512 };

class TIdX509 {
public:
    // Takes a reference of its own; the caller keeps (and frees) its own.
    explicit TIdX509(X509* certificate);

    X509* Certificate() const { return FCertificate.get(); }
    // One-line forms, "/C=BR/O=Loja/CN=mail.example.com".
    String SubjectName() const;
    String IssuerName() const;
    // Empty when the library lacks the digest.
    TIdBytes Fingerprint(TIdX509Digest digest) const;
    // Two-digit lower-case hexadecimal bytes separated by ":".
    String FingerprintAsString(TIdX509Digest digest) const;
    // Upper-case hexadecimal, as the library writes big numbers.
    String SerialNumber() const;
    // The version as people write it: 3 for an X.509 v3 certificate.
    std::int32_t Version() const;
    std::chrono::system_clock::time_point NotBefore() const;
    std::chrono::system_clock::time_point NotAfter() const;

private:
    TIdX509Ptr FCertificate;
};

// What a context needs from the handler that owns it: the library's callbacks end in
// the handler's events. The TLS I/O handler implements it; each method fires its
// event only when one is assigned.
class IIdSSLContextParent {
public:
    virtual void DoStatusInfo(const String& AMsg) = 0;
    virtual void DoStatusInfoEx(const SSL* AsslSocket, std::int32_t AWhere, std::int32_t Aret, const String& AType,
                                const String& AMsg) = 0;
    virtual void DoGetPassword(String& APassword) = 0;
    virtual void DoGetPasswordEx(String& VPassword, bool AIsWrite) = 0;
    virtual bool DoVerifyPeer(TIdX509* Certificate, bool AOk, std::int32_t ADepth, std::int32_t AError) = 0;

protected:
    ~IIdSSLContextParent() = default;
};

// The where-text and return-text the status callback hands to OnStatusInfoEx for a
// "where" code and return value; stateText is the library's long state text.
struct TIdSSLStatusTexts {
    String AType;
    String AMsg;
};
TIdSSLStatusTexts StatusInfoTexts(std::int32_t AWhere, std::int32_t Aret, const String& stateText);

// A protocol method of the library and the one protocol version it is held to
// (0: the versions are negotiated). The 1.0 library had one method per version; 3.x
// has the negotiating methods only, held to a version by the context's bounds.
struct TIdSSLMethod {
    const SSL_METHOD* Method = nullptr;
    int PinnedVersion = 0;
};

inline constexpr StringView DefaultCipherList = u"AES:ALL:!aNULL:!eNULL:+RC4:@STRENGTH";

// The library context of one handler. The constructor loads the library (raising
// EIdOSSLCouldNotLoadSSLLibrary when it cannot); BuildContext makes the library
// context from the fields, which the handler fills first.
class TIdSSLContext {
public:
    TIdSSLContext();
    ~TIdSSLContext();
    TIdSSLContext(const TIdSSLContext&) = delete;
    TIdSSLContext& operator=(const TIdSSLContext&) = delete;

    // A new context with the same settings and parent, not yet built.
    std::unique_ptr<TIdSSLContext> Clone() const;

    // The owning handler, or none: the callbacks report to it.
    IIdSSLContextParent* Parent = nullptr;

    bool StatusInfoOn() const { return fStatusInfoOn; }
    void SetStatusInfoOn(bool value) { fStatusInfoOn = value; }
    bool VerifyOn() const { return fVerifyOn; }
    void SetVerifyOn(bool value) { fVerifyOn = value; }
    TIdSSLVersions SSLVersions() const { return fSSLVersions; }
    void SetSSLVersions(TIdSSLVersions value) { fSSLVersions = value; }
    TIdSSLVersion Method() const { return fMethod; }
    void SetMethod(TIdSSLVersion value) { fMethod = value; }
    TIdSSLMode Mode() const { return fMode; }
    void SetMode(TIdSSLMode value) { fMode = value; }
    const String& RootCertFile() const { return fsRootCertFile; }
    void SetRootCertFile(const String& value) { fsRootCertFile = value; }
    const String& CertFile() const { return fsCertFile; }
    void SetCertFile(const String& value) { fsCertFile = value; }
    const String& CipherList() const { return fCipherList; }
    void SetCipherList(const String& value) { fCipherList = value; }
    const String& KeyFile() const { return fsKeyFile; }
    void SetKeyFile(const String& value) { fsKeyFile = value; }
    const String& DHParamsFile() const { return fsDHParamsFile; }
    void SetDHParamsFile(const String& value) { fsDHParamsFile = value; }
    const String& VerifyDirs() const { return fVerifyDirs; }
    void SetVerifyDirs(const String& value) { fVerifyDirs = value; }
    TIdSSLVerifyModeSet VerifyMode() const { return fVerifyMode; }
    void SetVerifyMode(TIdSSLVerifyModeSet value) { fVerifyMode = value; }
    std::int32_t VerifyDepth() const { return fVerifyDepth; }
    void SetVerifyDepth(std::int32_t value) { fVerifyDepth = value; }

    // Discards any previous library context and builds a new one from the fields.
    // Every failing step raises its own exception; what was built so far stays with
    // this object and is freed with it.
    void BuildContext(TIdSSLCtxMode ACtxMode);
    // The library context (none before BuildContext).
    SSL_CTX* Context() const { return fContext.get(); }
    // The library method for Method and Mode.
    TIdSSLMethod SelectMethod() const;
    void DiscardContext();

    // Each reads its file(s) into the library context, raising the step's exception
    // on failure. The files are read whole through the operating system.
    void LoadRootCert();
    void LoadCert();
    void LoadKey();
    void LoadDHParams();

private:
    void ApplyVerifyMode();
    void ExcludeVersions();

    TIdSSLVersion fMethod = TIdSSLVersion::sslvTLSv1;
    TIdSSLVersions fSSLVersions{TIdSSLVersion::sslvTLSv1};
    TIdSSLMode fMode = TIdSSLMode::sslmUnassigned;
    String fsRootCertFile;
    String fsCertFile;
    String fsKeyFile;
    String fsDHParamsFile;
    std::int32_t fVerifyDepth = 0;
    TIdSSLVerifyModeSet fVerifyMode;
    String fVerifyDirs;
    String fCipherList;
    TIdSSLCtxPtr fContext;
    bool fStatusInfoOn = false;
    bool fVerifyOn = false;
    std::uint32_t fSessionId = 1;
    TIdSSLCtxMode fCtxMode = TIdSSLCtxMode::sslCtxClient;
};
