#include "net/IdSSLLibrary.h"
#include "net/IdSSLOpenSSLHeaders.h"
#include "tests/net/TlsBindingTest.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>
#include <vector>

namespace {

void RaiseLastSocketErrorAs10054()
{
    throw EIdSocketError(10054, u"Socket Error # 10054\r\nConnection reset by peer.");
}

} // namespace

TEST_F(TlsBinding, LoadUnloadAndLoadAgain)
{
    ASSERT_TRUE(LoadTlsLibrary());
    EXPECT_TRUE(TlsLibraryLoaded());
    EXPECT_NE(GOpenSSL.SSL_CTX_new, nullptr);
    EXPECT_NE(GOpenSSL.ERR_get_error, nullptr);
    EXPECT_NE(TlsInfoCallbackLock(), nullptr);
    EXPECT_NE(TlsPasswordCallbackLock(), nullptr);
    EXPECT_NE(TlsVerifyCallbackLock(), nullptr);
    EXPECT_EQ(TlsLibraryLockCount(), CRYPTO_num_locks());
    EXPECT_EQ(TlsLoadErrors().Count(), 0);
    EXPECT_GE(GOpenSSL.OpenSSL_version_num(), 0x30000000UL);

    EXPECT_TRUE(LoadTlsLibrary()); // not counted: one unload undoes both

    UnloadTlsLibrary();
    EXPECT_FALSE(TlsLibraryLoaded());
    EXPECT_EQ(GOpenSSL.SSL_CTX_new, nullptr);
    EXPECT_EQ(GOpenSSL.ERR_get_error, nullptr);
    EXPECT_EQ(TlsInfoCallbackLock(), nullptr);
    EXPECT_EQ(TlsPasswordCallbackLock(), nullptr);
    EXPECT_EQ(TlsVerifyCallbackLock(), nullptr);
    EXPECT_EQ(TlsLibraryLockCount(), 0);
    UnloadTlsLibrary(); // a second unload finds nothing to do

    ASSERT_TRUE(LoadTlsLibrary());
    EXPECT_NE(TlsInfoCallbackLock(), nullptr);
    TIdSSLCtxPtr context(GOpenSSL.SSL_CTX_new(GOpenSSL.TLS_client_method()));
    EXPECT_NE(context, nullptr) << "the reloaded library works";
}

TEST_F(TlsBinding, ConcurrentFirstLoadsAllSucceed)
{
    std::vector<std::thread> threads;
    std::vector<int> results(4, 0);
    for (std::size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&results, i] { results[i] = LoadTlsLibrary() ? 1 : 0; });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(results, std::vector<int>(4, 1));
    EXPECT_EQ(TlsLibraryLockCount(), CRYPTO_num_locks());
}

TEST_F(TlsBinding, LockingCallbackTakesAndReleasesListedLocksOnly)
{
    ASSERT_TRUE(LoadTlsLibrary());
    TlsLockingCallback(CRYPTO_LOCK, 0, __FILE__, __LINE__);
    TlsLockingCallback(CRYPTO_LOCK, 0, __FILE__, __LINE__); // the locks are re-entrant
    TlsLockingCallback(CRYPTO_UNLOCK, 0, __FILE__, __LINE__);
    TlsLockingCallback(CRYPTO_UNLOCK, 0, __FILE__, __LINE__);
    TlsLockingCallback(CRYPTO_LOCK, 99, __FILE__, __LINE__); // not in the list: ignored
    UnloadTlsLibrary();
    TlsLockingCallback(CRYPTO_LOCK, 0, __FILE__, __LINE__); // no list: ignored
    SUCCEED();
}

// --- Raising library errors --------------------------------------------------------

class TlsErrors : public TlsBinding {
protected:
    void SetUp() override
    {
        TlsBinding::SetUp();
        ASSERT_TRUE(LoadTlsLibrary());
        GOpenSSL.ERR_clear_error();
        FProgramsRaiser = TlsRaiseLastSocketErrorHook();
    }
    void TearDown() override
    {
        SetTlsRaiseLastSocketError(FProgramsRaiser); // the one the TLS handler installed
        TlsBinding::TearDown();
    }
    // Makes the library queue an error and returns its code (left in the queue).
    static std::uint32_t QueueError()
    {
        TIdSSLCtxPtr context(GOpenSSL.SSL_CTX_new(GOpenSSL.TLS_client_method()));
        EXPECT_LE(GOpenSSL.SSL_CTX_set_cipher_list(context.get(), "NO-SUCH-CIPHER"), 0);
        return static_cast<std::uint32_t>(GOpenSSL.ERR_peek_error());
    }

    TIdRaiseLastSocketError FProgramsRaiser = nullptr;
};

TEST_F(TlsErrors, SystemCallKindWithoutQueuedErrorAndResultZeroIsAnUnexpectedEof)
{
    try {
        RaiseExceptionCode<EIdOSSLConnectError>(SSL_ERROR_SYSCALL, 0, u"Error connecting with SSL.");
        FAIL();
    } catch (const EIdOSSLConnectError& e) {
        EXPECT_EQ(e.Message(), u"Error connecting with SSL.\r\nEOF was observed that violates the protocol");
        EXPECT_EQ(e.ErrorCode(), 5);
        EXPECT_EQ(e.RetCode(), 0);
    }
    try {
        RaiseExceptionCode<EIdOpenSSLAPISSLError>(SSL_ERROR_SYSCALL, 0, u"");
        FAIL();
    } catch (const EIdOpenSSLAPISSLError& e) {
        EXPECT_EQ(e.Message(), u"EOF was observed that violates the protocol");
    }
}

TEST_F(TlsErrors, LibraryKindAndQueuedSystemCallErrorsReportTheQueuedError)
{
    for (const std::int32_t kind : {SSL_ERROR_SSL, SSL_ERROR_SYSCALL}) {
        const std::uint32_t queued = QueueError();
        ASSERT_NE(queued, 0u);
        try {
            RaiseExceptionCode<EIdOSSLConnectError>(kind, -1, u"Error connecting with SSL.");
            FAIL();
        } catch (const EIdOSSLUnderlyingCryptoError& e) {
            EXPECT_EQ(e.ErrorCode(), queued);
            EXPECT_EQ(e.Message(), u"Error connecting with SSL.\r\n" + TlsErrorText(queued));
            EXPECT_NE(e.Message().find(u"no cipher match"), String::npos) << e.what();
        }
        EXPECT_EQ(GOpenSSL.ERR_peek_error(), 0UL) << "the error was taken from the queue";
    }
}

TEST_F(TlsErrors, SystemCallKindWithResultMinusOneIsTheSocketError)
{
    // Without a stack the system's own number is raised: errno on POSIX, the Windows
    // Sockets error on Windows.
    const int reset = TlsSocketErrorCode(ECONNRESET) == 10054 ? ECONNRESET : 10054;
    SetTlsSystemSocketError(reset);
    try {
        RaiseExceptionCode<EIdOSSLConnectError>(SSL_ERROR_SYSCALL, -1, u"Error connecting with SSL.");
        FAIL();
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.LastError(), reset);
        EXPECT_EQ(TlsSocketErrorCode(e.LastError()), 10054);
    }
    SetTlsRaiseLastSocketError(RaiseLastSocketErrorAs10054);
    try {
        RaiseExceptionCode<EIdOSSLConnectError>(SSL_ERROR_SYSCALL, -1, u"");
        FAIL();
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.LastError(), 10054);
    }
}

TEST_F(TlsErrors, OtherKindsCarryTheLibraryTextOfTheKind)
{
    for (const std::int32_t retCode : {-1, 7}) { // 7: a system-call kind with an odd result
        const std::int32_t kind = retCode == 7 ? SSL_ERROR_SYSCALL : SSL_ERROR_WANT_READ;
        try {
            RaiseExceptionCode<EIdOSSLConnectError>(kind, retCode, u"Error connecting with SSL.");
            FAIL();
        } catch (const EIdOSSLConnectError& e) {
            EXPECT_EQ(e.ErrorCode(), kind);
            EXPECT_EQ(e.RetCode(), retCode);
            EXPECT_EQ(e.Message(), u"Error connecting with SSL.\r\n" + TlsErrorText(static_cast<unsigned long>(kind)));
        }
    }
}

TEST_F(TlsErrors, CryptoFamilyTakesTheOldestQueuedError)
{
    const std::uint32_t first = QueueError();
    QueueError(); // a second, younger error stays queued
    try {
        RaiseException<EIdOSSLLoadingCertError>(u"");
        FAIL();
    } catch (const EIdOSSLLoadingCertError& e) {
        EXPECT_EQ(e.ErrorCode(), first);
        EXPECT_EQ(e.Message(), TlsErrorText(first)) << "no message: only the library's text";
    }
    EXPECT_NE(GOpenSSL.ERR_peek_error(), 0UL);
    try {
        RaiseExceptionCode<EIdOSSLLoadingKeyError>(first, u"Could not load key, check password.");
        FAIL();
    } catch (const EIdOpenSSLAPICryptoError& e) {
        EXPECT_EQ(e.Message(), u"Could not load key, check password.\r\n" + TlsErrorText(first));
        EXPECT_TRUE(TextStartsWith(TlsErrorText(first), u"error:"));
    }
}
