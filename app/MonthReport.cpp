#include "app/MonthReport.h"

#include "app/AccessKey.h"
#include "app/MonthReportFiles.h"
#include "platform/Utf.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>
#include <utility>

namespace orvant::app {

using platform::Utf8ToUtf16;

namespace {

std::u16string Text(std::string_view ascii)
{
    return Utf8ToUtf16(ascii);
}

std::u16string Count(std::int64_t n)
{
    return Text(std::to_string(n));
}

// "3" -> 3; -1 for anything but 1 to 18 digits.
std::int64_t ParseNumber(std::string_view text)
{
    if (text.empty() || text.size() > 18)
        return -1;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::u16string Plural(std::int64_t n, std::u16string_view one, std::u16string_view many)
{
    return Count(n) + u" " + std::u16string(n == 1 ? one : many);
}

// "12.345.678/0001-95"
std::u16string FormatCnpj(const std::string& cnpj)
{
    if (cnpj.size() != 14)
        return Text(cnpj);
    return Text(cnpj.substr(0, 2) + "." + cnpj.substr(2, 3) + "." + cnpj.substr(5, 3) + "/" + cnpj.substr(8, 4) + "-"
                + cnpj.substr(12));
}

// "2026-11-21T09:03:00-03:00" -> "21/11/2026"; the text itself when it is no such date.
std::u16string FormatDay(const std::string& isoDateTime)
{
    if (isoDateTime.size() < 10 || isoDateTime[4] != '-' || isoDateTime[7] != '-')
        return Text(isoDateTime);
    return Text(isoDateTime.substr(8, 2) + "/" + isoDateTime.substr(5, 2) + "/" + isoDateTime.substr(0, 4));
}

bool IsCancellation(const std::string& eventType)
{
    return eventType == "110111" || eventType == "110112";
}

enum class TAuthorisation { atAuthorised, atDenied, atMissing, atRefused };

TAuthorisation AuthorisationOf(const TInvoiceDocument& d)
{
    if (!d.HasAuthorisation)
        return TAuthorisation::atMissing;
    const std::string& s = d.AuthorisationStatus;
    if (s == "100" || s == "150")
        return TAuthorisation::atAuthorised;
    if (s == "110" || s == "301" || s == "302")
        return TAuthorisation::atDenied;
    return TAuthorisation::atRefused;
}

// A month holds tens of thousands of files: the records keep what the checks
// compare, and the texts of a problem are made from the file's line when needed.
struct TInvoiceRecord {
    std::size_t Line = 0;
    std::u16string Terminal;
    std::string Key;
    std::string Cnpj;
    std::int64_t Series = -1;
    std::int64_t Number = -1;
    std::string YearMonth; // "2026-11", from dhEmi (else the key)
    std::string IssuedAt;
    bool Nfce = true;
    bool TestEnvironment = false;
    TAuthorisation Authorisation = TAuthorisation::atMissing;
    std::int64_t Cents = -1;
};

struct TCancellationRecord {
    std::size_t Line = 0;
    std::u16string Terminal;
    std::string Key;
};

// "Transmitidas\a.xml"
std::u16string FileOf(const TReportLine& line)
{
    return line.Folder + u"\\" + line.Name;
}

// "PDV1 (Transmitidas\a.xml)"
std::u16string PlaceOf(const TReportLine& line)
{
    return line.Terminal + u" (" + FileOf(line) + u")";
}

// "PDV1, série 1, nota 123 (Transmitidas\a.xml)"
std::u16string InvoiceOf(const TReportLine& line)
{
    return line.Terminal + u", série " + Text(line.Series) + u", nota " + Text(line.Number) + u" (" + FileOf(line)
        + u")";
}

struct TVoidedRange {
    std::string Cnpj;
    std::int64_t Series = -1;
    std::int64_t First = 0;
    std::int64_t Last = 0;
};

// The parts of [from, to] no accepted voided range covers.
std::vector<std::pair<std::int64_t, std::int64_t>> Uncovered(std::int64_t from, std::int64_t to,
                                                             const std::vector<std::pair<std::int64_t, std::int64_t>>& voided)
{
    std::vector<std::pair<std::int64_t, std::int64_t>> open;
    std::int64_t next = from;
    for (const auto& [first, last] : voided) { // sorted by first
        if (last < next || first > to)
            continue;
        if (first > next)
            open.emplace_back(next, first - 1);
        next = std::max(next, last + 1);
        if (next > to)
            return open;
    }
    if (next <= to)
        open.emplace_back(next, to);
    return open;
}

} // namespace

std::u16string FormatDecimalComma(std::int64_t cents)
{
    const bool negative = cents < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(cents) : static_cast<std::uint64_t>(cents);
    std::string text = std::to_string(magnitude / 100) + ",";
    const auto rest = magnitude % 100;
    text += static_cast<char>('0' + rest / 10);
    text += static_cast<char>('0' + rest % 10);
    return Text((negative ? "-" : "") + text);
}

std::u16string FormatReais(std::int64_t cents)
{
    std::u16string plain = FormatDecimalComma(cents < 0 ? -cents : cents);
    std::u16string grouped = plain.substr(plain.size() - 3); // ",33"
    std::u16string whole = plain.substr(0, plain.size() - 3);
    while (whole.size() > 3) {
        grouped = u"." + whole.substr(whole.size() - 3) + grouped;
        whole.erase(whole.size() - 3);
    }
    return (cents < 0 ? u"-R$ " : u"R$ ") + whole + grouped;
}

std::int64_t ParseCents(std::string_view text)
{
    const auto point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (whole.empty() || whole.size() > 13 || fraction.size() > 2 || (point != std::string_view::npos && fraction.empty()))
        return -1;
    const std::int64_t units = ParseNumber(whole);
    const std::int64_t decimals = fraction.empty() ? 0 : ParseNumber(fraction);
    if (units < 0 || decimals < 0)
        return -1;
    return units * 100 + (fraction.size() == 1 ? decimals * 10 : decimals);
}

std::u16string TMonthReport::Summary() const
{
    return u"Mês conferido: " + Plural(TerminalCount, u"PDV", u"PDVs") + u", "
        + Plural(Totals.Invoices, u"nota", u"notas") + u", " + FormatReais(Totals.InvoicesCents) + u"; "
        + (Problems.empty() ? std::u16string(u"nenhum problema") : Plural(static_cast<std::int64_t>(Problems.size()),
                                                                          u"problema", u"problemas"))
        + (ExtractionIncomplete ? u"; extração incompleta" : u"");
}

std::u16string TMonthReport::ProblemList(std::size_t shown) const
{
    std::u16string text;
    for (std::size_t i = 0; i < Problems.size() && i < shown; ++i)
        text += u"\n- " + Problems[i].Text;
    if (Problems.size() > shown)
        text += u"\n(e mais " + Count(static_cast<std::int64_t>(Problems.size() - shown)) + u")";
    return text;
}

std::u16string ReportTotalsPerTerminal(const TMonthReport& report)
{
    std::u16string text;
    for (const auto& t : report.Terminals)
        text += (text.empty() ? u"" : u";") + t.Terminal + u"=" + Count(t.Totals.Invoices) + u"/"
            + FormatDecimalComma(t.Totals.InvoicesCents) + u"/" + Count(t.Totals.Cancelled) + u"/"
            + FormatDecimalComma(t.Totals.CancelledCents);
    return text;
}

struct TMonthCheck::TState {
    std::u16string Year;
    std::u16string Month;
    std::vector<std::string> StoreCnpjs;
    std::vector<std::u16string> Terminals;
    std::vector<TReportLine> Lines;
    std::vector<TMonthProblem> Problems;
    std::vector<TInvoiceRecord> Invoices;
    std::vector<TCancellationRecord> Cancellations;
    std::vector<TVoidedRange> Voided;

    void Problem(std::u16string_view terminal, std::u16string text)
    {
        Problems.push_back({std::u16string(terminal), std::move(text)});
    }
    void AddInvoice(TReportLine& line, const TInvoiceDocument& d);
    void AddEvent(TReportLine& line, const TInvoiceDocument& d);
    void AddVoidedRange(TReportLine& line, const TInvoiceDocument& d);
};

TMonthCheck::TMonthCheck(std::u16string year, std::u16string month, std::vector<std::string> storeCnpjs)
    : F(std::make_unique<TState>())
{
    F->Year = std::move(year);
    F->Month = std::move(month);
    F->StoreCnpjs = std::move(storeCnpjs);
}

TMonthCheck::~TMonthCheck() = default;

void TMonthCheck::AddTerminal(std::u16string_view terminal)
{
    if (std::find(F->Terminals.begin(), F->Terminals.end(), terminal) == F->Terminals.end())
        F->Terminals.emplace_back(terminal);
}

void TMonthCheck::Add(std::u16string_view terminal, std::u16string_view folder, std::u16string_view name,
                      const TInvoiceDocument& document)
{
    AddTerminal(terminal);
    TReportLine& line = F->Lines.emplace_back();
    line.Terminal = terminal;
    line.Folder = folder;
    line.Name = name;
    switch (document.Kind) {
    case TDocumentKind::dkInvoice:
        F->AddInvoice(line, document);
        break;
    case TDocumentKind::dkEvent:
        F->AddEvent(line, document);
        break;
    case TDocumentKind::dkVoidedRange:
        F->AddVoidedRange(line, document);
        break;
    case TDocumentKind::dkNotNfce:
        line.Status = u"não é NFC-e";
        F->Problem(terminal, std::u16string(terminal) + u": o arquivo " + FileOf(line)
                                 + u" não é uma NFC-e, um cancelamento nem uma inutilização (" + Text(document.Problem)
                                 + u"). Retire-o da pasta do PDV ou pergunte ao suporte do PDV o que ele é.");
        break;
    case TDocumentKind::dkNotWellFormed:
        line.Status = u"XML ilegível";
        F->Problem(terminal, std::u16string(terminal) + u": o arquivo " + FileOf(line) + u" não é um XML legível ("
                   + Text(document.Problem) + u"). Peça ao suporte do PDV uma cópia íntegra desse arquivo.");
        break;
    }
    line.CsvStart = CsvLineStart(line);
}

void TMonthCheck::TState::AddInvoice(TReportLine& line, const TInvoiceDocument& d)
{
    TInvoiceRecord r;
    r.Line = Lines.size() - 1;
    r.Terminal = line.Terminal;
    const auto key = ParseAccessKey(d.Id);
    r.Key = key ? key->Digits : std::string();
    r.Cnpj = d.Cnpj;
    r.Series = ParseNumber(d.Series);
    r.Number = ParseNumber(d.Number);
    r.IssuedAt = d.IssuedAt;
    r.Nfce = d.Model == "65";
    r.TestEnvironment = d.Environment == "2";
    r.Authorisation = AuthorisationOf(d);
    r.Cents = ParseCents(d.Total);
    if (d.IssuedAt.size() >= 7)
        r.YearMonth = d.IssuedAt.substr(0, 7);
    else if (key)
        r.YearMonth = "20" + std::string(key->YearMonth().substr(0, 2)) + "-" + std::string(key->YearMonth().substr(2));

    line.Key = r.Key.empty() ? d.Id : r.Key;
    line.Series = d.Series;
    line.Number = d.Number;
    line.IssuedAt = d.IssuedAt;
    line.TotalCents = r.Cents;
    const auto who = [&line] { return InvoiceOf(line); };

    if (!key) {
        Problem(line.Terminal, who() + u": o arquivo não traz uma chave de acesso de 44 dígitos (Id \"" + Text(d.Id)
                                   + u"\"). Peça ao suporte do PDV que confira a nota.");
    } else if (!key->CheckDigitRight()) {
        Problem(line.Terminal, who() + u": o dígito verificador da chave " + Text(key->Digits) + u" está errado (o certo é "
                                   + Count(AccessKeyCheckDigit(key->Digits.substr(0, 43)))
                                   + u"): a chave não vale na SEFAZ. Peça ao suporte do PDV que confira a nota.");
    } else {
        // The key repeats the invoice's own fields; any difference means one of
        // the two was altered after signing.
        std::vector<std::u16string> differ;
        const auto same = [](std::string_view inKey, const std::string& field) {
            const std::int64_t a = ParseNumber(inKey);
            return a >= 0 && a == ParseNumber(field);
        };
        if (!same(key->State(), d.State))
            differ.emplace_back(u"UF");
        if (r.YearMonth.size() == 7 && key->YearMonth() != r.YearMonth.substr(2, 2) + r.YearMonth.substr(5, 2))
            differ.emplace_back(u"mês de emissão");
        if (key->Cnpj() != d.Cnpj)
            differ.emplace_back(u"CNPJ");
        if (!same(key->Model(), d.Model))
            differ.emplace_back(u"modelo");
        if (!same(key->Series(), d.Series))
            differ.emplace_back(u"série");
        if (!same(key->Number(), d.Number))
            differ.emplace_back(u"número");
        if (!same(key->EmissionType(), d.EmissionType))
            differ.emplace_back(u"tipo de emissão");
        if (!same(key->Code(), d.Code))
            differ.emplace_back(u"código numérico");
        if (!d.CheckDigit.empty() && d.CheckDigit != std::string(1, key->CheckDigit()))
            differ.emplace_back(u"dígito verificador");
        if (d.HasAuthorisation && d.AuthorisedKey != key->Digits)
            differ.emplace_back(u"chave do protocolo de autorização");
        if (!differ.empty()) {
            std::u16string fields;
            for (std::size_t i = 0; i < differ.size(); ++i)
                fields += (i ? u", " : u"") + differ[i];
            Problem(line.Terminal, who() + u": a chave de acesso " + Text(key->Digits)
                                       + u" não confere com os dados da nota (" + fields
                                       + u"). Peça ao suporte do PDV que confira a nota.");
        }
    }

    switch (r.Authorisation) {
    case TAuthorisation::atAuthorised:
        line.Status = u"autorizada";
        break;
    case TAuthorisation::atDenied:
        line.Status = u"uso denegado";
        break;
    case TAuthorisation::atMissing:
        line.Status = u"sem autorização";
        Problem(line.Terminal, who()
                + (d.EmissionType == "9"
                       ? std::u16string(u": emitida em contingência off-line e ainda sem autorização da SEFAZ. Deixe o "
                                        u"PDV ligado à internet para que ele transmita a nota e extraia o mês de novo.")
                       : std::u16string(u": sem autorização da SEFAZ (o arquivo não tem o protocolo). Transmita a nota "
                                        u"pelo PDV e extraia o mês de novo.")));
        break;
    case TAuthorisation::atRefused:
        line.Status = u"não autorizada";
        Problem(line.Terminal, who() + u": a SEFAZ não autorizou a nota (situação " + Text(d.AuthorisationStatus)
                                   + u"). Resolva a rejeição no PDV e transmita a nota de novo.");
        break;
    }
    if (r.Cents < 0 && r.Authorisation == TAuthorisation::atAuthorised)
        Problem(line.Terminal, who() + u": o valor total (vNF \"" + Text(d.Total)
                                   + u"\") não pôde ser lido; a nota não entra na soma do mês.");
    Invoices.push_back(std::move(r));
}

void TMonthCheck::TState::AddEvent(TReportLine& line, const TInvoiceDocument& d)
{
    line.Key = d.EventKey;
    if (const auto key = ParseAccessKey(d.EventKey)) {
        line.Series = std::to_string(ParseNumber(key->Series()));
        line.Number = std::to_string(ParseNumber(key->Number()));
    }
    const auto who = [&line, &d] {
        return line.Terminal + u": o " + (IsCancellation(d.EventType) ? u"cancelamento" : u"evento") + u" do arquivo "
            + FileOf(line);
    };
    if (!IsCancellation(d.EventType)) {
        line.Status = u"evento " + Text(d.EventType);
        Problem(line.Terminal, who() + u" é do tipo " + Text(d.EventType)
                                   + u", que não é um cancelamento. Pergunte ao suporte do PDV o que ele é.");
        return;
    }
    if (d.Environment == "2") {
        line.Status = u"cancelamento de homologação";
        Problem(line.Terminal, who() + u" é do ambiente de homologação (teste), sem valor fiscal. Confira a configuração "
                                     u"do PDV.");
        return;
    }
    if (d.EventStatus == "135" || d.EventStatus == "155") {
        line.Status = u"cancelamento";
        Cancellations.push_back({Lines.size() - 1, line.Terminal, d.EventKey});
        return;
    }
    line.Status = u"cancelamento não aceito";
    Problem(line.Terminal, who()
            + (d.EventStatus == "136"
                   ? u" foi registrado pela SEFAZ, mas não vinculado à nota (situação 136). Confira na SEFAZ se a nota "
                     u"" + Text(d.EventKey) + u" está cancelada."
                   : u" não foi aceito pela SEFAZ (situação \"" + Text(d.EventStatus)
                         + u"\"). A nota continua valendo; cancele-a de novo pelo PDV."));
}

void TMonthCheck::TState::AddVoidedRange(TReportLine& line, const TInvoiceDocument& d)
{
    line.Series = d.Series;
    line.Number = d.FirstNumber + "-" + d.LastNumber;
    const std::int64_t first = ParseNumber(d.FirstNumber);
    const std::int64_t last = ParseNumber(d.LastNumber);
    const std::u16string what = line.Terminal + u": a inutilização das notas " + Text(d.FirstNumber) + u" a "
        + Text(d.LastNumber) + u" da série " + Text(d.Series) + u" (" + FileOf(line) + u")";
    if (d.VoidStatus != "102" || d.Environment == "2" || first < 0 || last < first) {
        line.Status = u"inutilização não homologada";
        Problem(line.Terminal, what + u" não foi homologada pela SEFAZ (situação \""
                                   + Text(d.VoidStatus) + u"\"" + (d.Environment == "2" ? u", homologação" : u"")
                                   + u"). Os números continuam em aberto; inutilize-os de novo.");
        return;
    }
    line.Status = u"inutilização";
    Voided.push_back({d.Cnpj, ParseNumber(d.Series), first, last});
}

TMonthReport TMonthCheck::Finish()
{
    TState& s = *F;
    TMonthReport report;
    report.Year = s.Year;
    report.Month = s.Month;
    report.TerminalCount = static_cast<int>(s.Terminals.size());
    report.Lines = std::move(s.Lines);
    report.Problems = std::move(s.Problems);
    const auto problem = [&report](std::u16string_view terminal, std::u16string text) {
        report.Problems.push_back({std::u16string(terminal), std::move(text)});
    };

    // The store's CNPJs: as configured, else the one most invoices carry.
    std::set<std::string> store(s.StoreCnpjs.begin(), s.StoreCnpjs.end());
    if (store.empty()) {
        std::map<std::string, int> seen;
        for (const auto& r : s.Invoices)
            if (r.Nfce && !r.TestEnvironment && !r.Cnpj.empty())
                ++seen[r.Cnpj];
        const auto most = std::max_element(seen.begin(), seen.end(),
                                           [](const auto& a, const auto& b) { return a.second < b.second; });
        if (most != seen.end())
            store.insert(most->first);
    }
    const std::string month = std::string(s.Year.begin(), s.Year.end()) + "-" + std::string(s.Month.begin(), s.Month.end());

    // Which invoices belong to the month; the others are named, once each.
    std::vector<const TInvoiceRecord*> belonging;
    for (const auto& r : s.Invoices) {
        std::u16string why;
        if (!r.Nfce)
            why = u": não é uma NFC-e (modelo 65), e sim outro modelo de nota. Ela não entra no total; retire-a da pasta "
                  u"do PDV.";
        else if (r.TestEnvironment)
            why = u": emitida em ambiente de homologação (teste), sem valor fiscal. Ela não entra no total; confira a "
                  u"configuração do PDV e retire a nota da pasta.";
        else if (r.YearMonth != month)
            why = u": é de outro mês (emitida em " + FormatDay(r.IssuedAt)
                + u") e está na pasta deste. Ela não entra no total; deve ir no arquivo do mês dela.";
        else if (!store.count(r.Cnpj))
            why = u": é de outro CNPJ (" + FormatCnpj(r.Cnpj)
                + u"), não da loja. Ela não entra no total; retire-a da pasta do PDV.";
        if (why.empty()) {
            belonging.push_back(&r);
            continue;
        }
        report.Lines[r.Line].Status += u" (fora do mês)";
        problem(r.Terminal, InvoiceOf(report.Lines[r.Line]) + why);
    }

    // The same key in several files counts once.
    std::unordered_map<std::string, std::vector<const TInvoiceRecord*>> byKey;
    byKey.reserve(belonging.size());
    std::vector<std::string> repeated;
    for (const TInvoiceRecord* r : belonging) {
        if (r->Key.empty())
            continue;
        auto& files = byKey[r->Key];
        files.push_back(r);
        if (files.size() == 2)
            repeated.push_back(r->Key);
    }
    std::sort(repeated.begin(), repeated.end()); // the same order in every run
    for (const std::string& key : repeated) {
        const auto& files = byKey[key];
        std::u16string where;
        for (std::size_t i = 0; i < files.size(); ++i)
            where += (i ? u", " : u"") + PlaceOf(report.Lines[files[i]->Line]);
        const std::u16string& first = files[0]->Terminal;
        const bool oneTerminal = std::all_of(files.begin(), files.end(),
                                             [&first](const TInvoiceRecord* r) { return r->Terminal == first; });
        problem(oneTerminal ? files[0]->Terminal : u"",
                u"A nota da série " + Count(files[0]->Series) + u", número " + Count(files[0]->Number) + u" (chave "
                    + Text(key) + u") está em " + Count(static_cast<std::int64_t>(files.size())) + u" arquivos: " + where
                    + u". Ela conta uma vez; descubra com o suporte do PDV por que ela aparece mais de uma vez.");
        for (std::size_t i = 1; i < files.size(); ++i)
            report.Lines[files[i]->Line].Status += u" (repetida)";
    }

    // Cancellations name their invoice by key; without it in the month they are orphans.
    std::set<std::string> cancelled;
    for (const auto& c : s.Cancellations) {
        const auto found = byKey.find(c.Key);
        if (found != byKey.end()) {
            cancelled.insert(c.Key);
            for (const TInvoiceRecord* r : found->second)
                report.Lines[r->Line].Status = u"cancelada";
            continue;
        }
        const auto key = ParseAccessKey(c.Key);
        problem(c.Terminal, c.Terminal + u": o cancelamento do arquivo " + FileOf(report.Lines[c.Line])
                                + u" é da nota "
                                + (key ? u"da série " + Count(ParseNumber(key->Series())) + u", número "
                                             + Count(ParseNumber(key->Number())) + u" "
                                       : std::u16string())
                                + u"(chave " + Text(c.Key) + u"), que não está entre as notas do mês. Copie o arquivo da "
                                u"nota para a pasta Transmitidas do PDV, ou confira se ela é de outro mês.");
    }

    // Totals, per terminal in the order handled.
    std::map<std::u16string, TMonthTotals> perTerminal;
    for (const auto& [key, files] : byKey) {
        const TInvoiceRecord& r = *files.front();
        if (r.Authorisation != TAuthorisation::atAuthorised || r.Cents < 0)
            continue;
        TMonthTotals& t = perTerminal[r.Terminal];
        if (cancelled.count(key)) {
            ++t.Cancelled;
            t.CancelledCents += r.Cents;
        } else {
            ++t.Invoices;
            t.InvoicesCents += r.Cents;
        }
    }
    for (const auto& terminal : s.Terminals) {
        const TMonthTotals& t = perTerminal[terminal];
        report.Terminals.push_back({terminal, t});
        report.Totals.Invoices += t.Invoices;
        report.Totals.InvoicesCents += t.InvoicesCents;
        report.Totals.Cancelled += t.Cancelled;
        report.Totals.CancelledCents += t.CancelledCents;
    }

    // Numbering per issuer and series: every invoice issued takes its number,
    // authorised or not; a number neither issued nor voided is a gap.
    std::map<std::pair<std::string, std::int64_t>, std::vector<std::int64_t>> numbers;
    std::map<std::pair<std::string, std::int64_t>, std::vector<std::u16string>> holders;
    for (const TInvoiceRecord* r : belonging) {
        if (r->Series < 0 || r->Number < 1)
            continue;
        numbers[{r->Cnpj, r->Series}].push_back(r->Number);
        auto& h = holders[{r->Cnpj, r->Series}];
        if (std::find(h.begin(), h.end(), r->Terminal) == h.end())
            h.push_back(r->Terminal);
    }
    for (auto& [issuer, issued] : numbers) {
        std::sort(issued.begin(), issued.end());
        issued.erase(std::unique(issued.begin(), issued.end()), issued.end());
        std::vector<std::pair<std::int64_t, std::int64_t>> voided;
        for (const auto& v : s.Voided)
            if (v.Cnpj == issuer.first && v.Series == issuer.second)
                voided.emplace_back(v.First, v.Last);
        std::sort(voided.begin(), voided.end());
        const auto& terminals = holders[issuer];
        std::u16string who;
        for (std::size_t i = 0; i < terminals.size(); ++i)
            who += (i ? u", " : u"") + terminals[i];
        report.Series.push_back({issuer.first, static_cast<int>(issuer.second), issued.front(), issued.back(),
                                 static_cast<int>(issued.size()), terminals});
        std::int64_t previous = issued.front();
        for (const std::int64_t n : issued) {
            if (n > previous + 1) {
                for (const auto& [from, to] : Uncovered(previous + 1, n - 1, voided)) {
                    const std::int64_t missing = to - from + 1;
                    problem(terminals.size() == 1 ? terminals[0] : u"",
                            who + u", série " + Count(issuer.second)
                                + (missing == 1 ? u": falta a nota " + Count(from)
                                                : u": faltam as notas " + Count(from) + u" a " + Count(to) + u" ("
                                                      + Count(missing) + u" números)")
                                + u" entre a primeira (" + Count(issued.front()) + u") e a última ("
                                + Count(issued.back()) + u") do mês. Se foram emitidas, copie os arquivos para a "
                                u"pasta do PDV; se não foram, inutilize os números na SEFAZ.");
                }
            }
            previous = n;
        }
    }

    // Terminal by terminal, as the store owner walks to them; what spans terminals last.
    const auto rank = [&s](const TMonthProblem& p) {
        const auto at = std::find(s.Terminals.begin(), s.Terminals.end(), p.Terminal);
        return p.Terminal.empty() ? s.Terminals.size() + 1 : static_cast<std::size_t>(at - s.Terminals.begin());
    };
    std::stable_sort(report.Problems.begin(), report.Problems.end(),
                     [&rank](const TMonthProblem& a, const TMonthProblem& b) { return rank(a) < rank(b); });
    return report;
}

} // namespace orvant::app
