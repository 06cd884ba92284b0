#include "app/FileDigest.h"

#include "mime/IdGlobal.h"
#include "net/IdSSLOpenSSLHeaders.h"
#include "platform/NativePath.h"

#include <fstream>
#include <vector>

namespace orvant::app {

namespace {

std::string Digest(const std::string& path)
{
    const auto& ssl = GOpenSSL;
    if (!ssl.EVP_sha256 || !ssl.EVP_MD_CTX_new || !ssl.EVP_MD_CTX_free || !ssl.EVP_DigestInit_ex
        || !ssl.EVP_DigestUpdate || !ssl.EVP_DigestFinal_ex)
        return {};
    std::ifstream file(platform::NativePath(path), std::ios::binary);
    if (!file)
        return {};
    const TIdEVPMDCtxPtr context(ssl.EVP_MD_CTX_new());
    if (!context || ssl.EVP_DigestInit_ex(context.get(), ssl.EVP_sha256(), nullptr) != 1)
        return {};
    std::vector<char> buffer(1 << 16);
    while (file) {
        file.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        if (file.gcount() > 0
            && ssl.EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(file.gcount())) != 1)
            return {};
    }
    if (file.bad())
        return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (ssl.EVP_DigestFinal_ex(context.get(), digest, &length) != 1)
        return {};
    return ToUtf8(BytesToHex(digest, length));
}

} // namespace

std::string Sha256OfFile(const std::string& path)
{
    const bool wasLoaded = TlsLibraryLoaded();
    if (!LoadTlsLibrary())
        return {};
    std::string hex = Digest(path);
    if (!wasLoaded)
        UnloadTlsLibrary();
    return hex;
}

} // namespace orvant::app
