#include "mime/IdClassName.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

String ClassNameOf(const std::type_info& type)
{
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
    return FromUtf8(status == 0 && demangled ? demangled.get() : type.name());
}
