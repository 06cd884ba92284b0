#pragma once
// The fixture of the TLS binding's tests: each test starts and ends with the library
// unloaded and the folder empty.

#include "net/IdSSLOpenSSLHeaders.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

// Each test starts and ends with the library unloaded and the folder empty.
class TlsBinding : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override
    {
        Reset();
        std::error_code ignored;
        if (!FFolder.empty())
            fs::remove_all(FFolder, ignored);
    }
    static void Reset()
    {
        UnloadTlsLibrary();
        ReleaseTlsEntryPoints(); // also the files a failed load left behind
        SetTlsLibraryFolder(u"");
    }

    // A new empty folder for library files.
    std::string MakeFolder()
    {
        FFolder = orvant::test::NewTempFolder("orvant-tls-");
        return FFolder;
    }

    // Where the system's crypto library file lives (IdSSLOpenSSLHeadersTestPosix.cpp,
    // ...Windows.cpp).
    static std::string SystemCryptoLibrary();

    std::string FFolder;
};
