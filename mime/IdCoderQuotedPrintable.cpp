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
// byte was a CR (whose LF then belongs to the same line end).
class TQuotedPrintableWriter {
public:
    explicit TQuotedPrintableWriter(TStream& destination) : FDestination(destination) { FOut.reserve(kFlushAt + 16); }

    void Put(const std::uint8_t* bytes, std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t b = bytes[i];
            const TByteKind kind = kKinds[b];
            if (FAfterCR) {
                FAfterCR = false;
                if (kind == TByteKind::LF)
                    continue;
            }
            switch (kind) {
            case TByteKind::CR:
                EndLine();
                FAfterCR = true;
                continue;
            case TByteKind::LF:
                EndLine();
                continue;
            default:
                break;
            }
            FLineOpen = true;
            if (FHeldBlank != 0) {
                Piece(&FHeldBlank, 1);
                FHeldBlank = 0;
            }
            if (kind == TByteKind::Blank) {
                FHeldBlank = b;
            } else if (kind == TByteKind::Literal && !(b == '.' && FLineLength == 0)) {
                Piece(&b, 1);
            } else {
                const std::uint8_t escaped[3] = {'=', std::uint8_t(kHex[b >> 4]), std::uint8_t(kHex[b & 15])};
                Piece(escaped, 3);
            }
        }
        if (FOut.size() >= kFlushAt)
            Flush();
    }

    // A last line without line end still gets one.
    void Finish()
    {
        if (FLineOpen)
            EndLine();
        Flush();
    }

private:
    static constexpr std::size_t kFlushAt = 64 * 1024;

    void Piece(const std::uint8_t* piece, std::size_t length)
    {
        FOut.insert(FOut.end(), piece, piece + length);
        FLineLength += length;
        if (FLineLength >= kSoftBreakAt) {
            static constexpr std::uint8_t kSoftBreak[] = {'=', '\r', '\n'};
            FOut.insert(FOut.end(), kSoftBreak, kSoftBreak + 3);
            FLineLength = 0;
        }
    }

    void EndLine()
    {
        if (FHeldBlank != 0) {
            const bool blank = FHeldBlank == ' ';
            const std::uint8_t escaped[3] = {'=', std::uint8_t(blank ? '2' : '0'), std::uint8_t(blank ? '0' : '9')};
            Piece(escaped, 3);
            FHeldBlank = 0;
        }
        FOut.push_back('\r');
        FOut.push_back('\n');
        FLineLength = 0;
        FLineOpen = false;
    }

    void Flush()
    {
        FDestination.WriteBuffer(FOut.data(), static_cast<std::int64_t>(FOut.size()));
        FOut.clear();
    }

    TStream& FDestination;
    TIdBytes FOut;
    std::size_t FLineLength = 0;
    std::uint8_t FHeldBlank = 0;
    bool FLineOpen = false;
    bool FAfterCR = false;
};

int HexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

} // namespace

void TIdEncoderQuotedPrintable::Encode(TStream& source, TStream& destination, std::int64_t byteCount)
{
    constexpr std::size_t kBlock = 64 * 1024;
    TIdBytes in(kBlock);
    TQuotedPrintableWriter writer(destination);
    std::uint64_t left = byteCount < 0 ? UINT64_MAX : static_cast<std::uint64_t>(byteCount);
    while (left > 0) {
        const std::size_t n = ReadUpTo(source, in.data(), static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, left)));
        if (n == 0)
            break;
        left -= n;
        writer.Put(in.data(), n);
    }
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
                const int hi = HexValue(encoded[i + 1]);
                const int lo = i + 2 < last ? HexValue(encoded[i + 2]) : -1;
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
