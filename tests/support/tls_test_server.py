#!/usr/bin/env python3
"""A TLS server on a free loopback port for the tests.

Prints its port on the first line, then serves one connection after the other until
it is terminated: after the handshake it sends "sni=<name or -> version=<protocol>",
echoes the client's first line as "echo <line>", and closes with a closing alert.
A failed handshake is reported on standard error and the server goes on.
"""
import argparse
import socket
import ssl
import sys


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--tls13-only", action="store_true")
    args = parser.parse_args()

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    if args.tls13_only:
        context.minimum_version = ssl.TLSVersion.TLSv1_3
    server_names = []
    context.sni_callback = lambda _sock, name, _ctx: server_names.append(name)

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print(listener.getsockname()[1], flush=True)

    while True:
        connection, _ = listener.accept()
        server_names.clear()
        try:
            with context.wrap_socket(connection, server_side=True) as tls:
                name = server_names[0] if server_names and server_names[0] else "-"
                tls.sendall(f"sni={name} version={tls.version()}\n".encode())
                line = b""
                while not line.endswith(b"\n"):
                    chunk = tls.recv(1024)
                    if not chunk:
                        break
                    line += chunk
                tls.sendall(b"echo " + line)
                tls.unwrap()
        except (ssl.SSLError, OSError) as error:
            print(f"tls_test_server: {error}", file=sys.stderr, flush=True)
        finally:
            connection.close()


if __name__ == "__main__":
    main()
