// The TLS binding's POSIX side: the files found by name with dlopen, and the program
// that does not link them.

#include "net/IdSSLOpenSSLHeaders.h"
#include "support/TestChildProcess.h"
#include "tests/net/TlsBindingTest.h"

#include <gtest/gtest.h>

#include <climits>
#include <dlfcn.h>
#include <unistd.h>

std::string TlsBinding::SystemCryptoLibrary()
{
    EXPECT_TRUE(LoadTlsLibrary());
    Dl_info info{};
    EXPECT_NE(dladdr(reinterpret_cast<void*>(GOpenSSL.ERR_get_error), &info), 0);
    std::string path = info.dli_fname != nullptr ? info.dli_fname : "";
    UnloadTlsLibrary();
    return path;
}

TEST_F(TlsBinding, EmptyFolderFailsNamingTheCryptoLibrary)
{
    const std::string folder = MakeFolder();
    SetTlsLibraryFolder(FromUtf8(folder));
    EXPECT_FALSE(LoadTlsLibrary());
    EXPECT_FALSE(TlsLibraryLoaded());
    ASSERT_EQ(TlsLoadErrors().Count(), 1);
    EXPECT_EQ(TlsLoadErrors()[0], FromUtf8("Failed to load " + folder + "/libcrypto.so.3."));
    EXPECT_EQ(TlsInfoCallbackLock(), nullptr);
}

TEST_F(TlsBinding, MissingTlsLibraryIsNamedAndTheCryptoLibraryIsKeptForTheNextAttempt)
{
    const std::string crypto = SystemCryptoLibrary();
    const std::string folder = MakeFolder();
    fs::create_symlink(crypto, folder + "/libcrypto.so.3");
    SetTlsLibraryFolder(FromUtf8(folder + "/")); // a trailing separator is fine too

    EXPECT_FALSE(LoadTlsLibrary());
    ASSERT_EQ(TlsLoadErrors().Count(), 1);
    EXPECT_EQ(TlsLoadErrors()[0], FromUtf8("Failed to load " + folder + "/libssl.so.3."));

    UnloadTlsLibrary(); // nothing was initialised: nothing to undo
    SetTlsLibraryFolder(u"");
    EXPECT_TRUE(LoadTlsLibrary()) << "the next attempt finds the TLS library and binds";
    EXPECT_EQ(TlsLoadErrors().Count(), 0);
}

TEST_F(TlsBinding, AFileWithoutTheEntryPointsListsTheMissingNames)
{
    // A "TLS library" that is really the crypto library has none of the TLS names.
    const std::string crypto = SystemCryptoLibrary();
    const std::string folder = MakeFolder();
    fs::create_symlink(crypto, folder + "/libcrypto.so.3");
    fs::create_symlink(crypto, folder + "/libssl.so.3");
    SetTlsLibraryFolder(FromUtf8(folder));

    EXPECT_FALSE(LoadTlsLibrary());
    EXPECT_FALSE(TlsLibraryLoaded());
    EXPECT_GE(TlsLoadErrors().IndexOf(u"SSL_CTX_new"), 0);
    EXPECT_GE(TlsLoadErrors().IndexOf(u"OPENSSL_init_ssl"), 0);
    EXPECT_LT(TlsLoadErrors().IndexOf(u"ERR_get_error"), 0) << "crypto entry points were found";
    EXPECT_EQ(TlsLoadErrors().IndexOf(u"OPENSSL_thread_stop"), -1);
}

TEST_F(TlsBinding, TheProgramDoesNotLinkTheLibrary)
{
    char self[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    std::string output;
    ASSERT_EQ(RunTestProgram({"ldd", self}, output), 0) << output;
    EXPECT_EQ(output.find("libssl"), std::string::npos) << output;
    EXPECT_EQ(output.find("libcrypto"), std::string::npos) << output;
}
