// The Windows side of the TLS binding (net/IdSSLLibrary.h). The Windows headers come
// first: OpenSSL's headers undo the names of wincrypt.h that clash with its types
// (X509_NAME ...).
#include "net/IdWinsock.h"

#include <wincrypt.h>

#include "net/IdSSLLibrary.h"
#include "net/IdSSLOpenSSLHeaders.h"
#include "net/IdStackErrors.h"

#include <string>

#ifndef LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR
#define LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR 0x00000100
#endif
#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {

std::wstring WideText(const String& AText)
{
    return std::wstring(AText.begin(), AText.end());
}

String FromWide(const wchar_t* AText, std::size_t ALength)
{
    return String(AText, AText + ALength);
}

// The folder of the running program, from its full path.
String ProgramFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2); // cut: the path is longer than the buffer
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? String() : FromWide(path.data(), slash);
}

// The folder Windows keeps its own DLLs in (System32).
std::wstring SystemFolder()
{
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(folder, length);
}

// CryptoAPI, loaded from the system's folder on first use and kept.
struct TCrypt32 {
    decltype(&::CertOpenSystemStoreW) CertOpenSystemStoreW = nullptr;
    decltype(&::CertEnumCertificatesInStore) CertEnumCertificatesInStore = nullptr;
    decltype(&::CertCloseStore) CertCloseStore = nullptr;
    bool Bound = false;
};

const TCrypt32& Crypt32()
{
    static const TCrypt32 api = [] {
        TCrypt32 bound;
        const std::wstring folder = SystemFolder();
        if (folder.empty())
            return bound;
        const std::wstring path = folder + L"\\crypt32.dll";
        HMODULE library = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (library == nullptr)
            return bound;
        const auto entry = [library](const char* name) { return reinterpret_cast<void*>(::GetProcAddress(library, name)); };
        bound.CertOpenSystemStoreW = reinterpret_cast<decltype(bound.CertOpenSystemStoreW)>(entry("CertOpenSystemStoreW"));
        bound.CertEnumCertificatesInStore =
            reinterpret_cast<decltype(bound.CertEnumCertificatesInStore)>(entry("CertEnumCertificatesInStore"));
        bound.CertCloseStore = reinterpret_cast<decltype(bound.CertCloseStore)>(entry("CertCloseStore"));
        bound.Bound = bound.CertOpenSystemStoreW != nullptr && bound.CertEnumCertificatesInStore != nullptr
                      && bound.CertCloseStore != nullptr;
        return bound;
    }();
    return api;
}

} // namespace

String TlsLibraryFilePath(const String& AFolder, StringView AFileName)
{
    String folder = AFolder.empty() ? ProgramFolder() : AFolder;
    if (!folder.empty() && folder.back() != u'\\' && folder.back() != u'/')
        folder += u'\\';
    return folder + String(AFileName);
}

// The full path is loaded and nothing else: the file's own folder, then the system's,
// are where its imports are looked for (libssl's libcrypto, then the system DLLs);
// neither the current folder nor PATH is searched. A system without the search flags
// (no update KB2533623) refuses them; the altered search path then starts at the
// file's folder too.
void* TlsOpenLibraryFile(const String& APath)
{
    const std::wstring path = WideText(APath);
    HMODULE library =
        ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER)
        library = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return reinterpret_cast<void*>(library);
}

void* TlsLibraryEntry(void* ALibrary, const char* AName)
{
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(ALibrary), AName));
}

void TlsCloseLibraryFile(void* ALibrary)
{
    ::FreeLibrary(static_cast<HMODULE>(ALibrary));
}

int TlsSystemSocketError()
{
    const TIdWinsockEntryPoints* api = Winsock();
    return api != nullptr ? api->WSAGetLastError() : static_cast<int>(::GetLastError());
}

void SetTlsSystemSocketError(int AError)
{
    if (const TIdWinsockEntryPoints* api = Winsock(); api != nullptr)
        api->WSASetLastError(AError);
    else
        ::SetLastError(static_cast<DWORD>(AError));
}

bool TlsSystemSocketErrorIsTimeout(int AError)
{
    return AError == WSAEWOULDBLOCK || AError == WSAETIMEDOUT;
}

std::int32_t TlsSocketErrorCode(int AError)
{
    return AError; // the system's codes are the library's
}

String TlsSystemSocketErrorText(int AError)
{
    return String(SocketErrorText(AError));
}

// Every certificate of the ROOT system store (the current user's view, which holds the
// machine's as well) joins the store. A certificate the library cannot read is left
// out; the store keeps one copy of a certificate it already holds.
void TlsAddSystemTrust(X509_STORE* AStore)
{
    const TCrypt32& api = Crypt32();
    if (AStore == nullptr || !api.Bound)
        return;
    HCERTSTORE root = api.CertOpenSystemStoreW(0, L"ROOT");
    if (root == nullptr)
        return;
    PCCERT_CONTEXT entry = nullptr;
    // Each call frees the entry it is given and hands out the next.
    while ((entry = api.CertEnumCertificatesInStore(root, entry)) != nullptr) {
        if ((entry->dwCertEncodingType & X509_ASN_ENCODING) == 0)
            continue;
        const unsigned char* bytes = entry->pbCertEncoded;
        TIdX509Ptr certificate(GOpenSSL.d2i_X509(nullptr, &bytes, static_cast<long>(entry->cbCertEncoded)));
        if (certificate)
            GOpenSSL.X509_STORE_add_cert(AStore, certificate.get());
    }
    api.CertCloseStore(root, 0);
    GOpenSSL.ERR_clear_error(); // what could not be read or added is no one's error now
}

void TlsUseSystemTrust(SSL_CTX* AContext)
{
    TlsAddSystemTrust(GOpenSSL.SSL_CTX_get_cert_store(AContext));
}
