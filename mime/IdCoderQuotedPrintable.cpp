#include "mime/IdCoderQuotedPrintable.h"

#include <array>

namespace {

enum class TByteKind : std::uint8_t { Literal, Blank, Escaped, CR, LF };

constexpr std::array<TByteKind, 256> MakeKinds()
{
    std::array<TByteKind, 256> kinds{};
    for (std::size_t b = 0; b < 256; ++b)
        kinds[b] = (b >= '!' && b <= '~' && b != '=') ? TByteKind::Literal : TByteKind::Escaped;
    kinds[' '] = TByteKind::Blank;
    kinds['\t'] = TByteKind::Blank;
    kinds['\r'] = TByteKind::CR;
    kinds['\n'] = TByteKind::LF;
    return kinds;
}

constexpr std::array<TByteKind, 256> kKinds = MakeKinds();
constexpr char kHex[] = "0123456789ABCDEF";
constexpr std::size_t kSoftBreakAt = 70;

// The encoder's state between source blocks: the position on the output line, a
// blank held back until it is known whether it ends its line, and whether the last
// byte was a CR (whose LF then belongs to the same line end). Put works on local
// copies of the state, because every byte it stores could otherwise alias them.
class TQuotedPrintableWriter {
public:
    explicit TQuotedPrintableWriter(TStream& destination) : FDestination(destination), FOut(kBufferSize) {}

    void Put(const std::uint8_t* bytes, std::size_t count)
    {
        TState s = FState;
        std::uint8_t* o = FOut.data() + FUsed;
        std::uint8_t* const limit = FOut.data() + FOut.size() - 16;
        const auto softBreakIfFull = [&] {
            if (s.LineLength >= kSoftBreakAt) {
                o[0] = '=';
                o[1] = '\r';
                o[2] = '\n';
                o += 3;
                s.LineLength = 0;
            }
        };
        const auto literal = [&](std::uint8_t b) {
            *o++ = b;
            ++s.LineLength;
            softBreakIfFull();
        };
        const auto escaped = [&](std::uint8_t b) {
            o[0] = '=';
            o[1] = static_cast<std::uint8_t>(kHex[b >> 4]);
            o[2] = static_cast<std::uint8_t>(kHex[b & 15]);
            o += 3;
            s.LineLength += 3;
            softBreakIfFull();
        };
        for (std::size_t i = 0; i < count; ++i) {
            // One source byte writes at most a held blank, an escape, two soft breaks
            // and a line end.
            if (o > limit) {
                FUsed = static_cast<std::size_t>(o - FOut.data());
                Flush();
                o = FOut.data();
            }
            const std::uint8_t b = bytes[i];
            const TByteKind kind = kKinds[b];
            if (kind == TByteKind::Literal && s.HeldBlank == 0 && (b != '.' || s.LineLength != 0)) {
                s.LineOpen = true;
                s.AfterCR = false;
                literal(b);
                continue;
            }
            if (s.AfterCR) {
                s.AfterCR = false;
                if (kind == TByteKind::LF)
                    continue;
            }
            if (kind == TByteKind::CR || kind == TByteKind::LF) {
                if (s.HeldBlank != 0)
                    escaped(s.HeldBlank);
                s.HeldBlank = 0;
                o[0] = '\r';
                o[1] = '\n';
                o += 2;
                s.LineLength = 0;
                s.LineOpen = false;
                s.AfterCR = kind == TByteKind::CR;
                continue;
            }
            s.LineOpen = true;
            if (s.HeldBlank != 0) {
                literal(s.HeldBlank);
                s.HeldBlank = 0;
            }
            if (kind == TByteKind::Blank)
                s.HeldBlank = b;
            else if (kind == TByteKind::Literal && !(b == '.' && s.LineLength == 0))
                literal(b);
            else
                escaped(b);
        }
        FUsed = static_cast<std::size_t>(o - FOut.data());
        FState = s;
    }

    // A last line without line end still gets one.
    void Finish()
    {
        if (FState.LineOpen) {
            static constexpr std::uint8_t kLineEnd[] = {'\r'};
            FState.AfterCR = false;
            Put(kLineEnd, 1);
        }
        Flush();
    }

private:
    static constexpr std::size_t kBufferSize = 64 * 1024;

    struct TState {
        std::size_t LineLength = 0;
        std::uint8_t HeldBlank = 0;
        bool LineOpen = false;
        bool AfterCR = false;
    };

    void Flush()
    {
        FDestination.WriteBuffer(FOut.data(), static_cast<std::int64_t>(FUsed));
        FUsed = 0;
    }

    TStream& FDestination;
    TIdBytes FOut;
    std::size_t FUsed = 0;
    TState FState;
};

} // namespace

void TIdEncoderQuotedPrintable::Encode(TStream& source, TStream& destination, std::int64_t byteCount)
{
    constexpr std::size_t kBlock = 64 * 1024;
    TIdBytes in(kBlock);
    TQuotedPrintableWriter writer(destination);
    ForEachBlock(source, byteCount, in, [&](const std::uint8_t* bytes, std::size_t count) { writer.Put(bytes, count); });
    writer.Finish();
}

void TIdDecoderQuotedPrintable::Decode(StringView encoded, TStream& destination)
{
    TIdBytes out;
    out.reserve(encoded.size());
    std::size_t pos = 0;
    while (pos < encoded.size()) {
        // One encoded line and its line end.
        std::size_t end = pos;
        while (end < encoded.size() && encoded[end] != u'\r' && encoded[end] != u'\n')
            ++end;
        std::size_t next = end;
        bool hasLineEnd = false;
        if (next < encoded.size()) {
            hasLineEnd = true;
            next += (encoded[next] == u'\r' && next + 1 < encoded.size() && encoded[next + 1] == u'\n') ? 2 : 1;
        }
        std::size_t last = end;
        while (last > pos && (encoded[last - 1] == u' ' || encoded[last - 1] == u'\t'))
            --last;
        bool softBreak = false;
        for (std::size_t i = pos; i < last; ++i) {
            const char16_t c = encoded[i];
            if (c == u'=') {
                if (i + 1 == last) {
                    softBreak = true;
                    break;
                }
                const int hi = HexDigitValue(encoded[i + 1]);
                const int lo = i + 2 < last ? HexDigitValue(encoded[i + 2]) : -1;
                if (hi >= 0 && lo >= 0) {
                    out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
                    i += 2;
                    continue;
                }
            }
            out.push_back(c < 256 ? static_cast<std::uint8_t>(c) : std::uint8_t('?'));
        }
        if (hasLineEnd && !softBreak) {
            out.push_back('\r');
            out.push_back('\n');
        }
        pos = next;
    }
    destination.WriteBytes(out);
}
