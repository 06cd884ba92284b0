#!/usr/bin/env python3
"""orvant-cli on a generated sample store: exit status, messages, the staging
tree against the shares, and the archive as 7-Zip itself sees it.

Usage: cli_sample_store.py ORVANT_CLI MAKE_SAMPLE_STORE
"""
import os
import subprocess
import sys
import tempfile

cli, generator = sys.argv[1], sys.argv[2]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FALHOU:", what)


def run(args, env):
    return subprocess.run(args, env=env, capture_output=True, text=True, timeout=300)


with tempfile.TemporaryDirectory(prefix="orvant-cli-") as root:
    subprocess.run([sys.executable, generator, root, "--month", "2021-03", "--scale", "0.25"], check=True,
                   capture_output=True)
    env = dict(os.environ, ORVANT_CONFIG=os.path.join(root, "orvant.conf"))

    help_text = run([cli, "--help"], env)
    check(help_text.returncode == 0 and "Uso: orvant-cli extract" in help_text.stdout, "--help")
    check(run([cli, "extract", "--month", "13"], env).returncode == 2, "invalid month gives status 2")

    for attempt in (1, 2):  # the second run sets the first aside and builds the month afresh
        result = run([cli, "extract", "--year", "2021", "--month", "Março"], env)
        print(result.stderr, end="")
        check(result.returncode == 0, f"run {attempt}: exit status {result.returncode}")
        lines = result.stderr.splitlines()
        if attempt == 2:
            check(lines[0].startswith("A extração anterior de 03/2021 foi guardada em C:\\Kelmora\\Orvant\\Enviar"
                                      "\\2021\\anteriores\\03-"), "run 2: the first run set aside")
            lines = lines[1:]
        check(lines[0] == "Sem notas Canceladas do PDV4 para Servidor", f"run {attempt}: message line")
        # The month's report: the summary, the store's three planted problems, where all are.
        check(lines[1].startswith("Mês conferido: 4 PDVs, ") and lines[1].endswith("; 3 problemas.")
              and [line[:7] for line in lines[2:5]] == ["- PDV1,", "- PDV3,", "- PDV4,"]
              and lines[5].startswith("Todos estão em C:\\Kelmora\\Orvant\\Enviar\\2021\\03-resumo.txt."),
              f"run {attempt}: the month's report")
        lines = lines[:1] + lines[6:]
        check(len(lines) == 4 and "copiados de 4 PDVs" in lines[1], f"run {attempt}: summary line")
        check(lines[2:] == ["Arquivo conferido: teste do 7-Zip sem erros e 219 arquivos no .7z, iguais ao manifesto "
                            "em nome, tamanho e CRC-32 (PDV1 80 Transmitidas e 1 Canceladas; PDV2 60 Transmitidas e 2 "
                            "Canceladas; PDV3 45 Transmitidas e 1 Canceladas; PDV4 30 Transmitidas e 0 Canceladas).",
                            "Manifesto do mês: C:\\Kelmora\\Orvant\\Enviar\\2021\\03-manifesto.txt (completo: 219 "
                            "arquivos)."], f"run {attempt}: the archive checked")
        check(result.stdout.startswith("C:\\Kelmora\\Orvant\\Enviar\\2021\\03.7z -> "), "archive path on stdout")

    drive_c, unc = os.path.join(root, "drive_c"), os.path.join(root, "unc")
    staging = os.path.join(drive_c, "Kelmora", "Orvant", "Arquivos", "2021", "03")
    check(sorted(os.listdir(staging)) == ["PDV1", "PDV2", "PDV3", "PDV4"], "one staging folder per enabled terminal")
    expected_entries = set()
    for number, computer in ((1, "CAIXA01"), (2, "CAIXA02"), (3, "CAIXA03"), (4, "CAIXA04")):
        share = os.path.join(unc, computer)
        share = os.path.join(share, os.listdir(share)[0], "PDV", "NFCE")
        for kind in ("Transmitidas", "Canceladas"):
            source = os.path.join(share, kind, "202103")
            target = os.path.join(staging, f"PDV{number}", kind)
            if not os.path.isdir(source):
                check(not os.path.exists(target), f"no {kind} staging folder for PDV{number}")
                continue
            names = sorted(os.listdir(source))
            check(sorted(os.listdir(target)) == names, f"PDV{number} {kind}: same files")
            for name in names:
                with open(os.path.join(source, name), "rb") as a, open(os.path.join(target, name), "rb") as b:
                    check(a.read() == b.read(), f"PDV{number} {kind} {name}: same bytes")
                expected_entries.add(f"PDV{number}/{kind}/{name}")

    archive = os.path.join(drive_c, "Kelmora", "Orvant", "Enviar", "2021", "03.7z")
    test = subprocess.run(["7zz", "t", archive], capture_output=True, text=True)
    check(test.returncode == 0 and "Everything is Ok" in test.stdout, "7zz t accepts the archive")
    listing = subprocess.run(["7zz", "l", "-slt", "-ba", archive], capture_output=True, text=True).stdout
    entries = {line[7:] for line in listing.splitlines() if line.startswith("Path = ")}
    files = {e for e in entries if e.count("/") == 2}
    check(files == expected_entries, f"archive holds exactly the staged files ({len(files)} of {len(expected_entries)})")
    check({e.split("/")[0] for e in entries} == {"PDV1", "PDV2", "PDV3", "PDV4"}, "one top-level folder per terminal")

print("ok" if not failures else f"{len(failures)} falha(s)")
sys.exit(1 if failures else 0)
