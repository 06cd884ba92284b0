#include "app/CliOptions.h"

#include "app/DefaultPeriod.h"
#include "app/PeriodSelection.h"
#include "app/TerminalConfig.h"
#include "platform/Utf.h"

#include <algorithm>
#include <cctype>

namespace orvant::app {

namespace {

bool AllDigits(const std::string& s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

} // namespace

int ParseMonth(const std::string& text)
{
    return MonthIndexOf(platform::Utf8ToUtf16(text)) + 1;
}

const char* CliUsageText()
{
    return "Uso: orvant-cli extract [--year ANO] [--month MÊS]\n"
           "     orvant-cli send --store LOJA --to E-MAIL [--year ANO] [--month MÊS] [--attach ARQUIVO] [--force]\n"
           "     orvant-cli run --store LOJA --to E-MAIL [--year ANO] [--month MÊS] [--force]\n"
           "     orvant-cli history [--year ANO] [--month MÊS]\n"
           "     orvant-cli report [--year ANO] [--month MÊS]\n"
           "     orvant-cli --help\n"
           "\n"
           "extract  extrai os XML de NFC-e do mês de todos os PDVs habilitados em\n"
           "         C:\\Kelmora\\Server\\Orvant.ini, copia-os para C:\\Kelmora\\Orvant\\Arquivos\\ANO\\MM\\\n"
           "         e compacta-os em C:\\Kelmora\\Orvant\\Enviar\\ANO\\MM.7z, como o botão \"Extrair XML\"\n"
           "         da janela principal, sem precisar de tela (servidores, execuções agendadas).\n"
           "send     envia o arquivo do mês por e-mail, como o botão \"Enviar E-mail\": assunto\n"
           "         \"LOJA - XML - Mês de ANO\", o arquivo .7z do mês (ou --attach) em anexo.\n"
           "run      extract e, quando todos os PDVs foram lidos, copiados e compactados e o\n"
           "         arquivo confere com o manifesto do mês, send: o que um agendamento mensal chama.\n"
           "history  mostra o histórico de envios C:\\Kelmora\\Orvant\\Enviar\\historico.csv\n"
           "         (todo, ou só o ano e/ou o mês dados).\n"
           "report   confere de novo as notas do mês já extraídas (numeração, cancelamentos,\n"
           "         autorizações, mês, CNPJ, chaves) e mostra o resumo e os problemas; extract\n"
           "         e run fazem a mesma conferência e gravam MM-resumo.csv e MM-resumo.txt ao lado\n"
           "         do arquivo .7z. Os problemas não impedem o envio, a não ser com\n"
           "         StopOnProblems=1 na seção [Report] do arquivo de implantação.\n"
           "\n"
           "  --year ANO        ano com quatro dígitos, por exemplo 2026\n"
           "  --month MÊS       mês como número (1 a 12) ou nome em português (Novembro)\n"
           "                    Sem --year e --month: o mês anterior ao atual.\n"
           "  --store LOJA      nome da loja, no assunto do e-mail (até 200 caracteres)\n"
           "  --to E-MAIL       destinatário, por exemplo contador@example.com ou\n"
           "                    \"Contador <contador@example.com>\"; vários separados por \",\" ou \";\"\n"
           "                    (até 100), cada um recebe a mensagem. Só endereços em ASCII, com até\n"
           "                    64 caracteres antes do @ e 254 ao todo.\n"
           "  --attach ARQUIVO  anexo no lugar do arquivo do mês (caminho Linux ou C:\\...)\n"
           "  --force           send: envia mesmo que o mês já tenha sido entregue a esse endereço\n"
           "                    ou esteja incompleto ou vazio (run nunca envia um mês assim)\n"
           "\n"
           "As mensagens que as janelas mostrariam em caixas de diálogo saem na saída de erro,\n"
           "uma por linha. O caminho do arquivo .7z sai na saída padrão.\n"
           "Onde ficam a unidade C:, as pastas de rede dos PDVs e o servidor de e-mail:\n"
           "arquivo de implantação $ORVANT_CONFIG, ou /etc/orvant/orvant.conf.\n"
           "\n"
           "O arquivo do mês só sai como a conferência o registrou no manifesto\n"
           "(C:\\Kelmora\\Orvant\\Enviar\\ANO\\MM-manifesto.txt); --attach envia o arquivo dado sem conferência.\n"
           "\n"
           "Código de saída: 0 quando tudo deu certo (todos os PDVs habilitados lidos, copiados e\n"
           "compactados, o arquivo conferido; o e-mail aceito pelo servidor); 1 quando o mês ficou\n"
           "incompleto, algum PDV ficou sem notas, falhou uma cópia, a compactação, a conferência\n"
           "ou o envio, ou nenhum PDV está habilitado; 2 para argumentos inválidos (também um\n"
           "--to ou --store que não pode ser enviado); 3 quando o e-mail foi entregue, mas o\n"
           "histórico de envios não pôde ser gravado; 4 quando um valor do arquivo de implantação\n"
           "não pode ser usado (nada é feito). report: 0 quando a conferência não achou problema,\n"
           "1 quando achou algum ou o mês não foi extraído.\n";
}

TCliOptions ParseCliArguments(const std::vector<std::string>& args, const platform::TLocalDateTime& now)
{
    using TCommand = TCliOptions::TCommand;
    TCliOptions options;
    if (args.empty()) {
        options.Error = "Falta o comando (extract, send, run, history ou report).";
        return options;
    }
    if (std::find_if(args.begin(), args.end(), [](const std::string& a) {
            return a == "--help" || a == "-h" || a == "ajuda" || a == "--ajuda";
        }) != args.end()) {
        options.Command = TCommand::cmHelp;
        return options;
    }
    TCommand command = TCommand::cmInvalid;
    if (args.front() == "extract")
        command = TCommand::cmExtract;
    else if (args.front() == "send")
        command = TCommand::cmSend;
    else if (args.front() == "run")
        command = TCommand::cmRun;
    else if (args.front() == "history")
        command = TCommand::cmHistory;
    else if (args.front() == "report")
        command = TCommand::cmReport;
    else {
        options.Error = "Comando desconhecido: " + args.front();
        return options;
    }
    const bool mails = command == TCommand::cmSend || command == TCommand::cmRun;
    const TYearMonth previous = PreviousMonth(now);
    int year = 0;
    int month = 0;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        if (name == "--force") {
            if (!mails) {
                options.Error = "Opção desconhecida: " + name;
                return options;
            }
            options.Force = true;
            continue;
        }
        if (const auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            options.Error = "Falta o valor de " + name + ".";
            return options;
        }
        if (name == "--year") {
            if (!AllDigits(value) || value.size() != 4) {
                options.Error = "Ano inválido: " + value + " (use quatro dígitos, por exemplo 2026).";
                return options;
            }
            year = std::stoi(value);
        } else if (name == "--month") {
            month = ParseMonth(value);
            if (month == 0) {
                options.Error = "Mês inválido: " + value + " (use 1 a 12 ou o nome, por exemplo Novembro).";
                return options;
            }
        } else if (mails && name == "--store") {
            options.Store = value;
        } else if (mails && name == "--to") {
            options.To = value;
        } else if (command == TCommand::cmSend && name == "--attach") {
            options.Attach = value;
        } else {
            options.Error = "Opção desconhecida: " + name;
            return options;
        }
    }
    if (mails && (options.Store.empty() || options.To.empty())) {
        options.Error = "Faltam --store (nome da loja) e --to (e-mail de recebimento).";
        return options;
    }
    options.Command = command;
    if (command == TCommand::cmHistory) {
        options.Year = year;
        options.Month = month;
        return options;
    }
    // Only a month given: it is of this year. Only a year given: the previous
    // month's number in that year.
    options.Year = year ? year : (month ? now.Year : previous.Year);
    options.Month = month ? month : previous.Month;
    return options;
}

} // namespace orvant::app
