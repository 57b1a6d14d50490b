#!/usr/bin/python3
"""A mail server for the SMTP tests on 127.0.0.1: aiosmtpd (Debian's python3-aiosmtpd) with
AUTH LOGIN for the account tester / p\u00e4ssword. Every mail it accepts is parsed with Python's
email package and recorded (records.py): "path" the envelope's sender, "field" lines for the
recipients ("rcpt"), the headers To, From, Reply-To and Subject (decoded) and the text part
("body", with its charset), and each attachment as a file under its decoded name.

With --tls CERT KEY and --self-signed CERT KEY it also serves: a server that offers STARTTLS
and takes no mail before it, one that speaks TLS from the start, and one with the self-signed
certificate; and a DNS stand-in on UDP that answers MX queries for "maker.example" with the
exchange "localhost", and for a few other names as broken servers do (dns_stand_in). The port
file then lists "plain starttls implicit self-signed dns".

    smtp_server.py --results DIR --port-file FILE [--tls CERT KEY --self-signed CERT KEY]
"""
import argparse
import email
import email.header
import email.policy
import os
import socket
import ssl
import struct
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


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def dns_name(data, offset):
    """The name at offset (labels only: a query has no pointers) and the offset after it."""
    labels = []
    while data[offset]:
        length = data[offset]
        labels.append(data[offset + 1:offset + 1 + length].decode("ascii", "replace"))
        offset += 1 + length
    return ".".join(labels).lower(), offset + 1


def mx_record(owner, preference, exchange):
    rdata = struct.pack(">H", preference) + exchange
    return owner + struct.pack(">HHIH", 15, 1, 60, len(rdata)) + rdata


def dns_stand_in(sock):
    """Answers MX queries as DNS servers do, and as broken ones do:
    maker.example: two records, the owner names as pointers to the question, "localhost" first;
    alias.maker.example: a CNAME to maker.example, then its MX record;
    backup.example: the backup exchange (preference 20, a name that does not resolve) before
    "localhost" (preference 10);
    cut.example: an answer cut short; loop.example: an exchange name that points at itself;
    wrong-id.example: an answer to another query; silent.example: no answer at all;
    anything else: no such domain."""
    while True:
        data, peer = sock.recvfrom(512)
        try:
            ident, flags, questions = struct.unpack(">HHH", data[:6])
            name, end = dns_name(data, 12)
            qtype, qclass = struct.unpack(">HH", data[end:end + 4])
        except (struct.error, IndexError):
            continue
        question = data[12:end + 4]
        count, answers, code = 0, b"", 3
        if qtype == 15 and name == "maker.example":
            count, code = 2, 0
            answers = (mx_record(b"\xc0\x0c", 10, b"\x09localhost\x00") +
                       mx_record(b"\xc0\x0c", 20, b"\x04mail\xc0\x0c"))
        elif qtype == 15 and name == "backup.example":
            count, code = 2, 0
            answers = (mx_record(b"\xc0\x0c", 20, b"\x06backup\x07invalid\x00") +
                       mx_record(b"\xc0\x0c", 10, b"\x09localhost\x00"))
        elif qtype == 15 and name == "alias.maker.example":
            count, code = 2, 0
            target = b"\x05maker\x07example\x00"
            answers = b"\xc0\x0c" + struct.pack(">HHIH", 5, 1, 60, len(target)) + target
            # The MX record's owner points at the CNAME's data (offset 12 + question + 12).
            answers += mx_record(struct.pack(">H", 0xC000 | (12 + len(question) + 12)), 10, b"\x09localhost\x00")
        elif qtype == 15 and name == "cut.example":
            count, code = 1, 0
            answers = mx_record(b"\xc0\x0c", 10, b"\x09localhost\x00")[:9]
        elif qtype == 15 and name == "loop.example":
            count, code = 1, 0
            # The exchange name starts at 12 + question + 12 + 2 and points at itself.
            here = 12 + len(question) + 12 + 2
            answers = mx_record(b"\xc0\x0c", 10, struct.pack(">H", 0xC000 | here))
        elif name == "wrong-id.example":
            ident ^= 0x5555
            count, code = 1, 0
            answers = mx_record(b"\xc0\x0c", 10, b"\x09localhost\x00")
        elif name == "silent.example":
            continue
        header = struct.pack(">HHHHHH", ident, 0x8180 | code, 1, count, 0, 0)
        sock.sendto(header + question + answers, peer)


def silent_server(listener):
    """Accepts connections and never says a word (each is closed after a minute)."""
    while True:
        conn, _ = listener.accept()
        threading.Timer(60, conn.close).start()


def closing_server(listener):
    """Greets and accepts a mail's envelope, then closes the connection in the middle of its
    data (after 2000 bytes of it, or at its end when it is shorter)."""
    while True:
        conn, _ = listener.accept()
        try:
            conn.sendall(b"220 breaks off\r\n")
            received, in_data = b"", False
            while True:
                data = conn.recv(65536)
                if not data:
                    break
                received += data
                if in_data:
                    if len(received) > 2000 or b"\r\n.\r\n" in received:
                        break
                    continue
                while b"\r\n" in received and not in_data:
                    line, received = received.split(b"\r\n", 1)
                    in_data = line.upper() == b"DATA"
                    conn.sendall(b"354 go on\r\n" if in_data else b"250 ok\r\n")
        finally:
            conn.close()


def listening():
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    return listener


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--results", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--tls", nargs=2)
    parser.add_argument("--self-signed", nargs=2)
    args = parser.parse_args()
    common = dict(hostname="127.0.0.1", authenticator=authenticator, auth_require_tls=False, decode_data=False)
    ports = []

    def serve(**kwargs):
        port = free_port()
        Controller(Handler(args.results), port=port, **common, **kwargs).start()
        ports.append(port)

    serve()
    if args.tls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(*args.tls)
        serve(tls_context=context, require_starttls=True)
        serve(ssl_context=context)
        self_signed = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        self_signed.load_cert_chain(*args.self_signed)
        serve(ssl_context=self_signed)
        dns = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        dns.bind(("127.0.0.1", 0))
        ports.append(dns.getsockname()[1])
        threading.Thread(target=dns_stand_in, args=(dns,), daemon=True).start()
        for server in (silent_server, closing_server):
            listener = listening()
            ports.append(listener.getsockname()[1])
            threading.Thread(target=server, args=(listener,), daemon=True).start()
    with open(args.port_file + ".new", "w") as f:
        f.write(" ".join(map(str, ports)) + "\n")
    os.rename(args.port_file + ".new", args.port_file)
    threading.Event().wait()


if __name__ == "__main__":
    main()
