#!/usr/bin/env python3
"""The month that leaves is the month on the terminals: orvant-cli against a hostile
world, with the real 7-Zip and a local TLS mail server.

- an interrupted extraction re-run while a share is offline: incomplete, not sent,
  not reported as checked; the earlier extraction kept aside;
- orvant-cli killed while 7-Zip runs: 7-Zip dies with it; the half-written archive
  is refused by send;
- a terminal disabled and an invoice removed: neither is in the new archive, and
  the counts printed are the archive's;
- an archive truncated or rewritten after the check: send refuses it, nothing is
  stored by the server;
- a link out of the share and a FIFO: skipped within seconds, named, incomplete;
- a month folder that cannot be read: named, incomplete;
- a month without any invoice: not mailed as a success;
- an archiver that never ends: killed at its time limit with what it started.

Usage: cli_month_integrity.py ORVANT_CLI SCRIPTS_FOLDER
"""
import configparser
import glob
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

cli, scripts = sys.argv[1], sys.argv[2]
MAILBOX, PASSWORD = "automail@dravik.com.br", "Segr3do-2026"
SEVENZIP = shutil.which("7zz") or "7zz"
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FALHOU:", what)


class Store:
    """A sample store for March 2021 mailing through the local server."""

    def __init__(self, root, name, port, ca, extra_config=""):
        self.root = os.path.join(root, name)
        subprocess.run([os.path.join(scripts, "make-sample-store"), self.root, "--month", "2021-03",
                        "--scale", "0.25"], check=True, capture_output=True)
        self.config = os.path.join(self.root, "orvant.conf")
        with open(self.config) as f:
            paths = f.read().split("[Mail]")[0]
        with open(self.config, "w") as f:
            f.write(paths + f"[Mail]\nHost=localhost\nPort={port}\nMailbox={MAILBOX}\nPassword={PASSWORD}\n"
                            f"CAFile={ca}\n{extra_config}")
        self.outbox = os.path.join(self.root, "drive_c", "Kelmora", "Orvant", "Enviar", "2021")
        self.archive = os.path.join(self.outbox, "03.7z")

    def share(self, computer):
        base = os.path.join(self.root, "unc", computer)
        return os.path.join(base, os.listdir(base)[0])

    def month_folder(self, computer, kind="Transmitidas"):
        return os.path.join(self.share(computer), "PDV", "NFCE", kind, "202103")

    def cli(self, *args, timeout=120, user=None):
        command = [cli, *args]
        if user:
            command = ["setpriv", f"--reuid={user}", f"--regid={user}", "--clear-groups", *command]
        try:
            result = subprocess.run(command, env=dict(os.environ, ORVANT_CONFIG=self.config), capture_output=True,
                                    text=True, timeout=timeout)
        except subprocess.TimeoutExpired as expired:
            result = subprocess.CompletedProcess(command, None, "", f"(não terminou em {expired.timeout} s)\n")
        print(f"$ orvant-cli {' '.join(args)} -> {result.returncode}\n{result.stderr}", end="")
        return result

    def send(self, *extra):
        return self.cli("send", "--store", "Loja Centro", "--to", "contador@example.com", "--year", "2021",
                        "--month", "3", *extra)

    def set_archiver(self, script):
        path = os.path.join(self.root, "drive_c", "Kelmora", "Server", "7z.exe")
        with open(path, "w") as f:
            f.write("#!/bin/sh\n" + script)
        os.chmod(path, 0o755)

    def set_terminal(self, key, value):
        ini = os.path.join(self.root, "drive_c", "Kelmora", "Server", "Orvant.ini")
        with open(ini, "rb") as f:
            text = f.read().replace(f"{key}=TRUE".encode(), f"{key}={value}".encode())
        with open(ini, "wb") as f:
            f.write(text)


def archive_files(path):
    """PDVn/Kind/name -> (size, CRC) of the files in an archive."""
    listing = subprocess.run([SEVENZIP, "l", "-slt", "-ba", path], capture_output=True, text=True).stdout
    files, entry = {}, {}
    for line in listing.splitlines() + [""]:
        if " = " in line:
            key, value = line.split(" = ", 1)
            entry[key] = value
        elif entry:
            if not entry.get("Attributes", "").startswith("D"):
                files[entry["Path"]] = (int(entry["Size"]), entry.get("CRC", ""))
            entry = {}
    return files


def gone(pid):
    """A process that ended (a zombie waiting for its parent counts as ended)."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
    except FileNotFoundError:
        return True


def wait_gone(pids, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline and not all(gone(p) for p in pids):
        time.sleep(0.1)
    return all(gone(p) for p in pids)


def read_pids(path, count, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if os.path.exists(path):
            with open(path) as f:
                pids = [int(p) for p in f.read().split()]
            if len(pids) >= count:
                return pids
        time.sleep(0.05)
    return []


# An archiver that starts a grandchild, says who they are and never ends.
HANGING_ARCHIVER = 'sleep 300 &\necho $$ $! >> "{pids}"\nwait\n'

with tempfile.TemporaryDirectory(prefix="orvant-month-") as root:
    os.chmod(root, 0o755)  # the unreadable-folder case runs as another user
    mbox = os.path.join(root, "mbox")
    server = subprocess.Popen([os.path.join(scripts, "local-mail-server"), mbox, "--user", MAILBOX,
                               "--password", PASSWORD], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    maildir = os.path.join(mbox, "mail")

    def stored():
        return sorted(glob.glob(os.path.join(maildir, "*.eml")))

    try:
        ready = server.stdout.readline()
        check(ready.startswith("READY port="), f"server started: {ready!r}")
        port, ca = int(ready.strip().split("=")[1]), os.path.join(mbox, "ca.pem")

        # 1. An extraction interrupted (a truncated copy left behind), then run again
        # with PDV1's share offline.
        store = Store(root, "offline", port, ca)
        check(store.cli("extract", "--year", "2021", "--month", "3").returncode == 0, "a first, complete extraction")
        staged = os.path.join(store.root, "drive_c", "Kelmora", "Orvant", "Arquivos", "2021", "03", "PDV1",
                              "Transmitidas")
        first = sorted(os.listdir(staged))[0]
        with open(os.path.join(staged, first), "r+b") as f:
            f.truncate(100)
        os.rename(os.path.join(store.root, "unc", "CAIXA01"), os.path.join(store.root, "unc", "CAIXA01.fora"))
        result = store.cli("run", "--store", "Loja Centro", "--to", "contador@example.com", "--year", "2021",
                           "--month", "3")
        check(result.returncode == 1, "offline share: run fails")
        check("PDV1" in result.stderr and "ficou incompleto" in result.stderr, "offline share: PDV1 named, incomplete")
        check("Arquivo conferido" not in result.stderr, "offline share: not reported as checked")
        check(not stored(), "offline share: nothing mailed")
        check(not any(p.startswith("PDV1/") for p in archive_files(store.archive)), "offline share: no stale PDV1")
        refused = store.send()
        check(refused.returncode == 1 and "incompleto" in refused.stderr and "--force" in refused.stderr,
              "offline share: send refuses the incomplete month without --force")
        kept = glob.glob(os.path.join(store.outbox, "anteriores", "03-*", "Arquivos", "PDV1", "Transmitidas", first))
        check(len(kept) == 1 and os.path.getsize(kept[0]) == 100, "the earlier extraction is kept aside, not deleted")
        with open(os.path.join(store.root, "drive_c", "Kelmora", "Orvant", "Enviar", "historico.csv")) as f:
            history = f.read()
        check("conferência" in history and "incompleto" in history, "offline share: the history records it")

        # 2. orvant-cli killed while 7-Zip writes: 7-Zip dies too, send refuses.
        store = Store(root, "killed", port, ca)
        pids_file = os.path.join(root, "killed.pids")
        store.set_archiver('head -c 5000 /dev/urandom > "$3.7z"\n' + HANGING_ARCHIVER.format(pids=pids_file))
        extraction = subprocess.Popen([cli, "extract", "--year", "2021", "--month", "3"],
                                      env=dict(os.environ, ORVANT_CONFIG=store.config), stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
        pids = read_pids(pids_file, 2)
        extraction.send_signal(signal.SIGKILL)
        extraction.wait(timeout=30)
        check(len(pids) == 2 and wait_gone(pids), f"killed run: the archiver and its child die with it {pids}")
        refused = store.send()
        check(refused.returncode == 1 and "manifesto" in refused.stderr, "killed run: the half-written archive refused")
        check(not stored(), "killed run: nothing mailed")

        # 3. A terminal disabled, an invoice removed: the new archive holds neither,
        # and the counts printed are the archive's own.
        store = Store(root, "changed", port, ca)
        check(store.cli("extract", "--year", "2021", "--month", "3").returncode == 0, "changed: first extraction")
        store.set_terminal("PDV2", "FALSE")
        removed = sorted(os.listdir(store.month_folder("CAIXA01")))[0]
        os.remove(os.path.join(store.month_folder("CAIXA01"), removed))
        result = store.cli("extract", "--year", "2021", "--month", "3")
        files = archive_files(store.archive)
        check(result.returncode == 0 and files and not any(p.startswith("PDV2/") for p in files),
              "changed: no PDV2 in the new archive")
        check(f"PDV1/Transmitidas/{removed}" not in files, "changed: the removed invoice is not in the new archive")
        counts = {t: (sum(p.startswith(f"{t}/Transmitidas/") for p in files),
                      sum(p.startswith(f"{t}/Canceladas/") for p in files)) for t in ("PDV1", "PDV3", "PDV4")}
        line = next((l for l in result.stderr.splitlines() if l.startswith("Arquivo conferido")), "")
        check(f"e {len(files)} arquivos no .7z" in line
              and all(f"{t} {i} Transmitidas e {c} Canceladas" in line for t, (i, c) in counts.items()),
              f"changed: the printed counts are the archive's: {line}")
        old = glob.glob(os.path.join(store.outbox, "anteriores", "03-*", "03.7z"))
        check(len(old) == 1 and any(p.startswith("PDV2/") for p in archive_files(old[0])),
              "changed: the previous archive is kept aside")

        # 4. The archive truncated or rewritten after its check: refused before connecting.
        with open(store.archive, "rb") as f:
            sound = f.read()
        with open(store.archive, "wb") as f:
            f.write(sound[: len(sound) // 2])
        check(store.send().returncode == 1, "a truncated archive is refused")
        with open(store.archive, "wb") as f:
            f.write(sound)
        extra = os.path.join(root, "PDV1", "Transmitidas")
        os.makedirs(extra)
        with open(os.path.join(extra, "extra.xml"), "w") as f:
            f.write("<nfe/>")
        subprocess.run([SEVENZIP, "a", "-r", store.archive, os.path.join(root, "PDV1")], check=True,
                       capture_output=True)
        rewritten = store.send()
        check(rewritten.returncode == 1 and "mudou depois da conferência" in rewritten.stderr,
              "an archive rewritten after the check is refused")
        check(not stored(), "tampered archives: nothing mailed")

        # 5. A link out of the share (to the deployment file) and a FIFO.
        store = Store(root, "hostile", port, ca)
        os.symlink(store.config, os.path.join(store.month_folder("CAIXA03"), "zz.xml"))
        os.mkfifo(os.path.join(store.month_folder("CAIXA03"), "x.xml"))
        started = time.monotonic()
        result = store.cli("extract", "--year", "2021", "--month", "3", timeout=60)
        check(time.monotonic() - started < 30, "hostile: the FIFO does not hold the run")
        check(result.returncode == 1 and "zz.xml é um link que leva para fora da pasta de rede" in result.stderr,
              "hostile: the link is named and skipped")
        check("x.xml não é um arquivo comum (FIFO)" in result.stderr, "hostile: the FIFO is named and skipped")
        check(not [p for p in archive_files(store.archive) if p.endswith(("zz.xml", "x.xml"))],
              "hostile: neither is in the archive")
        staging = os.path.join(store.root, "drive_c", "Kelmora", "Orvant", "Arquivos")
        check(not any(PASSWORD in open(os.path.join(d, n), errors="replace").read()
                      for d, _, names in os.walk(staging) for n in names), "hostile: the password was not copied")

        # 6. A month folder that exists but cannot be read.
        store = Store(root, "denied", port, ca)
        for folder, _dirs, names in os.walk(store.root):
            os.chmod(folder, 0o777)
            for name in names:
                os.chmod(os.path.join(folder, name), 0o666)
        os.chmod(store.month_folder("CAIXA02"), 0)
        result = store.cli("extract", "--year", "2021", "--month", "3", user="65534" if os.getuid() == 0 else None)
        check(result.returncode == 1 and "Não foi possível listar a pasta" in result.stderr
              and "202103 do PDV2: acesso negado" in result.stderr, "denied: the folder and the terminal are named")
        os.chmod(store.month_folder("CAIXA02"), 0o755)

        # 7. A month without any invoice: never mailed as a success.
        store = Store(root, "empty", port, ca)
        result = store.cli("run", "--store", "Loja Centro", "--to", "contador@example.com", "--year", "2021",
                           "--month", "4")
        check(result.returncode == 1 and "Nenhuma nota de 04/2021" in result.stderr, "empty: run fails, says why")
        check(result.stderr.count("Sem notas") == 8 and "podem ter ficado de fora" not in result.stderr,
              "empty: the specified messages and no misleading 7-Zip warning")
        check("Arquivo conferido" not in result.stderr and "nenhum PDV habilitado tinha notas" in result.stderr,
              "empty: not reported as a checked month")
        empty = store.cli("send", "--store", "Loja Centro", "--to", "contador@example.com", "--year", "2021",
                          "--month", "4")
        check(empty.returncode == 1 and "não tem nenhuma nota" in empty.stderr, "empty: send asks for --force")
        check(not stored(), "empty: nothing mailed")

        # 8. An archiver that never ends: killed at the time limit, with its child.
        store = Store(root, "hanging", port, ca, "[Archiver]\nTimeLimit=1\n")
        pids_file = os.path.join(root, "hanging.pids")
        store.set_archiver(HANGING_ARCHIVER.format(pids=pids_file))
        started = time.monotonic()
        result = store.cli("extract", "--year", "2021", "--month", "3", timeout=120)
        check(time.monotonic() - started < 60, "hanging: the run ends")
        check(result.returncode == 1 and "não terminou no tempo limite ao arquivar o PDV1" in result.stderr,
              "hanging: reported, naming the terminal")
        pids = read_pids(pids_file, 8, seconds=1)
        check(len(pids) == 8 and wait_gone(pids, 5), f"hanging: no archiver process left {pids}")
    finally:
        server.terminate()
        server.wait(timeout=30)

print("ok" if not failures else f"{len(failures)} falha(s)")
sys.exit(1 if failures else 0)
