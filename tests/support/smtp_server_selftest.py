#!/usr/bin/python3
"""Self-test of smtp_server.py: each mode, knob and fault against the real server, seen
from the client's side of the wire (smtplib, ssl and raw sockets) and in the server's
files."""
import base64
import glob
import json
import os
import select
import shutil
import signal
import smtplib
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "smtp_server.py")
USER = "loja@example.com"
PASSWORD = "s3nha-Secreta"
CERTS = {}


def openssl(*args):
    subprocess.run(("openssl",) + args, check=True, capture_output=True)


def setUpModule():
    folder = tempfile.mkdtemp(prefix="orvant-smtp-selftest-certs-")
    CERTS["folder"] = folder
    ca, ca_key = os.path.join(folder, "ca.pem"), os.path.join(folder, "ca.key")
    key, csr, cert = (os.path.join(folder, name) for name in ("server.key", "server.csr", "server.pem"))
    ec = ("-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes")
    openssl("req", "-x509", *ec, "-keyout", ca_key, "-out", ca, "-days", "2", "-subj", "/CN=Selftest CA")
    openssl("req", "-new", *ec, "-keyout", key, "-out", csr, "-subj", "/CN=localhost",
            "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1")
    openssl("x509", "-req", "-in", csr, "-CA", ca, "-CAkey", ca_key, "-out", cert, "-days", "2",
            "-copy_extensions", "copy")
    CERTS.update(ca=ca, cert=cert, key=key)


def tearDownModule():
    shutil.rmtree(CERTS["folder"], ignore_errors=True)


def client_context():
    context = ssl.create_default_context(cafile=CERTS["ca"])
    context.options &= ~ssl.OP_IGNORE_UNEXPECTED_EOF  # a truncated stream must show
    return context


def b64(text):
    return base64.b64encode(text.encode() if isinstance(text, str) else text).decode()


class Dialogue:
    """A raw client connection: exact bytes out, lines and replies in."""

    def __init__(self, sock):
        self.sock = sock
        self.buffer = b""

    def send(self, data):
        self.sock.sendall(data.encode() if isinstance(data, str) else data)

    def line(self):
        """The next line with its line end; what is left at the end of the stream. Plain
        text is never read past the line, so STARTTLS can hand the socket over."""
        while b"\n" not in self.buffer:
            if isinstance(self.sock, ssl.SSLSocket):
                chunk = self.sock.recv(65536)
            else:
                peeked = self.sock.recv(65536, socket.MSG_PEEK)
                chunk = self.sock.recv(peeked.find(b"\n") + 1 or len(peeked) or 1)
            if not chunk:
                rest, self.buffer = self.buffer, b""
                return rest
            self.buffer += chunk
        line, _, self.buffer = self.buffer.partition(b"\n")
        return line + b"\n"

    def reply(self):
        """(code, text lines) of a whole reply; (None, []) at the end of the stream."""
        texts = []
        while True:
            line = self.line()
            if not line:
                return None, texts
            texts.append(line[4:].rstrip(b"\r\n").decode())
            if line[3:4] != b"-":
                return int(line[:3]), texts

    def command(self, line):
        self.send(line + "\r\n")
        return self.reply()

    def starttls(self):
        assert not self.buffer
        self.sock = client_context().wrap_socket(self.sock, server_hostname="localhost",
                                                 suppress_ragged_eofs=False)

    def close(self):
        self.sock.close()


class Server:
    """smtp_server.py as a child process with its own maildir."""

    def __init__(self, *knobs, mode="plain", account=True, folder=None):
        self.owns_folder = folder is None
        self.folder = folder or tempfile.mkdtemp(prefix="orvant-smtp-selftest-")
        self.mode = mode
        self.dialogues = []
        argv = [sys.executable, SERVER, "--mode", mode, "--port", "0", "--maildir", self.folder]
        if mode != "plain":
            argv += ["--cert", CERTS["cert"], "--key", CERTS["key"]]
        if account:
            argv += ["--user", USER, "--password", PASSWORD]
        self.process = subprocess.Popen(argv + list(knobs), stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        ready = self.first_line(15)
        if not ready.startswith(b"READY port="):
            self.stop()
            raise RuntimeError(f"no ready line but {ready!r}")
        self.port = int(ready.split(b"=")[1])

    def first_line(self, seconds):
        if not select.select([self.process.stdout], [], [], seconds)[0]:
            return b""
        return self.process.stdout.readline()

    def stop(self):
        for talk in self.dialogues:
            talk.close()
        self.process.stdin.close()
        self.process.wait(10)
        self.process.stdout.close()
        return self.process.returncode

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()
        if self.owns_folder:
            shutil.rmtree(self.folder, ignore_errors=True)

    def dialogue(self, timeout=10):
        sock = socket.create_connection(("127.0.0.1", self.port), timeout=timeout)
        if self.mode == "implicit-tls":
            sock = client_context().wrap_socket(sock, server_hostname="localhost",
                                                suppress_ragged_eofs=False)
        self.dialogues.append(Dialogue(sock))
        return self.dialogues[-1]

    def greeted(self, ehlo=True):
        talk = self.dialogue()
        code, _ = talk.reply()
        assert code == 220, code
        if ehlo:
            code, _ = talk.command("EHLO client.test")
            assert code == 250, code
        return talk

    def smtp(self):
        if self.mode == "implicit-tls":
            return smtplib.SMTP_SSL("localhost", self.port, context=client_context(), timeout=10)
        return smtplib.SMTP("127.0.0.1", self.port, timeout=10)

    def log(self, event=None, conn=None):
        with open(os.path.join(self.folder, "session.log"), encoding="ascii") as log:
            entries = [json.loads(line) for line in log if line.endswith("\n")]  # not one being written
        return [e for e in entries
                if (event is None or e["ev"] == event) and (conn is None or e["conn"] == conn)]

    def wait_for(self, event, seconds=10):
        """Entries the server writes after the client has moved on (a close, say)."""
        deadline = time.monotonic() + seconds
        while not self.log(event) and time.monotonic() < deadline:
            time.sleep(0.01)
        return self.log(event)

    def commands(self, conn=1):
        return [e.get("line") for e in self.log("cmd", conn)]

    def messages(self):
        path = os.path.join(self.folder, "index.jsonl")
        if not os.path.exists(path):
            return []
        with open(path, encoding="ascii") as index:
            return [json.loads(line) for line in index]

    def message_bytes(self, entry):
        with open(os.path.join(self.folder, entry["file"]), "rb") as message:
            return message.read()


def transaction(talk, body=b"Subject: t\r\n\r\nhello\r\n", recipients=("dest@example.com",)):
    """MAIL, RCPT, DATA and the message with its dot; the reply to the dot."""
    assert talk.command("MAIL FROM:<loja@example.com>")[0] == 250
    for address in recipients:
        talk.command(f"RCPT TO:<{address}>")
    assert talk.command("DATA")[0] == 354
    talk.send(body + b".\r\n")
    return talk.reply()


def login(talk):
    assert talk.command("AUTH LOGIN")[0] == 334
    assert talk.command(b64(USER))[0] == 334
    return talk.command(b64(PASSWORD))


class ModesTest(unittest.TestCase):
    def test_implicit_tls_stores_the_exact_message_and_logs_the_session(self):
        body = b"Subject: x\r\n\r\n..two dots become one\r\nbare\nlf stays\r\nlast\r\n"
        with Server(mode="implicit-tls") as server:
            talk = server.greeted()
            self.assertEqual(login(talk)[0], 235)
            self.assertEqual(transaction(talk, body, ("a@example.com", "b@example.com"))[0], 250)
            self.assertEqual(talk.command("QUIT")[0], 221)
            talk.close()

            [entry] = server.messages()
            self.assertEqual(server.message_bytes(entry),
                             b"Subject: x\r\n\r\n.two dots become one\r\nbare\nlf stays\r\nlast\r\n")
            self.assertEqual((entry["seq"], entry["mail_from"], entry["rcpt_to"], entry["user"]),
                             (1, "loja@example.com", ["a@example.com", "b@example.com"], USER))
            [tls] = server.log("tls")
            self.assertEqual((tls["version"], tls["sni"]), ("TLSv1.3", "localhost"))
            self.assertEqual(server.commands(), ["EHLO client.test", "AUTH LOGIN",
                                                 "MAIL FROM:<loja@example.com>", "RCPT TO:<a@example.com>",
                                                 "RCPT TO:<b@example.com>", "DATA", "QUIT"])
            replies = [e["line"] for e in server.log("reply")]
            self.assertEqual(replies[0], "220 localhost ESMTP Orvant test server")
            self.assertIn("250 AUTH LOGIN PLAIN", replies)
            self.assertEqual(server.log("data")[0]["bytes"], len(body))
            self.assertEqual(server.wait_for("close")[0]["by"], "server")

    def test_no_sni_is_logged_when_the_client_connects_by_address(self):
        with Server(mode="implicit-tls") as server:
            context = client_context()
            with socket.create_connection(("127.0.0.1", server.port)) as raw:
                with context.wrap_socket(raw, server_hostname="127.0.0.1") as tls:
                    self.assertTrue(tls.recv(100).startswith(b"220 "))
            self.assertIsNone(server.log("tls")[0]["sni"])

    def test_a_client_refusing_the_certificate_shows_in_the_log(self):
        with Server(mode="implicit-tls") as server:
            with socket.create_connection(("127.0.0.1", server.port)) as raw:
                with self.assertRaises(ssl.SSLCertVerificationError):
                    ssl.create_default_context().wrap_socket(raw, server_hostname="localhost")
            self.assertIn("UNKNOWN_CA", server.wait_for("tls-error")[0]["error"])
            self.assertFalse(server.log("reply"))

    def test_starttls_offers_auth_only_under_tls_and_forgets_the_plain_session(self):
        with Server(mode="starttls") as server:
            talk = server.greeted(ehlo=False)
            code, capabilities = talk.command("EHLO client.test")
            self.assertIn("STARTTLS", capabilities)
            self.assertFalse([c for c in capabilities if c.startswith("AUTH")])
            self.assertEqual(talk.command("AUTH LOGIN")[0], 538)
            self.assertEqual(talk.command("STARTTLS")[0], 220)
            talk.starttls()
            self.assertEqual(talk.command("MAIL FROM:<loja@example.com>")[0], 503)
            code, capabilities = talk.command("EHLO client.test")
            self.assertNotIn("STARTTLS", capabilities)
            self.assertIn("AUTH LOGIN PLAIN", capabilities)
            self.assertEqual(talk.command("STARTTLS")[0], 454)
            self.assertEqual(login(talk)[0], 235)
            self.assertEqual(transaction(talk)[0], 250)
            talk.close()
            self.assertEqual(server.log("tls")[0]["version"], "TLSv1.3")

    def test_starttls_drops_plaintext_pipelined_behind_it(self):
        with Server(mode="starttls") as server:
            talk = server.greeted()
            talk.send("STARTTLS\r\nNOOP\r\n")
            self.assertEqual(talk.reply()[0], 220)
            talk.starttls()
            self.assertEqual(talk.command("EHLO again")[0], 250)
            talk.close()
            self.assertEqual(server.log("starttls-discarded")[0]["bytes"], len("NOOP\r\n"))
            self.assertNotIn("NOOP", server.commands())

    def test_plain_mode_logs_in_without_tls_and_refuses_starttls(self):
        with Server() as server:
            with server.smtp() as client:
                code, capabilities = client.ehlo("client.test")
                self.assertNotIn(b"STARTTLS", capabilities)
                self.assertEqual(client.docmd("STARTTLS")[0], 454)
                client.login(USER, PASSWORD)
                client.sendmail("loja@example.com", ["x@example.com"], b"Subject: p\r\n\r\nbody\r\n")
            self.assertEqual(server.messages()[0]["rcpt_to"], ["x@example.com"])
            self.assertFalse(server.log("tls"))


class AuthenticationTest(unittest.TestCase):
    def test_login_and_plain_with_and_without_initial_responses(self):
        with Server() as server:
            for exchange in (
                lambda t: login(t),
                lambda t: (t.command("AUTH LOGIN " + b64(USER)), t.command(b64(PASSWORD)))[1],
                lambda t: t.command("AUTH PLAIN " + b64(f"\0{USER}\0{PASSWORD}")),
                lambda t: (t.command("AUTH PLAIN"), t.command(b64(f"\0{USER}\0{PASSWORD}")))[1],
            ):
                talk = server.greeted()
                self.assertEqual(exchange(talk)[0], 235)
                talk.close()

    def test_wrong_password_is_refused_with_535(self):
        with Server() as server:
            talk = server.greeted()
            talk.command("AUTH LOGIN")
            talk.command(b64(USER))
            self.assertEqual(talk.command(b64("wrong"))[0], 535)

    def test_no_file_ever_holds_the_password_or_its_base64_forms(self):
        with Server() as server:
            talk = server.greeted()
            login(talk)
            talk.command(b64(PASSWORD))  # a confused client sends it once more as a command
            talk.command("AUTH PLAIN " + b64(f"{USER}\0{USER}\0{PASSWORD}"))
            talk.close()
            talk = server.greeted()
            talk.command("AUTH PLAIN " + b64(f"\0{USER}\0{PASSWORD}"))
            talk.close()
            server.wait_for("close")
            secrets = [PASSWORD, b64(PASSWORD), b64(PASSWORD).rstrip("="), b64(f"\0{USER}\0{PASSWORD}"),
                       b64(f"{USER}\0{USER}\0{PASSWORD}")]
            for path in glob.glob(os.path.join(server.folder, "*")):
                with open(path, encoding="latin-1") as content:
                    text = content.read().lower()
                for secret in secrets:
                    self.assertNotIn(secret.lower(), text, path)
            self.assertEqual([e["length"] for e in server.log("auth-line")],
                             [len(b64(USER)), len(b64(PASSWORD))])
            self.assertTrue(server.log("cmd")[2]["redacted"])

    def test_username_235_skips_the_password_only_for_the_right_user(self):
        with Server("--username-235") as server:
            talk = server.greeted()
            self.assertEqual(talk.command("AUTH LOGIN")[0], 334)
            self.assertEqual(talk.command(b64(USER))[0], 235)
            self.assertEqual(transaction(talk)[0], 250)
            talk = server.greeted()
            talk.command("AUTH LOGIN")
            self.assertEqual(talk.command(b64("other@example.com"))[0], 334)

    def test_no_auth_and_plain_only_change_the_offer_and_the_answer(self):
        with Server("--no-auth") as server:
            talk = server.greeted(ehlo=False)
            code, capabilities = talk.command("EHLO client.test")
            self.assertFalse([c for c in capabilities if c.startswith("AUTH")])
            self.assertEqual(talk.command("AUTH LOGIN")[0], 504)
        with Server("--auth-plain-only") as server:
            talk = server.greeted(ehlo=False)
            code, capabilities = talk.command("EHLO client.test")
            self.assertIn("AUTH PLAIN", capabilities)
            self.assertEqual(talk.command("AUTH LOGIN")[0], 504)
            self.assertEqual(talk.command("AUTH PLAIN " + b64(f"\0{USER}\0{PASSWORD}"))[0], 235)

    def test_require_auth_refuses_mail_until_login(self):
        with Server("--require-auth") as server:
            talk = server.greeted()
            self.assertEqual(talk.command("MAIL FROM:<loja@example.com>")[0], 530)
            login(talk)
            self.assertEqual(transaction(talk)[0], 250)
        with Server() as server:
            self.assertEqual(transaction(server.greeted())[0], 250)


class KnobsTest(unittest.TestCase):
    def test_refused_ehlo_leaves_helo(self):
        with Server("--refuse-ehlo") as server:
            talk = server.greeted(ehlo=False)
            self.assertEqual(talk.command("EHLO client.test")[0], 502)
            self.assertEqual(talk.command("HELO client.test")[0], 250)
            self.assertEqual(talk.command("AUTH LOGIN")[0], 500)
            self.assertEqual(transaction(talk)[0], 250)

    def test_refused_recipient_gets_550_and_the_others_go_through(self):
        with Server("--refuse-rcpt", "No@Example.com") as server:
            talk = server.greeted()
            talk.command("MAIL FROM:<loja@example.com>")
            self.assertEqual(talk.command("RCPT TO:<no@example.com>")[0], 550)
            self.assertEqual(talk.command("RCPT TO:<yes@example.com>")[0], 250)
            talk.command("DATA")
            talk.send("x\r\n.\r\n")
            self.assertEqual(talk.reply()[0], 250)
            self.assertEqual(server.messages()[0]["rcpt_to"], ["yes@example.com"])

    def test_dot_reply_552_stores_nothing(self):
        with Server("--dot-reply-552") as server:
            self.assertEqual(transaction(server.greeted())[0], 552)
            self.assertEqual(server.messages(), [])

    def test_pipelined_commands_are_logged_as_one_read(self):
        with Server("--pipelining", mode="implicit-tls") as server:
            talk = server.greeted(ehlo=False)
            self.assertIn("PIPELINING", talk.command("EHLO client.test")[1])
            talk.send("MAIL FROM:<loja@example.com>\r\nRCPT TO:<a@example.com>\r\nDATA\r\n")
            self.assertEqual([talk.reply()[0] for _ in range(3)], [250, 250, 354])
            talk.send("x\r\n.\r\n")
            talk.reply()
            self.assertEqual(transaction(talk)[0], 250)
            commands = server.log("cmd")
            piped, stepped = commands[1:4], commands[4:7]
            self.assertEqual(len({c["read"] for c in piped}), 1)
            self.assertEqual(len({c["read"] for c in stepped}), 3)
        with Server() as server:
            self.assertNotIn("PIPELINING", server.greeted(ehlo=False).command("EHLO c")[1])

    def test_size_is_advertised_and_enforced(self):
        with Server("--size", "1000") as server:
            talk = server.greeted(ehlo=False)
            self.assertIn("SIZE 1000", talk.command("EHLO client.test")[1])
            self.assertEqual(talk.command("MAIL FROM:<a@example.com> SIZE=5000")[0], 552)
            self.assertEqual(transaction(talk, b"x" * 600 + b"\r\n" + b"y" * 600 + b"\r\n")[0], 552)
            self.assertEqual(transaction(talk)[0], 250)
        with Server() as server:
            capabilities = server.greeted(ehlo=False).command("EHLO client.test")[1]
            self.assertFalse([c for c in capabilities if c.startswith("SIZE")])

    def test_greeting_and_refused_starttls(self):
        with Server("--greeting", "554 5.3.2 no service today") as server:
            self.assertEqual(server.dialogue().reply(), (554, ["5.3.2 no service today"]))
        with Server("--refuse-starttls", mode="starttls") as server:
            self.assertEqual(server.greeted().command("STARTTLS")[0], 454)

    def test_messages_are_numbered_across_sessions_and_restarts(self):
        with Server() as server:
            for _ in range(2):
                talk = server.greeted()
                transaction(talk)
                transaction(talk)
            server.stop()
            with Server(folder=server.folder) as again:
                transaction(again.greeted())
                self.assertEqual([m["seq"] for m in again.messages()], [1, 2, 3, 4, 5])
                self.assertEqual([m["conn"] for m in again.messages()], [1, 1, 2, 2, 1])


class FaultsTest(unittest.TestCase):
    def fault_logged(self, server, step, action):
        self.assertIn({"step": step, "action": action},
                      [{"step": e["step"], "action": e["action"]} for e in server.log("fault")])

    def test_close_is_an_orderly_end_with_close_notify_under_tls(self):
        with Server("--fault", "after-mail=close", mode="implicit-tls") as server:
            talk = server.greeted()
            self.assertEqual(talk.command("MAIL FROM:<a@example.com>"), (None, []))
            self.fault_logged(server, "after-mail", "close")
            self.assertEqual(server.wait_for("close")[0]["by"], "server")

    def test_truncate_ends_a_tls_stream_without_close_notify(self):
        with Server("--fault", "after-rcpt=truncate", mode="implicit-tls") as server:
            talk = server.greeted()
            talk.command("MAIL FROM:<a@example.com>")
            talk.send("RCPT TO:<b@example.com>\r\n")
            with self.assertRaisesRegex(ssl.SSLError, "UNEXPECTED_EOF"):
                talk.reply()

    def test_reset_sends_rst(self):
        with Server("--fault", "after-mail=reset") as server:
            talk = server.greeted()
            with self.assertRaises(ConnectionResetError):
                talk.command("MAIL FROM:<a@example.com>")

    def test_tls_alert_is_a_fatal_alert_under_tls_and_a_plaintext_record_without(self):
        with Server("--fault", "after-mail=tls-alert", mode="implicit-tls") as server:
            talk = server.greeted()
            with self.assertRaisesRegex(ssl.SSLError, "BAD_RECORD_MAC"):
                talk.command("MAIL FROM:<a@example.com>")
        with Server("--fault", "after-starttls=tls-alert", mode="starttls") as server:
            talk = server.greeted()
            self.assertEqual(talk.command("STARTTLS")[0], 220)
            with self.assertRaisesRegex(ssl.SSLError, "HANDSHAKE_FAILURE"):
                talk.starttls()
        with Server("--fault", "after-greeting=tls-alert") as server:
            talk = server.dialogue()
            talk.line()
            self.assertEqual(talk.line(), b"\x15\x03\x03\x00\x02\x02\x28")

    def test_stall_keeps_the_connection_open_and_silent(self):
        with Server("--fault", "after-rcpt=stall") as server:
            talk = server.greeted()
            talk.command("MAIL FROM:<a@example.com>")
            talk.sock.settimeout(0.5)
            with self.assertRaises(socket.timeout):
                talk.command("RCPT TO:<b@example.com>")
            self.assertFalse(server.log("close"))
            talk.close()
            self.assertEqual(server.wait_for("close")[0]["by"], "client")
        with Server("--fault", "after-tls-handshake=stall", mode="implicit-tls") as server:
            talk = server.dialogue(timeout=0.5)
            with self.assertRaises(socket.timeout):
                talk.line()
            self.assertEqual(len(server.log("tls")), 1)

    def test_stall_mid_data_stops_reading_so_the_client_blocks(self):
        with Server("--fault", "mid-data=stall", "--mid-data-bytes", "1000") as server:
            talk = server.greeted()
            talk.command("MAIL FROM:<a@example.com>")
            talk.command("RCPT TO:<b@example.com>")
            talk.command("DATA")
            talk.sock.settimeout(1)
            with self.assertRaises(socket.timeout):
                talk.send((b"y" * 998 + b"\r\n") * 64 * 1024)
            self.fault_logged(server, "mid-data", "stall")

    def test_each_garbage_kind_comes_before_the_real_reply(self):
        for kind, expected in (
            ("garbage-no-code", b"Hello, this line has no reply code\r\n"),
            ("garbage-five-digit", b"25000 Five digits are no reply code\r\n"),
            ("garbage-long-line", b"250 " + b"x" * (1024 * 1024 - 6) + b"\r\n"),
            ("garbage-binary", bytes(b for b in range(256) if b not in (10, 13)) + b"\r\n"),
        ):
            with self.subTest(kind), Server("--fault", f"after-mail={kind}", mode="implicit-tls") as server:
                talk = server.greeted()
                talk.send("MAIL FROM:<a@example.com>\r\n")
                self.assertEqual(talk.line(), expected)
                self.assertEqual(talk.reply()[0], 250)

    def test_mid_ehlo_reply_sends_only_the_first_line(self):
        with Server("--fault", "mid-ehlo-reply=close") as server:
            talk = server.greeted(ehlo=False)
            talk.send("EHLO client.test\r\n")
            self.assertEqual(talk.line(), b"250-localhost\r\n")
            self.assertEqual(talk.line(), b"")

    def test_login_steps(self):
        with Server("--fault", "after-auth-login=close") as server:
            self.assertEqual(server.greeted().command("AUTH LOGIN"), (None, []))
        with Server("--fault", "after-username=garbage-no-code") as server:
            talk = server.greeted()
            talk.command("AUTH LOGIN")
            talk.send(b64(USER) + "\r\n")
            self.assertEqual(talk.line(), b"Hello, this line has no reply code\r\n")
            self.assertEqual(talk.reply(), (334, ["UGFzc3dvcmQ6"]))

    def test_faults_in_the_transaction_store_nothing(self):
        for fault in ("after-354=close", "before-dot-reply=close", "mid-data=close"):
            with self.subTest(fault), Server("--fault", fault, "--mid-data-bytes", "1000") as server:
                talk = server.greeted()
                try:
                    code, _ = transaction(talk, (b"z" * 98 + b"\r\n") * 100)
                except (BrokenPipeError, ConnectionResetError):
                    code = None
                self.assertIsNone(code)
                self.assertEqual(server.messages(), [])
                self.fault_logged(server, *fault.split("="))

    def test_garbage_after_the_starttls_handshake(self):
        with Server("--fault", "after-tls-handshake=garbage-no-code", mode="starttls") as server:
            talk = server.greeted()
            talk.command("STARTTLS")
            talk.starttls()
            self.assertEqual(talk.line(), b"Hello, this line has no reply code\r\n")
            self.assertEqual(talk.command("EHLO again")[0], 250)

    def test_fault_connections_limits_faults_to_the_first_connections(self):
        with Server("--fault", "after-greeting=close", "--fault-connections", "1") as server:
            first = server.dialogue()
            first.line()
            self.assertEqual(first.line(), b"")
            self.assertEqual(transaction(server.greeted())[0], 250)


class LifecycleTest(unittest.TestCase):
    def test_sigterm_and_end_of_stdin_each_stop_the_server(self):
        with Server() as server:
            server.greeted()  # an open connection does not hold the server
            server.process.send_signal(signal.SIGTERM)
            self.assertEqual(server.process.wait(10), 0)
            self.assertEqual(server.log()[-1]["ev"], "stop")
        with Server() as server:
            server.process.stdin.close()
            self.assertEqual(server.process.wait(10), 0)
            self.assertEqual(server.process.stdout.read(), b"")

    def test_bad_arguments_and_a_missing_certificate_end_with_a_message(self):
        for knobs in (("--mode", "plain", "--fault", "after-starttls=close"),
                      ("--mode", "implicit-tls", "--cert", "/nonexistent.pem", "--key", "/nonexistent.key"),
                      ("--mode", "plain", "--fault", "after-mail=explode")):
            with self.subTest(knobs), tempfile.TemporaryDirectory() as folder:
                done = subprocess.run([sys.executable, SERVER, "--maildir", folder, *knobs],
                                      capture_output=True, timeout=30)
                self.assertEqual(done.returncode, 2)
                self.assertEqual(done.stdout, b"")
                self.assertTrue(done.stderr)

    def test_a_relative_maildir_is_refused_and_nothing_is_written(self):
        with tempfile.TemporaryDirectory() as folder:
            done = subprocess.run([sys.executable, SERVER, "--mode", "plain", "--maildir", "mdk"],
                                  cwd=folder, capture_output=True, timeout=30)
            self.assertEqual(done.returncode, 2)
            self.assertEqual(done.stdout, b"")
            self.assertIn(b"absolute", done.stderr)
            self.assertEqual(os.listdir(folder), [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
