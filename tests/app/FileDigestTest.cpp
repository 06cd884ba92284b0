// SHA-256 of files through the run-time binding of the TLS library, against sha256sum.

#include "app/FileDigest.h"

#include "net/IdSSLOpenSSLHeaders.h"
#include "support/ExternalProgram.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using orvant::app::Sha256OfFile;
using orvant::test::TTempDir;

TEST(FileDigest, Sha256ThroughTheTlsBindingLeavesTheLibraryAsFound)
{
    TTempDir dir;
    const auto file = dir.WriteFile("a.bin", "abc");
    const bool loaded = TlsLibraryLoaded();
    EXPECT_EQ(Sha256OfFile(file.string()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(TlsLibraryLoaded(), loaded);
    const auto big = dir.WriteFile("big.bin", std::string(200000, 'x'));
    const TProgramResult reference = RunProgram({"sha256sum"}, std::string(200000, 'x'));
    EXPECT_EQ(Sha256OfFile(big.string()), reference.Output.substr(0, 64));
    EXPECT_EQ(Sha256OfFile((dir.Path() / "missing").string()), "");
}
