#!/usr/bin/env python3
"""The month's report end to end on the sample store: orvant-cli run finds the
month's planted problems (PDV1's gap, PDV3's unauthorised contingency invoice,
PDV4's invoice of the previous month; PDV2's voided range is no problem), still
sends, and with [Report] AttachCsv=1 the mail carries the CSV beside the archive.
The CSV opens with Python's csv module and its totals match the sum read from the
XML files themselves; orvant-cli report says the same and exits 1; the history
has the totals; StopOnProblems=1 keeps the month from leaving.

Usage: cli_month_report.py ORVANT_CLI SCRIPTS_FOLDER
"""
import csv
import email
import email.policy
import glob
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

cli, scripts = sys.argv[1], sys.argv[2]
MAILBOX, PASSWORD = "automail@dravik.com.br", "Segr3do-2026"
NS = {"n": "http://www.portalfiscal.inf.br/nfe"}
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FALHOU:", what)


def run(args, env):
    result = subprocess.run([cli, *args], env=env, capture_output=True, text=True, timeout=300)
    print(result.stderr, end="")
    return result


def expected_totals(staging):
    """Authorised invoices of October 2026 not cancelled: count and cents, from the files."""
    cancelled, invoices = set(), {}
    for path in glob.glob(os.path.join(staging, "PDV*", "*", "*")):
        root = ET.parse(path).getroot()
        tag = root.tag.split("}")[1]
        if tag == "procEventoNFe":
            cancelled.add(root.find("n:evento/n:infEvento/n:chNFe", NS).text)
        elif tag == "nfeProc" and root.find("n:protNFe/n:infProt/n:cStat", NS).text in ("100", "150"):
            info = root.find("n:NFe/n:infNFe", NS)
            if info.find("n:ide/n:dhEmi", NS).text.startswith("2026-10"):
                value = info.find("n:total/n:ICMSTot/n:vNF", NS).text
                invoices[info.get("Id")[3:]] = round(float(value) * 100)
    kept = [cents for key, cents in invoices.items() if key not in cancelled]
    return len(kept), sum(kept)


def reais(cents):
    whole = f"{cents // 100:,}".replace(",", ".")
    return f"R$ {whole},{cents % 100:02d}"


with tempfile.TemporaryDirectory(prefix="orvant-report-") as root:
    store = os.path.join(root, "store")
    subprocess.run([os.path.join(scripts, "make-sample-store"), store, "--month", "2026-10", "--scale", "0.25"],
                   check=True, capture_output=True)
    mbox = os.path.join(root, "mbox")
    server = subprocess.Popen([os.path.join(scripts, "local-mail-server"), mbox, "--user", MAILBOX,
                               "--password", PASSWORD], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        port = int(server.stdout.readline().strip().split("=")[1])
        config = os.path.join(store, "orvant.conf")
        with open(config) as f:
            paths = f.read().split("[Mail]")[0]

        def deploy(report):
            with open(config, "w") as f:
                f.write(paths + f"[Mail]\nHost=localhost\nPort={port}\nMailbox={MAILBOX}\nPassword={PASSWORD}\n"
                                f"CAFile={os.path.join(mbox, 'ca.pem')}\n[Report]\n{report}\n")
            os.chmod(config, 0o640)

        env = dict(os.environ, ORVANT_CONFIG=config)
        deploy("AttachCsv=1")
        month = ["--year", "2026", "--month", "10"]
        sent = run(["run", "--store", "Loja Centro", "--to", "contador@example.com", *month], env)
        check(sent.returncode == 0, f"run with problems still sends: exit status {sent.returncode}")
        summary = re.search(r"Mês conferido: 4 PDVs, (\d+) notas, (R\$ [\d.,]+); 3 problemas\.", sent.stderr)
        check(summary is not None, "run prints the summary with 3 problems")
        for planted in (r"- PDV1, série 1: faltam as notas \d+ a \d+ \(2 números\)",
                        r"- PDV3, série 3, nota \d+ \(Transmitidas\\[^)]*\): emitida em contingência off-line",
                        r"- PDV4, série 4, nota \d+ \(Transmitidas\\[^)]*\): é de outro mês \(emitida em 30/09/2026\)"):
            check(re.search(planted, sent.stderr), f"run names the problem {planted}")
        check("PDV2" not in sent.stderr.split("Mês conferido")[1].split("Todos estão")[0],
              "PDV2's voided range is no problem")

        enviar = os.path.join(store, "drive_c", "Kelmora", "Orvant", "Enviar", "2026")
        staging = os.path.join(store, "drive_c", "Kelmora", "Orvant", "Arquivos", "2026", "10")
        with open(os.path.join(enviar, "10-resumo.csv"), "rb") as f:
            csv_bytes = f.read()
        check(csv_bytes.startswith(b"\xef\xbb\xbf"), "the CSV starts with a byte-order mark")
        rows = list(csv.reader(csv_bytes.decode("utf-8-sig").splitlines(), delimiter=";"))
        staged = glob.glob(os.path.join(staging, "PDV*", "*", "*"))
        check(rows[0] == ["PDV", "Pasta", "Arquivo", "Chave", "Série", "Número", "Emissão", "Valor", "Situação"],
              f"the CSV header {rows[0]}")
        check(len(rows) - 1 == len(staged), f"one CSV line per file copied: {len(rows) - 1} of {len(staged)}")
        authorised = [r for r in rows[1:] if r[8] == "autorizada"]
        csv_cents = sum(int(r[7].replace(",", "")) for r in authorised)
        count, cents = expected_totals(staging)
        check(len(authorised) == count and csv_cents == cents,
              f"CSV totals {len(authorised)}/{csv_cents} = files {count}/{cents}")
        check(summary and summary.group(1) == str(count) and summary.group(2) == reais(cents),
              f"the summary's totals are the files' ({count}, {reais(cents)})")
        check(sum(r[8] == "cancelada" for r in rows[1:]) == sum(r[8] == "cancelamento" for r in rows[1:]) > 0,
              "each cancellation marks its invoice")

        mails = sorted(glob.glob(os.path.join(mbox, "mail", "*.eml")))
        check(len(mails) == 1, f"one mail: {len(mails)}")
        with open(mails[-1], "rb") as f:
            message = email.message_from_binary_file(f, policy=email.policy.default)
        attached = {part.get_filename(): part.get_payload(decode=True) for part in message.iter_attachments()}
        check(sorted(attached) == ["10-resumo.csv", "10.7z"], f"the attachments {sorted(attached)}")
        check(attached.get("10-resumo.csv") == csv_bytes, "the CSV attached is the file beside the archive")

        report = run(["report", *month], env)
        lines = report.stdout.splitlines()
        check(report.returncode == 1 and len(lines) == 4 and summary and lines[0] == summary.group(0)[:-1],
              f"report: exit 1, the summary and 3 problems: {report.returncode} {lines[:1]}")
        history = run(["history", *month], env)
        check(re.search(r"resumo .* 3 problema\(s\): PDV1", history.stdout), "the history has the report")
        with open(os.path.join(store, "drive_c", "Kelmora", "Orvant", "Enviar", "historico.csv"), newline="") as f:
            records = [r for r in csv.reader(f) if len(r) > 3 and r[3] == "resumo"]
        check(records and records[0][8].startswith("PDV1=") and records[0][8].count(";") == 3,
              f"the history keeps the totals per terminal: {records[0][8] if records else None}")

        deploy("StopOnProblems=1")
        stopped = run(["run", "--store", "Loja Centro", "--to", "outro@example.com", *month], env)
        check(stopped.returncode == 1 and "StopOnProblems=1" in stopped.stderr, "StopOnProblems=1 keeps the month")
        check(len(glob.glob(os.path.join(mbox, "mail", "*.eml"))) == 1, "and nothing more was mailed")
        check(report.returncode == 1 and run(["report", "--year", "2026", "--month", "7"], env).returncode == 1,
              "report of a month never extracted: exit 1")
    finally:
        server.terminate()
        server.wait(timeout=30)

if failures:
    print(len(failures), "falha(s)")
    sys.exit(1)
print("ok")
