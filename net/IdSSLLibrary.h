#pragma once
// The system's side of the TLS binding, one unit per system with no #ifdef in the
// binding itself: IdSSLLibraryPosix.cpp (dlopen and dlsym, errno, OpenSSL's default
// certificate file and folder) and IdSSLLibraryWindows.cpp (LoadLibraryExW from the
// program's own folder and GetProcAddress, the Windows Sockets error, the ROOT
// certificate store read through CryptoAPI).

#include "mime/IdGlobal.h"

#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <cstdint>

// --- The library files -----------------------------------------------------------
// Where a library file is loaded from: the file in AFolder (TlsLibraryFolder). With
// an empty folder, POSIX gives the bare name (the dynamic loader's search path) and
// Windows the file in the program's own folder (never the current folder or PATH).
String TlsLibraryFilePath(const String& AFolder, StringView AFileName);
// The loaded file, or null when it cannot be loaded.
void* TlsOpenLibraryFile(const String& APath);
// An entry point of a loaded file, or null.
void* TlsLibraryEntry(void* ALibrary, const char* AName);
void TlsCloseLibraryFile(void* ALibrary);

// --- The socket error of a TLS call ----------------------------------------------
// What the library's socket reads and writes leave behind when a system call fails:
// errno on POSIX, WSAGetLastError on Windows. Kept as the system's own number.
int TlsSystemSocketError();
void SetTlsSystemSocketError(int AError);
// A blocking socket's receive or send time-out ran out (EAGAIN on POSIX; on Windows
// WSAEWOULDBLOCK or WSAETIMEDOUT).
bool TlsSystemSocketErrorIsTimeout(int AError);
// The library's socket error code (net/IdStackErrors.h) for the system's number.
std::int32_t TlsSocketErrorCode(int AError);
// The system's text for its number.
String TlsSystemSocketErrorText(int AError);

// --- The system's trusted certificates -------------------------------------------
// Adds them to a store: OpenSSL's default file and folder (or SSL_CERT_FILE and
// SSL_CERT_DIR) on POSIX; on Windows the certificates of the ROOT system store, since
// OpenSSL does not read the Windows certificate stores (and its default paths there
// name a folder any user may create, which must not be trusted).
void TlsAddSystemTrust(X509_STORE* AStore);
// The same for a context at once (SSL_CTX_set_default_verify_paths on POSIX).
void TlsUseSystemTrust(SSL_CTX* AContext);
