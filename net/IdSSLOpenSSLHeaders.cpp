#include "net/IdSSLOpenSSLHeaders.h"

#include "net/IdSSLLibrary.h"

#include <vector>

TIdOpenSSLEntryPoints GOpenSSL;

namespace {

// Process-wide binding state.
struct TBindingState {
    void* CryptoLibrary = nullptr;
    void* SSLLibrary = nullptr;
    TStringList LoadErrors;
    String LibraryFolder;

    std::mutex LoadedLock; // held by LoadTlsLibrary throughout
    bool Loaded = false;

    std::unique_ptr<std::mutex> InfoCallbackLock;
    std::unique_ptr<std::mutex> PasswordCallbackLock;
    std::unique_ptr<std::mutex> VerifyCallbackLock;

    std::mutex LockListLock;
    std::unique_ptr<std::vector<std::unique_ptr<std::recursive_mutex>>> LockList;

    TIdRaiseLastSocketError RaiseLastSocketError = nullptr;

    // The lookup behind TlsAddSystemTrustOnDemand, made with the library's own
    // allocator: it exists while the library is loaded.
    X509_LOOKUP_METHOD* SystemTrustLookup = nullptr;
    std::mutex SystemTrustLoadLock;
};

TBindingState& State()
{
    static TBindingState state;
    return state;
}

// Marks a lookup whose store has been given the system's certificates.
char GSystemTrustLoaded;

// Called for a name the store's certificates do not hold. The first call reads the
// system's certificates into the store (TlsAddSystemTrust); on POSIX it also adds the
// system's lookups (the folder's look-up by name among them) after this one, so the
// caller's walk over the lookups goes on to them. It answers from what was read. Later calls have nothing
// to add. Only certificates are answered: nothing here checks revocation lists.
int GetSystemTrustBySubject(X509_LOOKUP* lookup, X509_LOOKUP_TYPE type, const X509_NAME* name, X509_OBJECT* found)
{
    X509_STORE* store = GOpenSSL.X509_LOOKUP_get_store(lookup);
    {
        std::lock_guard<std::mutex> lock(State().SystemTrustLoadLock);
        if (store == nullptr || GOpenSSL.X509_LOOKUP_get_method_data(lookup) != nullptr)
            return 0;
        GOpenSSL.X509_LOOKUP_set_method_data(lookup, &GSystemTrustLoaded);
        TlsAddSystemTrust(store);
    }
    if (type != X509_LU_X509 || GOpenSSL.X509_STORE_lock(store) != 1)
        return 0;
    int result = 0;
    if (X509_OBJECT* object =
            GOpenSSL.X509_OBJECT_retrieve_by_subject(GOpenSSL.X509_STORE_get0_objects(store), type, name)) {
        X509* certificate = GOpenSSL.X509_OBJECT_get0_X509(object);
        result = GOpenSSL.X509_OBJECT_set1_X509(found, certificate);
        // The caller takes a reference of its own to what a lookup answers (the
        // library's lookups hand over the store's object as it is); the one set1 took
        // would never be given back.
        if (result == 1)
            GOpenSSL.X509_free(certificate);
    }
    GOpenSSL.X509_STORE_unlock(store);
    return result;
}

X509_LOOKUP_METHOD* MakeSystemTrustLookup()
{
    X509_LOOKUP_METHOD* method = GOpenSSL.X509_LOOKUP_meth_new("Orvant system trust on demand");
    if (method != nullptr && GOpenSSL.X509_LOOKUP_meth_set_get_by_subject(method, GetSystemTrustBySubject) != 1) {
        GOpenSSL.X509_LOOKUP_meth_free(method);
        method = nullptr;
    }
    return method;
}

// Loads the file into handle unless a previous attempt did; a failure is recorded.
bool LoadLibraryOnce(void*& handle, StringView fileName)
{
    if (handle != nullptr)
        return true;
    const String path = TlsLibraryFilePath(State().LibraryFolder, fileName);
    handle = TlsOpenLibraryFile(path);
    if (handle == nullptr)
        State().LoadErrors.Add(Format(u"Failed to load %s.", {path}));
    return handle != nullptr;
}

template <class Fn>
void BindEntry(void* library, const char* name, bool required, Fn& entry)
{
    entry = reinterpret_cast<Fn>(TlsLibraryEntry(library, name));
    if (entry == nullptr && required)
        State().LoadErrors.Add(FromUtf8(name));
}

// The 1.0 library needed its clean-up functions called before the files were
// released. In 3.x CRYPTO_cleanup_all_ex_data, ERR_free_strings and EVP_cleanup are
// empty compatibility macros, the library frees its global state itself at process
// exit, and OPENSSL_cleanup must not be called because the library could not be
// initialised again afterwards. What remains is the calling thread's error state.
void CleanUpLibrary()
{
    if (GOpenSSL.OPENSSL_thread_stop != nullptr)
        GOpenSSL.OPENSSL_thread_stop();
}

} // namespace

TStringList& TlsLoadErrors()
{
    return State().LoadErrors;
}

String TlsLibraryFolder()
{
    return State().LibraryFolder;
}

void SetTlsLibraryFolder(const String& folder)
{
    State().LibraryFolder = folder;
}

bool TlsLibraryLoaded()
{
    std::lock_guard<std::mutex> lock(State().LoadedLock);
    return State().Loaded;
}

bool BindTlsEntryPoints()
{
    TBindingState& state = State();
    if (state.CryptoLibrary != nullptr && state.SSLLibrary != nullptr && state.LoadErrors.Count() == 0)
        return true;
    state.LoadErrors.Clear();

    if (!LoadLibraryOnce(state.CryptoLibrary, TlsCryptoLibraryName)
        || !LoadLibraryOnce(state.SSLLibrary, TlsSSLLibraryName))
        return false;

#define ID_OPENSSL_BIND_CRYPTO(name, required) BindEntry(state.CryptoLibrary, #name, required, GOpenSSL.name);
#define ID_OPENSSL_BIND_SSL(name, required) BindEntry(state.SSLLibrary, #name, required, GOpenSSL.name);
    ID_OPENSSL_SSL_ENTRY_POINTS(ID_OPENSSL_BIND_SSL)
    ID_OPENSSL_CRYPTO_ENTRY_POINTS(ID_OPENSSL_BIND_CRYPTO)
#undef ID_OPENSSL_BIND_CRYPTO
#undef ID_OPENSSL_BIND_SSL

    return state.LoadErrors.Count() == 0;
}

void ReleaseTlsEntryPoints()
{
    TBindingState& state = State();
    if (state.SSLLibrary != nullptr) {
        CleanUpLibrary();
        TlsCloseLibraryFile(state.SSLLibrary);
        state.SSLLibrary = nullptr;
    }
    if (state.CryptoLibrary != nullptr) {
        TlsCloseLibraryFile(state.CryptoLibrary);
        state.CryptoLibrary = nullptr;
    }
    GOpenSSL = TIdOpenSSLEntryPoints();
}

bool LoadTlsLibrary()
{
    TBindingState& state = State();
    std::lock_guard<std::mutex> lock(state.LoadedLock);
    if (state.Loaded)
        return true;
    if (!BindTlsEntryPoints())
        return false;

    // 1.0: OpenSSL_add_all_ciphers, OpenSSL_add_all_digests. RAND_screen has no
    // counterpart: the library seeds itself from the operating system.
    GOpenSSL.OPENSSL_init_crypto(OPENSSL_INIT_ADD_ALL_CIPHERS, nullptr);
    GOpenSSL.OPENSSL_init_crypto(OPENSSL_INIT_ADD_ALL_DIGESTS, nullptr);
    // 1.0: SSL_load_error_strings, then SSL_library_init.
    GOpenSSL.OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
    if (GOpenSSL.OPENSSL_init_ssl(0, nullptr) <= 0)
        return false;

    state.InfoCallbackLock = std::make_unique<std::mutex>();
    state.PasswordCallbackLock = std::make_unique<std::mutex>();
    state.VerifyCallbackLock = std::make_unique<std::mutex>();
    {
        std::lock_guard<std::mutex> listLock(state.LockListLock);
        state.LockList = std::make_unique<std::vector<std::unique_ptr<std::recursive_mutex>>>();
        for (int i = 0; i < CRYPTO_num_locks(); ++i)
            state.LockList->push_back(std::make_unique<std::recursive_mutex>());
    }
    // 1.0: CRYPTO_set_locking_callback(TlsLockingCallback); nothing to install in 3.x.
    state.SystemTrustLookup = MakeSystemTrustLookup();
    state.Loaded = true;
    return true;
}

void UnloadTlsLibrary()
{
    TBindingState& state = State();
    // The lock the load holds: a load and an unload on two threads (the archive's
    // hash beside a send) must not interleave, and the flag is read under it.
    std::lock_guard<std::mutex> lock(state.LoadedLock);
    if (state.InfoCallbackLock == nullptr)
        return;
    // 1.0: CRYPTO_set_locking_callback(nullptr).
    if (state.SystemTrustLookup != nullptr) {
        GOpenSSL.X509_LOOKUP_meth_free(state.SystemTrustLookup);
        state.SystemTrustLookup = nullptr;
    }
    ReleaseTlsEntryPoints();
    state.InfoCallbackLock.reset();
    state.PasswordCallbackLock.reset();
    state.VerifyCallbackLock.reset();
    {
        std::lock_guard<std::mutex> listLock(state.LockListLock);
        state.LockList.reset();
    }
    state.Loaded = false;
}

bool TlsAddSystemTrustOnDemand(X509_STORE* store)
{
    X509_LOOKUP_METHOD* method = State().SystemTrustLookup;
    return store != nullptr && method != nullptr && GOpenSSL.X509_STORE_add_lookup(store, method) != nullptr;
}

std::mutex* TlsInfoCallbackLock()
{
    return State().InfoCallbackLock.get();
}

std::mutex* TlsPasswordCallbackLock()
{
    return State().PasswordCallbackLock.get();
}

std::mutex* TlsVerifyCallbackLock()
{
    return State().VerifyCallbackLock.get();
}

// --- Wider surface of the library, kept for completeness: the 1.0 locking callback. -------
// OpenSSL 3 locks for itself and offers no way to install it, so nothing calls it.

void TlsLockingCallback(int mode, int lockNumber, const char* /*file*/, int /*line*/)
{
    TBindingState& state = State();
    std::recursive_mutex* entry = nullptr;
    {
        std::lock_guard<std::mutex> listLock(state.LockListLock);
        if (state.LockList != nullptr && lockNumber >= 0
            && static_cast<std::size_t>(lockNumber) < state.LockList->size())
            entry = (*state.LockList)[static_cast<std::size_t>(lockNumber)].get();
    }
    if (entry == nullptr)
        return;
    if ((mode & CRYPTO_LOCK) != 0)
        entry->lock();
    else
        entry->unlock();
}

int TlsLibraryLockCount()
{
    TBindingState& state = State();
    std::lock_guard<std::mutex> listLock(state.LockListLock);
    return state.LockList == nullptr ? 0 : static_cast<int>(state.LockList->size());
}

String TlsErrorText(unsigned long errorCode)
{
    char buffer[160] = {};
    if (GOpenSSL.ERR_error_string_n != nullptr)
        GOpenSSL.ERR_error_string_n(errorCode, buffer, sizeof buffer);
    return FromUtf8(buffer);
}

std::uint32_t TlsTakeError()
{
    // 3.x codes use 32 bits (the system-error flag is bit 31).
    return GOpenSSL.ERR_get_error != nullptr ? static_cast<std::uint32_t>(GOpenSSL.ERR_get_error()) : 0;
}

void SetTlsRaiseLastSocketError(TIdRaiseLastSocketError raiser)
{
    State().RaiseLastSocketError = raiser;
}

TIdRaiseLastSocketError TlsRaiseLastSocketErrorHook()
{
    return State().RaiseLastSocketError;
}

void TlsRaiseLastSocketError()
{
    if (State().RaiseLastSocketError != nullptr)
        State().RaiseLastSocketError();
    const int error = TlsSystemSocketError();
    throw EIdSocketError(error, Format(u"Socket Error # %d\r\n%s", {std::int64_t{error}, TlsSystemSocketErrorText(error)}));
}
