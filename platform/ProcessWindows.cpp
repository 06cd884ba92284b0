#include "platform/Process.h"

#include "platform/CommandLine.h"
#include "platform/ProcessOutput.h"
#include "platform/Utf.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cwctype>
#include <memory>
#include <utility>

namespace orvant::platform {

namespace {

using TClock = std::chrono::steady_clock;

// After the program's end the rest of its job is killed, so its pipes close at
// once; this bounds the wait should they not.
constexpr std::chrono::seconds kDrainAfterEnd{2};
// A killed process is gone as soon as the system has torn it down; one still
// there after this is not waited for any more.
constexpr std::chrono::seconds kEndAfterKill{10};
// How long a cancelled read may take to come back before its buffer is given
// up rather than freed under the system's feet.
constexpr DWORD kCancelLimitMs = 5000;
// The exit code the job's processes get when the time limit kills them: one
// the program returning by itself just then would hardly give.
constexpr UINT kKilledForTimeCode = ERROR_TIMEOUT;
constexpr DWORD kReadSize = 64 * 1024;

std::wstring Wide(std::string_view utf8)
{
    const std::u16string text = Utf8ToUtf16(utf8);
    return std::wstring(text.begin(), text.end());
}

std::string Narrow(std::wstring_view wide)
{
    return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

class THandle {
public:
    THandle() = default;
    explicit THandle(HANDLE handle) : FHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~THandle() { Close(); }
    THandle(THandle&& other) noexcept : FHandle(std::exchange(other.FHandle, nullptr)) {}
    THandle& operator=(THandle&& other) noexcept
    {
        if (this != &other) {
            Close();
            FHandle = std::exchange(other.FHandle, nullptr);
        }
        return *this;
    }
    HANDLE Get() const { return FHandle; }
    explicit operator bool() const { return FHandle != nullptr; }
    void Close()
    {
        if (FHandle)
            ::CloseHandle(std::exchange(FHandle, nullptr));
    }

private:
    HANDLE FHandle = nullptr;
};

DWORD MillisecondsUntil(TClock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now()).count();
    // INFINITE is 0xFFFFFFFF: stay well below it, a long limit is waited for in turns.
    return static_cast<DWORD>(std::clamp<decltype(left)>(left, 0, 0x7FFFFFFF));
}

bool HasEnded(HANDLE process)
{
    return ::WaitForSingleObject(process, 0) != WAIT_TIMEOUT;
}

// One pipe end read with overlapped I/O, so that a wait can cover the program,
// every pipe and the deadline at once: an anonymous pipe can only be read by a
// blocking call, which no deadline could interrupt.
class TPipeReader {
public:
    using TConsumer = std::function<void(std::string_view)>;

    TPipeReader(THandle readEnd, THandle event, TConsumer consumer)
        : FReadEnd(std::move(readEnd)), FEvent(std::move(event)), FConsumer(std::move(consumer)), FBuffer(kReadSize)
    {
    }
    // Destroyed only once no read is pending (Cancel), since the system would
    // otherwise write into freed memory.
    ~TPipeReader() = default;
    TPipeReader(const TPipeReader&) = delete;
    TPipeReader& operator=(const TPipeReader&) = delete;

    bool Ended() const { return FEnded; }
    HANDLE Event() const { return FEvent.Get(); }

    // Asks for the next piece; the event is set when it has come (even when the
    // read is done at once) or the pipe has ended.
    void Start()
    {
        FOverlapped = OVERLAPPED{};
        FOverlapped.hEvent = FEvent.Get();
        ::ResetEvent(FEvent.Get());
        if (::ReadFile(FReadEnd.Get(), FBuffer.data(), kReadSize, nullptr, &FOverlapped)
            || ::GetLastError() == ERROR_IO_PENDING)
            FPending = true;
        else
            FEnded = true; // ERROR_BROKEN_PIPE: every writer has closed its end
    }

    // The event was set: hands on what came and asks for more.
    void Complete()
    {
        DWORD count = 0;
        FPending = false;
        if (!::GetOverlappedResult(FReadEnd.Get(), &FOverlapped, &count, FALSE)) {
            FEnded = true;
            return;
        }
        if (count > 0)
            FConsumer(std::string_view(FBuffer.data(), count));
        Start();
    }

    // False when the pending read did not come back in time: then this reader
    // must not be freed.
    bool Cancel()
    {
        FEnded = true;
        if (!FPending)
            return true;
        ::CancelIoEx(FReadEnd.Get(), &FOverlapped);
        if (::WaitForSingleObject(FEvent.Get(), kCancelLimitMs) != WAIT_OBJECT_0)
            return false;
        DWORD count = 0;
        ::GetOverlappedResult(FReadEnd.Get(), &FOverlapped, &count, FALSE);
        FPending = false;
        return true;
    }

private:
    THandle FReadEnd;
    THandle FEvent;
    TConsumer FConsumer;
    std::vector<char> FBuffer;
    OVERLAPPED FOverlapped{};
    bool FPending = false;
    bool FEnded = false;
};

// The program's pipes read side by side, as on Linux: a program filling its
// error pipe while we wait on its output pipe would otherwise stall.
class TOutputPump {
public:
    ~TOutputPump() { Stop(); }

    void Add(std::unique_ptr<TPipeReader> reader)
    {
        reader->Start();
        FReaders.push_back(std::move(reader));
    }

    bool Finished() const
    {
        return std::all_of(FReaders.begin(), FReaders.end(), [](const auto& r) { return r->Ended(); });
    }

    // Waits until output arrives, `wake` (when given) is signalled or `until`
    // passes, and hands on what has arrived. False when the wait itself failed.
    bool PumpOnce(TClock::time_point until, HANDLE wake)
    {
        std::vector<HANDLE> handles;
        if (wake)
            handles.push_back(wake); // first: the program's end is never starved by its output
        for (const auto& reader : FReaders) {
            if (!reader->Ended())
                handles.push_back(reader->Event());
        }
        if (handles.empty())
            return true;
        const DWORD waited = ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                                                      MillisecondsUntil(until));
        if (waited == WAIT_FAILED) {
            Stop();
            return false;
        }
        for (const auto& reader : FReaders) {
            if (!reader->Ended() && ::WaitForSingleObject(reader->Event(), 0) == WAIT_OBJECT_0)
                reader->Complete();
        }
        return true;
    }

    void Stop()
    {
        for (auto& reader : FReaders) {
            if (reader && !reader->Cancel())
                (void)reader.release(); // the system still owns its buffer
        }
        FReaders.clear();
    }

private:
    std::vector<std::unique_ptr<TPipeReader>> FReaders;
};

struct TPipe {
    THandle ReadEnd;  // ours, overlapped, not inherited
    THandle WriteEnd; // the program's, inheritable
    THandle Event;    // set when a read of ours completes
};

// A named pipe, because only those can be read with overlapped I/O; the name
// is unique to this process and call, the pipe has a single instance and
// refuses clients from other machines, and we open its other end at once.
DWORD OpenPipe(TPipe& pipe)
{
    static std::atomic<unsigned long> counter{0};
    const std::wstring name = L"\\\\.\\pipe\\orvant-" + std::to_wstring(::GetCurrentProcessId()) + L"-"
        + std::to_wstring(++counter) + L"-" + std::to_wstring(::GetTickCount64());
    pipe.ReadEnd = THandle(::CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, kReadSize, 0, nullptr));
    if (!pipe.ReadEnd)
        return ::GetLastError();
    pipe.Event = THandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!pipe.Event)
        return ::GetLastError();
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    pipe.WriteEnd = THandle(
        ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, &inherited, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return pipe.WriteEnd ? 0 : ::GetLastError();
}

std::unique_ptr<TPipeReader> ReaderOf(TPipe& pipe, TPipeReader::TConsumer consumer)
{
    return std::make_unique<TPipeReader>(std::move(pipe.ReadEnd), std::move(pipe.Event), std::move(consumer));
}

// The job holds the program and all it starts (a process's children join its
// job): killing the job kills them all, and when its last handle closes, which
// happens when Orvant ends in any way, the system kills whatever is left in it.
// A crash in the program ends it at once instead of waiting on an error box
// nobody sees.
DWORD CreateOwningJob(THandle& job)
{
    job = THandle(::CreateJobObjectW(nullptr, nullptr)); // not inheritable: no child may keep it alive
    if (!job)
        return ::GetLastError();
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    if (!::SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits)))
        return ::GetLastError();
    return 0;
}

struct TStdHandles {
    HANDLE Input;
    HANDLE Output;
    HANDLE Error;
};

// Starts the program suspended, with only its three standard handles
// inherited (another program started at the same moment by another thread
// must not get our pipe ends, nor this one theirs), puts it in the job, and
// only then lets it run, so that nothing it starts can be outside the job.
DWORD StartInJob(const std::string& program, const std::vector<std::string>& args, const TStdHandles& handles,
                 HANDLE job, THandle& process)
{
    const std::wstring application = Wide(program);
    std::vector<std::u16string> arguments;
    for (const std::string& arg : args)
        arguments.push_back(Utf8ToUtf16(arg));
    const std::u16string line = BuildWindowsCommandLine(Utf8ToUtf16(program), arguments);
    std::wstring commandLine(line.begin(), line.end()); // CreateProcessW may write into it

    HANDLE inherited[3] = {handles.Input, handles.Output, handles.Error};
    const std::size_t inheritedCount = handles.Output == handles.Error ? 2 : 3;
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<unsigned char> storage(size);
    const auto attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    if (!::InitializeProcThreadAttributeList(attributes, 1, 0, &size))
        return ::GetLastError();
    DWORD error = 0;
    if (!::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                     inheritedCount * sizeof(HANDLE), nullptr, nullptr))
        error = ::GetLastError();

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = handles.Input;
    startup.StartupInfo.hStdOutput = handles.Output;
    startup.StartupInfo.hStdError = handles.Error;
    startup.lpAttributeList = attributes;
    PROCESS_INFORMATION started{};
    // The program is named apart from its command line: the system then takes
    // that very file and never searches the current or Orvant's own folder.
    if (error == 0
        && !::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                             CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT
                                 | EXTENDED_STARTUPINFO_PRESENT,
                             nullptr, nullptr, &startup.StartupInfo, &started))
        error = ::GetLastError();
    ::DeleteProcThreadAttributeList(attributes);
    if (error != 0)
        return error;

    process = THandle(started.hProcess);
    const THandle thread(started.hThread);
    // A program nobody would kill if we died is not run at all.
    if (!::AssignProcessToJobObject(job, process.Get())) {
        error = ::GetLastError();
        ::TerminateProcess(process.Get(), kKilledForTimeCode);
    } else if (::ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
        error = ::GetLastError();
        ::TerminateJobObject(job, kKilledForTimeCode);
    }
    if (error != 0) {
        ::WaitForSingleObject(process.Get(), MillisecondsUntil(TClock::now() + kEndAfterKill));
        process.Close();
    }
    return error;
}

struct TRun {
    THandle Job;
    THandle Input;
    TPipe Output;
    std::optional<TPipe> Errors; // only when standard error is kept apart
    THandle Process;
};

DWORD Start(const std::string& program, const std::vector<std::string>& args, bool separateErrors, TRun& run)
{
    if (const DWORD error = CreateOwningJob(run.Job))
        return error;
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    run.Input = THandle(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                                      OPEN_EXISTING, 0, nullptr));
    if (!run.Input)
        return ::GetLastError();
    if (const DWORD error = OpenPipe(run.Output))
        return error;
    if (separateErrors) {
        run.Errors.emplace();
        if (const DWORD error = OpenPipe(*run.Errors))
            return error;
    }
    const TStdHandles handles{run.Input.Get(), run.Output.WriteEnd.Get(),
                          run.Errors ? run.Errors->WriteEnd.Get() : run.Output.WriteEnd.Get()};
    const DWORD error = StartInJob(program, args, handles, run.Job.Get(), run.Process);
    // From here on the end of the pipes is the end of the program's output.
    run.Input.Close();
    run.Output.WriteEnd.Close();
    if (run.Errors)
        run.Errors->WriteEnd.Close();
    return error;
}

// Reads the output until the program ends or the deadline passes, then kills
// what is left of its job, takes the rest of the output and the exit code.
void Supervise(TRun& run, const TOutputSink* standardOutput, TClock::time_point deadline, TProcessResult& result)
{
    TOutputTail tail(kKeptOutputSize);
    const auto keepTail = [&tail](std::string_view data) { tail.Append(data); };
    TOutputPump pump;
    if (standardOutput)
        pump.Add(ReaderOf(run.Output, [standardOutput](std::string_view data) { (*standardOutput)(data); }));
    else
        pump.Add(ReaderOf(run.Output, keepTail));
    if (run.Errors)
        pump.Add(ReaderOf(*run.Errors, keepTail));

    const HANDLE process = run.Process.Get();
    bool waitFailed = false;
    while (!HasEnded(process) && TClock::now() < deadline && !waitFailed)
        waitFailed = !pump.PumpOnce(deadline, process);
    const bool killedForTime = !waitFailed && !HasEnded(process);
    // Also after its own end: whatever it left running goes with it, so that a
    // forgotten child holding the output pipe cannot keep us reading.
    ::TerminateJobObject(run.Job.Get(), kKilledForTimeCode);
    const bool gone = ::WaitForSingleObject(process, MillisecondsUntil(TClock::now() + kEndAfterKill)) == WAIT_OBJECT_0;
    const auto until = TClock::now() + kDrainAfterEnd;
    while (!pump.Finished() && TClock::now() < until && pump.PumpOnce(until, nullptr)) {
    }
    pump.Stop();
    result.Output = tail.Take();

    DWORD code = 0;
    if (!gone || !::GetExitCodeProcess(process, &code))
        return;
    if (killedForTime && code == kKilledForTimeCode) {
        result.TimedOut = true;
        return;
    }
    result.Exited = true;
    result.ExitCode = static_cast<int>(code);
}

bool IsFile(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring EnvironmentValue(const wchar_t* name)
{
    std::wstring value(::GetEnvironmentVariableW(name, nullptr, 0), L'\0');
    if (value.empty())
        return value;
    value.resize(::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size())));
    return value;
}

std::vector<std::wstring> SplitList(std::wstring_view list)
{
    std::vector<std::wstring> items;
    while (!list.empty()) {
        const auto semicolon = list.find(L';');
        std::wstring item(list.substr(0, semicolon));
        if (item.size() >= 2 && item.front() == L'"' && item.back() == L'"')
            item = item.substr(1, item.size() - 2);
        if (!item.empty())
            items.push_back(std::move(item));
        if (semicolon == std::wstring_view::npos)
            break;
        list.remove_prefix(semicolon + 1);
    }
    return items;
}

bool SameExtension(std::wstring_view a, std::wstring_view b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) { return ::towlower(x) == ::towlower(y); });
}

// PATHEXT's extensions that CreateProcessW can start by itself; .bat, .cmd and
// the script types need an interpreter, and a program found so would not run.
std::vector<std::wstring> ProgramExtensions()
{
    std::vector<std::wstring> extensions;
    for (std::wstring& extension : SplitList(EnvironmentValue(L"PATHEXT"))) {
        if (SameExtension(extension, L".exe") || SameExtension(extension, L".com"))
            extensions.push_back(std::move(extension));
    }
    if (extensions.empty())
        extensions = {L".COM", L".EXE"};
    return extensions;
}

// The names a program may have on disk: as given when it has an extension,
// else with each of PATHEXT's.
std::vector<std::wstring> FileNamesOf(const std::wstring& name)
{
    const auto lastPart = name.find_last_of(L"\\/:");
    const auto dot = name.rfind(L'.');
    if (dot != std::wstring::npos && (lastPart == std::wstring::npos || dot > lastPart))
        return {name};
    std::vector<std::wstring> names;
    for (const std::wstring& extension : ProgramExtensions())
        names.push_back(name + extension);
    return names;
}

} // namespace

// Like the shell's search, but never in the current folder: a program planted
// beside the files being archived must not be the one that runs.
std::optional<std::string> FindProgramInPath(std::string_view name)
{
    if (name.empty())
        return std::nullopt;
    const std::wstring wide = Wide(name);
    if (wide.find_first_of(L"\\/:") != std::wstring::npos) {
        for (const std::wstring& file : FileNamesOf(wide)) {
            if (IsFile(file))
                return Narrow(file);
        }
        return std::nullopt;
    }
    for (const std::wstring& dir : SplitList(EnvironmentValue(L"PATH"))) {
        const bool separated = dir.back() == L'\\' || dir.back() == L'/';
        for (const std::wstring& file : FileNamesOf(wide)) {
            const std::wstring candidate = dir + (separated ? L"" : L"\\") + file;
            if (IsFile(candidate))
                return Narrow(candidate);
        }
    }
    return std::nullopt;
}

TProcessResult TSpawnProcessRunner::RunBounded(const std::string& program, const std::vector<std::string>& args,
                                               const TOutputSink* standardOutput) const
{
    TProcessResult result;
    TRun run;
    result.StartError = static_cast<int>(Start(program, args, standardOutput != nullptr, run));
    if (result.StartError != 0)
        return result;
    result.Started = true;
    Supervise(run, standardOutput, TClock::now() + FTimeLimit, result);
    return result;
}

} // namespace orvant::platform
