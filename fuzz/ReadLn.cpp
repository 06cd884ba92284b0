// Fuzz target: ReadLn over random chunkings of random input.
//
// Input: byte 0 chooses the terminator (LF by default, LF given explicitly, CR LF,
// or "ab"), the over-long-line action and the receive size; byte 1 is the maximum
// line length (0: none); bytes 2-3 seed the chunking and the time-outs scattered
// between chunks; the rest is what the peer sends before it closes.
//
// Properties: every line returned is the input at the read position, followed by
// its terminator (with LF, a CR before it is dropped as well), so the lines and
// their terminators put together are the input up to the last terminator; a split
// returns exactly MaxLineLength bytes of a line whose terminator lies beyond the
// limit, and "Max line length exceeded." only comes for such a line; a time-out
// consumes nothing; at the peer's close no complete line is left unread.

#include "smtp/IdIOHandler.h"
#include "tests/support/ScriptedIOHandler.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Check(bool property)
{
    if (!property)
        std::abort();
}

struct Chunker {
    std::uint32_t state;
    std::uint32_t Next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    const std::uint8_t config = data[0];
    const std::int32_t maxLength = data[1];
    Chunker chunker{(std::uint32_t{data[2]} << 8 | data[3]) * 2654435761u | 1u};
    const std::string input(reinterpret_cast<const char*>(data + 4), size - 4);

    static const String kTerminators[] = {String(), String(1, LF), String(u"\r\n"), String(u"ab")};
    const String& terminator = kTerminators[config & 3];
    const std::string terminatorBytes = (config & 3) < 2 ? "\n" : (config & 3) == 2 ? "\r\n" : "ab";
    const bool dropsCR = (config & 3) < 2;
    const bool split = (config & 4) != 0;

    auto io = MakeScriptedIOHandler();
    io->SetMaxLineLength(maxLength);
    io->SetMaxLineAction(split ? TIdMaxLineAction::maSplit : TIdMaxLineAction::maException);
    io->SetRecvBufferSize(1 + ((config >> 3) & 15) * 7);
    for (std::size_t at = 0; at < input.size();) {
        const std::uint32_t r = chunker.Next();
        if ((r & 7) == 0)
            io->Timeout();
        const std::size_t n = std::min<std::size_t>(1 + (r >> 3) % 40, input.size() - at);
        io->Receive(std::string_view(input).substr(at, n));
        at += n;
    }
    io->PeerClose();

    const IIdTextEncodingPtr bytes = IndyTextEncoding_8Bit(); // one character per byte
    // Where the next terminator starts, relative to the read position.
    const auto nextTerminator = [&](std::size_t from) { return input.find(terminatorBytes, from); };
    std::size_t pos = 0;
    for (;;) {
        String line;
        try {
            line = io->ReadLn(terminator, IdTimeoutDefault, -1, bytes);
        } catch (const EIdConnClosedGracefully&) {
            const std::size_t next = nextTerminator(pos);
            Check(next == std::string::npos);
            Check(maxLength == 0 || input.size() - pos < std::size_t(maxLength) + terminatorBytes.size());
            return 0;
        } catch (const EIdReadLnMaxLineLengthExceeded&) {
            const std::size_t next = nextTerminator(pos);
            Check(!split && maxLength > 0);
            Check(next == std::string::npos || next - pos > std::size_t(maxLength));
            return 0;
        }
        std::string text; // back to bytes: the 8-bit encoding maps each byte to one character
        for (const char16_t c : line)
            text += static_cast<char>(c);
        if (io->ReadLnTimedout()) {
            Check(line.empty() && !io->ReadLnSplit());
            continue;
        }
        Check(input.compare(pos, text.size(), text) == 0);
        const std::size_t next = nextTerminator(pos);
        if (io->ReadLnSplit()) {
            Check(split && maxLength > 0 && text.size() == std::size_t(maxLength));
            Check(next == std::string::npos || next - pos > std::size_t(maxLength));
            pos += text.size();
            continue;
        }
        std::size_t end = pos + text.size();
        if (dropsCR && next == end + 1 && input[end] == '\r')
            ++end;
        Check(next == end);
        Check(maxLength == 0 || next - pos <= std::size_t(maxLength));
        pos = end + terminatorBytes.size();
    }
}
