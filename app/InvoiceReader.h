#pragma once
// Reads one invoice file of a terminal: what kind of document it is and the
// fields the month's checks need. The bytes are those the copy already holds, so
// the share is read once. Every field is kept as the file writes it (trimmed);
// the checks decide what a value means. A file the XML parser refuses, or a
// document that is no NFC-e file, is a kind of its own: reading never fails.
//
// Elements are matched by local name within the NFC-e namespace
// (http://www.portalfiscal.inf.br/nfe), whatever prefix the file binds it to.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace pugi {
class xml_document;
}

namespace orvant::app {

inline constexpr std::string_view kNfeNamespace = "http://www.portalfiscal.inf.br/nfe";

// A larger file is no invoice (a busy NFC-e is a few hundred KiB) and is not held
// in memory for the report.
inline constexpr std::size_t kMaxInvoiceFileSize = 8 * 1024 * 1024;

enum class TDocumentKind {
    dkInvoice,       // nfeProc (with the authorisation) or a bare NFe (without)
    dkEvent,         // procEventoNFe: a cancellation or another event
    dkVoidedRange,   // procInutNFe: numbers voided ("inutilizados")
    dkNotNfce,       // well-formed XML, but none of the above
    dkNotWellFormed, // the XML parser refused it (or it is too large to read)
};

struct TInvoiceDocument {
    TDocumentKind Kind = TDocumentKind::dkNotWellFormed;
    std::string Problem; // dkNotWellFormed: the parser's reason and the byte offset; dkNotNfce: the root found

    // dkInvoice: NFe/infNFe
    std::string Id;           // @Id: "NFe" + key
    std::string State;        // ide/cUF
    std::string Code;         // ide/cNF
    std::string Model;        // ide/mod
    std::string Series;       // ide/serie
    std::string Number;       // ide/nNF
    std::string IssuedAt;     // ide/dhEmi, ISO 8601 with offset
    std::string EmissionType; // ide/tpEmis
    std::string CheckDigit;   // ide/cDV
    std::string Environment;  // ide/tpAmb; for events and voided ranges their own tpAmb
    std::string Cnpj;         // emit/CNPJ; for events and voided ranges their own CNPJ
    std::string Total;        // total/ICMSTot/vNF
    bool HasAuthorisation = false; // a protNFe element is there
    std::string AuthorisedKey;     // protNFe/infProt/chNFe
    std::string AuthorisationStatus; // protNFe/infProt/cStat

    // dkEvent: evento/infEvento and retEvento/infEvento
    std::string EventKey;    // chNFe
    std::string EventType;   // tpEvento: 110111 cancellation, 110112 by substitution
    std::string EventStatus; // retEvento's cStat

    // dkVoidedRange: inutNFe/infInut and retInutNFe/infInut
    std::string VoidYear;    // ano, two digits
    std::string FirstNumber; // nNFIni
    std::string LastNumber;  // nNFFin
    std::string VoidStatus;  // retInutNFe's cStat
};

// Reads file after file into one parser's memory, parsing each file's bytes where
// they lie (they are altered): what a busy month's thousands of files need.
class TInvoiceReader {
public:
    TInvoiceReader();
    ~TInvoiceReader();
    TInvoiceReader(const TInvoiceReader&) = delete;
    TInvoiceReader& operator=(const TInvoiceReader&) = delete;

    // `bytes`: the file's content, or nothing when the file of `fileSize` bytes
    // was too large to be kept.
    TInvoiceDocument Read(std::string& bytes, std::uint64_t fileSize);

private:
    std::unique_ptr<pugi::xml_document> FDocument;
};

TInvoiceDocument ReadInvoiceDocument(std::string_view bytes);
// The same for a file of `fileSize` bytes whose bytes were kept only when it was
// small enough to be an invoice.
TInvoiceDocument ReadInvoiceDocument(std::string_view bytes, std::uint64_t fileSize);

} // namespace orvant::app
