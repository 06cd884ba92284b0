#pragma once
// An owned file descriptor, closed when it goes away, and pipes made of two.
// POSIX only: included by the *Posix.cpp units and the Linux process code, never by
// a header the other folders include on Windows.

#include <fcntl.h>
#include <optional>
#include <unistd.h>
#include <utility>

namespace orvant::platform {

class TFileDescriptor {
public:
    TFileDescriptor() = default;
    explicit TFileDescriptor(int fd) : FFd(fd) {}
    ~TFileDescriptor() { Close(); }
    TFileDescriptor(TFileDescriptor&& other) noexcept : FFd(std::exchange(other.FFd, -1)) {}
    TFileDescriptor& operator=(TFileDescriptor&& other) noexcept
    {
        if (this != &other) {
            Close();
            FFd = std::exchange(other.FFd, -1);
        }
        return *this;
    }

    int Get() const { return FFd; }
    bool IsOpen() const { return FFd >= 0; }
    // Gives the descriptor up without closing it.
    int Release() { return std::exchange(FFd, -1); }
    void Close()
    {
        if (FFd >= 0)
            ::close(std::exchange(FFd, -1));
    }

private:
    int FFd = -1;
};

struct TPipe {
    TFileDescriptor ReadEnd;
    TFileDescriptor WriteEnd;
};

// Both ends are close-on-exec, so a program started later holds an end only
// where it was placed on purpose (a dup2 in the spawn actions clears the flag
// on the copy). Nothing, with errno set, when the system refused.
inline std::optional<TPipe> OpenPipe()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return std::nullopt;
    return TPipe{TFileDescriptor(ends[0]), TFileDescriptor(ends[1])};
}

} // namespace orvant::platform
