#!/usr/bin/env python3
"""A line server with TLS on a free loopback port, for tests of the TLS I/O handler.

Prints its port on the first line, then serves every connection on a thread of its
own until it is terminated, and prints one report line per connection when it ends:

    report handshake=<ok|failed|none> sni=<name or -> version=<protocol or -> reused=<0|1> app=<bytes>

"app" counts the bytes the client sent through TLS. A failed handshake's reason goes
to standard error.

Implicit TLS (the default): the handshake comes first, then the greeting
"220 sni=<name or -> version=<protocol> reused=<0|1>". With --starttls the greeting
is "220 plain" and lines are answered in plain text until "STARTTLS", which is
answered "220 go ahead" (followed at once, in the same write, by "250 injected" with
--inject) before the handshake; no greeting follows it.

Over TLS each line is answered:
    QUIT          "221 bye", then the closing alert and the close
    SINK <n>      "354 go", then n bytes are read and answered "250 <n> <crc32 hex>"
    LONG <n>      one line of n "x" characters
    anything else "250 <line>"
In plain text every line but STARTTLS and QUIT is answered "250 plain <line>".

--fault makes the server misbehave at the handshake or right after the greeting:
    close-in-handshake    read the client's hello, then close in order (no answer)
    reset-in-handshake    read the client's hello, then close with a reset
    silent-in-handshake   read the client's hello, then say nothing until the client goes
    drop-after-greeting   close the connection without the closing alert
    alert-after-greeting  send the closing alert, then wait for the client to go
    garbage-after-greeting  write a record that no key opens, then wait for the client to go
"""
import argparse
import os
import socket
import ssl
import struct
import sys
import threading
import zlib


class Report:
    def __init__(self):
        self.handshake = "none"
        self.sni = "-"
        self.version = "-"
        self.reused = 0
        self.app = 0

    def line(self):
        return (f"report handshake={self.handshake} sni={self.sni} version={self.version} "
                f"reused={self.reused} app={self.app}")


def read_hello(connection):
    """Takes the client's first flight, so that closing does not answer it with a reset."""
    connection.recv(65536)


def drain(connection):
    try:
        while connection.recv(65536):
            pass
    except OSError:
        pass


def read_line(stream, report=None):
    line = b""
    while not line.endswith(b"\n"):
        chunk = stream.recv(1)
        if not chunk:
            return None
        line += chunk
    if report is not None:
        report.app += len(line)
    return line.rstrip(b"\r\n")


def read_exactly(stream, count, report):
    crc = 0
    left = count
    while left > 0:
        chunk = stream.recv(min(left, 1 << 16))
        if not chunk:
            break
        crc = zlib.crc32(chunk, crc)
        left -= len(chunk)
        report.app += len(chunk)
    return count - left, f"{crc:x}"


def handshake(context, connection, args, report):
    if args.fault in ("close-in-handshake", "reset-in-handshake", "silent-in-handshake"):
        read_hello(connection)
        if args.fault == "close-in-handshake":
            connection.shutdown(socket.SHUT_WR)
            drain(connection)
        elif args.fault == "reset-in-handshake":
            connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        else:
            drain(connection)
        return None
    try:
        tls = context.wrap_socket(connection, server_side=True)
    except (ssl.SSLError, OSError) as error:
        report.handshake = "failed"
        print(f"tls_line_server: {error}", file=sys.stderr, flush=True)
        return None
    report.handshake = "ok"
    report.sni = getattr(tls, "server_name_sent", None) or "-"
    report.version = tls.version()
    report.reused = int(tls.session_reused)
    return tls


def serve_tls(tls, args, report, greet):
    if greet:
        tls.sendall(f"220 sni={report.sni} version={report.version} reused={report.reused}\r\n".encode())
    if args.fault == "drop-after-greeting":
        tls.close()
        return
    if args.fault == "garbage-after-greeting":
        os.write(tls.fileno(), b"\x17\x03\x03\x00\x20" + bytes(32))
        with socket.socket(fileno=os.dup(tls.fileno())) as raw:
            drain(raw)
        return
    if args.fault == "alert-after-greeting":
        try:
            tls.unwrap()
        except (ssl.SSLError, OSError):
            pass
        return
    while True:
        line = read_line(tls, report)
        if line is None:
            return
        words = line.split()
        if line == b"QUIT":
            tls.sendall(b"221 bye\r\n")
            try:
                tls.unwrap()
            except (ssl.SSLError, OSError):
                pass
            return
        if len(words) == 2 and words[0] == b"SINK":
            tls.sendall(b"354 go\r\n")
            count, digest = read_exactly(tls, int(words[1]), report)
            tls.sendall(f"250 {count} {digest}\r\n".encode())
        elif len(words) == 2 and words[0] == b"LONG":
            tls.sendall(b"x" * int(words[1]) + b"\r\n")
        else:
            tls.sendall(b"250 " + line + b"\r\n")


def serve(connection, context, args, report):
    if args.starttls:
        connection.sendall(b"220 plain\r\n")
        while True:
            line = read_line(connection)
            if line is None:
                return
            if line == b"QUIT":
                connection.sendall(b"221 bye\r\n")
                return
            if line == b"STARTTLS":
                connection.sendall(b"220 go ahead\r\n" + (b"250 injected\r\n" if args.inject else b""))
                break
            connection.sendall(b"250 plain " + line + b"\r\n")
    tls = handshake(context, connection, args, report)
    if tls is not None:
        serve_tls(tls, args, report, greet=not args.starttls)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--starttls", action="store_true")
    parser.add_argument("--inject", action="store_true")
    parser.add_argument("--tls13-only", action="store_true")
    parser.add_argument("--fault", default="none")
    args = parser.parse_args()

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    if args.tls13_only:
        context.minimum_version = ssl.TLSVersion.TLSv1_3
    # The name the client sent, kept on its connection.
    def remember_name(tls, name, _context):
        tls.server_name_sent = name

    context.sni_callback = remember_name

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print(listener.getsockname()[1], flush=True)

    output = threading.Lock()

    def run(connection):
        # A client that neither talks nor goes is given up after a while.
        connection.settimeout(30)
        report = Report()
        try:
            serve(connection, context, args, report)
        except (ssl.SSLError, OSError, ValueError) as error:
            print(f"tls_line_server: {error}", file=sys.stderr, flush=True)
        finally:
            connection.close()
            with output:
                print(report.line(), flush=True)

    while True:
        connection, _ = listener.accept()
        threading.Thread(target=run, args=(connection,), daemon=True).start()


if __name__ == "__main__":
    main()
