// The invoice reader and the month's checks, on files written from the published
// layout (support/NfceDocuments.h).
#include "app/AccessKey.h"
#include "app/InvoiceReader.h"
#include "app/MonthManifest.h"
#include "app/MonthReport.h"
#include "app/MonthReportFiles.h"
#include "platform/Utf.h"
#include "support/NfceDocuments.h"

#include <gtest/gtest.h>

using namespace orvant::app;
using orvant::test::CancellationXml;
using orvant::test::TNfceInvoice;
using orvant::test::VoidedRangeXml;

namespace {

std::string U8(std::u16string_view s)
{
    return orvant::platform::Utf16ToUtf8(s);
}

// The problems' texts that contain `part`.
std::vector<std::string> ProblemsWith(const TMonthReport& report, const std::string& part)
{
    std::vector<std::string> found;
    for (const auto& p : report.Problems)
        if (U8(p.Text).find(part) != std::string::npos)
            found.push_back(U8(p.Text));
    return found;
}

} // namespace

TEST(AccessKey, CheckDigitByModulusElevenAgainstHandComputedKeys)
{
    // Only the last digit set: 1 x 2 = 2, r = 2, digit 11 - 2 = 9; one place to
    // the left the weight is 3: r = 3, digit 8. 6 x 2 = 12, r = 1: digit 0.
    EXPECT_EQ(AccessKeyCheckDigit(std::string(42, '0') + "1"), 9);
    EXPECT_EQ(AccessKeyCheckDigit(std::string(41, '0') + "10"), 8);
    EXPECT_EQ(AccessKeyCheckDigit(std::string(42, '0') + "6"), 0);
    EXPECT_EQ(AccessKeyCheckDigit(std::string(43, '0')), 0);
    // A whole key: the weighted sum is 500, r = 5, digit 6; and 505, r = 10, digit 1.
    EXPECT_EQ(AccessKeyCheckDigit("3526111234567800019565001000000123100000012"), 6);
    EXPECT_EQ(AccessKeyCheckDigit("3526111234567800019565001000000124100000013"), 1);
    EXPECT_EQ(AccessKeyCheckDigit("352611123456780001956500100000012310000001"), -1); // 42 digits
    EXPECT_EQ(AccessKeyCheckDigit("35261112345678000195650010000001231000000x2"), -1);

    const auto key = ParseAccessKey("NFe35261112345678000195650010000001231000000126");
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->CheckDigitRight());
    EXPECT_EQ(key->YearMonth(), "2611");
    EXPECT_EQ(key->Cnpj(), "12345678000195");
    EXPECT_EQ(key->Series(), "001");
    EXPECT_EQ(key->Number(), "000000123");
    EXPECT_FALSE(ParseAccessKey("35261112345678000195650010000001231000000127")->CheckDigitRight());
    EXPECT_FALSE(ParseAccessKey("3526111234567800019565001000000123100000012"));
}

TEST(InvoiceReader, EachKindOfDocument)
{
    TNfceInvoice invoice;
    invoice.Number = 123;
    invoice.Total = "45.90";
    TInvoiceDocument d = ReadInvoiceDocument(invoice.Xml());
    EXPECT_EQ(d.Kind, TDocumentKind::dkInvoice);
    EXPECT_EQ(d.Id, "NFe" + invoice.Key());
    EXPECT_EQ(d.Number, "123");
    EXPECT_EQ(d.Series, "1");
    EXPECT_EQ(d.Total, "45.90");
    EXPECT_EQ(d.Cnpj, "12345678000195");
    EXPECT_EQ(d.IssuedAt, "2026-11-21T10:15:00-03:00");
    EXPECT_TRUE(d.HasAuthorisation);
    EXPECT_EQ(d.AuthorisationStatus, "100");
    EXPECT_EQ(d.AuthorisedKey, invoice.Key());

    invoice.Authorised = false; // a bare NFe: contingency not yet transmitted
    d = ReadInvoiceDocument(invoice.Xml());
    EXPECT_EQ(d.Kind, TDocumentKind::dkInvoice);
    EXPECT_FALSE(d.HasAuthorisation);

    d = ReadInvoiceDocument(CancellationXml(invoice.Key()));
    EXPECT_EQ(d.Kind, TDocumentKind::dkEvent);
    EXPECT_EQ(d.EventKey, invoice.Key());
    EXPECT_EQ(d.EventType, "110111");
    EXPECT_EQ(d.EventStatus, "135");

    d = ReadInvoiceDocument(VoidedRangeXml("12345678000195", 1, 40, 42));
    EXPECT_EQ(d.Kind, TDocumentKind::dkVoidedRange);
    EXPECT_EQ(d.FirstNumber, "40");
    EXPECT_EQ(d.LastNumber, "42");
    EXPECT_EQ(d.VoidStatus, "102");
}

TEST(InvoiceReader, NamespacesPrefixesEncodingsAndBrokenFiles)
{
    // The namespace bound to a prefix reads as the default one.
    const std::string prefixed =
        "<nfe:nfeProc xmlns:nfe=\"http://www.portalfiscal.inf.br/nfe\"><nfe:NFe><nfe:infNFe Id=\"NFe1\"><nfe:ide>"
        "<nfe:nNF> 77 </nfe:nNF></nfe:ide></nfe:infNFe></nfe:NFe></nfe:nfeProc>";
    TInvoiceDocument d = ReadInvoiceDocument(prefixed);
    EXPECT_EQ(d.Kind, TDocumentKind::dkInvoice);
    EXPECT_EQ(d.Number, "77");
    EXPECT_FALSE(d.HasAuthorisation);

    // The same names in another namespace, or none, are no NFC-e.
    EXPECT_EQ(ReadInvoiceDocument("<nfeProc xmlns=\"urn:outro\"><NFe/></nfeProc>").Kind, TDocumentKind::dkNotNfce);
    EXPECT_EQ(ReadInvoiceDocument("<nfeProc><NFe/></nfeProc>").Kind, TDocumentKind::dkNotNfce);
    // A child in another namespace is not read as the invoice's.
    d = ReadInvoiceDocument("<NFe xmlns=\"http://www.portalfiscal.inf.br/nfe\"><infNFe><ide><x:nNF "
                            "xmlns:x=\"urn:outro\">5</x:nNF></ide></infNFe></NFe>");
    EXPECT_EQ(d.Kind, TDocumentKind::dkInvoice);
    EXPECT_EQ(d.Number, "");

    // ISO-8859-1 by declaration; a UTF-8 byte-order mark; UTF-16 with its mark.
    std::string latin = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><NFe xmlns=\"http://www.portalfiscal.inf.br/nfe\">"
                        "<infNFe><ide><nNF>9</nNF></ide><emit><xNome>Jos\xe9</xNome></emit></infNFe></NFe>";
    EXPECT_EQ(ReadInvoiceDocument(latin).Number, "9");
    TNfceInvoice invoice;
    EXPECT_EQ(ReadInvoiceDocument("\xEF\xBB\xBF" + invoice.Xml()).Kind, TDocumentKind::dkInvoice);
    std::string utf16 = "\xFF\xFE";
    for (const char c : invoice.Xml()) {
        utf16 += c;
        utf16 += '\0';
    }
    d = ReadInvoiceDocument(utf16);
    EXPECT_EQ(d.Kind, TDocumentKind::dkInvoice);
    EXPECT_EQ(d.AuthorisedKey, invoice.Key());

    // Cut short, not XML at all, empty, two roots.
    const std::string whole = invoice.Xml();
    for (const std::string& broken : {whole.substr(0, whole.size() / 2), std::string("PK\x03\x04 zip"), std::string(),
                                      std::string("<a/><b/>")}) {
        d = ReadInvoiceDocument(broken);
        EXPECT_EQ(d.Kind, TDocumentKind::dkNotWellFormed) << broken.substr(0, 40);
        EXPECT_FALSE(d.Problem.empty());
    }
    EXPECT_EQ(ReadInvoiceDocument("<x/>", kMaxInvoiceFileSize + 1).Kind, TDocumentKind::dkNotWellFormed);
}

// PDV1 and PDV2 issue series 1 and 2 of one store in November 2026; every case
// the accountant checks is planted once and found by number.
TEST(MonthReport, FindsEachProblemByNumberAndTerminal)
{
    TMonthCheck check(u"2026", u"11");
    const auto add = [&](std::u16string_view terminal, std::u16string_view folder, const std::string& name,
                         const std::string& xml) {
        check.Add(terminal, folder, orvant::platform::Utf8ToUtf16(name), ReadInvoiceDocument(xml));
    };
    TNfceInvoice invoice;
    invoice.Total = "10.00";
    // Series 1: 1..12 but 4-5 (a gap), 8 (voided), 10 (voided, but the range was refused).
    for (int n : {1, 2, 3, 6, 7, 9, 11, 12}) {
        invoice.Number = n;
        add(u"PDV1", kIssuedFolder, "s1-" + std::to_string(n) + ".xml", invoice.Xml());
    }
    add(u"PDV1", kCancelledFolder, "inut-8.xml", VoidedRangeXml(invoice.Cnpj, 1, 8, 8));
    add(u"PDV1", kCancelledFolder, "inut-10.xml", VoidedRangeXml(invoice.Cnpj, 1, 10, 10, "241"));
    invoice.Number = 2;
    add(u"PDV1", kCancelledFolder, "canc-2.xml", CancellationXml(invoice.Key()));
    invoice.Number = 99;
    add(u"PDV1", kCancelledFolder, "canc-99.xml", CancellationXml(invoice.Key())); // no invoice 99

    // Series 2 on PDV2: 1..3, with 3 also copied on PDV1 (a duplicate across terminals).
    TNfceInvoice second = invoice;
    second.Series = 2;
    for (int n : {1, 2, 3}) {
        second.Number = n;
        second.Total = "1.50";
        add(u"PDV2", kIssuedFolder, "s2-" + std::to_string(n) + ".xml", second.Xml());
    }
    add(u"PDV1", kIssuedFolder, "s2-3-copia.xml", second.Xml());
    // Series 2, 4: off-line contingency without authorisation.
    second.Number = 4;
    second.EmissionType = 9;
    second.Authorised = false;
    add(u"PDV2", kIssuedFolder, "s2-4.xml", second.Xml());

    // Not of the month: October, another CNPJ, the test environment (series 1, 13-15).
    TNfceInvoice stray = invoice;
    stray.Number = 13;
    stray.YearMonth = "202610";
    add(u"PDV2", kIssuedFolder, "outubro.xml", stray.Xml());
    stray = invoice;
    stray.Number = 14;
    stray.Cnpj = "98765432000110";
    add(u"PDV2", kIssuedFolder, "outro-cnpj.xml", stray.Xml());
    stray = invoice;
    stray.Number = 15;
    stray.Environment = 2;
    add(u"PDV2", kIssuedFolder, "teste.xml", stray.Xml());

    // A wrong check digit, a key that does not match its invoice, no NFC-e, no XML.
    TNfceInvoice third = invoice;
    third.Series = 3;
    third.Number = 1;
    std::string xml = third.Xml();
    const std::string key = third.Key();
    std::string wrongDigit = key.substr(0, 43) + static_cast<char>('0' + (key[43] - '0' + 1) % 10);
    for (std::size_t at; (at = xml.find(key)) != std::string::npos;)
        xml.replace(at, key.size(), wrongDigit);
    add(u"PDV2", kIssuedFolder, "digito.xml", xml);
    third.Number = 2;
    xml = third.Xml();
    xml.replace(xml.find("<cNF>"), 13, "<cNF>87654321");
    add(u"PDV2", kIssuedFolder, "altera.xml", xml);
    add(u"PDV2", kIssuedFolder, "leia-me.xml", "<leiame>oi</leiame>");
    add(u"PDV2", kIssuedFolder, "cortado.xml", "<nfeProc xmlns=\"http://www.portalfiscal.inf.br/nfe\"><NFe>");

    const TMonthReport report = check.Finish();
    const auto one = [&](const std::string& part) {
        const auto found = ProblemsWith(report, part);
        EXPECT_EQ(found.size(), 1u) << part;
        return found.empty() ? std::string() : found[0];
    };
    EXPECT_EQ(one("faltam as notas 4 a 5 (2 números)").rfind("PDV1, série 1:", 0), 0u);
    EXPECT_NE(one("falta a nota 10 ").find("a última (12)"), std::string::npos);
    EXPECT_TRUE(ProblemsWith(report, "nota 8 ").empty()); // voided and accepted
    EXPECT_NE(one("inutilização das notas 10 a 10").find("não foi homologada"), std::string::npos);
    EXPECT_NE(one("canc-99.xml").find("número 99"), std::string::npos);
    EXPECT_NE(one("está em 2 arquivos").find("PDV2 (Transmitidas\\s2-3.xml), PDV1 (Transmitidas\\s2-3-copia.xml)"),
              std::string::npos);
    EXPECT_NE(one("nota 4 (Transmitidas\\s2-4.xml)").find("contingência off-line"), std::string::npos);
    EXPECT_NE(one("outubro.xml").find("outro mês (emitida em 21/10/2026)"), std::string::npos);
    EXPECT_NE(one("outro-cnpj.xml").find("outro CNPJ (98.765.432/0001-10)"), std::string::npos);
    EXPECT_NE(one("teste.xml").find("homologação"), std::string::npos);
    EXPECT_NE(one("digito.xml").find("dígito verificador"), std::string::npos);
    EXPECT_NE(one("altera.xml").find("não confere com os dados da nota (código numérico)"), std::string::npos);
    EXPECT_NE(one("leia-me.xml").find("não é uma NFC-e"), std::string::npos);
    EXPECT_NE(one("cortado.xml").find("não é um XML legível"), std::string::npos);
    EXPECT_EQ(report.Problems.size(), 13u); // each of the above once, nothing else

    // Series 1: eight authorised less 2, cancelled; series 2: 1..3 once each, 4
    // unauthorised; series 3: the two with a faulty key still count.
    ASSERT_EQ(report.Terminals.size(), 2u);
    EXPECT_EQ(report.Terminals[0].Terminal, u"PDV1");
    EXPECT_EQ(report.Terminals[0].Totals.Invoices, 7);
    EXPECT_EQ(report.Terminals[0].Totals.InvoicesCents, 7000);
    EXPECT_EQ(report.Terminals[0].Totals.Cancelled, 1);
    EXPECT_EQ(report.Terminals[0].Totals.CancelledCents, 1000);
    EXPECT_EQ(report.Terminals[1].Totals.Invoices, 5); // s2 1-3, digito (11), altera
    EXPECT_EQ(report.Totals.Invoices, 12);
    EXPECT_EQ(report.Totals.InvoicesCents, 7000 + 3 * 150 + 2000);
    EXPECT_EQ(U8(report.Summary()), "Mês conferido: 2 PDVs, 12 notas, R$ 94,50; 13 problemas");

    // One CSV line per file, its totals those of the files.
    const std::string csv = MonthReportCsv(report);
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBFPDV;Pasta;Arquivo;Chave;", 0), 0u);
    EXPECT_NE(csv.find("PDV1;Transmitidas;s1-2.xml;" + [&] { TNfceInvoice i = invoice; i.Number = 2; return i.Key(); }()
                       + ";1;2;21/11/2026 10:15:00;10,00;cancelada\r\n"),
              std::string::npos);
    EXPECT_NE(csv.find("PDV2;Transmitidas;outubro.xml;"), std::string::npos);
    EXPECT_NE(csv.find(";autorizada (fora do mês)\r\n"), std::string::npos);
}

TEST(MonthReport, ASoundMonthMoneyAndTheCsvFieldsASpreadsheetWouldMisread)
{
    TMonthCheck check(u"2026", u"11", {"12345678000195"});
    check.AddTerminal(u"PDV1");
    TNfceInvoice invoice;
    invoice.Total = "45210.33";
    check.Add(u"PDV2", kIssuedFolder, u"=HYPERLINK(\"x\";\"y\").xml", ReadInvoiceDocument(invoice.Xml()));
    const TMonthReport report = check.Finish();
    EXPECT_TRUE(report.Problems.empty());
    EXPECT_EQ(U8(report.Summary()), "Mês conferido: 2 PDVs, 1 nota, R$ 45.210,33; nenhum problema");
    EXPECT_NE(MonthReportCsv(report).find(";\"'=HYPERLINK(\"\"x\"\";\"\"y\"\").xml\";"), std::string::npos);

    EXPECT_EQ(U8(FormatReais(123456789)), "R$ 1.234.567,89");
    EXPECT_EQ(U8(FormatReais(5)), "R$ 0,05");
    EXPECT_EQ(ParseCents("12.5"), 1250);
    EXPECT_EQ(ParseCents("0.05"), 5);
    EXPECT_EQ(ParseCents("7"), 700);
    for (const char* bad : {"", "1.234", "1,50", "-3.00", ".5", "5.", "1e3"})
        EXPECT_EQ(ParseCents(bad), -1) << bad;
    EXPECT_EQ(U8(ReportCsvPathFor(u"C:\\Kelmora\\Orvant\\Enviar\\2026\\11.7z")),
              "C:\\Kelmora\\Orvant\\Enviar\\2026\\11-resumo.csv");
}

TEST(InvoiceReader, WhatAFileHoldsReachesMessagesAsShortPrintableText)
{
    TNfceInvoice invoice;
    invoice.Total = std::string(5000, '9') + "\x01\xff";
    const TInvoiceDocument d = ReadInvoiceDocument(invoice.Xml());
    EXPECT_EQ(d.Total, std::string(64, '9') + "...");
    const TInvoiceDocument odd = ReadInvoiceDocument("<r\xc3\xa9 xmlns='\x1b[2J'/>");
    EXPECT_EQ(odd.Kind, TDocumentKind::dkNotNfce);
    EXPECT_EQ(odd.Problem, "elemento raiz r?? (?[2J)");
}
