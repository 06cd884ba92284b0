#pragma once
// Binding to the TLS library: OpenSSL 3 (libcrypto.so.3 and libssl.so.3 on Linux,
// libcrypto-3-x64.dll and libssl-3-x64.dll beside the program on Windows), loaded at
// run time by name and initialised once per load.
//
// The program does not link the library. Every call goes through the entry-point
// table GOpenSSL, filled by dlsym (GetProcAddress) when the library is loaded and
// cleared when it is unloaded; the system's side of loading, of socket errors and of
// trusted certificates is in net/IdSSLLibrary.h; OpenSSL's headers are used for types and constants only. (A header macro
// that expands into a function call would not even link, which keeps this honest.)
//
// Our TLS code was first written against the 1.0 interface of the library. Each 1.0
// entry point it relies on is expressed here through its 3.x equivalent; the comment
// on an entry names the 1.0 function(s) it stands for when the name differs. Some 1.0
// functions are only macros in 3.x over an entry below (SSL_CTX_set_mode and the
// version bounds are SSL_CTX_ctrl commands; SNI is an SSL_ctrl command); those are
// called through the entry they expand to.
//
// Lifetime: LoadTlsLibrary loads and initialises on first use (the TLS context does
// it), UnloadTlsLibrary undoes it; load, unload and load again works. Contexts and
// connection objects must all be freed before an unload.

#include "mime/IdGlobal.h"
#include "mime/IdStrings.h"
#include "smtp/IdExceptionCore.h"

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <concepts>
#include <cstdint>
#include <memory>
#include <mutex>

// X(name, required): entry points of the crypto library. A missing required entry
// fails the load and is named in TlsLoadErrors; a missing optional one stays unbound.
#define ID_OPENSSL_CRYPTO_ENTRY_POINTS(X)                                                      \
    X(OpenSSL_version_num, true) /* 1.0: SSLeay */                                             \
    X(OPENSSL_init_crypto, true) /* 1.0: OpenSSL_add_all_ciphers, OpenSSL_add_all_digests */   \
    X(OPENSSL_thread_stop, false) /* 1.0: ERR_remove_thread_state, ERR_remove_state */         \
    X(CRYPTO_free, true)                                                                       \
    X(ERR_get_error, true)                                                                     \
    X(ERR_peek_error, true)                                                                    \
    X(ERR_clear_error, true)                                                                   \
    X(ERR_error_string_n, true)                                                                \
    X(BIO_new_mem_buf, true)                                                                   \
    X(BIO_free, true)                                                                          \
    X(PEM_read_bio_X509, true)                                                                 \
    X(PEM_read_bio_PrivateKey, true)                                                           \
    X(PEM_read_bio_Parameters, true) /* 1.0: PEM_read_bio_DHparams */                          \
    X(EVP_PKEY_free, true)                                                                     \
    X(EVP_md5, true)                                                                           \
    X(EVP_sha1, true)                                                                          \
    X(EVP_sha224, false)                                                                       \
    X(EVP_sha256, false)                                                                       \
    X(EVP_sha384, false)                                                                       \
    X(EVP_sha512, false)                                                                       \
    X(EVP_MD_CTX_new, false) /* 1.0: EVP_MD_CTX_create; digests of files (SHA-256) */          \
    X(EVP_MD_CTX_free, false) /* 1.0: EVP_MD_CTX_destroy */                                    \
    X(EVP_DigestInit_ex, false)                                                                \
    X(EVP_DigestUpdate, false)                                                                 \
    X(EVP_DigestFinal_ex, false)                                                               \
    X(X509_free, true)                                                                         \
    X(X509_up_ref, true)                                                                       \
    X(X509_digest, true)                                                                       \
    X(X509_get_subject_name, true)                                                             \
    X(X509_get_issuer_name, true)                                                              \
    X(X509_NAME_oneline, true)                                                                 \
    X(X509_get_serialNumber, true)                                                             \
    X(X509_get_version, true)                                                                  \
    X(X509_get0_notBefore, true) /* 1.0: X509_get_notBefore (a field access) */                \
    X(X509_get0_notAfter, true)  /* 1.0: X509_get_notAfter */                                  \
    X(ASN1_TIME_to_tm, true)                                                                   \
    X(ASN1_INTEGER_to_BN, true)                                                                \
    X(BN_bn2hex, true)                                                                         \
    X(BN_free, true)                                                                           \
    X(d2i_X509, true) /* the Windows ROOT store's certificates */                              \
    X(X509_STORE_add_cert, true)                                                               \
    X(X509_STORE_load_path, true) /* 1.0: X509_STORE_load_locations with a folder */           \
    X(X509_STORE_set_default_paths, true)                                                      \
    X(X509_STORE_add_lookup, true)                                                             \
    X(X509_STORE_lock, true)                                                                   \
    X(X509_STORE_unlock, true)                                                                 \
    X(X509_STORE_get0_objects, true)                                                           \
    X(X509_OBJECT_retrieve_by_subject, true)                                                   \
    X(X509_OBJECT_get0_X509, true)                                                             \
    X(X509_OBJECT_set1_X509, true)                                                             \
    X(X509_LOOKUP_meth_new, true)                                                              \
    X(X509_LOOKUP_meth_free, true)                                                             \
    X(X509_LOOKUP_meth_set_get_by_subject, true)                                               \
    X(X509_LOOKUP_get_store, true)                                                             \
    X(X509_LOOKUP_get_method_data, true)                                                       \
    X(X509_LOOKUP_set_method_data, true)                                                       \
    X(X509_STORE_CTX_get_ex_data, true)                                                        \
    X(X509_STORE_CTX_get_current_cert, true)                                                   \
    X(X509_STORE_CTX_get_error, true)                                                          \
    X(X509_STORE_CTX_get_error_depth, true)                                                    \
    X(X509_verify_cert_error_string, true)

// X(name, required): entry points of the TLS library.
#define ID_OPENSSL_SSL_ENTRY_POINTS(X)                                                         \
    X(OPENSSL_init_ssl, true) /* 1.0: SSL_library_init, SSL_load_error_strings */              \
    X(TLS_method, true)        /* 1.0: SSLv23_method and the per-version methods */            \
    X(TLS_client_method, true) /* 1.0: SSLv23_client_method and the per-version ones */        \
    X(TLS_server_method, true) /* 1.0: SSLv23_server_method and the per-version ones */        \
    X(SSL_CTX_new, true)                                                                       \
    X(SSL_CTX_free, true)                                                                      \
    X(SSL_CTX_ctrl, true)                                                                      \
    X(SSL_CTX_set_options, true) /* 1.0: SSL_CTX_ctrl command 32 */                            \
    X(SSL_CTX_get_options, true)                                                               \
    X(SSL_CTX_set_default_passwd_cb, true)                                                     \
    X(SSL_CTX_set_default_passwd_cb_userdata, true)                                            \
    X(SSL_CTX_set_default_verify_paths, true)                                                  \
    X(SSL_CTX_get_cert_store, true)                                                            \
    X(SSL_CTX_use_certificate, true)  /* 1.0: SSL_CTX_use_certificate_file */                  \
    X(SSL_CTX_use_PrivateKey, true)   /* 1.0: SSL_CTX_use_PrivateKey_file */                   \
    X(SSL_CTX_check_private_key, true)                                                         \
    X(SSL_CTX_set0_tmp_dh_pkey, true) /* 1.0: SSL_CTX_ctrl SSL_CTRL_SET_TMP_DH */              \
    X(SSL_CTX_set_cipher_list, true)                                                           \
    X(SSL_CTX_set_verify, true)                                                                \
    X(SSL_CTX_set_verify_depth, true)                                                          \
    X(SSL_CTX_get_verify_mode, true)                                                           \
    X(SSL_CTX_get_verify_depth, true)                                                          \
    X(SSL_CTX_get_verify_callback, true)                                                       \
    X(SSL_CTX_set_info_callback, true)                                                         \
    X(SSL_CTX_get_info_callback, true)                                                         \
    X(SSL_CTX_set_session_id_context, true)                                                    \
    X(SSL_CTX_set_client_CA_list, true)                                                        \
    X(SSL_load_client_CA_file, true)                                                           \
    X(SSL_CTX_set_ex_data, true)                                                               \
    X(SSL_CTX_get_ex_data, true)                                                               \
    X(SSL_new, true)                                                                           \
    X(SSL_free, true)                                                                          \
    X(SSL_get_SSL_CTX, true)                                                                   \
    X(SSL_set_ex_data, true)                                                                   \
    X(SSL_get_ex_data, true)                                                                   \
    X(SSL_get_ex_data_X509_STORE_CTX_idx, true)                                                \
    X(SSL_set_options, true)                                                                   \
    X(SSL_set_cipher_list, true)                                                               \
    X(SSL_set_fd, true)                                                                        \
    X(SSL_ctrl, true) /* SNI: command SSL_CTRL_SET_TLSEXT_HOSTNAME */                          \
    X(SSL_set1_host, true)                                                                     \
    X(SSL_connect, true)                                                                       \
    X(SSL_accept, true)                                                                        \
    X(SSL_read, true)                                                                          \
    X(SSL_write, true)                                                                         \
    X(SSL_pending, true)                                                                       \
    X(SSL_shutdown, true)                                                                      \
    X(SSL_get_error, true)                                                                     \
    X(SSL_get_verify_result, true)                                                             \
    X(SSL_get1_peer_certificate, true) /* 1.0: SSL_get_peer_certificate */                     \
    X(SSL_get_session, true)                                                                   \
    X(SSL_set_session, true)                                                                   \
    X(SSL_SESSION_get_id, true)                                                                \
    X(SSL_get_current_cipher, true)                                                            \
    X(SSL_CIPHER_get_name, true)                                                               \
    X(SSL_CIPHER_description, true)                                                            \
    X(SSL_CIPHER_get_bits, true)                                                               \
    X(SSL_CIPHER_get_version, true)                                                            \
    X(SSL_state_string_long, true)                                                             \
    X(SSL_alert_type_string_long, true)                                                        \
    X(SSL_alert_desc_string_long, true)

// The entry-point table: one function pointer per bound name, null when not bound.
struct TIdOpenSSLEntryPoints {
#define ID_OPENSSL_DECLARE_ENTRY(name, required) decltype(&::name) name = nullptr;
    ID_OPENSSL_CRYPTO_ENTRY_POINTS(ID_OPENSSL_DECLARE_ENTRY)
    ID_OPENSSL_SSL_ENTRY_POINTS(ID_OPENSSL_DECLARE_ENTRY)
#undef ID_OPENSSL_DECLARE_ENTRY
};
extern TIdOpenSSLEntryPoints GOpenSSL;

// --- Files and loading ---------------------------------------------------------------
// The library files, looked up in TlsLibraryFolder (empty: the system's search path on
// POSIX, the program's own folder on Windows).
#ifdef _WIN32
inline constexpr StringView TlsCryptoLibraryName = u"libcrypto-3-x64.dll";
inline constexpr StringView TlsSSLLibraryName = u"libssl-3-x64.dll";
#else
inline constexpr StringView TlsCryptoLibraryName = u"libcrypto.so.3";
inline constexpr StringView TlsSSLLibraryName = u"libssl.so.3";
#endif

// What failed during the last BindTlsEntryPoints: "Failed to load <path>." or the
// names of missing entry points.
TStringList& TlsLoadErrors();
// Prefixed to the library file names; empty, and nothing in the program sets it.
String TlsLibraryFolder();
void SetTlsLibraryFolder(const String& folder);
// The library is loaded and initialised.
bool TlsLibraryLoaded();

// True when the library is ready for use. Only the first call after an unload does
// work; loads are not counted (one unload undoes any number of them).
bool LoadTlsLibrary();
// Undoes LoadTlsLibrary; nothing when not loaded (also after a failed load, whose
// files stay loaded for the next attempt).
void UnloadTlsLibrary();
// The file and entry-point level beneath the two above.
bool BindTlsEntryPoints();
void ReleaseTlsEntryPoints();

// --- The system's trust store ---------------------------------------------------------
// Puts the system's trusted certificates (the library's default file and folder, or
// SSL_CERT_FILE and SSL_CERT_DIR; on Windows the ROOT certificate store) behind the
// store, read the first time the store lacks an issuer: parsing the system's bundle of some 150 certificates costs more
// than the rest of a short session, and a store that already holds the server's CA
// (a CA file given by the user) never needs it. Only for a store one connection at
// a time verifies with; false when it could not be arranged (the caller then loads
// the system's certificates at once).
bool TlsAddSystemTrustOnDemand(X509_STORE* store);

// --- Locks ---------------------------------------------------------------------------
// The three callback locks exist exactly while the library is loaded (null otherwise).
std::mutex* TlsInfoCallbackLock();
std::mutex* TlsPasswordCallbackLock();
std::mutex* TlsVerifyCallbackLock();

// The library lock list: one lock per number the library asks for. The 1.0 library
// wanted a locking callback; 3.x locks for itself and has neither CRYPTO_num_locks
// nor CRYPTO_set_locking_callback (they are compatibility macros for 1 and nothing),
// so the list and the callback are bookkeeping that nothing in the library calls.
void TlsLockingCallback(int mode, int lockNumber, const char* file, int line);
int TlsLibraryLockCount();

// --- Owning pointers -----------------------------------------------------------------
// Frees through the binding; when the library is already unloaded the object is
// left alone rather than freed through a null entry.
template <class T, auto Entry>
struct TIdOpenSSLFree {
    void operator()(T* object) const noexcept
    {
        if (object != nullptr && GOpenSSL.*Entry != nullptr)
            (GOpenSSL.*Entry)(object);
    }
};
using TIdSSLCtxPtr = std::unique_ptr<SSL_CTX, TIdOpenSSLFree<SSL_CTX, &TIdOpenSSLEntryPoints::SSL_CTX_free>>;
using TIdSSLPtr = std::unique_ptr<SSL, TIdOpenSSLFree<SSL, &TIdOpenSSLEntryPoints::SSL_free>>;
using TIdX509Ptr = std::unique_ptr<X509, TIdOpenSSLFree<X509, &TIdOpenSSLEntryPoints::X509_free>>;
using TIdBIOPtr = std::unique_ptr<BIO, TIdOpenSSLFree<BIO, &TIdOpenSSLEntryPoints::BIO_free>>;
using TIdEVPPKeyPtr = std::unique_ptr<EVP_PKEY, TIdOpenSSLFree<EVP_PKEY, &TIdOpenSSLEntryPoints::EVP_PKEY_free>>;
using TIdEVPMDCtxPtr = std::unique_ptr<EVP_MD_CTX, TIdOpenSSLFree<EVP_MD_CTX, &TIdOpenSSLEntryPoints::EVP_MD_CTX_free>>;
using TIdBIGNUMPtr = std::unique_ptr<BIGNUM, TIdOpenSSLFree<BIGNUM, &TIdOpenSSLEntryPoints::BN_free>>;

// --- Errors --------------------------------------------------------------------------
// The library's one-line text for an error code (ERR_error_string_n, 160 bytes).
String TlsErrorText(unsigned long errorCode);
// Takes the oldest code of the thread's error queue (0: empty).
std::uint32_t TlsTakeError();

// What a TLS call that failed in the operating system raises (kind 5, result -1): the
// socket layer's last error. The socket stack installs its own; the default raises
// EIdSocketError with the system's number (errno, WSAGetLastError) and its text.
using TIdRaiseLastSocketError = void (*)();
void SetTlsRaiseLastSocketError(TIdRaiseLastSocketError raiser);
// The one installed (none: the default).
TIdRaiseLastSocketError TlsRaiseLastSocketErrorHook();
[[noreturn]] void TlsRaiseLastSocketError();

// RaiseException / RaiseExceptionCode of the crypto family, called on a class E:
// the message is AMsg + CR LF + the library's text of the code (only the text when
// AMsg is empty); ErrorCode is the code.
template <std::derived_from<EIdOpenSSLAPICryptoError> E>
[[noreturn]] void RaiseExceptionCode(std::uint32_t AErrCode, const String& AMsg)
{
    const String text = TlsErrorText(AErrCode);
    throw E(AErrCode, AMsg.empty() ? text : AMsg + u"\r\n" + text);
}

// Raises E for the oldest queued library error.
template <std::derived_from<EIdOpenSSLAPICryptoError> E>
[[noreturn]] void RaiseException(const String& AMsg)
{
    RaiseExceptionCode<E>(TlsTakeError(), AMsg);
}

// RaiseExceptionCode of the connection-call family, called on a class E, for the
// error kind of a connection call and the call's result.
template <std::derived_from<EIdOpenSSLAPISSLError> E>
[[noreturn]] void RaiseExceptionCode(std::int32_t AErrCode, std::int32_t ARetCode, const String& AMsg)
{
    const String prefix = AMsg.empty() ? String() : AMsg + u"\r\n";
    if (AErrCode == SSL_ERROR_SSL) // the queued library error tells what happened
        RaiseException<EIdOSSLUnderlyingCryptoError>(AMsg);
    if (AErrCode == SSL_ERROR_SYSCALL) {
        if (const std::uint32_t queued = TlsTakeError(); queued != 0)
            RaiseExceptionCode<EIdOSSLUnderlyingCryptoError>(queued, AMsg);
        if (ARetCode == 0)
            throw E(SSL_ERROR_SYSCALL, 0, prefix + u"EOF was observed that violates the protocol");
        if (ARetCode == -1)
            TlsRaiseLastSocketError();
    }
    throw E(AErrCode, ARetCode, prefix + TlsErrorText(static_cast<unsigned long>(AErrCode)));
}

// The same for a connection object: the kind is SSL_get_error of it and ARetCode.
template <std::derived_from<EIdOpenSSLAPISSLError> E>
[[noreturn]] void RaiseException(const SSL* ASSL, std::int32_t ARetCode, const String& AMsg)
{
    RaiseExceptionCode<E>(GOpenSSL.SSL_get_error(ASSL, ARetCode), ARetCode, AMsg);
}
