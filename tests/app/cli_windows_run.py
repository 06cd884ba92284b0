#!/usr/bin/env python3
"""orvant-cli.exe run under Wine on a generated sample store: the terminal list and
the staging tree on drive C:, the terminals' shares as UNC paths (\\\\CAIXA01\\Kelmora),
the archiver a Windows 7-Zip at C:\\Kelmora\\Server\\7z.exe, the deployment file named
by ORVANT_CONFIG, the mail to the Linux-side test server with TLS and a CA of its own.
The mail the server stored carries an archive that lists every copied invoice, and a
second run of the month to the same address is refused by the history.

Runs in the Wine session of scripts/test-windows (WINEPREFIX names its prefix).

Usage: cli_windows_run.py ORVANT_CLI_EXE SCRIPTS_FOLDER 7ZZ_EXE
"""
import email
import email.policy
import os
import re
import shutil
import subprocess
import sys
import tempfile

cli, scripts, sevenzip = sys.argv[1], sys.argv[2], sys.argv[3]
WINE = "/usr/lib/wine/wine64"
MAILBOX, PASSWORD = "automail@dravik.com.br", "Segr3do-2026"
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FALHOU:", what)


def windows_path(path):
    """A Linux path as the program sees it through Wine's Z: drive."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


prefix = os.environ.get("WINEPREFIX")
if not prefix or not os.path.isdir(os.path.join(prefix, "dosdevices")):
    sys.exit("cli_windows_run.py: no Wine prefix; run the Windows tests through scripts/test-windows")
drive_c = os.path.realpath(os.path.join(prefix, "dosdevices", "c:"))
unc = os.path.join(prefix, "dosdevices", "unc")
kelmora = os.path.join(drive_c, "Kelmora")

def unlink_stale(link):
    """A link a killed run left behind (its store is gone) is removed."""
    if os.path.islink(link) and not os.path.exists(link):
        os.unlink(link)


unlink_stale(kelmora)
if os.path.lexists(kelmora):
    sys.exit(f"cli_windows_run.py: {kelmora} exists already; another run is using this prefix")

with tempfile.TemporaryDirectory(prefix="orvant-winrun-") as root:
    store = os.path.join(root, "store")
    subprocess.run([os.path.join(scripts, "make-sample-store"), store, "--month", "2021-03", "--scale", "0.25"],
                   check=True, capture_output=True)
    # Drive C: holds the suite's folder; each terminal's computer is a UNC host.
    hosts = sorted(os.listdir(os.path.join(store, "unc")))
    os.makedirs(unc, exist_ok=True)
    for host in hosts:
        unlink_stale(os.path.join(unc, host))
    shutil.copy(sevenzip, os.path.join(store, "drive_c", "Kelmora", "Server", "7z.exe"))
    os.symlink(os.path.join(store, "drive_c", "Kelmora"), kelmora)
    server = None
    try:
        for host in hosts:
            os.symlink(os.path.join(store, "unc", host), os.path.join(unc, host))
        mbox = os.path.join(root, "mbox")
        server = subprocess.Popen([os.path.join(scripts, "local-mail-server"), mbox,
                                   "--user", MAILBOX, "--password", PASSWORD],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        ready = server.stdout.readline()
        check(ready.startswith("READY port="), f"server started: {ready!r}")
        port = int(ready.strip().split("=")[1])
        config = os.path.join(root, "orvant.conf")
        with open(config, "w") as f:
            f.write(f"[Mail]\nHost=localhost\nPort={port}\nMailbox={MAILBOX}\nPassword={PASSWORD}\n"
                    f"CAFile={windows_path(os.path.join(mbox, 'ca.pem'))}\n")
        env = dict(os.environ, ORVANT_CONFIG=windows_path(config))

        def run(*args):
            result = subprocess.run([WINE, cli, *args], env=env, capture_output=True, timeout=300)
            # The console of a Windows program writes its own code page; the program
            # writes UTF-8 to a pipe.
            err = result.stderr.decode("utf-8", "replace")
            print(err, end="")
            return result.returncode, err

        code, err = run("run", "--store", "Loja Centro", "--to", "Contador <contador@example.com>",
                        "--year", "2021", "--month", "3")
        check(code == 0, f"run: exit status {code}")
        check(err.splitlines()[-1:] == ["E-mail enviado para contador@example.com."], "confirmation")
        check(PASSWORD not in err, "the password is not printed")
        check(re.search(r"Mês conferido: 4 PDVs, \d+ notas, R\$ [\d.,]+; 3 problemas\.", err)
              and "\n- PDV1, série 1: faltam as notas " in err, "the month's report, read with pugixml for Windows")
        code, err = run("run", "--store", "Loja Centro", "--to", "Contador <contador@example.com>",
                        "--year", "2021", "--month", "3")
        check(code == 1 and "Este mês já foi enviado para Contador <contador@example.com> em " in err,
              f"the month again: refused by the history (status {code})")
    finally:
        if server:
            server.stdin.close()
            server.terminate()
            server.wait(timeout=30)
        os.unlink(kelmora)
        for host in hosts:
            if os.path.islink(os.path.join(unc, host)):
                os.unlink(os.path.join(unc, host))

    maildir = os.path.join(mbox, "mail")
    stored = sorted(n for n in os.listdir(maildir) if n.endswith(".eml")) if os.path.isdir(maildir) else []
    check(len(stored) == 1, f"one message stored: {stored}")
    if stored:
        with open(os.path.join(maildir, stored[0]), "rb") as f:
            msg = email.message_from_binary_file(f, policy=email.policy.default)
        check(msg["Subject"] == "Loja Centro - XML - Março de 2021", f"subject {msg['Subject']}")
        attachments = list(msg.iter_attachments())
        check([a.get_filename() for a in attachments] == ["03.7z"], "the archive attached")
        archive = os.path.join(root, "received.7z")
        with open(archive, "wb") as f:
            f.write(attachments[0].get_content() if attachments else b"")
        listing = subprocess.run(["7zz", "l", "-slt", "-ba", archive], capture_output=True, text=True).stdout
        # 7-Zip for Windows stores the paths with backslashes.
        entries = {line[7:].replace("\\", "/") for line in listing.splitlines() if line.startswith("Path = ")}
        staging = os.path.join(store, "drive_c", "Kelmora", "Orvant", "Arquivos", "2021", "03")
        copied = {os.path.relpath(os.path.join(folder, name), staging)
                  for folder, _dirs, names in os.walk(staging) for name in names}
        check(len(copied) > 200, f"{len(copied)} files copied")
        files = {e for e in entries if e.count("/") == 2}  # PDVn/Kind/name
        check(files == copied, f"the archive lists every copied file and no other ({len(copied ^ files)} differ)")

if failures:
    print(f"{len(failures)} verificação(ões) falharam")
    sys.exit(1)
print("orvant-cli.exe sob o Wine: o mês foi extraído dos compartilhamentos UNC, compactado e enviado")
