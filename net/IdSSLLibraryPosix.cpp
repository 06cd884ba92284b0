#include "net/IdSSLLibrary.h"

#include "net/IdSSLOpenSSLHeaders.h"
#include "net/IdStackErrors.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstring>

String TlsLibraryFilePath(const String& AFolder, StringView AFileName)
{
    String folder = AFolder;
    if (!folder.empty() && folder.back() != u'/')
        folder += u'/';
    return folder + String(AFileName);
}

// The library stays resident even after dlclose (3.x pins itself in memory so that
// its exit handlers stay valid); a later dlopen finds it again.
void* TlsOpenLibraryFile(const String& APath)
{
    return dlopen(ToUtf8(APath).c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* TlsLibraryEntry(void* ALibrary, const char* AName)
{
    return dlsym(ALibrary, AName);
}

void TlsCloseLibraryFile(void* ALibrary)
{
    dlclose(ALibrary);
}

int TlsSystemSocketError()
{
    return errno;
}

void SetTlsSystemSocketError(int AError)
{
    errno = AError;
}

bool TlsSystemSocketErrorIsTimeout(int AError)
{
    return AError == EAGAIN || AError == EWOULDBLOCK;
}

std::int32_t TlsSocketErrorCode(int AError)
{
    return SocketErrorFromErrno(AError);
}

String TlsSystemSocketErrorText(int AError)
{
    return FromUtf8(std::strerror(AError));
}

void TlsAddSystemTrust(X509_STORE* AStore)
{
    // It clears the errors of a missing file or folder itself, as the context's
    // SSL_CTX_set_default_verify_paths does.
    GOpenSSL.X509_STORE_set_default_paths(AStore);
}

void TlsUseSystemTrust(SSL_CTX* AContext)
{
    GOpenSSL.SSL_CTX_set_default_verify_paths(AContext);
}
