#!/usr/bin/env python3
"""What orvant-cli sends to, and what it refuses before connecting, through the local
TLS mail server: several recipients in one --to each get the message, all in To, and
the confirmation names them all; every header line stays within 998 characters with
the longest store name and display name taken; a list with a part that is no usable
address, a non-ASCII or over-long address, an over-long store name and an unusable
Port are refused with a message naming what is wrong, and nothing connects.

Usage: cli_send_input.py ORVANT_CLI SCRIPTS_FOLDER
"""
import email
import email.policy
import glob
import json
import os
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


with tempfile.TemporaryDirectory(prefix="orvant-input-") as root:
    store = os.path.join(root, "store")
    subprocess.run([os.path.join(scripts, "make-sample-store"), store, "--month", "2021-03", "--scale", "0.05"],
                   check=True, capture_output=True)
    mbox = os.path.join(root, "mbox")
    server = subprocess.Popen([os.path.join(scripts, "local-mail-server"), mbox,
                               "--user", MAILBOX, "--password", PASSWORD],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    config = os.path.join(store, "orvant.conf")
    with open(config) as f:
        paths = f.read().split("[Mail]")[0]
    env = dict(os.environ, ORVANT_CONFIG=config)
    log = os.path.join(mbox, "mail", "session.log")

    def deploy(port):
        with open(config, "w") as f:
            f.write(paths + f"[Mail]\nHost=localhost\nPort={port}\nMailbox={MAILBOX}\nPassword={PASSWORD}\n"
                            f"CAFile={mbox}/ca.pem\n")

    def events():
        with open(log) as f:
            return [json.loads(line) for line in f]

    def run(*args):
        result = subprocess.run([cli, *args], env=env, capture_output=True, text=True, timeout=300)
        print(result.stderr, end="")
        return result

    try:
        port = int(server.stdout.readline().strip().split("=")[1])
        deploy(port)
        store_name = ("Loja São João " * 15)[:200]
        long_name = "N" * 200
        to = f"{long_name} <contador@example.com>, outro@example.com; Fiscal <fiscal@example.com>"
        result = run("run", "--store", store_name, "--to", to, "--year", "2021", "--month", "3")
        check(result.returncode == 0, f"run to three recipients: status {result.returncode}")
        check(result.stderr.splitlines()[-1:] == [
            "E-mail enviado para contador@example.com, outro@example.com, fiscal@example.com."], "confirmation")
        rcpts = [e["line"] for e in events() if e.get("line", "").upper().startswith("RCPT")]
        check(rcpts == ["RCPT TO:<contador@example.com>", "RCPT TO:<outro@example.com>",
                        "RCPT TO:<fiscal@example.com>"], f"one RCPT each: {rcpts}")
        stored = sorted(glob.glob(os.path.join(mbox, "mail", "*.eml")))
        with open(stored[-1], "rb") as f:
            raw = f.read()
        head = raw.split(b"\r\n\r\n")[0].split(b"\r\n")
        check(max(len(line) for line in head) <= 998, f"header lines of {max(len(line) for line in head)} bytes")
        msg = email.message_from_bytes(raw, policy=email.policy.default)
        check([a.addr_spec for a in msg["To"].addresses] == ["contador@example.com", "outro@example.com",
                                                             "fiscal@example.com"], f"To: {msg['To']}")
        check(msg["To"].addresses[0].display_name == long_name, "the long display name kept")
        check(msg["Subject"] == store_name + " - XML - Março de 2021", f"subject {msg['Subject']!r}")

        opened = sum(e["ev"] == "open" for e in events())
        for to, named in [("contador@example.com, Fulano", '"Fulano" não é um endereço de e-mail válido: falta o @'),
                          ("contador@example.com outro@example.com", "separe vários endereços"),
                          ("joão@example.com", 'o caractere "ã", fora do ASCII'),
                          ("a" * 65 + "@example.com", "tem 65 caracteres; o limite é 64")]:
            result = run("send", "--store", "Loja", "--to", to, "--year", "2021", "--month", "3", "--force")
            check(result.returncode == 2 and named in result.stderr, f"--to {to[:40]!r} refused naming the part")
        result = run("send", "--store", "L" * 201, "--to", "c@example.com", "--year", "2021", "--month", "3")
        check(result.returncode == 2 and "O nome da loja tem 201 caracteres; o limite é 200" in result.stderr,
              "an over-long store name refused")
        for bad in ["abc", "0", "70000"]:
            deploy(bad)
            result = run("send", "--store", "Loja", "--to", "c@example.com", "--year", "2021", "--month", "3")
            check(result.returncode == 4 and f'O valor "{bad}" de Port na seção [Mail] de {config}' in result.stderr,
                  f"Port={bad}: status {result.returncode}, the file, the section and the key named")
        check(sum(e["ev"] == "open" for e in events()) == opened, "nothing refused connected")
    finally:
        server.terminate()
        server.wait(timeout=30)

print("ok" if not failures else f"{len(failures)} falha(s)")
sys.exit(1 if failures else 0)
