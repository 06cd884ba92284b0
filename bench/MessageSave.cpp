// End-to-end driver of the message writer: the send dialog's message (a text part and
// a 7-Zip archive) saved with TIdMessage::SaveToStream, the archive being the file
// named on the command line. Prints the time and the attachment's MiB/s; run it under
// /usr/bin/time -v for the peak memory, beside `base64 -w 76` of the same file for
// the throughput (scripts/bench-message-save does both).
//
//   bench_MessageSave ARCHIVE [OUTPUT]     (OUTPUT: /dev/null when not given)

#include "mail/IdAttachmentFile.h"
#include "mail/IdMessage.h"
#include "mail/IdText.h"
#include "mime/IdGlobal.h"
#include "mime/IdStream.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s ARCHIVE [OUTPUT]\n", argv[0]);
        return 2;
    }
    const char* output = argc > 2 ? argv[2] : "/dev/null";
    try {
        const auto msg = MakeComponent<TIdMessage>();
        msg->From().SetAddress(u"automail@dravik.com.br");
        msg->From().SetName(u"Dravik Automail");
        msg->ReplyTo().SetEMailAddresses(u"automail@dravik.com.br");
        msg->Recipients().Add().SetText(u"contador@example.com.br");
        msg->SetSubject(u"Loja Centro - XML - Março de 2026");
        msg->SetEncoding(TIdMessageEncoding::meMIME);
        TIdText& text = TCollection::Emplace<TIdText>(msg->MessageParts());
        text.Body().Add(u"Segue em anexo os arquivos referentes");
        text.SetContentType(u"text/plain; charset=iso-8859-1");
        TCollection::Emplace<TIdAttachmentFile>(msg->MessageParts(), FromUtf8(argv[1]));

        TFileStream out(FromUtf8(output), TFileStream::TMode::fmCreate);
        const auto start = std::chrono::steady_clock::now();
        msg->SaveToStream(out);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double mib = static_cast<double>(std::filesystem::file_size(argv[1])) / (1 << 20);
        std::printf("SaveToStream: %.0f MiB attachment in %.3f s = %.1f MiB/s\n", mib, seconds, mib / seconds);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
