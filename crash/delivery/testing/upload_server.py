#!/usr/bin/env python3
"""The web servers an upload of a bug report goes to in the tests, on 127.0.0.1 only: one plain,
one with a certificate of the tests' own authority, one with a self-signed certificate.

A form post (or a GET) is parsed with Python's own MIME parser, and what it held is recorded
(records.py): the lines "path", "from" and "auth" with the request's path and headers,
"field NAME CHARSET TEXT" for each text field, and its files with their field and file names.
The path chooses the answer:

  /upload...          200
  /redirect?to=URL    302 to URL
  /auth...            401 until the Basic account tester/pa:ss is sent, then 200
  /status/CODE        CODE
  /stall              no answer for 10 seconds, then the connection is closed
  /close              the connection closed without an answer
  /huge...            200 with a body of 17 MB
  /garbage...         200 with a body that no tracker would send
  /xml...             200 with well-formed XML that holds nothing a tracker answers
  /cut...             200 announcing 100000 bytes, of which 1000 come before the close
  /stallbody...       the same, with 10 seconds of silence before the close
  /loop...            302 to the same address
  /fogbugz, /bugzilla, /mantis
                      the bug trackers' stand-ins (trackers.py)
"""
import argparse
import base64
import email.header
import email.parser
import email.policy
import http.server
import os
import re
import ssl
import threading
import time
import urllib.parse

import trackers
from records import hexed, raw, write_record

ACCOUNT = "Basic " + base64.b64encode(b"tester:pa:ss").decode()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, code, body=b"", headers=()):
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def record(self, body):
        """A form post (or a GET) as the server's MIME parser reads it."""
        lines = [f"path\t{hexed(self.path)}",
                 f"from\t{hexed(self.headers.get('From', ''))}",
                 f"auth\t{hexed(self.headers.get('Authorization', ''))}"]
        files = []
        head = f"Content-Type: {self.headers.get('Content-Type', '')}\r\n\r\n".encode()
        # The compatible policy keeps header bytes that are not ASCII as they came.
        message = email.parser.BytesParser(policy=email.policy.compat32).parsebytes(head + body)
        for part in message.get_payload() if message.is_multipart() else []:
            # The parameters as they were sent: the parser's own reading replaces the bytes
            # that are not ASCII.
            disposition = dict(part.raw_items()).get("Content-Disposition", "")
            parameters = dict(re.findall(r'(\w+)="([^"]*)"', disposition))
            name, filename = parameters.get("name", ""), parameters.get("filename")
            data = part.get_payload(decode=True) or b""
            if name.startswith("=?"):
                name = str(email.header.make_header(email.header.decode_header(name)))
            else:
                name = raw(name).decode("latin-1")
            if filename is None:
                charset = part.get_content_charset() or "us-ascii"
                lines.append(f"field\t{hexed(name)}\t{hexed(charset)}\t{hexed(data.decode(charset))}")
            else:
                files.append((name, raw(filename), data))
        write_record(self.server.results, lines, files)

    def do_GET(self):
        self.do_POST()

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0") or 0))
        path = urllib.parse.urlsplit(self.path)
        for prefix, tracker in trackers.STAND_INS.items():
            if path.path.startswith(prefix):
                code, content_type, reply = tracker(self, path, body)
                return self.answer(code, reply, [("Content-Type", content_type)])
        if path.path.startswith("/garbage"):
            return self.answer(200, b"<html><body>not a tracker &amp; not XML</body>")
        if path.path.startswith("/xml"):
            return self.answer(200, b'<?xml version="1.0"?><response><nothing/></response>',
                               [("Content-Type", "text/xml")])
        if path.path.startswith("/loop"):
            return self.answer(302, b"", [("Location", self.path)])
        if path.path.startswith("/cut") or path.path.startswith("/stallbody"):
            self.send_response(200)
            self.send_header("Content-Length", "100000")
            self.end_headers()
            self.wfile.write(b'<?xml version="1.0"?><response>' + b" " * 968)
            self.wfile.flush()
            if path.path.startswith("/stallbody"):
                time.sleep(10)
            self.close_connection = True
            return
        if path.path.startswith("/auth") and self.headers.get("Authorization") != ACCOUNT:
            self.record(body)
            return self.answer(401, b"who are you?", [("WWW-Authenticate", 'Basic realm="reports"')])
        if path.path == "/stall":
            time.sleep(10)
            self.close_connection = True
            return
        if path.path == "/close":
            self.close_connection = True
            return
        self.record(body)
        if path.path.startswith("/status/"):
            return self.answer(int(path.path.split("/")[2]), b"status")
        if path.path == "/redirect":
            target = urllib.parse.parse_qs(path.query).get("to", [""])[0]
            return self.answer(302, b"", [("Location", target)])
        if path.path.startswith("/huge"):
            return self.answer(200, b"x" * (17 << 20))
        return self.answer(200, b"thanks")


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True


def serve(results, certificate=None):
    server = Server(("127.0.0.1", 0), Handler)
    server.results = results
    if certificate:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*certificate)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--results", required=True)
    parser.add_argument("--ports-file", required=True)
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"), required=True)
    parser.add_argument("--self-signed", nargs=2, metavar=("CERT", "KEY"), required=True)
    args = parser.parse_args()
    ports = [serve(args.results), serve(args.results, args.tls), serve(args.results, args.self_signed)]
    with open(args.ports_file + ".new", "w") as f:
        f.write(" ".join(map(str, ports)) + "\n")
    os.rename(args.ports_file + ".new", args.ports_file)
    threading.Event().wait()


if __name__ == "__main__":
    main()
