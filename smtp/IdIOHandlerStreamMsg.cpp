#include "smtp/IdIOHandlerStreamMsg.h"

#include <algorithm>
#include <string_view>

void TIdIOHandlerStreamMsg::Open()
{
    TIdIOHandlerStream::Open();
    FTerminatorWasRead = false;
    FLastByteRecv = 0;
    FPendingTerminator.clear();
    FSourceExhausted = false;
}

std::int32_t TIdIOHandlerStreamMsg::ReceiveFromSource(TIdBytes& VBuffer)
{
    if (FTerminatorWasRead || VBuffer.empty())
        return 0;
    if (!FSourceExhausted) {
        const std::int32_t count = TIdIOHandlerStream::ReceiveFromSource(VBuffer);
        if (count > 0) {
            FLastByteRecv = VBuffer[static_cast<std::size_t>(count) - 1];
            return count;
        }
        // The closing line starts on a line of its own: complete the last line first.
        FSourceExhausted = true;
        const std::string_view closing = FLastByteRecv == 10 ? ".\r\n" : FLastByteRecv == 13 ? "\n.\r\n" : "\r\n.\r\n";
        FPendingTerminator.assign(closing.begin(), closing.end());
    }
    const std::size_t count = std::min(VBuffer.size(), FPendingTerminator.size());
    std::copy_n(FPendingTerminator.begin(), count, VBuffer.begin());
    FPendingTerminator.erase(FPendingTerminator.begin(), FPendingTerminator.begin() + static_cast<std::ptrdiff_t>(count));
    FTerminatorWasRead = FPendingTerminator.empty();
    return static_cast<std::int32_t>(count);
}

String TIdIOHandlerStreamMsg::ReadLn(const String& ATerminator, std::int32_t ATimeout, std::int32_t AMaxLineLength,
                                     const IIdTextEncodingPtr& AByteEncoding)
{
    String line = TIdIOHandlerStream::ReadLn(ATerminator, ATimeout, AMaxLineLength, AByteEncoding);
    // The closing line is the last thing there is to read; a "." line of the file
    // itself still has at least the closing line behind it.
    const bool isClosingLine = FTerminatorWasRead && InputBufferIsEmpty() && line == u".";
    if (FEscapeLines && !isClosingLine && !line.empty() && line[0] == u'.')
        line.insert(0, 1, u'.');
    return line;
}

void TIdIOHandlerStreamMsg::WriteLn(const String& AOut, const IIdTextEncodingPtr& AByteEncoding)
{
    if (FUnescapeLines && AOut.size() >= 2 && AOut[0] == u'.' && AOut[1] == u'.')
        TIdIOHandlerStream::WriteLn(AOut.substr(1), AByteEncoding);
    else
        TIdIOHandlerStream::WriteLn(AOut, AByteEncoding);
}
