#!/usr/bin/env python3
"""A download server whose behaviour is switched between requests, for the fault rows.

    fault_server.py ROOT PORT LOG [HOST]

Serves the files under ROOT on 127.0.0.1 (GET and HEAD, one Range, ETag and Last-Modified).
The first line of ROOT/.mode says how it answers the next request:
  normal        the file
  html200       a 354-byte login page with status 200 (a captive portal)
  bare416       a bare 416 to every request with a Range, the file otherwise
  badbytes      the file with every 4096th byte flipped (a web seed that sends wrong data)
  rate=N        the file at N bytes a second per connection
Every request writes "path status bytes" to LOG. HOST is 127.0.0.1 unless given.
"""
import email.utils
import http.server
import os
import sys
import threading
import time

ROOT, PORT, LOG = sys.argv[1], int(sys.argv[2]), sys.argv[3]
PAGE = (b"<html><head><title>Login</title></head><body><form action=/login>"
        + b"Please log in to the hotel network." * 8 + b"</form></body></html>")[:354]
lock = threading.Lock()


def mode():
    try:
        with open(os.path.join(ROOT, ".mode")) as f:
            return f.readline().strip() or "normal"
    except OSError:
        return "normal"


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def record(self, status, count):
        with lock, open(LOG, "a") as log:
            log.write(f"{self.path} {status} {count}\n")

    def do_HEAD(self):
        self.answer(body=False)

    def do_GET(self):
        self.answer(body=True)

    def plain(self, status, body, kind="text/html"):
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command == "GET":
            self.wfile.write(body)
        self.record(status, len(body))

    def answer(self, body):
        m = mode()
        if m == "html200":
            return self.plain(200, PAGE)
        path = os.path.realpath(os.path.join(ROOT, self.path.lstrip("/").split("?")[0]))
        if not path.startswith(os.path.realpath(ROOT) + "/") or not os.path.isfile(path):
            return self.plain(404, b"<html>not here</html>")
        rng = self.headers.get("Range")
        if m == "bare416" and rng:
            return self.plain(416, b"")
        st = os.stat(path)
        first, last = 0, st.st_size - 1
        if rng and rng.startswith("bytes="):
            a, _, b = rng[6:].partition("-")
            first = int(a)
            last = min(int(b), last) if b else last
            if first > last:
                return self.plain(416, b"")
        self.send_response(206 if rng else 200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("ETag", f'"{st.st_size:x}-{st.st_mtime_ns:x}"')
        self.send_header("Last-Modified", email.utils.formatdate(st.st_mtime, usegmt=True))
        self.send_header("Accept-Ranges", "bytes")
        if rng:
            self.send_header("Content-Range", f"bytes {first}-{last}/{st.st_size}")
        self.send_header("Content-Length", str(last - first + 1))
        self.end_headers()
        if not body:
            return self.record(200, 0)
        rate = int(m[5:]) if m.startswith("rate=") else 0
        sent = 0
        began = time.monotonic()
        with open(path, "rb") as f:
            f.seek(first)
            while sent < last - first + 1:
                chunk = bytearray(f.read(min(16384, last - first + 1 - sent)))
                if m == "badbytes":
                    for i in range((-(first + sent)) % 4096, len(chunk), 4096):
                        chunk[i] ^= 0x5A
                try:
                    self.wfile.write(chunk)
                except OSError:
                    break
                sent += len(chunk)
                if rate:
                    ahead = sent / rate - (time.monotonic() - began)
                    if ahead > 0:
                        time.sleep(ahead)
        self.record(206 if rng else 200, sent)


http.server.ThreadingHTTPServer.daemon_threads = True
HOST = sys.argv[4] if len(sys.argv) > 4 else "127.0.0.1"
http.server.ThreadingHTTPServer((HOST, PORT), Handler).serve_forever()
