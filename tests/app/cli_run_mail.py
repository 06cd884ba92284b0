#!/usr/bin/env python3
"""orvant-cli run on a generated sample store, mailing through a local server with TLS
and a CA of its own: the mail the server stored carries an archive whose listing holds
every copied XML file; nothing the program prints holds the password or its base64
forms, also when the login fails. The send history: the month delivered to the same
address again is refused without --force, every attempt has its line, and
orvant-cli history shows them; three sends of the month to one address at once
deliver once; a line torn by a crash is skipped and the guard still holds after
it; a history that cannot be written after a delivery gives exit status 3. What
the program writes is for its owner and group only, and a deployment file every
user can read draws a warning. Then the demo (make demo) headless, with the same
check on all it prints.

Usage: cli_run_mail.py ORVANT_CLI SCRIPTS_FOLDER
"""
import base64
import csv
import hashlib
import email
import email.policy
import os
import re
import stat
import subprocess
import sys
import tempfile

cli, scripts = sys.argv[1], sys.argv[2]
MAILBOX, PASSWORD = "automail@dravik.com.br", "Segr3do-2026"
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FALHOU:", what)


def secret_forms(password, mailbox=MAILBOX):
    """The password, its base64 form (AUTH LOGIN) and that of the AUTH PLAIN string."""
    forms = {password}
    for blob in (password.encode(), b"\0" + mailbox.encode() + b"\0" + password.encode()):
        encoded = base64.b64encode(blob).decode()
        forms.update((encoded, encoded.rstrip("=")))
    return forms


def run(args, env):
    result = subprocess.run([cli, *args], env=env, capture_output=True, text=True, timeout=300)
    print(result.stderr, end="")
    return result


def write_deployment(path, port, password, ca):
    with open(path) as f:
        paths = f.read().split("[Mail]")[0]
    with open(path, "w") as f:
        f.write(paths + f"[Mail]\nHost=localhost\nPort={port}\nMailbox={MAILBOX}\nPassword={password}\n"
                        f"CAFile={ca}\n")


with tempfile.TemporaryDirectory(prefix="orvant-run-") as root:
    store = os.path.join(root, "store")
    subprocess.run([os.path.join(scripts, "make-sample-store"), store, "--month", "2021-03", "--scale", "0.25"],
                   check=True, capture_output=True)
    mbox = os.path.join(root, "mbox")
    server = subprocess.Popen([os.path.join(scripts, "local-mail-server"), mbox,
                               "--user", MAILBOX, "--password", PASSWORD],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        ready = server.stdout.readline()
        check(ready.startswith("READY port="), f"server started: {ready!r}")
        port = int(ready.strip().split("=")[1])
        config = os.path.join(store, "orvant.conf")
        env = dict(os.environ, ORVANT_CONFIG=config)

        check(run(["send", "--help"], env).returncode == 0, "send --help")

        write_deployment(config, port, PASSWORD, os.path.join(mbox, "ca.pem"))
        result = run(["run", "--store", "Loja Centro", "--to", "Contador <contador@example.com>",
                      "--year", "2021", "--month", "3"], env)
        check(result.returncode == 0, f"run: exit status {result.returncode}")
        check(result.stderr.splitlines()[-1:] == ["E-mail enviado para contador@example.com."], "confirmation")
        printed = result.stdout + result.stderr

        again = run(["send", "--store", "Loja Centro", "--to", "CONTADOR@example.com", "--year", "2021",
                     "--month", "3"], env)
        check(again.returncode == 1 and "Este mês já foi enviado para Contador <contador@example.com> em "
              in again.stderr and "--force" in again.stderr, "the same month again: refused without --force")

        write_deployment(config, port, "Errada-12345", os.path.join(mbox, "ca.pem"))
        refused = run(["send", "--store", "Loja Centro", "--to", "contador@example.com", "--year", "2021",
                       "--month", "3", "--force"], env)
        check(refused.returncode == 1 and "535" in refused.stderr, "a refused login: status 1 and the reply")

        history = run(["history", "--year", "2021", "--month", "Março"], env)
        rows = history.stdout.splitlines()
        # The month's report at extraction comes first; the attempts follow.
        check(len(rows) > 1 and "  resumo  " in rows[1], f"history: the month's report {rows[1:2]}")
        rows = rows[:1] + rows[2:]
        check(history.returncode == 0 and len(rows) == 3, f"history: a header and two attempts: {rows}")
        check(rows[1:2] and "Contador <contador@example.com>" in rows[1] and " 250 2.0.0 " in rows[1]
              and rows[1].rstrip().endswith("entregue"), "history: the delivery with the server's reply")
        check(rows[2:3] and "falhou: " in rows[2] and "535" in rows[2], "history: the refused login")
        check(run(["history", "--year", "2020"], env).stdout == "", "history of another year: nothing")
        with open(os.path.join(store, "drive_c", "Kelmora", "Orvant", "Enviar", "historico.csv"), newline="") as f:
            records = [r for r in csv.reader(f) if r[3] != "resumo"]
        check(records[0][:4] == ["data_hora", "ano", "mes", "evento"] and len(records) == 3,
              "the history file: a header and two lines")
        delivered = records[1]
        archive_file = os.path.join(store, "drive_c", "Kelmora", "Orvant", "Enviar", "2021", "03.7z")
        with open(archive_file, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        check(delivered[6] == str(os.path.getsize(archive_file)) and delivered[7] == digest,
              "the history holds the archive's size and SHA-256")
        check(delivered[8].startswith("PDV1=") and delivered[8].count(";") == 3, f"files per terminal {delivered[8]}")
        printed += refused.stdout + refused.stderr

        write_deployment(config, port, PASSWORD, os.path.join(mbox, "ca.pem"))
        enviar = os.path.join(store, "drive_c", "Kelmora", "Orvant", "Enviar")
        history_file = os.path.join(enviar, "historico.csv")

        # Invoices, addresses and replies are for the owner and the group only.
        staging_month = os.path.join(store, "drive_c", "Kelmora", "Orvant", "Arquivos", "2021", "03")
        staged = next(os.path.join(folder, names[0]) for folder, _dirs, names in sorted(os.walk(staging_month))
                      if names)
        for path in (history_file, archive_file, os.path.join(enviar, "2021", "03-manifesto.txt"), staged,
                     os.path.dirname(staged)):
            mode = stat.S_IMODE(os.stat(path).st_mode)
            check(mode & 0o007 == 0 and mode & 0o660 == 0o660, f"{path}: mode {oct(mode)}, owner and group only")

        os.chmod(config, 0o644)
        warned = run(["history"], env)
        check(f"Aviso: o arquivo de implantação {config} guarda a senha" in warned.stderr,
              "a deployment file every user can read: the warning")
        os.chmod(config, 0o640)
        check("guarda a senha" not in run(["history"], env).stderr, "a deployment file of owner and group: no warning")

        def send_to(address, *extra):
            return ["send", "--store", "Loja Centro", "--to", address, "--year", "2021", "--month", "3", *extra]

        # Three sends of the month to one address at once: the second and third wait
        # for the history's lock, then find the first's line.
        racers = [subprocess.Popen([cli, *send_to("paralelo@example.com")], env=env, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True) for _ in range(3)]
        raced = [(p.communicate(timeout=300)[1], p.returncode) for p in racers]
        check(sorted(code for _err, code in raced) == [0, 1, 1], f"three at once: {[code for _e, code in raced]}")
        check(sum("Este mês já foi enviado para paralelo@example.com em " in err for err, _c in raced) == 2,
              "the two that waited were refused as already sent")

        # A line torn by a crash mid-write (an open quote): skipped, and a delivery
        # recorded after it still keeps the month from going twice.
        with open(history_file, "ab") as f:
            f.write(b'2021-04-01 06:00:00,2021,03,envio,"Terceiro <terceiro@exam')
        check(run(send_to("terceiro@example.com"), env).returncode == 0, "after a torn line: delivered")
        again = run(send_to("terceiro@example.com"), env)
        check(again.returncode == 1 and "Este mês já foi enviado para terceiro@example.com" in again.stderr,
              "after a torn line: the same month again is refused")
        listed = run(["history", "--year", "2021"], env)
        check("1 linha(s) ilegível(is)" in listed.stderr and "terceiro@example.com" in listed.stdout,
              "history skips the torn line and says so")

        # A history that cannot be written (a folder at its path): delivered, said, status 3.
        os.rename(history_file, history_file + ".bak")
        os.mkdir(history_file)
        unrecorded = run(send_to("quarto@example.com"), env)
        check(unrecorded.returncode == 3, f"an unwritable history: exit status {unrecorded.returncode}")
        check("O e-mail foi entregue, mas o histórico não pôde ser gravado: " + history_file in unrecorded.stderr,
              "an unwritable history: said after the delivery")
        os.rmdir(history_file)
        os.rename(history_file + ".bak", history_file)
        usage = " ".join(run(["--help"], env).stdout.split())
        check("3 quando o e-mail foi entregue" in usage, "--help names exit status 3")
        for secret in secret_forms(PASSWORD) | secret_forms("Errada-12345"):
            check(secret not in printed, f"the output holds {secret!r}")
    finally:
        server.terminate()
        server.wait(timeout=30)

    maildir = os.path.join(mbox, "mail")
    received = {}
    for name in sorted(name for name in os.listdir(maildir) if name.endswith(".eml")):
        with open(os.path.join(maildir, name), "rb") as f:
            stored_msg = email.message_from_binary_file(f, policy=email.policy.default)
        received.setdefault(stored_msg["To"].addresses[0].addr_spec, []).append(stored_msg)
    check({to: len(msgs) for to, msgs in received.items()}
          == {"contador@example.com": 1, "paralelo@example.com": 1, "terceiro@example.com": 1,
              "quarto@example.com": 1}, f"messages stored per address: {received.keys()}")
    msg = received["contador@example.com"][0]
    check(msg["Subject"] == "Loja Centro - XML - Março de 2021", f"subject {msg['Subject']}")
    attachments = list(msg.iter_attachments())
    check([a.get_filename() for a in attachments] == ["03.7z"], "the archive attached")
    archive = os.path.join(root, "received.7z")
    with open(archive, "wb") as f:
        f.write(attachments[0].get_content())
    listing = subprocess.run(["7zz", "l", "-slt", "-ba", archive], capture_output=True, text=True).stdout
    entries = {line[7:] for line in listing.splitlines() if line.startswith("Path = ")}

    staging = os.path.join(store, "drive_c", "Kelmora", "Orvant", "Arquivos", "2021", "03")
    copied = {os.path.relpath(os.path.join(folder, name), staging)
              for folder, _dirs, names in os.walk(staging) for name in names}
    check(len(copied) > 200, f"{len(copied)} files copied")
    files = {e for e in entries if e.count("/") == 2}  # PDVn/Kind/name
    check(files == copied, f"the archive lists every copied file and no other ({len(copied ^ files)} differ)")

# The demo without a display runs the month through orvant-cli next to this one; its
# account is the one scripts/demo gives its local server.
with open(os.path.join(scripts, "demo")) as f:
    demo_script = f.read()
demo_user = re.search(r'^user="(.+)"$', demo_script, re.M).group(1)
demo_password = re.search(r'^password="(.+)"$', demo_script, re.M).group(1)
demo_env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
build = os.path.dirname(os.path.dirname(os.path.abspath(cli)))
demo = subprocess.run([os.path.join(scripts, "demo"), build], env=demo_env, capture_output=True, text=True,
                      timeout=300)
check(demo.returncode == 0 and "E-mail enviado para contador@example.com." in demo.stdout + demo.stderr,
      f"the demo mailed the month (status {demo.returncode}): {demo.stderr[-2000:]}")
for secret in secret_forms(demo_password, demo_user):
    check(secret not in demo.stdout + demo.stderr, f"the demo's output holds {secret!r}")

print("ok" if not failures else f"{len(failures)} falha(s)")
sys.exit(1 if failures else 0)
