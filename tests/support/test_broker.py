#!/usr/bin/env python3
"""Starts Linux programs for the Windows test executables that run under Wine.

The Windows tests need the same peers as the Linux ones (the Python SMTP and TLS
servers, the openssl command, python3 as an independent encoder). Wine can start a
Linux program but gives no handle to read its output, wait for it or stop it, so
this broker does it for them over a loopback connection:

    test_broker.py PORT_FILE PREFIX

listens on a free port of 127.0.0.1, writes the port into PORT_FILE and serves
until SIGTERM. PREFIX is the Wine prefix, used to turn Windows paths in arguments
(C:\\users\\..., Z:\\work\\...) into the Linux paths they stand for.

Requests (one per connection), each line ending in "\\n":
    RUN <merge 0|1>, argv as JSON, "<n>" and n bytes of standard input:
        runs the program to its end; answers "EXIT <code> <n>" and n bytes of its
        standard output (with standard error when merge is 1). Code -1: did not start.
    START, argv as JSON:
        answers "PID <pid>", then frames "<n>" + n bytes of standard output as they
        come, and "EXIT <code>" when it ends. "STOP" from the client closes the
        child's standard input, sends SIGTERM and kills it after ten seconds. A
        client that goes away without STOP stops it the same way.
"""
import json
import os
import re
import signal
import socket
import socketserver
import subprocess
import sys
import threading

PREFIX = ""
WINDOWS_PATH = re.compile(r"^([A-Za-z]):\\(.*)$")


def linux_path(text):
    m = WINDOWS_PATH.match(text)
    if not m:
        return text
    drive = os.path.join(PREFIX, "dosdevices", m.group(1).lower() + ":")
    root = os.path.realpath(drive)
    return os.path.join(root, m.group(2).replace("\\", "/"))


def translate(arg):
    # Whole arguments and "--option=value" forms; nothing inside other text.
    if "=" in arg and arg.startswith("-"):
        name, value = arg.split("=", 1)
        return name + "=" + linux_path(value)
    return linux_path(arg)


def exit_code(returncode):
    return returncode if returncode >= 0 else -1  # killed by a signal


def stop(child):
    try:
        if child.stdin:
            child.stdin.close()
    except OSError:
        pass
    if child.poll() is None:
        child.send_signal(signal.SIGTERM)
        try:
            child.wait(10)
        except subprocess.TimeoutExpired:
            child.kill()
            child.wait()


class Handler(socketserver.StreamRequestHandler):
    def handle(self):
        kind = self.rfile.readline().decode().split()
        if not kind:
            return
        argv = [translate(a) for a in json.loads(self.rfile.readline())]
        if kind[0] == "RUN":
            self.run(argv, kind[1:] == ["1"])
        elif kind[0] == "START":
            self.start(argv)

    def run(self, argv, merge):
        n = int(self.rfile.readline())
        data = self.rfile.read(n)
        try:
            done = subprocess.run(argv, input=data, stdout=subprocess.PIPE,
                                  stderr=subprocess.STDOUT if merge else None, timeout=600)
            code, out = exit_code(done.returncode), done.stdout
        except (OSError, subprocess.TimeoutExpired) as e:
            code, out = -1, str(e).encode()
        self.wfile.write(b"EXIT %d %d\n" % (code, len(out)) + out)

    def start(self, argv):
        try:
            child = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        except OSError as e:
            self.wfile.write(b"PID -1\nEXIT -1\n")
            print("test_broker: cannot start %r: %s" % (argv, e), file=sys.stderr)
            return
        self.wfile.write(b"PID %d\n" % child.pid)
        self.wfile.flush()

        def relay():
            # The output as it comes, then the exit code once the output ends (the
            # child stopped by the client, or ended by itself).
            while True:
                chunk = child.stdout.read1(65536)
                if not chunk:
                    break
                self.send(b"%d\n" % len(chunk) + chunk)
            child.wait()
            self.send(b"EXIT %d\n" % exit_code(child.returncode))

        relayer = threading.Thread(target=relay, daemon=True)
        relayer.start()
        self.rfile.readline()  # "STOP", or the end of a client that went away
        stop(child)
        relayer.join(15)

    def send(self, data):
        try:
            self.wfile.write(data)
            self.wfile.flush()
        except OSError:
            pass


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    global PREFIX
    port_file, PREFIX = sys.argv[1], sys.argv[2]
    server = Server(("127.0.0.1", 0), Handler)
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown).start())
    with open(port_file + ".tmp", "w") as f:
        f.write("%d\n" % server.server_address[1])
    os.replace(port_file + ".tmp", port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
