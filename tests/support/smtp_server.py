#!/usr/bin/python3
"""A real SMTP server for the tests, built on aiosmtpd, with scripted misbehaviour.

    smtp_server.py --mode {implicit-tls,starttls,plain} --port 0 --cert C --key K
                   --maildir DIR [--user U --password P] [knobs...]

DIR must be an absolute path (the tests make a temporary folder for each server).

Binds 127.0.0.1 (port 0: a free one), prints one line "READY port=NNNNN" on standard
output once it listens, and serves until SIGTERM, SIGINT or, when standard input is a
pipe, the end of standard input (so a test program that dies takes its server along).
Nothing else is ever written to standard output.

Modes: implicit-tls (TLS from the first byte), starttls (plain, STARTTLS offered; AUTH
offered only once TLS runs), plain (no TLS at all). TLS runs through our own memory-BIO
layer under aiosmtpd, so that alerts, truncation and resets really happen on the wire.

Files in DIR:
  NNNNNN.eml     one accepted message each: the bytes after dot-unstuffing, exactly
  index.jsonl    one line per stored message: seq, file, mail_from, rcpt_to, bytes,
                 conn, user (the authenticated login or null)
  session.log    JSON lines, each with "conn" (0 for the server itself), "ev" and "t"
                 (seconds since start, for people only):
      start {pid, port, mode}            stop
      open {peer}                        close {by: server|client, error?}
      tls {version, cipher, sni}         tls-error {error}      tls-close-notify
      eof                                unconsumed {bytes}     starttls-discarded {bytes}
      reply {line}
      cmd {line, crlf, read, read_first?}   every command line; "read" numbers the
          read that completed the line (lines completed by one read arrived together):
          one recv() in plain text, one TLS record under TLS (so one client write);
          "read_first" when the line began in an earlier read. AUTH with an
          initial response logs "AUTH <MECH>" and initial_response_length; an over-long
          line logs its first 200 bytes, length and too_long. Bytes that are not UTF-8
          appear as \\xNN.
      auth-line {length, crlf, read}     an AUTH payload line, by its length only
      data {bytes, reads}                message data (before unstuffing, without the
                                         closing dot line) and how many reads brought it
      message {seq, file, bytes}         fault {step, action}
  Neither the log nor any other file ever holds the password or its base64 forms: a
  line that contains one of them is logged as {redacted: true, length}.

Knobs:
  --refuse-ehlo          EHLO answered 502 (HELO works)
  --no-auth              no AUTH offered (AUTH answered 504)
  --auth-plain-only      only AUTH PLAIN offered (AUTH LOGIN answered 504)
  --require-auth         MAIL, RCPT and DATA answered 530 before a successful AUTH
  --username-235         AUTH LOGIN: the right user name is answered 235 at once
  --refuse-rcpt ADDR     that recipient answered 550 (repeatable; case ignored)
  --dot-reply-552        the final dot answered 552; the message is not stored
  --pipelining           advertise PIPELINING
  --size N               advertise SIZE N and enforce it (552)
  --refuse-starttls      STARTTLS answered 454
  --greeting LINE        the greeting line instead of "220 <hostname> ESMTP ..."
  --hostname NAME        the server's name in greeting and EHLO (default localhost)
  --fault STEP=ACTION    misbehave at a step (repeatable, one action per step)
  --mid-data-bytes N     where the step mid-data lies (default 4096)
  --fault-connections N  faults only on the first N connections (default 0: all)

Steps ("after X" for a client command: X was received and its reply not yet sent; for
a server line: the line was sent):
  after-tls-handshake  the TLS handshake completed (implicit TLS: before the greeting;
                       STARTTLS: before the next command is read)
  after-greeting       the greeting was sent
  mid-ehlo-reply       the first line of the EHLO reply was sent, the rest not
  after-starttls       220 to STARTTLS was sent, the handshake not begun
  after-auth-login     "AUTH LOGIN" received, no 334 sent
  after-username       the user name line received, not answered
  after-mail           MAIL received (every MAIL)
  after-rcpt           RCPT received (every RCPT)
  after-data           DATA received, no 354 sent
  after-354            354 sent
  mid-data             N bytes of message data received (--mid-data-bytes; never when
                       the message is shorter)
  before-dot-reply     the final dot received, not answered (nothing stored yet)
Actions:
  close        orderly close: under TLS a close_notify alert, then FIN
  truncate     FIN without close_notify (under TLS: a truncated stream)
  reset        RST (SO_LINGER 0)
  tls-alert    a fatal TLS alert (bad_record_mac, encrypted) and FIN; without TLS a
               plaintext handshake_failure alert record (at after-starttls: in answer
               to the ClientHello, as a server refusing the handshake sends it)
  stall        nothing more is sent or read on that connection
  garbage-no-code, garbage-five-digit, garbage-long-line (1 MiB line "250 xxx..."),
  garbage-binary (every byte but CR and LF, then CRLF): the garbage is sent and the
               session then goes on as normal (the real reply follows)
  refuse-421   the reply "421 4.4.2 <hostname> Error: timeout exceeded" in place of the
               real one, then an orderly close (as a server that gives up on a session)
Closing while the client's data is still unread in the kernel (close at mid-data, say)
makes the kernel send RST instead of FIN.
"""
import argparse
import asyncio
import base64
import collections
import json
import logging
import os
import signal
import socket
import ssl
import stat
import struct
import sys
import time
import warnings

from aiosmtpd.smtp import MISSING, SMTP, AuthResult, LoginPassword

STEPS = (
    "after-tls-handshake", "after-greeting", "mid-ehlo-reply", "after-starttls",
    "after-auth-login", "after-username", "after-mail", "after-rcpt", "after-data", "after-354",
    "mid-data", "before-dot-reply",
)
GARBAGE = {
    "garbage-no-code": b"Hello, this line has no reply code\r\n",
    "garbage-five-digit": b"25000 Five digits are no reply code\r\n",
    "garbage-long-line": b"250 " + b"x" * (1024 * 1024 - 6) + b"\r\n",
    "garbage-binary": bytes(b for b in range(256) if b not in (10, 13)) + b"\r\n",
}
ACTIONS = ("close", "truncate", "reset", "tls-alert", "stall", "refuse-421") + tuple(GARBAGE)

# A record of application data that no key decrypts: feeding it to our own TLS engine
# makes it emit a genuine fatal bad_record_mac alert under the session's keys.
UNDECRYPTABLE_RECORD = b"\x17\x03\x03\x00\x20" + bytes(32)
# Fatal handshake_failure, as a server sends it before encryption starts.
PLAINTEXT_ALERT = b"\x15\x03\x03\x00\x02\x02\x28"

GO_ON, STALL, GONE = "go-on", "stall", "gone"
LOGGED_PREFIX = 200


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description="SMTP server for the tests")
    parser.add_argument("--mode", required=True, choices=("implicit-tls", "starttls", "plain"))
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--maildir", required=True)
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--hostname", default="localhost")
    parser.add_argument("--greeting")
    parser.add_argument("--refuse-ehlo", action="store_true")
    parser.add_argument("--no-auth", action="store_true")
    parser.add_argument("--auth-plain-only", action="store_true")
    parser.add_argument("--require-auth", action="store_true")
    parser.add_argument("--username-235", action="store_true")
    parser.add_argument("--refuse-rcpt", action="append", default=[], metavar="ADDR")
    parser.add_argument("--dot-reply-552", action="store_true")
    parser.add_argument("--pipelining", action="store_true")
    parser.add_argument("--size", type=int)
    parser.add_argument("--refuse-starttls", action="store_true")
    parser.add_argument("--fault", action="append", default=[], metavar="STEP=ACTION")
    parser.add_argument("--mid-data-bytes", type=int, default=4096)
    parser.add_argument("--fault-connections", type=int, default=0)
    config = parser.parse_args(argv)

    # A relative folder lands wherever the server happens to be started (once, the source
    # tree: mdk/session.log); every caller makes its own folder and names it in full.
    if not os.path.isabs(config.maildir):
        parser.error(f"--maildir {config.maildir}: give an absolute path")
    if config.mode != "plain" and not (config.cert and config.key):
        parser.error(f"--mode {config.mode} needs --cert and --key")
    if config.no_auth and config.auth_plain_only:
        parser.error("--no-auth and --auth-plain-only exclude each other")
    if (config.user is None) != (config.password is None):
        parser.error("--user and --password go together")
    if config.size is not None and config.size <= 0:
        parser.error("--size must be positive")
    config.faults = {}
    for fault in config.fault:
        step, _, action = fault.partition("=")
        if step not in STEPS or action not in ACTIONS:
            parser.error(f"--fault {fault}: steps are {', '.join(STEPS)}; actions {', '.join(ACTIONS)}")
        if step in config.faults:
            parser.error(f"--fault: one action per step ({step})")
        if step == "after-starttls" and config.mode != "starttls":
            parser.error("the step after-starttls needs --mode starttls")
        if step == "after-tls-handshake" and config.mode == "plain":
            parser.error("the step after-tls-handshake needs a TLS mode")
        config.faults[step] = action
    config.refused_recipients = {address.lower() for address in config.refuse_rcpt}
    return config


def secret_forms(user, password):
    """The password and the base64 forms a client sends it in (LOGIN, PLAIN), lower case."""
    if not password:
        return ()
    secret, login = password.encode(), (user or "").encode()
    forms = {password.lower()}
    for blob in (secret, b"\0" + login + b"\0" + secret, login + b"\0" + login + b"\0" + secret):
        encoded = base64.b64encode(blob).decode("ascii").lower()
        forms.update((encoded, encoded.rstrip("=")))
    return tuple(forms)


def readable(data):
    return data.decode("utf-8", errors="backslashreplace")


class SessionLog:
    """The JSON-lines session log; every entry is on disk before anything that follows it
    goes out on the wire, so a test that got a reply finds its entry."""

    def __init__(self, path, secrets):
        self._file = open(path, "a", encoding="ascii")
        self._secrets = secrets
        self._started = time.monotonic()

    def write(self, connection, event, **fields):
        entry = {"conn": connection, "ev": event, "t": round(time.monotonic() - self._started, 3)}
        entry.update(fields)
        self._file.write(json.dumps(entry) + "\n")
        self._file.flush()

    def write_text(self, connection, event, text, **fields):
        """An entry carrying a line of the dialogue, redacted when it holds a secret."""
        lowered = text.lower()
        if any(secret in lowered for secret in self._secrets):
            self.write(connection, event, redacted=True, length=len(text), **fields)
        else:
            self.write(connection, event, line=text, **fields)


class MailStore:
    """Accepted messages as NNNNNN.eml files plus index.jsonl; numbering goes on from an
    index already in the folder."""

    def __init__(self, folder):
        self._folder = folder
        self._index = os.path.join(folder, "index.jsonl")
        self._sequence = 0
        if os.path.exists(self._index):
            with open(self._index, encoding="ascii") as index:
                self._sequence = sum(1 for _ in index)

    def add(self, envelope, connection, user):
        self._sequence += 1
        name = f"{self._sequence:06d}.eml"
        path = os.path.join(self._folder, name)
        content = envelope.original_content
        with open(path + ".part", "wb") as message:
            message.write(content)
        os.replace(path + ".part", path)
        entry = {"seq": self._sequence, "file": name, "mail_from": envelope.mail_from,
                 "rcpt_to": list(envelope.rcpt_tos), "bytes": len(content),
                 "conn": connection, "user": user}
        with open(self._index, "a", encoding="ascii") as index:
            index.write(json.dumps(entry) + "\n")
        return self._sequence, name, len(content)


class Fixture:
    """What all connections share: configuration, log, store, TLS context."""

    def __init__(self, config):
        self.config = config
        os.makedirs(config.maildir, exist_ok=True)
        self.log = SessionLog(os.path.join(config.maildir, "session.log"),
                              secret_forms(config.user, config.password))
        self.store = MailStore(config.maildir)
        self.tls_context = None
        if config.mode != "plain":
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            try:
                context.load_cert_chain(config.cert, config.key)
            except (OSError, ssl.SSLError) as error:
                raise OSError(f"cannot load {config.cert} and {config.key}: {error}") from None
            context.sni_callback = lambda tls, name, _context: setattr(tls, "sni_name", name)
            self.tls_context = context
        self.handler = SessionHandler(self)
        self.connections = set()
        self._numbers = 0

    def next_connection_number(self):
        self._numbers += 1
        return self._numbers

    def fault_for(self, connection, step):
        limit = self.config.fault_connections
        if limit and connection > limit:
            return None
        return self.config.faults.get(step)

    def authenticate(self, _server, _session, _envelope, _mechanism, auth_data):
        config = self.config
        accepted = (config.user is not None and auth_data.login == config.user.encode()
                    and auth_data.password == config.password.encode())
        return AuthResult(success=accepted, handled=False, auth_data=auth_data)

    def user_matches(self, login):
        return self.config.user is not None and login == self.config.user.encode()

    def offered_mechanisms(self):
        if self.config.no_auth:
            return []
        return ["PLAIN"] if self.config.auth_plain_only else ["LOGIN", "PLAIN"]


class Connection(asyncio.Protocol):
    """One client connection at the socket level. It runs TLS itself (memory BIOs), hands
    the plain bytes to a FixtureSMTP and carries out the wire-level misbehaviour."""

    def __init__(self, fixture):
        self.fixture = fixture
        self.number = fixture.next_connection_number()
        self.raw = None
        self.smtp = None
        self.tls = None
        self.tls_active = False
        self.closing = False
        self._closed_by = None
        self._incoming = self._outgoing = None
        self._handshake_waiter = None
        self._refuse_client_hello = False

    def log(self, event, **fields):
        self.fixture.log.write(self.number, event, **fields)

    # Events of the TCP connection.

    def connection_made(self, transport):
        self.raw = transport
        self.fixture.connections.add(self)
        host, port = transport.get_extra_info("peername")[:2]
        self.log("open", peer=f"{host}:{port}")
        if self.fixture.config.mode == "implicit-tls":
            self._begin_tls()
        else:
            self._start_smtp()

    def data_received(self, data):
        if self.closing:
            return
        if self._refuse_client_hello:
            self.send_fatal_alert()
            return
        if self.tls is None:
            if self.smtp is not None:
                self.smtp.data_received(data)
            return
        self._incoming.write(data)
        if not self.tls_active:
            self._continue_handshake()
        if self.tls_active:
            self._read_tls()

    def eof_received(self):
        self._closed_by = self._closed_by or "client"
        self.log("eof")
        if self.smtp is not None:
            self.smtp.eof_received()
        return False

    def connection_lost(self, exc):
        self.fixture.connections.discard(self)
        if self.smtp is not None and self.smtp.buffered():
            self.log("unconsumed", bytes=self.smtp.buffered())
        fields = {"by": self._closed_by or "client"}
        if exc is not None:
            fields["error"] = str(exc) or type(exc).__name__
        self.log("close", **fields)
        self._fail_handshake_waiter()
        if self.smtp is not None:
            self.smtp.connection_lost(exc)

    def pause_writing(self):
        if self.smtp is not None:
            self.smtp.pause_writing()

    def resume_writing(self):
        if self.smtp is not None:
            self.smtp.resume_writing()

    # TLS.

    def start_tls(self):
        """Begins a server-side handshake (STARTTLS); the future completes with it."""
        self._handshake_waiter = asyncio.get_running_loop().create_future()
        self._begin_tls()
        return self._handshake_waiter

    def _begin_tls(self):
        self._incoming, self._outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
        self.tls = self.fixture.tls_context.wrap_bio(self._incoming, self._outgoing, server_side=True)

    def _continue_handshake(self):
        try:
            self.tls.do_handshake()
        except ssl.SSLWantReadError:
            self._flush()
            return
        except ssl.SSLError as error:
            self.log("tls-error", error=str(error))
            self._give_up("client" if "ALERT" in (error.reason or "") else "server")
            self._fail_handshake_waiter()
            return
        self._flush()
        self.tls_active = True
        self.log("tls", version=self.tls.version(), cipher=self.tls.cipher()[0],
                 sni=getattr(self.tls, "sni_name", None))
        if self._handshake_waiter is not None:
            self._handshake_waiter.set_result(None)
            return
        outcome = self.fault("after-tls-handshake")
        if outcome == GO_ON:
            self._start_smtp()
        elif outcome == STALL:
            self.raw.pause_reading()

    def _fail_handshake_waiter(self):
        if self._handshake_waiter is not None and not self._handshake_waiter.done():
            self._handshake_waiter.set_exception(ConnectionError("no TLS handshake"))

    def _read_tls(self):
        while not self.closing:
            try:
                chunk = self.tls.read(65536)
            except ssl.SSLWantReadError:
                break
            except ssl.SSLZeroReturnError:
                self.log("tls-close-notify")
                self._closed_by = self._closed_by or "client"
                if self.smtp is not None:
                    self.smtp.eof_received()
                self.close()
                return
            except ssl.SSLError as error:
                self.log("tls-error", error=str(error))
                self._give_up("client")
                return
            if not chunk:
                break
            if self.smtp is not None:
                self.smtp.data_received(chunk)
        self._flush()

    def _flush(self):
        data = self._outgoing.read()
        if data:
            self.raw.write(data)

    def _give_up(self, by):
        """After a TLS failure: our alert, if the engine made one, then FIN."""
        self._closed_by = self._closed_by or by
        self.closing = True
        self._flush()
        self.raw.close()

    # What the SMTP layer (through AppTransport) and the faults do to the connection.

    def send(self, data):
        if self.closing:
            return
        if self.tls_active:
            self.tls.write(data)
            self._flush()
        else:
            self.raw.write(data)

    def _begin_closing(self):
        if self.closing:
            return False
        self.closing = True
        self._closed_by = self._closed_by or "server"
        return True

    def close(self):
        if not self._begin_closing():
            return
        if self.tls_active:
            try:
                self.tls.unwrap()
            except ssl.SSLError:
                pass  # our close_notify is out; the client's is not awaited
            self._flush()
        self.raw.close()

    def truncate(self):
        if self._begin_closing():
            self.raw.close()

    def reset(self):
        if self._begin_closing():
            self.raw.get_extra_info("socket").setsockopt(
                socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.raw.abort()

    def send_fatal_alert(self):
        if not self._begin_closing():
            return
        if self.tls_active:
            self._incoming.write(UNDECRYPTABLE_RECORD)
            try:
                self.tls.read(1)
            except ssl.SSLError:
                pass  # expected: the engine refuses the record and queues its alert
            self._flush()
        else:
            self.raw.write(PLAINTEXT_ALERT)
        self.raw.close()

    def fault(self, step):
        """Carries out the fault configured for the step; says how the session goes on."""
        action = self.fixture.fault_for(self.number, step)
        if action is None:
            return GO_ON
        self.log("fault", step=step, action=action)
        if action in GARBAGE:
            self.send(GARBAGE[action])
            return GO_ON
        if action == "stall":
            return STALL
        if action == "refuse-421":
            line = f"421 4.4.2 {self.fixture.config.hostname} Error: timeout exceeded"
            self.fixture.log.write_text(self.number, "reply", line)
            self.send(line.encode("ascii") + b"\r\n")
            self.close()
            return GONE
        if action == "tls-alert" and step == "after-starttls":
            self._refuse_client_hello = True
            return STALL
        {"close": self.close, "truncate": self.truncate, "reset": self.reset,
         "tls-alert": self.send_fatal_alert}[action]()
        return GONE

    def shut_down(self):
        """Server stop: the connection goes at once."""
        self._begin_closing()
        self.raw.abort()

    def _start_smtp(self):
        self.smtp = FixtureSMTP(self)
        self.smtp.connection_made(AppTransport(self))


class AppTransport(asyncio.Transport):
    """The transport aiosmtpd writes to: plain bytes in, through our TLS when it runs."""

    def __init__(self, connection):
        super().__init__()
        self._connection = connection
        self._protocol = None

    def write(self, data):
        self._connection.send(bytes(data))

    def close(self):
        self._connection.close()

    def abort(self):
        self._connection.truncate()

    def is_closing(self):
        return self._connection.closing

    def can_write_eof(self):
        return False

    def get_extra_info(self, name, default=None):
        if name == "ssl_object":
            return self._connection.tls if self._connection.tls_active else default
        return self._connection.raw.get_extra_info(name, default)

    def pause_reading(self):
        self._connection.raw.pause_reading()

    def resume_reading(self):
        self._connection.raw.resume_reading()

    def is_reading(self):
        return self._connection.raw.is_reading()

    def set_write_buffer_limits(self, high=None, low=None):
        self._connection.raw.set_write_buffer_limits(high, low)

    def get_write_buffer_size(self):
        return self._connection.raw.get_write_buffer_size()

    def set_protocol(self, protocol):
        self._protocol = protocol

    def get_protocol(self):
        return self._protocol


class RecordingReader:
    """Stands in front of aiosmtpd's stream reader: every line it hands out is reported
    to the server (log, read numbers, data counting, the mid-data step)."""

    def __init__(self, reader, server):
        self._reader = reader
        self._server = server

    def __getattr__(self, name):
        return getattr(self._reader, name)

    async def readuntil(self, separator=b"\n"):
        data = await self._reader.readuntil(separator)
        await self._server.took(data, complete=True)
        return data

    async def readline(self):
        data = await self._reader.readline()
        await self._server.took(data, complete=True)
        return data

    async def read(self, n=-1):
        data = await self._reader.read(n)
        await self._server.took(data, complete=False)
        return data

    def buffered(self):
        return len(self._reader._buffer)

    def discard_buffered(self):
        """Drops what is buffered (plaintext pipelined behind STARTTLS must not count)."""
        count = self.buffered()
        self._reader._buffer.clear()
        return count


class FixtureSMTP(SMTP):
    """aiosmtpd's SMTP protocol with logging, the knobs and the SMTP-level faults."""

    def __init__(self, connection):
        fixture = connection.fixture
        config = fixture.config
        self.connection = connection
        self.fixture = fixture
        self.config = config
        excluded = [m for m in ("LOGIN", "PLAIN") if m not in fixture.offered_mechanisms()]
        super().__init__(
            fixture.handler, data_size_limit=config.size, hostname=config.hostname,
            ident="ESMTP Orvant test server", tls_context=None,
            auth_required=config.require_auth, auth_require_tls=False,
            auth_exclude_mechanism=excluded, authenticator=fixture.authenticate,
            loop=asyncio.get_running_loop())
        self._greeted = False
        self._mode = "command"
        self._fed = 0
        self._reads = 0
        self._consumed = 0
        self._arrivals = collections.deque()  # (read number, offset after it)
        self._fragment_start = None
        self._fragment_prefix = b""
        self._fragment_length = 0
        self._data_bytes = 0
        self._data_first_read = 0
        self._data_line_start = True
        self._mid_data_done = False

    def log(self, event, **fields):
        self.connection.log(event, **fields)

    def log_text(self, event, text, **fields):
        self.fixture.log.write_text(self.connection.number, event, text, **fields)

    # Byte bookkeeping: which socket reads a consumed line came from.

    def _client_connected_cb(self, reader, writer):
        super()._client_connected_cb(RecordingReader(reader, self), writer)

    def data_received(self, data):
        self._reads += 1
        self._fed += len(data)
        self._arrivals.append((self._reads, self._fed))
        super().data_received(data)

    def buffered(self):
        return self._reader.buffered() if isinstance(self._reader, RecordingReader) else 0

    def _read_of(self, offset):
        """The read that delivered the byte at offset (arrivals before it are dropped)."""
        while len(self._arrivals) > 1 and self._arrivals[0][1] <= offset:
            self._arrivals.popleft()
        for number, end in self._arrivals:
            if end > offset:
                return number
        return self._reads

    async def took(self, data, complete):
        start = self._consumed
        self._consumed = self._fed - self.buffered()
        if self._mode == "data":
            await self._took_data(data, start)
            return
        if not complete:
            if self._fragment_start is None:
                self._fragment_start = start
            self._fragment_prefix = (self._fragment_prefix + data)[:LOGGED_PREFIX]
            self._fragment_length += len(data)
            return
        if not data:
            return
        first_read = self._read_of(start if self._fragment_start is None else self._fragment_start)
        last_read = self._read_of(self._consumed - 1)
        reads = {"read": last_read}
        if first_read != last_read:
            reads["read_first"] = first_read
        crlf = data.endswith(b"\r\n")
        if self._mode == "auth":
            self.log("auth-line", length=len(data.rstrip(b"\r\n")), crlf=crlf, **reads)
        elif self._fragment_start is not None:
            prefix = (self._fragment_prefix + data)[:LOGGED_PREFIX]
            self.log_text("cmd", readable(prefix), crlf=crlf, too_long=True,
                          length=self._fragment_length + len(data.rstrip(b"\r\n")), **reads)
        else:
            self._log_command(data.rstrip(b"\r\n"), crlf, reads)
        self._fragment_start, self._fragment_prefix, self._fragment_length = None, b"", 0

    def _log_command(self, line, crlf, reads):
        words = line.split()
        if len(words) >= 3 and words[0].upper() == b"AUTH":
            self.log_text("cmd", readable(b" ".join(words[:2])), crlf=crlf,
                          initial_response_length=len(words[2]), **reads)
        else:
            self.log_text("cmd", readable(line), crlf=crlf, **reads)

    async def _took_data(self, data, start):
        if self._data_first_read == 0 and data:
            self._data_first_read = self._read_of(start)
        if self._data_line_start and data == b".\r\n":
            last_read = self._read_of(self._consumed - 1)
            self.log("data", bytes=self._data_bytes, reads=last_read - self._data_first_read + 1)
            self._mode = "command"
            return
        self._data_bytes += len(data)
        self._data_line_start = data.endswith(b"\r\n")
        if not self._mid_data_done and self._data_bytes >= self.config.mid_data_bytes:
            self._mid_data_done = True
            await self.step("mid-data")

    def _begin_data(self):
        self._mode = "data"
        self._data_bytes = 0
        self._data_first_read = 0
        self._data_line_start = True
        self._mid_data_done = False

    # Replies and steps.

    async def push(self, status):
        text = status if isinstance(status, str) else status.decode("latin-1")
        greeting = not self._greeted
        if not greeting and text.startswith("354"):
            await self.step("after-data")
        if greeting:
            self._greeted = True
            if self.config.greeting:
                status = text = self.config.greeting
        self.log_text("reply", text)
        await super().push(status)
        if greeting:
            await self.step("after-greeting")
        elif text.startswith("354"):
            self._begin_data()
            await self.step("after-354")

    async def step(self, name):
        outcome = self.connection.fault(name)
        if outcome == STALL:
            await self.loop.create_future()  # until the connection or the server goes
        elif outcome == GONE:
            raise asyncio.CancelledError  # aiosmtpd's own way out of a lost session

    # Commands that the knobs change.

    async def smtp_STARTTLS(self, arg):
        if arg:
            await self.push("501 Syntax: STARTTLS")
            return
        if self.config.mode != "starttls" or self.connection.tls is not None:
            await self.push("454 4.7.0 TLS not available")
            return
        if self.config.refuse_starttls:
            await self.push("454 4.7.0 TLS not available due to temporary reason")
            return
        discarded = self._reader.discard_buffered()
        self._consumed = self._fed
        if discarded:
            self.log("starttls-discarded", bytes=discarded)
        reply = "220 2.0.0 Ready to start TLS"
        self.log_text("reply", reply)
        # Written and switched without yielding, so the client's ClientHello cannot
        # reach the plaintext reader.
        self.connection.send(reply.encode("ascii") + b"\r\n")
        outcome = self.connection.fault("after-starttls")
        if outcome == GONE:
            raise asyncio.CancelledError
        if outcome == STALL:
            await self.loop.create_future()
        try:
            await self.connection.start_tls()
        except ConnectionError:
            raise asyncio.CancelledError from None  # logged and closed by the connection
        # RFC 3207 4.2: forget everything learnt before TLS; EHLO must come again.
        peer = self.session.peer
        self._set_rset_state()
        self.session = self._create_session()
        self.session.peer = peer
        await self.step("after-tls-handshake")

    async def smtp_AUTH(self, arg):
        if self.config.mode == "starttls" and not self.connection.tls_active:
            await self.push("538 5.7.11 Encryption required for requested authentication mechanism")
            return
        await super().smtp_AUTH(arg)

    async def challenge_auth(self, challenge, encode_to_b64=True, log_client_response=False):
        self._mode = "auth"
        try:
            return await super().challenge_auth(challenge, encode_to_b64, False)
        finally:
            self._mode = "command"

    async def auth_LOGIN(self, _, args):
        if len(args) == 1:
            await self.step("after-auth-login")
            login = await self.challenge_auth("Username:")
            if login is MISSING:
                return AuthResult(success=False)
        else:
            try:
                login = base64.b64decode(args[1], validate=True)
            except ValueError:
                await self.push("501 5.5.2 Can't decode base64")
                return AuthResult(success=False)
        await self.step("after-username")
        if self.config.username_235 and self.fixture.user_matches(login):
            return AuthResult(success=True, auth_data=LoginPassword(login, b""))
        password = await self.challenge_auth("Password:")
        if password is MISSING:
            return AuthResult(success=False)
        return self._authenticate("LOGIN", LoginPassword(login, password))


class SessionHandler:
    """aiosmtpd's handler hooks: capabilities, refusals, the steps around MAIL, RCPT and
    the final dot, and storing what was accepted."""

    def __init__(self, fixture):
        self.fixture = fixture
        self.config = fixture.config

    async def handle_EHLO(self, server, session, _envelope, hostname, _responses):
        config = self.config
        if config.refuse_ehlo:
            session.extended_smtp = False
            return ["502 5.5.1 EHLO not accepted, use HELO"]
        session.host_name = hostname
        capabilities = [config.hostname]
        if config.pipelining:
            capabilities.append("PIPELINING")
        if config.size:
            capabilities.append(f"SIZE {config.size}")
        capabilities.append("8BITMIME")
        tls_pending = config.mode == "starttls" and not server.connection.tls_active
        if tls_pending:
            capabilities.append("STARTTLS")
        mechanisms = self.fixture.offered_mechanisms()
        if mechanisms and not tls_pending:
            capabilities.append("AUTH " + " ".join(mechanisms))
        lines = [f"250-{c}" for c in capabilities[:-1]] + [f"250 {capabilities[-1]}"]
        if self.fixture.fault_for(server.connection.number, "mid-ehlo-reply") is None:
            return lines
        await server.push(lines[0])
        await server.step("mid-ehlo-reply")
        return lines[1:]

    async def handle_MAIL(self, server, _session, _envelope, _address, _options):
        await server.step("after-mail")
        return MISSING

    async def handle_RCPT(self, server, _session, _envelope, address, _options):
        await server.step("after-rcpt")
        if address.lower() in self.config.refused_recipients:
            return f"550 5.1.1 <{address}>: Recipient address rejected: User unknown"
        return MISSING

    async def handle_DATA(self, server, session, envelope):
        await server.step("before-dot-reply")
        if self.config.dot_reply_552:
            return "552 5.3.4 Message size exceeds fixed maximum message size"
        user = None
        if session.authenticated and session.auth_data is not None:
            user = session.auth_data.login.decode("utf-8", errors="backslashreplace")
        sequence, name, size = self.fixture.store.add(envelope, server.connection.number, user)
        server.log("message", seq=sequence, file=name, bytes=size)
        return f"250 2.0.0 OK queued as {sequence}"


def stdin_is_pipe():
    try:
        mode = os.fstat(sys.stdin.fileno()).st_mode
    except (OSError, ValueError):
        return False
    return stat.S_ISFIFO(mode) or stat.S_ISSOCK(mode)


async def serve(config):
    loop = asyncio.get_running_loop()
    fixture = Fixture(config)
    server = await loop.create_server(lambda: Connection(fixture), "127.0.0.1", config.port)
    port = server.sockets[0].getsockname()[1]
    fixture.log.write(0, "start", pid=os.getpid(), port=port, mode=config.mode)

    stop = asyncio.Event()
    for number in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(number, stop.set)
    if stdin_is_pipe():
        def stdin_readable():
            try:
                ended = not os.read(sys.stdin.fileno(), 4096)
            except OSError:
                ended = True
            if ended:
                loop.remove_reader(sys.stdin.fileno())
                stop.set()
        loop.add_reader(sys.stdin.fileno(), stdin_readable)

    print(f"READY port={port}", flush=True)
    await stop.wait()
    server.close()
    for connection in list(fixture.connections):
        connection.shut_down()
    await asyncio.sleep(0)  # their close entries come before the stop entry
    fixture.log.write(0, "stop")


def main(argv=None):
    config = parse_arguments(argv)
    # aiosmtpd warns about AUTH without TLS (wanted here) and about its own deprecations;
    # its errors (a failing hook) still reach standard error.
    warnings.simplefilter("ignore")
    logging.getLogger("mail.log").setLevel(logging.ERROR)
    try:
        asyncio.run(serve(config))
    except (OSError, ssl.SSLError) as error:
        print(f"smtp_server: {error}", file=sys.stderr, flush=True)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
