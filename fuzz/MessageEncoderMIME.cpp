// The base64 message encoder on any bytes: the output must be exactly the reference
// encoding (a plain bit-by-bit base64, written here independently) cut into lines of
// 76 characters with CR LF, and the library's decoder must give the bytes back.
#include "mime/IdCoderMIME.h"
#include "mime/IdMessageCoderMIME.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::string ReferenceLines(const std::uint8_t* data, std::size_t size)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string chars;
    std::uint32_t bits = 0;
    int count = 0;
    for (std::size_t i = 0; i < size; ++i) {
        bits = (bits << 8) | data[i];
        count += 8;
        while (count >= 6) {
            count -= 6;
            chars += alphabet[(bits >> count) & 63];
        }
    }
    if (count > 0)
        chars += alphabet[(bits << (6 - count)) & 63];
    while (chars.size() % 4 != 0)
        chars += '=';
    std::string lines;
    for (std::size_t pos = 0; pos < chars.size(); pos += 76)
        lines += chars.substr(pos, 76) + "\r\n";
    return lines;
}

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TMemoryStream source(TIdBytes(data, data + size));
    source.Seek(0, TSeekOrigin::soEnd); // the encoder starts from the beginning anyway
    TMemoryStream out;
    MakeComponent<TIdMessageEncoderMIME>()->Encode(source, out);
    const std::string encoded(out.Bytes().begin(), out.Bytes().end());

    Check(encoded == ReferenceLines(data, size));
    // Every line but the last holds 76 characters; none starts with a full stop.
    for (std::size_t pos = 0; pos < encoded.size();) {
        const std::size_t end = encoded.find("\r\n", pos);
        Check(end != std::string::npos);
        Check(end - pos == 76 || end + 2 == encoded.size());
        Check(end - pos <= 76 && end > pos && encoded[pos] != '.');
        pos = end + 2;
    }
    const TIdBytes decoded = TIdDecoderMIME::DecodeBytes(BytesToStringRaw(out.Bytes()));
    Check(decoded == TIdBytes(data, data + size));
    return 0;
}
