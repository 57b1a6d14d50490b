#!/usr/bin/env python3
"""HTTP test server for the getter's tests, on 127.0.0.1 only.

Answers origin-form and absolute-form request lines alike, so it also serves as the HTTP
proxy that WinInet's preconfigured proxy setting (http_proxy) talks to. The path chooses
the answer:

  /len/N                 N bytes with Content-Length
  /nolen/N               N bytes without Content-Length (the end of the body is the close)
  /cut/N/M               Content-Length N, then only M bytes and the connection is closed
  /slow/N/CHUNK/MS       Content-Length N, CHUNK bytes every MS milliseconds
  /status/CODE/N         status CODE with an N-byte body and Content-Length
  /file/NAME, /download/NAME
                         the file NAME from --files, with Content-Length; a file NAME.delay
                         holding a number of milliseconds delays the answer, a file NAME.cut
                         holding a number of bytes sends only that many of the body
  anything else          404 with a short body

Body bytes are the pattern byte(i % 251), so a test can check what arrived. A CONNECT
request is recorded and then refused (without Content-Length). Every request is appended to --log as one JSON line:
{"line": request line, "headers": {name: value}, "body": body as latin-1 text}.
"""
import argparse
import json
import os
import socket
import socketserver
import threading
import time
import urllib.parse

PATTERN = bytes(i % 251 for i in range(251 * 261))  # 65511 bytes, a whole number of periods


def pattern(offset, size):
    out = bytearray()
    while size > 0:
        start = offset % 251
        piece = PATTERN[start:start + size]
        out += piece
        offset += len(piece)
        size -= len(piece)
    return bytes(out)


class Handler(socketserver.StreamRequestHandler):
    def handle(self):
        line = self.rfile.readline(65536).decode("latin-1").rstrip("\r\n")
        if not line:
            return
        headers = {}
        while True:
            h = self.rfile.readline(65536).decode("latin-1").rstrip("\r\n")
            if not h:
                break
            name, _, value = h.partition(":")
            headers[name.strip()] = value.strip()
        body = b""
        length = int(headers.get("Content-Length", "0") or 0)
        if length:
            body = self.rfile.read(length)
        self.server.record({"line": line, "headers": headers, "body": body.decode("latin-1")})

        parts = line.split()
        if len(parts) < 2:
            return
        if parts[0] == "CONNECT":
            # Refused without a length, so that nothing of this answer passes for a body.
            self.wfile.write(b"HTTP/1.0 502 No tunnels\r\n\r\n")
            return
        path = urllib.parse.urlsplit(parts[1]).path
        fields = [f for f in path.split("/") if f]
        try:
            self.answer(fields)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def answer(self, f):
        if len(f) == 2 and f[0] == "len":
            self.reply(200, pattern(0, int(f[1])))
        elif len(f) == 2 and f[0] == "nolen":
            self.wfile.write(b"HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n")
            self.send_body(int(f[1]))
        elif len(f) == 3 and f[0] == "cut":
            self.head(200, int(f[1]))
            self.send_body(int(f[2]))
        elif len(f) == 4 and f[0] == "slow":
            total, chunk, delay = int(f[1]), int(f[2]), int(f[3]) / 1000.0
            self.head(200, total)
            sent = 0
            while sent < total:
                n = min(chunk, total - sent)
                self.wfile.write(pattern(sent, n))
                self.wfile.flush()
                sent += n
                time.sleep(delay)
        elif len(f) == 3 and f[0] == "status":
            self.reply(int(f[1]), pattern(0, int(f[2])))
        elif len(f) == 2 and f[0] in ("file", "download") and self.server.files:
            path = os.path.join(self.server.files, os.path.basename(f[1]))
            try:
                data = open(path, "rb").read()
            except OSError:
                self.reply(404, b"no such file")
                return
            delay = self.sidecar(path + ".delay")
            if delay:
                time.sleep(delay / 1000.0)
            cut = self.sidecar(path + ".cut")
            self.head(200, len(data))
            self.wfile.write(data if cut is None else data[:cut])
        else:
            self.reply(404, b"not found")

    @staticmethod
    def sidecar(path):
        try:
            return int(open(path).read().strip())
        except (OSError, ValueError):
            return None

    def head(self, status, length):
        self.wfile.write(("HTTP/1.0 %d X\r\nContent-Type: application/octet-stream\r\n"
                          "Content-Length: %d\r\n\r\n" % (status, length)).encode())

    def send_body(self, size):
        sent = 0
        while sent < size:
            n = min(65511, size - sent)
            self.wfile.write(pattern(sent, n))
            sent += n

    def reply(self, status, body):
        self.head(status, len(body))
        self.wfile.write(body)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, log, files):
        super().__init__(("127.0.0.1", 0), Handler)
        self.log = log
        self.files = files
        self.lock = threading.Lock()

    def record(self, entry):
        if not self.log:
            return
        with self.lock, open(self.log, "a", encoding="utf-8") as out:
            out.write(json.dumps(entry) + "\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--log")
    parser.add_argument("--files")
    args = parser.parse_args()
    server = Server(args.log, args.files)
    server.socket.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as out:
        out.write(str(server.server_address[1]))
    os.replace(tmp, args.port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
