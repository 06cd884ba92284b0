#include "net/IdWinsock.h"

namespace {

struct TWinsockBinding {
    TIdWinsockEntryPoints Entries;
    bool Bound = false;
    String Problem;
};

TWinsockBinding Bind()
{
    TWinsockBinding binding;
    HMODULE library = ::LoadLibraryW(IdWinsockLibraryName);
    if (library == nullptr) {
        binding.Problem = Format(u"Failed to load WS2_32.DLL (error %d).", {std::int64_t(::GetLastError())});
        return binding;
    }
    bool complete = true;
#define ID_WINSOCK_BIND_ENTRY(name)                                                                       \
    binding.Entries.name = reinterpret_cast<decltype(&::name)>(                                          \
        reinterpret_cast<void*>(::GetProcAddress(library, #name)));                                     \
    if (binding.Entries.name == nullptr) {                                                                \
        complete = false;                                                                                 \
        binding.Problem += (binding.Problem.empty() ? u"WS2_32.DLL lacks " : u", ") + FromUtf8(#name);   \
    }
    ID_WINSOCK_ENTRY_POINTS(ID_WINSOCK_BIND_ENTRY)
#undef ID_WINSOCK_BIND_ENTRY
    // The file stays loaded for the process's life: sockets of other components and
    // the TLS library's reads and writes may still use it.
    binding.Bound = complete;
    return binding;
}

} // namespace

const TIdWinsockEntryPoints* Winsock(String* VProblem)
{
    static const TWinsockBinding binding = Bind();
    if (VProblem != nullptr)
        *VProblem = binding.Problem;
    return binding.Bound ? &binding.Entries : nullptr;
}
