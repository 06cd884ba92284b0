#include "net/IdSSLOpenSSL.h"
#include "support/LoopbackPeer.h"
#include "support/TestCertificates.h"
#include "support/TestChildProcess.h"
#include "support/TlsTestServer.h"
#include "tests/net/NetTestSystem.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

using enum TIdSSLVersion;
using enum TIdSSLMode;

String U(const std::string& utf8)
{
    return FromUtf8(utf8);
}

// Records what the library's callbacks hand to the owning handler, and answers as
// the test tells it to.
class TFakeParent : public IIdSSLContextParent {
public:
    struct TVerifyCall {
        String Subject;
        bool Ok;
        std::int32_t Depth;
        std::int32_t Error;
    };

    void DoStatusInfo(const String& AMsg) override { StatusInfos.push_back(AMsg); }
    void DoStatusInfoEx(const SSL* AsslSocket, std::int32_t AWhere, std::int32_t, const String& AType,
                        const String& AMsg) override
    {
        StatusSocket = AsslSocket;
        StatusWheres.push_back(AWhere);
        StatusTypes.push_back(AType);
        StatusMsgs.push_back(AMsg);
    }
    void DoGetPassword(String& APassword) override
    {
        ++PasswordCalls;
        APassword = Password;
    }
    void DoGetPasswordEx(String& VPassword, bool AIsWrite) override
    {
        ++PasswordExCalls;
        LastIsWrite = AIsWrite;
        VPassword = PasswordEx;
    }
    bool DoVerifyPeer(TIdX509* Certificate, bool AOk, std::int32_t ADepth, std::int32_t AError) override
    {
        VerifyCalls.push_back({Certificate != nullptr ? Certificate->SubjectName() : String(), AOk, ADepth, AError});
        return AcceptPeer ? AcceptPeer(AOk, ADepth) : AOk;
    }

    std::vector<String> StatusInfos;
    const SSL* StatusSocket = nullptr;
    std::vector<std::int32_t> StatusWheres;
    std::vector<String> StatusTypes;
    std::vector<String> StatusMsgs;
    String Password;
    String PasswordEx;
    int PasswordCalls = 0;
    int PasswordExCalls = 0;
    bool LastIsWrite = true;
    std::vector<TVerifyCall> VerifyCalls;
    std::function<bool(bool ok, std::int32_t depth)> AcceptPeer;
};

// A client connection made directly through the binding, on a TCP connection to
// the test server.
class TTestTlsClient {
public:
    TTestTlsClient(SSL_CTX* context, std::uint16_t port) : FSocket(ConnectLoopback(port))
    {
        Ssl.reset(GOpenSSL.SSL_new(context));
        if (!Ssl || GOpenSSL.SSL_set_fd(Ssl.get(), FSocket.Get()) != 1)
            throw std::runtime_error("cannot make the connection object");
    }
    ~TTestTlsClient()
    {
        Ssl.reset(); // before the socket goes
    }
    TTestTlsClient(const TTestTlsClient&) = delete;
    TTestTlsClient& operator=(const TTestTlsClient&) = delete;

    void SendServerName(const char* name)
    {
        GOpenSSL.SSL_ctrl(Ssl.get(), SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, const_cast<char*>(name));
    }
    int Connect()
    {
        GOpenSSL.ERR_clear_error();
        return GOpenSSL.SSL_connect(Ssl.get());
    }
    // Connects, raising as the TLS handler does when the handshake fails.
    void ConnectOrRaise()
    {
        const int result = Connect();
        if (result <= 0)
            RaiseException<EIdOSSLConnectError>(Ssl.get(), result, u"Error connecting with SSL.");
    }
    std::string ReadLine()
    {
        std::string line;
        char c = 0;
        while (GOpenSSL.SSL_read(Ssl.get(), &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }
    void Write(const std::string& text) { GOpenSSL.SSL_write(Ssl.get(), text.data(), static_cast<int>(text.size())); }
    // One exchange with the test server: its greeting line, then our line echoed.
    std::string Exchange()
    {
        const std::string greeting = ReadLine();
        Write("ola\n");
        const std::string echo = ReadLine();
        GOpenSSL.SSL_shutdown(Ssl.get());
        return greeting + "|" + echo;
    }

    TIdSSLPtr Ssl;

private:
    ScopedFd FSocket;
};

template <class E>
bool IsA(const EIdOpenSSLAPICryptoError& e)
{
    return dynamic_cast<const E*>(&e) != nullptr;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class TlsContextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetTlsLibraryFolder(u"");
        Context = std::make_unique<TIdSSLContext>();
    }
    void TearDown() override
    {
        Context.reset(); // contexts go before the library
        UnloadTlsLibrary();
    }
    const TTestCertificates& Certs() { return TestCertificates(); }

    // A client context as the handler makes it, with the given versions.
    void BuildClient(TIdSSLVersions versions = AllSSLVersions)
    {
        TIdSSLOptions options;
        options.SetSSLVersions(versions);
        Context->SetMethod(options.Method());
        Context->SetSSLVersions(options.SSLVersions());
        Context->BuildContext(TIdSSLCtxMode::sslCtxClient);
    }
    void VerifyWith(const std::string& rootCertFile, std::int32_t depth = 4)
    {
        Context->SetRootCertFile(U(rootCertFile));
        Context->SetVerifyMode({TIdSSLVerifyMode::sslvrfPeer});
        Context->SetVerifyDepth(depth);
    }
    static std::unique_ptr<TTlsTestServer> Server(const std::string& cert, const std::string& key,
                                                  bool tls13Only = false)
    {
        return std::make_unique<TTlsTestServer>(TTlsTestServer::TOptions{cert, key, tls13Only});
    }
    std::unique_ptr<TTlsTestServer> GoodServer() { return Server(Certs().ServerCert, Certs().ServerKey); }

    std::unique_ptr<TIdSSLContext> Context;
    TFakeParent Parent;
};

} // namespace

// --- Options -----------------------------------------------------------------------

TEST(IdSSLOptions, DefaultsAndTheMethodSettingTheVersions)
{
    TIdSSLOptions options;
    EXPECT_EQ(options.Method(), sslvTLSv1);
    EXPECT_EQ(options.SSLVersions(), TIdSSLVersions{sslvTLSv1});
    EXPECT_EQ(options.Mode(), sslmUnassigned);
    EXPECT_TRUE(options.VerifyMode().IsEmpty());
    EXPECT_EQ(options.VerifyDepth(), 0);

    options.SetMethod(sslvSSLv23);
    EXPECT_EQ(options.SSLVersions(), AllSSLVersions);
    options.SetMethod(sslvSSLv2);
    EXPECT_EQ(options.SSLVersions(), TIdSSLVersions{sslvSSLv2});
    options.SetMethod(sslvTLSv1_1);
    EXPECT_EQ(options.SSLVersions(), TIdSSLVersions{sslvTLSv1_1});
}

TEST(IdSSLOptions, TheVersionsSettingTheMethod)
{
    TIdSSLOptions options;
    options.SetSSLVersions({sslvTLSv1_2});
    EXPECT_EQ(options.Method(), sslvTLSv1_2);

    options.SetSSLVersions({sslvSSLv23});
    EXPECT_EQ(options.Method(), sslvSSLv23);
    EXPECT_EQ(options.SSLVersions(), AllSSLVersions) << "alone, the negotiating method means all";

    options.SetSSLVersions({sslvSSLv23, sslvTLSv1_2});
    EXPECT_EQ(options.Method(), sslvSSLv23);
    EXPECT_EQ(options.SSLVersions(), TIdSSLVersions{sslvTLSv1_2}) << "removed, the rest stays";

    options.SetSSLVersions({sslvTLSv1_1, sslvTLSv1_2});
    EXPECT_EQ(options.Method(), sslvSSLv23);
    EXPECT_EQ(options.SSLVersions(), (TIdSSLVersions{sslvTLSv1_1, sslvTLSv1_2}));

    options.SetSSLVersions({});
    EXPECT_EQ(options.Method(), sslvSSLv23);
    EXPECT_TRUE(options.SSLVersions().IsEmpty()) << "an empty set stays empty";
}

TEST(IdSSLOptions, AssignCopiesEverythingThroughTheCoupledSetters)
{
    TIdSSLOptions source;
    source.SetRootCertFile(u"/ca.pem");
    source.SetCertFile(u"/c.pem");
    source.SetKeyFile(u"/k.pem");
    source.SetDHParamsFile(u"/dh.pem");
    source.SetSSLVersions({sslvTLSv1_1, sslvTLSv1_2});
    source.SetMode(sslmClient);
    source.SetVerifyMode({TIdSSLVerifyMode::sslvrfPeer, TIdSSLVerifyMode::sslvrfClientOnce});
    source.SetVerifyDepth(7);
    source.SetVerifyDirs(u"/certs");
    source.SetCipherList(u"HIGH");

    TIdSSLOptions target;
    target.Assign(source);
    EXPECT_EQ(target.RootCertFile(), u"/ca.pem");
    EXPECT_EQ(target.CertFile(), u"/c.pem");
    EXPECT_EQ(target.KeyFile(), u"/k.pem");
    EXPECT_EQ(target.DHParamsFile(), u"/dh.pem");
    EXPECT_EQ(target.Method(), sslvSSLv23);
    EXPECT_EQ(target.SSLVersions(), (TIdSSLVersions{sslvTLSv1_1, sslvTLSv1_2}));
    EXPECT_EQ(target.Mode(), sslmClient);
    EXPECT_EQ(target.VerifyMode().Bits(), SSL_VERIFY_PEER | SSL_VERIFY_CLIENT_ONCE);
    EXPECT_EQ(target.VerifyDepth(), 7);
    EXPECT_EQ(target.VerifyDirs(), u"/certs");
    EXPECT_EQ(target.CipherList(), u"HIGH");

    // An empty set survives the copy: the method setter must not win over it.
    source.SetSSLVersions({});
    target.Assign(source);
    EXPECT_TRUE(target.SSLVersions().IsEmpty());
}

// --- Creating and building ---------------------------------------------------------

TEST(IdSSLContext, ALibraryThatCannotLoadFailsTheConstructor)
{
    UnloadTlsLibrary();
    SetTlsLibraryFolder(u"/nonexistent-orvant-folder");
    try {
        TIdSSLContext context;
        FAIL() << "constructed";
    } catch (const EIdOSSLCouldNotLoadSSLLibrary& e) {
        EXPECT_EQ(e.Message(), u"Could not load SSL library.");
    }
#ifdef _WIN32
    const String separator = u"\\";
#else
    const String separator = u"/";
#endif
    EXPECT_EQ(TlsLoadErrors()[0],
              u"Failed to load /nonexistent-orvant-folder" + separator + String(TlsCryptoLibraryName) + u".");
    SetTlsLibraryFolder(u"");
}

TEST_F(TlsContextTest, SelectMethodTable)
{
    EXPECT_EQ(Context->Mode(), sslmUnassigned);
    EXPECT_THROW(Context->SelectMethod(), EIdOSSLModeNotSet);

    struct TRow {
        TIdSSLVersion Method;
        int Version;
    };
    for (const TRow row : {TRow{sslvSSLv23, 0}, TRow{sslvTLSv1, TLS1_VERSION}, TRow{sslvTLSv1_1, TLS1_1_VERSION},
                           TRow{sslvTLSv1_2, TLS1_2_VERSION}}) {
        Context->SetMethod(row.Method);
        Context->SetMode(sslmClient);
        EXPECT_EQ(Context->SelectMethod().Method, GOpenSSL.TLS_client_method());
        EXPECT_EQ(Context->SelectMethod().PinnedVersion, row.Version);
        Context->SetMode(sslmServer);
        EXPECT_EQ(Context->SelectMethod().Method, GOpenSSL.TLS_server_method());
        Context->SetMode(sslmBoth);
        EXPECT_EQ(Context->SelectMethod().Method, GOpenSSL.TLS_method());
        EXPECT_EQ(Context->SelectMethod().PinnedVersion, row.Version);
    }

    // Gone from the library: SSL 2.0 always, SSL 3.0 in builds without it (Debian's).
    for (const TIdSSLVersion gone : {sslvSSLv2, sslvSSLv3, static_cast<TIdSSLVersion>(9)}) {
#ifndef OPENSSL_NO_SSL3_METHOD
        if (gone == sslvSSLv3)
            continue;
#endif
        Context->SetMethod(gone);
        try {
            Context->SelectMethod();
            FAIL() << static_cast<int>(gone);
        } catch (const EIdOSSLGetMethodError& e) {
            EXPECT_EQ(e.Message(), u"Error getting SSL method.");
        }
    }
}

TEST_F(TlsContextTest, UnassignedModeFollowsTheContextKind)
{
    BuildClient();
    EXPECT_EQ(Context->Mode(), sslmClient);
    EXPECT_NE(Context->Context(), nullptr);

    auto server = std::make_unique<TIdSSLContext>();
    server->BuildContext(TIdSSLCtxMode::sslCtxServer);
    EXPECT_EQ(server->Mode(), sslmServer);
}

TEST_F(TlsContextTest, VersionSetsBecomeExclusionsAndBounds)
{
    const std::uint64_t allExclusions =
        SSL_OP_NO_SSLv3 | SSL_OP_NO_TLSv1 | SSL_OP_NO_TLSv1_1 | SSL_OP_NO_TLSv1_2 | SSL_OP_NO_TLSv1_3;
    auto exclusions = [this] { return GOpenSSL.SSL_CTX_get_options(Context->Context()) & allExclusions; };
    auto bound = [this](int command) { return GOpenSSL.SSL_CTX_ctrl(Context->Context(), command, 0, nullptr); };

    BuildClient(AllSSLVersions);
    EXPECT_EQ(exclusions(), 0u) << "the negotiating method with all versions excludes nothing";
    EXPECT_EQ(bound(SSL_CTRL_GET_MAX_PROTO_VERSION), 0);

    BuildClient({sslvTLSv1_1, sslvTLSv1_2});
    EXPECT_EQ(exclusions(), SSL_OP_NO_SSLv3 | SSL_OP_NO_TLSv1);

    BuildClient({sslvTLSv1, sslvTLSv1_1});
    EXPECT_EQ(exclusions(), SSL_OP_NO_SSLv3 | SSL_OP_NO_TLSv1_2 | SSL_OP_NO_TLSv1_3)
        << "nothing newer than the newest version named";

    BuildClient({});
    EXPECT_EQ(exclusions(), allExclusions) << "an empty set excludes every version";

    BuildClient({sslvTLSv1_2});
    EXPECT_EQ(Context->Method(), sslvTLSv1_2);
    EXPECT_EQ(bound(SSL_CTRL_GET_MIN_PROTO_VERSION), TLS1_2_VERSION);
    EXPECT_EQ(bound(SSL_CTRL_GET_MAX_PROTO_VERSION), TLS1_2_VERSION);
}

TEST_F(TlsContextTest, BuildSetsModeAndLeavesVerificationOffByDefault)
{
    Context->SetVerifyDepth(3); // without a verify mode it has no effect
    BuildClient();
    SSL_CTX* ctx = Context->Context();
    EXPECT_NE(GOpenSSL.SSL_CTX_ctrl(ctx, SSL_CTRL_MODE, 0, nullptr) & SSL_MODE_AUTO_RETRY, 0);
    EXPECT_EQ(GOpenSSL.SSL_CTX_get_verify_mode(ctx), SSL_VERIFY_NONE);
    EXPECT_EQ(GOpenSSL.SSL_CTX_get_verify_callback(ctx), nullptr);
    EXPECT_EQ(GOpenSSL.SSL_CTX_get_verify_depth(ctx), -1) << "the library's default depth";
    EXPECT_EQ(GOpenSSL.SSL_CTX_get_info_callback(ctx), nullptr) << "no status callback unless asked";

    Context->SetVerifyMode({TIdSSLVerifyMode::sslvrfPeer, TIdSSLVerifyMode::sslvrfFailIfNoPeerCert});
    Context->SetVerifyOn(true);
    Context->SetStatusInfoOn(true);
    BuildClient();
    ctx = Context->Context();
    EXPECT_EQ(GOpenSSL.SSL_CTX_get_verify_mode(ctx), SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT);
    EXPECT_NE(GOpenSSL.SSL_CTX_get_verify_callback(ctx), nullptr);
    EXPECT_EQ(GOpenSSL.SSL_CTX_get_verify_depth(ctx), 3);
    EXPECT_NE(GOpenSSL.SSL_CTX_get_info_callback(ctx), nullptr);
}

TEST_F(TlsContextTest, CipherLists)
{
    EXPECT_NO_THROW(BuildClient()) << "empty: the default list";
    Context->SetCipherList(u"NO-SUCH-CIPHER");
    try {
        BuildClient();
        FAIL();
    } catch (const EIdOSSLSettingCipherError& e) {
        EXPECT_EQ(e.Message(), u"SetCipher failed.");
    }
    EXPECT_NE(Context->Context(), nullptr) << "what was built stays with the object";
}

TEST_F(TlsContextTest, AGivenCipherListReplacesTheDefaultEntirely)
{
    auto server = GoodServer();
    Context->SetCipherList(u"ECDHE-ECDSA-CHACHA20-POLY1305");
    BuildClient({sslvTLSv1_2}); // TLS 1.3 suites are not set by the cipher list
    TTestTlsClient client(Context->Context(), server->Port());
    client.ConnectOrRaise();
    EXPECT_STREQ(GOpenSSL.SSL_CIPHER_get_name(GOpenSSL.SSL_get_current_cipher(client.Ssl.get())),
                 "ECDHE-ECDSA-CHACHA20-POLY1305");
    EXPECT_EQ(client.Exchange(), "sni=- version=TLSv1.2|echo ola");
}

TEST_F(TlsContextTest, ALibraryContextThatCannotBeMadeRaisesWithTheLibraryText)
{
    // Stand in a method that the library refuses for the client method.
    struct TRestore {
        decltype(GOpenSSL.TLS_client_method) Saved = GOpenSSL.TLS_client_method;
        ~TRestore() { GOpenSSL.TLS_client_method = Saved; }
    } restore;
    GOpenSSL.TLS_client_method = []() -> const SSL_METHOD* { return nullptr; };
    try {
        BuildClient();
        FAIL();
    } catch (const EIdOSSLCreatingContextError& e) {
        EXPECT_TRUE(TextStartsWith(e.Message(), u"Error creating SSL context.\r\nerror:")) << e.what();
        EXPECT_NE(e.ErrorCode(), 0u);
    }
}

TEST_F(TlsContextTest, LoadsCertificateAndKeyFiles)
{
    Context->SetRootCertFile(U(Certs().CACert));
    Context->SetCertFile(U(Certs().ServerCert));
    Context->SetKeyFile(U(Certs().ServerKey));
    Context->SetDHParamsFile(U(Certs().DHParams));
    EXPECT_NO_THROW(Context->BuildContext(TIdSSLCtxMode::sslCtxServer));
    EXPECT_EQ(GOpenSSL.ERR_peek_error(), 0UL) << "no error left behind for a later call";
}

TEST_F(TlsContextTest, FilesThatCannotBeLoadedRaiseTheirStepsError)
{
    const std::string missing = Certs().Folder + "/missing.pem";
    struct TCase {
        std::function<void(TIdSSLContext&, const String&)> Set;
        String Message;
        std::function<bool(const EIdOpenSSLAPICryptoError&)> HasItsClass;
    };
    const std::vector<TCase> cases{
        {[](TIdSSLContext& c, const String& f) { c.SetRootCertFile(f); }, u"Could not load root certificate.",
         IsA<EIdOSSLLoadingRootCertError>},
        {[](TIdSSLContext& c, const String& f) { c.SetCertFile(f); }, u"Could not load certificate.",
         IsA<EIdOSSLLoadingCertError>},
        {[](TIdSSLContext& c, const String& f) { c.SetKeyFile(f); }, u"Could not load key, check password.",
         IsA<EIdOSSLLoadingKeyError>},
        {[](TIdSSLContext& c, const String& f) { c.SetDHParamsFile(f); }, u"Could not load DH Parameters.",
         IsA<EIdOSSLLoadingDHParamsError>},
    };
    for (const TCase& c : cases) {
        auto context = std::make_unique<TIdSSLContext>();
        c.Set(*context, U(missing));
        try {
            context->BuildContext(TIdSSLCtxMode::sslCtxServer);
            ADD_FAILURE() << ToUtf8(c.Message);
        } catch (const EIdOpenSSLAPICryptoError& e) {
            EXPECT_TRUE(c.HasItsClass(e)) << e.what();
            EXPECT_TRUE(TextStartsWith(e.Message(), c.Message + u"\r\nCannot open file")) << e.what();
            EXPECT_NE(e.Message().find(U(missing)), String::npos) << "the file is named";
        }

        // A file that exists but holds something else (or nothing): the library says
        // what is wrong.
        for (const std::string& wrong : {Certs().Folder + "/server.csr", std::string("/dev/null")}) {
            context = std::make_unique<TIdSSLContext>();
            c.Set(*context, U(wrong));
            try {
                context->BuildContext(TIdSSLCtxMode::sslCtxServer);
                ADD_FAILURE() << ToUtf8(c.Message);
            } catch (const EIdOpenSSLAPICryptoError& e) {
                EXPECT_TRUE(c.HasItsClass(e)) << e.what();
                EXPECT_TRUE(TextStartsWith(e.Message(), c.Message + u"\r\nerror:")) << e.what();
                EXPECT_EQ(e.Message().find(u"null parameter"), String::npos) << e.what();
                EXPECT_NE(e.ErrorCode(), 0u);
            }
        }
    }
}

TEST_F(TlsContextTest, AKeyOfAnotherCertificateIsRefused)
{
    Context->SetCertFile(U(Certs().ServerCert));
    Context->SetKeyFile(U(Certs().OtherNameKey));
    EXPECT_THROW(BuildClient(), EIdOSSLLoadingKeyError);
}

TEST_F(TlsContextTest, AnEncryptedKeyAsksTheParentForItsPassword)
{
    Context->Parent = &Parent;
    Context->SetCertFile(U(Certs().ServerCert));
    Context->SetKeyFile(U(Certs().EncryptedServerKey));

    Parent.PasswordEx = U(Certs().KeyPassword);
    EXPECT_NO_THROW(BuildClient());
    EXPECT_EQ(Parent.PasswordExCalls, 1);
    EXPECT_EQ(Parent.PasswordCalls, 0) << "the extended event answered";
    EXPECT_FALSE(Parent.LastIsWrite);

    Parent.PasswordEx.clear();
    Parent.Password = U(Certs().KeyPassword);
    EXPECT_NO_THROW(BuildClient());
    EXPECT_EQ(Parent.PasswordCalls, 1) << "the plain event answers when the extended one does not";

    Parent.Password = u"errada";
    try {
        BuildClient();
        FAIL();
    } catch (const EIdOSSLLoadingKeyError& e) {
        EXPECT_TRUE(TextStartsWith(e.Message(), u"Could not load key, check password.\r\n")) << e.what();
    }

    // A password longer than the library's buffer is cut to fit, never overrun.
    Parent.Password = String(5000, u'x');
    EXPECT_THROW(BuildClient(), EIdOSSLLoadingKeyError);

    Context->Parent = nullptr; // no handler to ask: no password
    EXPECT_THROW(BuildClient(), EIdOSSLLoadingKeyError);
}

// --- Handshakes with a loopback server ---------------------------------------------

TEST_F(TlsContextTest, HandshakeWithoutVerificationAcceptsAnyCertificate)
{
    for (const bool trusted : {true, false}) {
        auto server = trusted ? GoodServer() : Server(Certs().UntrustedCert, Certs().UntrustedKey);
        Context->SetMode(sslmClient);
        BuildClient();
        TTestTlsClient client(Context->Context(), server->Port());
        client.ConnectOrRaise();
        EXPECT_EQ(client.Exchange(), "sni=- version=TLSv1.3|echo ola");
    }
}

TEST_F(TlsContextTest, VerificationAgainstTheRootFileWithHostNameAndServerName)
{
    auto server = GoodServer();
    VerifyWith(Certs().CACert);
    BuildClient();
    TTestTlsClient client(Context->Context(), server->Port());
    ASSERT_EQ(GOpenSSL.SSL_set1_host(client.Ssl.get(), "localhost"), 1);
    client.SendServerName("localhost");
    client.ConnectOrRaise();
    EXPECT_EQ(GOpenSSL.SSL_get_verify_result(client.Ssl.get()), X509_V_OK);
    EXPECT_EQ(client.Exchange(), "sni=localhost version=TLSv1.3|echo ola");
}

#ifndef _WIN32
TEST_F(TlsContextTest, VerificationUsesTheSystemStore)
{
    // The library reads SSL_CERT_FILE in place of the system's bundle, so the test CA
    // can stand in for the system store without touching it.
    const TScopedEnvironment environment("SSL_CERT_FILE", Certs().CACert);
    auto server = GoodServer();
    VerifyWith(""); // no root file of our own
    BuildClient();
    TTestTlsClient client(Context->Context(), server->Port());
    GOpenSSL.SSL_set1_host(client.Ssl.get(), "localhost");
    client.ConnectOrRaise();
    EXPECT_EQ(GOpenSSL.SSL_get_verify_result(client.Ssl.get()), X509_V_OK);
}
#else
TEST_F(TlsContextTest, VerificationUsesTheRootStoreNotOpenSSLsDefaultPaths)
{
    // On Windows the system's trust is the ROOT certificate store: OpenSSL's default
    // file (SSL_CERT_FILE here) is never read, so the test CA named there does not
    // make the server trusted. The ROOT store, read instead, does not hold the test CA.
    const TScopedEnvironment environment("SSL_CERT_FILE", Certs().CACert);
    auto server = GoodServer();
    VerifyWith(""); // no root file of our own
    BuildClient();
    TTestTlsClient client(Context->Context(), server->Port());
    GOpenSSL.SSL_set1_host(client.Ssl.get(), "localhost");
    EXPECT_THROW(client.ConnectOrRaise(), EIdOSSLUnderlyingCryptoError);
    EXPECT_EQ(GOpenSSL.SSL_get_verify_result(client.Ssl.get()), X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY);
}
#endif

TEST_F(TlsContextTest, VerificationRefusesAnUntrustedCertificate)
{
    auto server = Server(Certs().UntrustedCert, Certs().UntrustedKey);
    VerifyWith(Certs().CACert);
    BuildClient();
    TTestTlsClient client(Context->Context(), server->Port());
    GOpenSSL.SSL_set1_host(client.Ssl.get(), "localhost");
    try {
        client.ConnectOrRaise();
        FAIL();
    } catch (const EIdOSSLUnderlyingCryptoError& e) {
        EXPECT_TRUE(TextStartsWith(e.Message(), u"Error connecting with SSL.\r\n")) << e.what();
        EXPECT_NE(e.Message().find(u"certificate verify failed"), String::npos) << e.what();
    }
    EXPECT_EQ(GOpenSSL.SSL_get_verify_result(client.Ssl.get()), X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT);
}

TEST_F(TlsContextTest, VerificationRefusesACertificateForAnotherName)
{
    auto server = Server(Certs().OtherNameCert, Certs().OtherNameKey);
    VerifyWith(Certs().CACert);
    BuildClient();
    TTestTlsClient client(Context->Context(), server->Port());
    GOpenSSL.SSL_set1_host(client.Ssl.get(), "localhost");
    EXPECT_THROW(client.ConnectOrRaise(), EIdOSSLUnderlyingCryptoError);
    const long result = GOpenSSL.SSL_get_verify_result(client.Ssl.get());
    EXPECT_EQ(result, X509_V_ERR_HOSTNAME_MISMATCH);
    EXPECT_STREQ(GOpenSSL.X509_verify_cert_error_string(result), "hostname mismatch");
}

TEST_F(TlsContextTest, ProtocolMismatchGivesTheLibraryText)
{
    auto server = Server(Certs().ServerCert, Certs().ServerKey, true); // TLS 1.3 only
    BuildClient({sslvTLSv1_2});
    TTestTlsClient client(Context->Context(), server->Port());
    try {
        client.ConnectOrRaise();
        FAIL();
    } catch (const EIdOSSLUnderlyingCryptoError& e) {
        EXPECT_EQ(e.Message(), u"Error connecting with SSL.\r\n" + TlsErrorText(e.ErrorCode()));
        EXPECT_NE(e.Message().find(u"protocol version"), String::npos) << e.what();
    }
}

TEST_F(TlsContextTest, StatusCallbackReportsTheHandshakeToTheParent)
{
    auto server = GoodServer();
    Context->Parent = &Parent;
    Context->SetStatusInfoOn(true);
    BuildClient();
    TTestTlsClient client(Context->Context(), server->Port());
    client.ConnectOrRaise();

    ASSERT_FALSE(Parent.StatusInfos.empty());
    EXPECT_EQ(Parent.StatusInfos.size(), Parent.StatusTypes.size());
    EXPECT_TRUE(TextStartsWith(Parent.StatusInfos.front(), u"SSL status: \"")) << ToUtf8(Parent.StatusInfos.front());
    EXPECT_EQ(Parent.StatusSocket, client.Ssl.get());
    EXPECT_EQ(Parent.StatusTypes.front(), u"Handshake Start");
    auto has = [this](StringView type) {
        return std::find(Parent.StatusTypes.begin(), Parent.StatusTypes.end(), type) != Parent.StatusTypes.end();
    };
    EXPECT_TRUE(has(u"Connect Loop"));
    EXPECT_TRUE(has(u"Connect Exit"));
    EXPECT_TRUE(has(u"Handshake Done"));
    EXPECT_EQ(client.Exchange(), "sni=- version=TLSv1.3|echo ola");
}

TEST_F(TlsContextTest, StatusTextsForEachWhereCode)
{
    EXPECT_EQ(StatusInfoTexts(SSL_CB_HANDSHAKE_START, 1, u"st").AType, u"Handshake Start");
    EXPECT_EQ(StatusInfoTexts(SSL_CB_HANDSHAKE_DONE, 1, u"st").AMsg, u"st");
    EXPECT_EQ(StatusInfoTexts(SSL_CB_CONNECT_EXIT, 1, u"st").AType, u"Connect Exit");
    EXPECT_EQ(StatusInfoTexts(SSL_CB_CONNECT_EXIT, 0, u"st").AType, u"Connect Failed");
    EXPECT_EQ(StatusInfoTexts(SSL_CB_CONNECT_EXIT, -1, u"st").AType, u"Connect Error");
    EXPECT_EQ(StatusInfoTexts(SSL_CB_ACCEPT_LOOP, 1, u"st").AType, u"Accept Loop");
    EXPECT_EQ(StatusInfoTexts(SSL_CB_ACCEPT_EXIT, -1, u"st").AType, u"Accept Error");

    const int fatalHandshakeFailure = (2 << 8) | SSL_AD_HANDSHAKE_FAILURE;
    const TIdSSLStatusTexts read = StatusInfoTexts(SSL_CB_READ_ALERT, fatalHandshakeFailure, u"st");
    EXPECT_EQ(read.AType, u"fatal Read Alert");
    EXPECT_EQ(read.AMsg, u"handshake failure");
    EXPECT_EQ(StatusInfoTexts(SSL_CB_WRITE_ALERT, fatalHandshakeFailure, u"st").AType, u"fatal Write Alert");
    EXPECT_EQ(StatusInfoTexts(SSL_CB_ALERT, fatalHandshakeFailure, u"st").AMsg, u"fatal");

    const TIdSSLStatusTexts other = StatusInfoTexts(SSL_CB_READ, 1, u"st");
    EXPECT_EQ(other.AType, u"SSL status: \"st\"");
    EXPECT_EQ(other.AMsg, u"");
}

TEST_F(TlsContextTest, VerifyCallbackLetsTheParentDecide)
{
    Context->Parent = &Parent;
    Context->SetVerifyOn(true);
    VerifyWith(Certs().CACert);

    {
        auto server = GoodServer();
        BuildClient();
        TTestTlsClient client(Context->Context(), server->Port());
        client.ConnectOrRaise();
        ASSERT_EQ(Parent.VerifyCalls.size(), 2u);
        EXPECT_EQ(Parent.VerifyCalls[0].Depth, 1);
        EXPECT_NE(Parent.VerifyCalls[0].Subject.find(u"CN=Orvant Test CA"), String::npos);
        EXPECT_EQ(Parent.VerifyCalls[1].Depth, 0);
        EXPECT_NE(Parent.VerifyCalls[1].Subject.find(u"CN=localhost"), String::npos);
        EXPECT_TRUE(Parent.VerifyCalls[1].Ok);
        client.Exchange();
    }
    {
        // The parent refuses the server's own certificate: the handshake fails.
        Parent.VerifyCalls.clear();
        Parent.AcceptPeer = [](bool ok, std::int32_t depth) { return ok && depth > 0; };
        auto server = GoodServer();
        BuildClient();
        TTestTlsClient client(Context->Context(), server->Port());
        EXPECT_THROW(client.ConnectOrRaise(), EIdOSSLUnderlyingCryptoError);
    }
    {
        // A chain deeper than VerifyDepth is reported as not valid, whatever the library says.
        Parent.VerifyCalls.clear();
        Parent.AcceptPeer = nullptr;
        Context->SetVerifyDepth(0);
        auto server = GoodServer();
        BuildClient();
        TTestTlsClient client(Context->Context(), server->Port());
        EXPECT_THROW(client.ConnectOrRaise(), EIdOSSLUnderlyingCryptoError);
        ASSERT_FALSE(Parent.VerifyCalls.empty());
        EXPECT_FALSE(Parent.VerifyCalls[0].Ok);
    }
    {
        // The parent may accept what the library does not trust.
        Parent.VerifyCalls.clear();
        Parent.AcceptPeer = [](bool, std::int32_t) { return true; };
        Context->SetVerifyDepth(4);
        auto server = Server(Certs().UntrustedCert, Certs().UntrustedKey);
        BuildClient();
        TTestTlsClient client(Context->Context(), server->Port());
        client.ConnectOrRaise();
        ASSERT_FALSE(Parent.VerifyCalls.empty());
        EXPECT_FALSE(Parent.VerifyCalls[0].Ok);
        EXPECT_EQ(Parent.VerifyCalls[0].Error, X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT);
        client.Exchange();
    }
}

// --- Certificates --------------------------------------------------------------------

TEST_F(TlsContextTest, CertificateWrapperGivesNamesFingerprintsAndDates)
{
    const std::string pem = ReadFile(Certs().ServerCert);
    TIdBIOPtr bio(GOpenSSL.BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    TIdX509Ptr raw(GOpenSSL.PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    ASSERT_NE(raw, nullptr);
    const TIdX509 certificate(raw.get());
    raw.reset(); // the wrapper holds its own reference

    EXPECT_EQ(certificate.SubjectName(), u"/O=Orvant Tests/CN=localhost");
    EXPECT_EQ(certificate.IssuerName(), u"/O=Orvant Tests/CN=Orvant Test CA");
    EXPECT_EQ(certificate.Version(), 3);

    // The openssl command prints "<digest> Fingerprint=AB:CD:..." and "serial=ABCD...".
    auto command = [this](std::vector<std::string> options) {
        std::vector<std::string> argv{"openssl", "x509", "-in", Certs().ServerCert, "-noout"};
        argv.insert(argv.end(), options.begin(), options.end());
        std::string output;
        EXPECT_EQ(RunTestProgram(argv, output), 0) << output;
        return LowerCase(Trim(U(output.substr(output.find('=') + 1))));
    };
    const std::pair<TIdX509Digest, const char*> digests[] = {
        {TIdX509Digest::MD5, "-md5"},       {TIdX509Digest::SHA1, "-sha1"},
        {TIdX509Digest::SHA224, "-sha224"}, {TIdX509Digest::SHA256, "-sha256"},
        {TIdX509Digest::SHA384, "-sha384"}, {TIdX509Digest::SHA512, "-sha512"},
    };
    for (const auto& [digest, option] : digests)
        EXPECT_EQ(certificate.FingerprintAsString(digest), command({"-fingerprint", option})) << option;
    EXPECT_EQ(certificate.Fingerprint(TIdX509Digest::SHA256).size(), 32u);
    EXPECT_EQ(LowerCase(certificate.SerialNumber()), command({"-serial"}));

    const auto now = std::chrono::system_clock::now();
    EXPECT_LE(certificate.NotBefore(), now);
    EXPECT_GT(certificate.NotAfter(), now);
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::hours>(certificate.NotAfter() - certificate.NotBefore()).count(),
              30 * 24);
}
