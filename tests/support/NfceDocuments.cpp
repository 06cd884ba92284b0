#include "support/NfceDocuments.h"

#include <cstdio>

namespace orvant::test {

namespace {

std::string Padded(std::int64_t value, int width)
{
    char text[32];
    std::snprintf(text, sizeof text, "%0*lld", width, static_cast<long long>(value));
    return text;
}

// Modulus 11 over the 43 digits, weights 2..9 from the right; written apart
// from the program's own, so that each checks the other.
int CheckDigit(const std::string& digits)
{
    int sum = 0;
    for (std::size_t i = 0; i < digits.size(); ++i)
        sum += (digits[digits.size() - 1 - i] - '0') * static_cast<int>(2 + i % 8);
    return sum % 11 < 2 ? 0 : 11 - sum % 11;
}

} // namespace

std::string TNfceInvoice::Key() const
{
    const std::string first43 = State + YearMonth.substr(2, 4) + Cnpj + Padded(Model, 2) + Padded(Series, 3)
        + Padded(Number, 9) + std::to_string(EmissionType) + Padded(Code, 8);
    return first43 + std::to_string(CheckDigit(first43));
}

std::string TNfceInvoice::Xml() const
{
    const std::string key = Key();
    const std::string issued = YearMonth.substr(0, 4) + "-" + YearMonth.substr(4, 2) + "-" + Day + "T10:15:00-03:00";
    std::string nfe = "<NFe xmlns=\"http://www.portalfiscal.inf.br/nfe\"><infNFe Id=\"NFe" + key
        + "\" versao=\"4.00\"><ide><cUF>" + State + "</cUF><cNF>" + Padded(Code, 8) + "</cNF><mod>"
        + std::to_string(Model) + "</mod><serie>" + std::to_string(Series) + "</serie><nNF>" + std::to_string(Number)
        + "</nNF><dhEmi>" + issued + "</dhEmi><tpEmis>" + std::to_string(EmissionType) + "</tpEmis><cDV>"
        + key.substr(43) + "</cDV><tpAmb>" + std::to_string(Environment) + "</tpAmb></ide><emit><CNPJ>" + Cnpj
        + "</CNPJ><xNome>Mercado Teste</xNome></emit><total><ICMSTot><vNF>" + Total
        + "</vNF></ICMSTot></total></infNFe></NFe>";
    if (!Authorised)
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + nfe;
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><nfeProc xmlns=\"http://www.portalfiscal.inf.br/nfe\" "
           "versao=\"4.00\">" + nfe + "<protNFe versao=\"4.00\"><infProt><tpAmb>" + std::to_string(Environment)
        + "</tpAmb><chNFe>" + key + "</chNFe><dhRecbto>" + issued + "</dhRecbto><nProt>135260000000001</nProt><cStat>"
        + AuthorisationStatus + "</cStat><xMotivo>Autorizado o uso da NF-e</xMotivo></infProt></protNFe></nfeProc>";
}

std::string CancellationXml(const std::string& key, const std::string& status, const std::string& eventType)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><procEventoNFe xmlns=\"http://www.portalfiscal.inf.br/nfe\" "
           "versao=\"1.00\"><evento versao=\"1.00\"><infEvento Id=\"ID" + eventType + key + "01\"><cOrgao>35</cOrgao>"
           "<tpAmb>1</tpAmb><CNPJ>" + key.substr(6, 14) + "</CNPJ><chNFe>" + key + "</chNFe><dhEvento>"
           "2026-11-21T10:20:00-03:00</dhEvento><tpEvento>" + eventType + "</tpEvento><nSeqEvento>1</nSeqEvento>"
           "<detEvento versao=\"1.00\"><descEvento>Cancelamento</descEvento><nProt>135260000000001</nProt>"
           "<xJust>Cliente desistiu da compra</xJust></detEvento></infEvento></evento><retEvento versao=\"1.00\">"
           "<infEvento><tpAmb>1</tpAmb><cStat>" + status + "</cStat><chNFe>" + key
        + "</chNFe></infEvento></retEvento></procEventoNFe>";
}

std::string VoidedRangeXml(const std::string& cnpj, int series, std::int64_t first, std::int64_t last,
                           const std::string& status)
{
    const std::string fields = "<ano>26</ano><CNPJ>" + cnpj + "</CNPJ><mod>65</mod><serie>" + std::to_string(series)
        + "</serie><nNFIni>" + std::to_string(first) + "</nNFIni><nNFFin>" + std::to_string(last) + "</nNFFin>";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><procInutNFe xmlns=\"http://www.portalfiscal.inf.br/nfe\" "
           "versao=\"4.00\"><inutNFe versao=\"4.00\"><infInut Id=\"ID35" + cnpj + "\"><tpAmb>1</tpAmb>"
           "<xServ>INUTILIZAR</xServ><cUF>35</cUF>" + fields + "<xJust>Falha no sistema do PDV</xJust></infInut>"
           "</inutNFe><retInutNFe versao=\"4.00\"><infInut><tpAmb>1</tpAmb><cStat>" + status + "</cStat>" + fields
        + "</infInut></retInutNFe></procInutNFe>";
}

} // namespace orvant::test
