// The quoted-printable message encoder on any bytes. Properties: every output line
// ends in CR LF and holds at most 76 characters (73 by construction), only printable
// ASCII, blanks and tabs occur, no line starts with a full stop or ends in white
// space, and decoding gives the input back with its line ends made CR LF. When the
// first byte ends in three 1 bits, the rest is put behind nearly 64 KiB of ordinary
// text, so it straddles the encoder's read blocks (only then: it is slow).
#include "mime/IdCoderQuotedPrintable.h"
#include "mime/IdMessageCoderQuotedPrintable.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

std::string NormalLineEnds(const std::string& text)
{
    TStringList lines;
    lines.SetText(BytesToStringRaw(TIdBytes(text.begin(), text.end())));
    const TIdBytes normal = ToBytesRaw(lines.Text());
    return std::string(normal.begin(), normal.end());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string input;
    if (size >= 2 && (data[0] & 7) == 7) {
        const std::size_t fill = 64 * 1024 - data[1] % 16;
        while (input.size() < fill)
            input += "Nota fiscal 12,50 =R$ ";
        input.resize(fill);
        input.append(reinterpret_cast<const char*>(data) + 2, size - 2);
    } else {
        input.assign(reinterpret_cast<const char*>(data), size);
    }

    TMemoryStream source(TIdBytes(input.begin(), input.end()));
    TMemoryStream out;
    MakeComponent<TIdMessageEncoderQuotedPrintable>()->Encode(source, out);
    const std::string encoded(out.Bytes().begin(), out.Bytes().end());

    for (std::size_t pos = 0; pos < encoded.size();) {
        const std::size_t end = encoded.find("\r\n", pos);
        Check(end != std::string::npos);
        Check(end - pos <= 76);
        if (end > pos) {
            Check(encoded[pos] != '.');
            Check(encoded[end - 1] != ' ' && encoded[end - 1] != '\t');
        }
        for (std::size_t i = pos; i < end; ++i) {
            const auto c = static_cast<unsigned char>(encoded[i]);
            Check((c >= 33 && c <= 126) || c == ' ' || c == '\t');
        }
        pos = end + 2;
    }
    Check(encoded.empty() == input.empty());

    const TIdBytes decoded = TIdDecoderQuotedPrintable::DecodeBytes(BytesToStringRaw(out.Bytes()));
    const std::string normal = NormalLineEnds(input);
    Check(decoded == TIdBytes(normal.begin(), normal.end()));
    return 0;
}
