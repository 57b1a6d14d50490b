#!/usr/bin/python3
"""A mail server for the SMTP tests on 127.0.0.1: aiosmtpd (Debian's python3-aiosmtpd) with
AUTH LOGIN for the account tester / p\u00e4ssword. Every mail it accepts is parsed with Python's
email package and recorded (records.py): "path" the envelope's sender, "field" lines for the
recipients ("rcpt"), the headers To, From, Reply-To and Subject (decoded) and the text part
("body", with its charset), and each attachment as a file under its decoded name.

    smtp_server.py --results DIR --port-file FILE
"""
import argparse
import email
import email.header
import email.policy
import os
import socket
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

from records import hexed, write_record


def decoded(value):
    return str(email.header.make_header(email.header.decode_header(value or "")))


class Handler:
    def __init__(self, results):
        self.results = results

    async def handle_DATA(self, server, session, envelope):
        message = email.message_from_bytes(envelope.content, policy=email.policy.compat32)
        lines = [f"path\t{hexed(envelope.mail_from)}"]
        lines += [f"field\t{hexed('rcpt')}\t\t{hexed(r)}" for r in envelope.rcpt_tos]
        for name in ("To", "From", "Reply-To", "Subject"):
            lines.append(f"field\t{hexed(name)}\t\t{hexed(decoded(message.get(name)))}")
        files = []
        for part in message.walk():
            if part.is_multipart():
                continue
            data = part.get_payload(decode=True) or b""
            filename = part.get_filename()
            if filename is None:
                charset = part.get_content_charset() or "us-ascii"
                lines.append(f"field\t{hexed('body')}\t{hexed(charset)}\t{hexed(data.decode(charset))}")
            else:
                files.append((part.get_content_type(), decoded(filename).encode(), data))
        write_record(self.results, lines, files)
        return "250 OK queued"


def authenticator(server, session, envelope, mechanism, auth_data):
    ok = (mechanism == "LOGIN" and isinstance(auth_data, LoginPassword) and auth_data.login == b"tester" and
          auth_data.password == "p\u00e4ssword".encode())
    return AuthResult(success=ok, handled=False)  # handled=False: the server answers 535


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--results", required=True)
    parser.add_argument("--port-file", required=True)
    args = parser.parse_args()
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    controller = Controller(Handler(args.results), hostname="127.0.0.1", port=port, authenticator=authenticator,
                            auth_require_tls=False, decode_data=False)
    controller.start()
    with open(args.port_file + ".new", "w") as f:
        f.write(f"{port}\n")
    os.rename(args.port_file + ".new", args.port_file)
    threading.Event().wait()


if __name__ == "__main__":
    main()
