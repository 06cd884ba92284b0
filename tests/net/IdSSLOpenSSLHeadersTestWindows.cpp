// The TLS binding's Windows side: the DLLs loaded by full path from the program's own
// folder (or the folder set), their names in the errors, and a program that does not
// import them.

#include "net/IdSSLOpenSSLHeaders.h"
#include "tests/net/TlsBindingTest.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <string>
#include <vector>

namespace {

// The full path of the file a module was loaded from (UTF-8).
std::string ModuleFile(HMODULE module)
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
    return ToUtf8(String(path, path + length));
}

HMODULE ModuleOf(const void* address)
{
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         static_cast<LPCWSTR>(address), &module);
    return module;
}

std::string FolderOf(const std::string& path)
{
    return path.substr(0, path.find_last_of("\\/"));
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The DLL names the running program imports, read from its own PE image.
std::vector<std::string> ImportedDlls()
{
    const auto* base = reinterpret_cast<const std::uint8_t*>(::GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::vector<std::string> names;
    if (directory.VirtualAddress == 0)
        return names;
    for (const auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         entry->Name != 0; ++entry)
        names.push_back(Lower(reinterpret_cast<const char*>(base + entry->Name)));
    return names;
}

} // namespace

std::string TlsBinding::SystemCryptoLibrary()
{
    EXPECT_TRUE(LoadTlsLibrary());
    std::string path = ModuleFile(ModuleOf(reinterpret_cast<const void*>(GOpenSSL.ERR_get_error)));
    UnloadTlsLibrary();
    return path;
}

TEST_F(TlsBinding, TheDllsComeFromTheProgramsOwnFolder)
{
    ASSERT_TRUE(LoadTlsLibrary());
    const std::string program = ModuleFile(nullptr);
    const std::string crypto = ModuleFile(ModuleOf(reinterpret_cast<const void*>(GOpenSSL.ERR_get_error)));
    const std::string ssl = ModuleFile(ModuleOf(reinterpret_cast<const void*>(GOpenSSL.SSL_CTX_new)));
    EXPECT_EQ(Lower(crypto), Lower(FolderOf(program) + "\\libcrypto-3-x64.dll"));
    EXPECT_EQ(Lower(ssl), Lower(FolderOf(program) + "\\libssl-3-x64.dll"));
}

TEST_F(TlsBinding, TheCurrentFolderIsNotSearched)
{
    // A folder that holds the DLLs, made the current folder: with the program's own
    // folder empty of them the load would have to fail, and with them present it must
    // still take the program's.
    const std::string folder = MakeFolder();
    const std::string crypto = SystemCryptoLibrary();
    ASSERT_TRUE(::CopyFileW(std::wstring(crypto.begin(), crypto.end()).c_str(),
                            std::wstring(folder.begin(), folder.end()).append(L"\\libcrypto-3-x64.dll").c_str(), TRUE));
    wchar_t previous[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryW(std::wstring(folder.begin(), folder.end()).c_str()));
    const bool loaded = LoadTlsLibrary();
    const std::string used = loaded ? ModuleFile(ModuleOf(reinterpret_cast<const void*>(GOpenSSL.ERR_get_error))) : "";
    UnloadTlsLibrary();
    ::SetCurrentDirectoryW(previous);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(Lower(used), Lower(crypto)) << "the copy in the current folder was taken";
}

TEST_F(TlsBinding, EmptyFolderFailsNamingTheCryptoLibrary)
{
    const std::string folder = MakeFolder();
    SetTlsLibraryFolder(FromUtf8(folder));
    EXPECT_FALSE(LoadTlsLibrary());
    EXPECT_FALSE(TlsLibraryLoaded());
    ASSERT_EQ(TlsLoadErrors().Count(), 1);
    EXPECT_EQ(TlsLoadErrors()[0], FromUtf8("Failed to load " + folder + "\\libcrypto-3-x64.dll."));
    EXPECT_EQ(TlsInfoCallbackLock(), nullptr);
}

TEST_F(TlsBinding, MissingTlsLibraryIsNamedAndAFileWithoutTheEntryPointsListsThem)
{
    const std::string crypto = SystemCryptoLibrary();
    const std::string folder = MakeFolder();
    const std::wstring wideFolder(folder.begin(), folder.end());
    ASSERT_TRUE(::CopyFileW(std::wstring(crypto.begin(), crypto.end()).c_str(),
                            (wideFolder + L"\\libcrypto-3-x64.dll").c_str(), TRUE));
    SetTlsLibraryFolder(FromUtf8(folder + "\\")); // a trailing separator is fine too
    EXPECT_FALSE(LoadTlsLibrary());
    ASSERT_EQ(TlsLoadErrors().Count(), 1);
    EXPECT_EQ(TlsLoadErrors()[0], FromUtf8("Failed to load " + folder + "\\libssl-3-x64.dll."));
    UnloadTlsLibrary();
    ReleaseTlsEntryPoints();

    // A "TLS library" that is really the crypto library has none of the TLS names.
    ASSERT_TRUE(::CopyFileW(std::wstring(crypto.begin(), crypto.end()).c_str(),
                            (wideFolder + L"\\libssl-3-x64.dll").c_str(), TRUE));
    EXPECT_FALSE(LoadTlsLibrary());
    EXPECT_GE(TlsLoadErrors().IndexOf(u"SSL_CTX_new"), 0);
    EXPECT_LT(TlsLoadErrors().IndexOf(u"ERR_get_error"), 0) << "crypto entry points were found";
    ReleaseTlsEntryPoints(); // the copies can go only once they are unloaded
}

TEST_F(TlsBinding, TheProgramDoesNotImportTheLibrary)
{
    const std::vector<std::string> imports = ImportedDlls();
    ASSERT_FALSE(imports.empty());
    for (const std::string& name : imports) {
        EXPECT_EQ(name.find("libssl"), std::string::npos) << name;
        EXPECT_EQ(name.find("libcrypto"), std::string::npos) << name;
    }
}
