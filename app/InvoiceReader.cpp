#include "app/InvoiceReader.h"

#include <pugixml.hpp>

#include <initializer_list>

namespace orvant::app {

namespace {

std::string_view LocalName(std::string_view name)
{
    const auto colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// The namespace an element's name is in: its prefix's (or the default) binding
// on the element itself or the nearest ancestor that makes one.
std::string_view NamespaceOf(const pugi::xml_node& element)
{
    const std::string_view name = element.name();
    const auto colon = name.find(':');
    const std::string attribute = colon == std::string_view::npos
        ? std::string("xmlns")
        : "xmlns:" + std::string(name.substr(0, colon));
    for (pugi::xml_node n = element; n.type() == pugi::node_element; n = n.parent()) {
        if (const pugi::xml_attribute a = n.attribute(attribute.c_str()))
            return a.value();
    }
    return {};
}

bool IsNfeElement(const pugi::xml_node& node, std::string_view local)
{
    return node.type() == pugi::node_element && LocalName(node.name()) == local && NamespaceOf(node) == kNfeNamespace;
}

pugi::xml_node Child(const pugi::xml_node& parent, std::string_view local)
{
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
        if (IsNfeElement(c, local))
            return c;
    }
    return {};
}

pugi::xml_node Path(pugi::xml_node node, std::initializer_list<std::string_view> steps)
{
    for (const std::string_view step : steps) {
        if (!node)
            break;
        node = Child(node, step);
    }
    return node;
}

// Every field read is ASCII by the layout (digits, codes, dates) and short; what a
// file holds instead reaches messages and the CSV only as printable ASCII, and cut.
constexpr std::size_t kMaxFieldLength = 64;

std::string Printable(std::string_view text)
{
    std::string out;
    for (const char c : text.substr(0, kMaxFieldLength))
        out += c >= 0x20 && c <= 0x7e ? c : '?';
    if (text.size() > kMaxFieldLength)
        out += "...";
    return out;
}

std::string Trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    return Printable(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

// The text of the element at `steps` below `node`; empty when it is not there.
std::string Text(const pugi::xml_node& node, std::initializer_list<std::string_view> steps)
{
    const pugi::xml_node found = Path(node, steps);
    return found ? Trimmed(found.child_value()) : std::string();
}

void ReadInvoice(const pugi::xml_node& nfe, const pugi::xml_node& authorisation, TInvoiceDocument& d)
{
    d.Kind = TDocumentKind::dkInvoice;
    const pugi::xml_node info = Child(nfe, "infNFe");
    d.Id = Trimmed(info.attribute("Id").value());
    const pugi::xml_node ide = Child(info, "ide");
    d.State = Text(ide, {"cUF"});
    d.Code = Text(ide, {"cNF"});
    d.Model = Text(ide, {"mod"});
    d.Series = Text(ide, {"serie"});
    d.Number = Text(ide, {"nNF"});
    d.IssuedAt = Text(ide, {"dhEmi"});
    d.EmissionType = Text(ide, {"tpEmis"});
    d.CheckDigit = Text(ide, {"cDV"});
    d.Environment = Text(ide, {"tpAmb"});
    d.Cnpj = Text(info, {"emit", "CNPJ"});
    d.Total = Text(info, {"total", "ICMSTot", "vNF"});
    if (authorisation) {
        d.HasAuthorisation = true;
        d.AuthorisedKey = Text(authorisation, {"infProt", "chNFe"});
        d.AuthorisationStatus = Text(authorisation, {"infProt", "cStat"});
    }
}

void ReadEvent(const pugi::xml_node& root, TInvoiceDocument& d)
{
    d.Kind = TDocumentKind::dkEvent;
    const pugi::xml_node info = Path(root, {"evento", "infEvento"});
    d.EventKey = Text(info, {"chNFe"});
    d.EventType = Text(info, {"tpEvento"});
    d.Environment = Text(info, {"tpAmb"});
    d.Cnpj = Text(info, {"CNPJ"});
    d.EventStatus = Text(root, {"retEvento", "infEvento", "cStat"});
}

void ReadVoidedRange(const pugi::xml_node& root, TInvoiceDocument& d)
{
    d.Kind = TDocumentKind::dkVoidedRange;
    const pugi::xml_node info = Path(root, {"inutNFe", "infInut"});
    d.Environment = Text(info, {"tpAmb"});
    d.VoidYear = Text(info, {"ano"});
    d.Cnpj = Text(info, {"CNPJ"});
    d.Model = Text(info, {"mod"});
    d.Series = Text(info, {"serie"});
    d.FirstNumber = Text(info, {"nNFIni"});
    d.LastNumber = Text(info, {"nNFFin"});
    d.VoidStatus = Text(root, {"retInutNFe", "infInut", "cStat"});
}

std::string ParseFailure(pugi::xml_parse_status status)
{
    switch (status) {
    case pugi::status_no_document_element:
        return "nenhum elemento XML";
    case pugi::status_unrecognized_tag:
    case pugi::status_bad_start_element:
    case pugi::status_bad_end_element:
        return "marcação inválida";
    case pugi::status_end_element_mismatch:
        return "elemento fechado com outro nome";
    default:
        return "XML malformado ou cortado";
    }
}

// The document read from a parsed tree.
TInvoiceDocument ReadDocument(const pugi::xml_document& document)
{
    TInvoiceDocument d;
    // The parser takes several top-level elements; a document has one root.
    // (Text after the root it drops without a word; harmless for what is read.)
    int elements = 0;
    for (pugi::xml_node n = document.first_child(); n; n = n.next_sibling()) {
        const bool text = n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata;
        if (text || (n.type() == pugi::node_element && ++elements > 1)) {
            d.Problem = "conteúdo fora do elemento raiz";
            return d;
        }
    }
    const pugi::xml_node root = document.document_element();
    if (IsNfeElement(root, "nfeProc") && Child(root, "NFe"))
        ReadInvoice(Child(root, "NFe"), Child(root, "protNFe"), d);
    else if (IsNfeElement(root, "NFe"))
        ReadInvoice(root, {}, d);
    else if (IsNfeElement(root, "procEventoNFe"))
        ReadEvent(root, d);
    else if (IsNfeElement(root, "procInutNFe"))
        ReadVoidedRange(root, d);
    else {
        d.Kind = TDocumentKind::dkNotNfce;
        const std::string_view ns = NamespaceOf(root);
        d.Problem = "elemento raiz " + Printable(root.name()) + (ns.empty() ? "" : " (" + Printable(ns) + ")");
    }
    return d;
}

TInvoiceDocument Refused(const pugi::xml_parse_result& parsed)
{
    TInvoiceDocument d;
    d.Problem = ParseFailure(parsed.status) + " perto do byte " + std::to_string(parsed.offset);
    return d;
}

TInvoiceDocument TooLarge(std::uint64_t fileSize)
{
    TInvoiceDocument d;
    d.Problem = "arquivo de " + std::to_string(fileSize) + " bytes, grande demais para uma nota";
    return d;
}

// Minimal parsing: the fields read are digits, codes and dates, so entities need
// no expansion; the encoding comes from the byte-order mark or the declaration
// (UTF-8, UTF-16, UTF-32, ISO-8859-1).
constexpr unsigned kParseOptions = pugi::parse_minimal;

} // namespace

TInvoiceReader::TInvoiceReader() : FDocument(std::make_unique<pugi::xml_document>()) {}

TInvoiceReader::~TInvoiceReader() = default;

TInvoiceDocument TInvoiceReader::Read(std::string& bytes, std::uint64_t fileSize)
{
    if (fileSize > kMaxInvoiceFileSize)
        return TooLarge(fileSize);
    const pugi::xml_parse_result parsed = FDocument->load_buffer_inplace(bytes.data(), bytes.size(), kParseOptions);
    return parsed ? ReadDocument(*FDocument) : Refused(parsed);
}

TInvoiceDocument ReadInvoiceDocument(std::string_view bytes)
{
    return ReadInvoiceDocument(bytes, bytes.size());
}

TInvoiceDocument ReadInvoiceDocument(std::string_view bytes, std::uint64_t fileSize)
{
    std::string copy(bytes); // parsed in place
    return TInvoiceReader().Read(copy, fileSize);
}

} // namespace orvant::app
