#pragma once
// Command line of orvant-cli, the headless companion of the two windows:
//
//   orvant-cli extract [--year 2026] [--month 11 | --month Novembro]
//   orvant-cli send --store "Loja Centro" --to contador@example.com [--year ..] [--month ..] [--attach PATH]
//   orvant-cli run --store "Loja Centro" --to contador@example.com [--year ..] [--month ..]
//   orvant-cli history [--year ..] [--month ..]
//   orvant-cli report [--year ..] [--month ..]
//   orvant-cli --help
//
// Without --year/--month the month that has just ended is meant. send mails the
// month's archive (or PATH); run extracts the month, then mails its archive; both
// refuse a month already delivered to that address unless --force. history
// prints the send history (all of it, or the given year and/or month). report
// checks the month's extracted files again and prints what it found.

#include "platform/Clock.h"

#include <string>
#include <vector>

namespace orvant::app {

struct TCliOptions {
    enum class TCommand { cmHelp, cmExtract, cmSend, cmRun, cmHistory, cmReport, cmInvalid };
    TCommand Command = TCommand::cmInvalid;
    int Year = 0;
    int Month = 0;            // 1..12; history: 0 (and Year 0) when not given
    std::string Store;        // send, run
    std::string To;           // send, run
    std::string Attach;       // send; empty: the month's archive
    bool Force = false;       // send, run: also a month already delivered there
    std::string Error;        // Portuguese, for cmInvalid
};

TCliOptions ParseCliArguments(const std::vector<std::string>& args, const platform::TLocalDateTime& now);

// 1..12 from "3", "03", "Março", "março", "MARCO"; 0 when the text is no month.
int ParseMonth(const std::string& text);

const char* CliUsageText();

} // namespace orvant::app
