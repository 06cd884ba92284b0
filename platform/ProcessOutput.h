#pragma once
// What is kept of a started program's output, on every system.

#include <cstddef>
#include <string>
#include <string_view>

namespace orvant::platform {

// How much of a program's output is kept to explain its failure: 7-Zip's
// error lines and its summary fit, a long file list does not.
inline constexpr std::size_t kKeptOutputSize = 8 * 1024;

// The last bytes of what was appended, to explain a failure with.
class TOutputTail {
public:
    explicit TOutputTail(std::size_t size) : FSize(size) {}
    void Append(std::string_view data);
    std::string Take();

private:
    std::size_t FSize;
    std::string FText;
};

} // namespace orvant::platform
