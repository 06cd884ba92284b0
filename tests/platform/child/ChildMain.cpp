// The child program of the Windows process tests: small, with no console of
// its own, doing one thing the runner must cope with.
//
//   args                 writes each argument, as Windows itself splits the
//                        command line (CommandLineToArgvW), in UTF-8 and ended
//                        by a NUL byte, to standard output
//   exit CODE            ends with CODE
//   print LINES          LINES lines on standard output, "fim" on standard error
//   sleep MILLISECONDS   sleeps
//   family FILE          starts itself sleeping (holding our standard handles),
//                        writes "OURID CHILDID" to FILE, then sleeps
//   leave FILE           the same, but prints "pronto" and ends at once
//   orvant FILE          runs "family FILE" through TSpawnProcessRunner with a
//                        time limit of an hour, standing in for Orvant

#include "platform/Process.h"

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

namespace {

std::string Utf8(const wchar_t* text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? static_cast<std::size_t>(size) : 1u, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.pop_back(); // the terminating NUL
    return out;
}

void Write(DWORD which, const std::string& text)
{
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(which), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::wstring OwnPath()
{
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

// Starts this program again, sleeping and inheriting our standard handles;
// returns its process id (0 on failure).
DWORD StartSleepingChild()
{
    const std::wstring self = OwnPath();
    std::wstring line = L"\"" + self + L"\" sleep 1000000";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(self.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &started))
        return 0;
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
    return started.dwProcessId;
}

// Written whole under a temporary name, then renamed, so that a reader never
// sees half of it.
bool WriteIds(const wchar_t* file, DWORD child)
{
    const std::string text = std::to_string(::GetCurrentProcessId()) + " " + std::to_string(child) + "\n";
    const std::wstring temporary = std::wstring(file) + L".tmp";
    const HANDLE out = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(out);
    return ::MoveFileExW(temporary.c_str(), file, MOVEFILE_REPLACE_EXISTING) != 0;
}

} // namespace

int main()
{
    int count = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!argv || count < 2)
        return 100;
    const std::wstring mode = argv[1];
    const wchar_t* value = count > 2 ? argv[2] : L"";
    if (mode == L"args") {
        std::string out;
        for (int i = 1; i < count; ++i)
            out += Utf8(argv[i]) + '\0';
        Write(STD_OUTPUT_HANDLE, out);
        return 0;
    }
    if (mode == L"exit")
        return std::stoi(value);
    if (mode == L"print") {
        std::string out;
        for (int i = 0, lines = std::stoi(value); i < lines; ++i)
            out += "linha " + std::to_string(i) + "\n";
        Write(STD_OUTPUT_HANDLE, out);
        Write(STD_ERROR_HANDLE, "fim\n");
        return 0;
    }
    if (mode == L"sleep") {
        ::Sleep(static_cast<DWORD>(std::stoul(value)));
        return 0;
    }
    if (mode == L"family" || mode == L"leave") {
        const DWORD child = StartSleepingChild();
        if (child == 0 || !WriteIds(value, child))
            return 101;
        if (mode == L"leave") {
            Write(STD_OUTPUT_HANDLE, "pronto\n");
            return 0;
        }
        ::Sleep(1000000);
        return 0;
    }
    if (mode == L"orvant") {
        const std::string self = Utf8(OwnPath().c_str());
        orvant::platform::TSpawnProcessRunner(std::chrono::hours(1)).Run(self, {"family", Utf8(value)});
        return 0;
    }
    return 102;
}
