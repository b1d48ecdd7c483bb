#!/usr/bin/env python3
"""A download server that holds each connection to a fixed rate from its first byte.

nginx's limit_rate lets every request send a second's worth at once before the limit
applies, so a client that makes many small requests rides those bursts. This server paces
each TCP connection as a whole, across all its requests, with no burst: what "a server that
limits each connection" means.

    pacing_server.py ROOT PORT RATE_BYTES_PER_S LOG [--no-validators] [--congestion NAME]

Answers GET and HEAD for files under ROOT on 127.0.0.1, with Range (one range), ETag and
Last-Modified (none with --no-validators). Every request writes "path status bytes" to LOG.
--congestion sets the congestion control of every connection it accepts (cubic, bbr, reno):
most servers on the internet run CUBIC, whatever this machine's default is.
"""
import email.utils
import http.server
import os
import re
import socket
import sys
import threading
import time

ROOT, PORT, RATE, LOG = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
VALIDATORS = "--no-validators" not in sys.argv
CONGESTION = sys.argv[sys.argv.index("--congestion") + 1] if "--congestion" in sys.argv else None
CHUNK = 16 << 10
log_lock = threading.Lock()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def setup(self):
        super().setup()
        self.sent = 0  # bytes this connection sent, for its pace
        self.began = None

    def log_message(self, *args):
        pass

    def record(self, status, count):
        with log_lock, open(LOG, "a") as log:
            log.write(f"{self.path} {status} {count}\n")

    def pace(self, count):
        if self.began is None:
            self.began = time.monotonic()
        self.sent += count
        delay = self.began + self.sent / RATE - time.monotonic()
        if delay > 0:
            time.sleep(delay)

    def do_HEAD(self):
        self.answer(body=False)

    def do_GET(self):
        self.answer(body=True)

    def answer(self, body):
        path = os.path.join(ROOT, os.path.normpath(self.path.split("?")[0]).lstrip("/"))
        if not os.path.realpath(path).startswith(os.path.realpath(ROOT)) or not os.path.isfile(path):
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            self.record(404, 0)
            return
        size = os.path.getsize(path)
        begin, end, status = 0, size, 200
        wanted = re.fullmatch(r"bytes=(\d*)-(\d*)", self.headers.get("Range", ""))
        if wanted and (wanted.group(1) or wanted.group(2)):
            if wanted.group(1):
                begin = int(wanted.group(1))
                end = min(size, int(wanted.group(2)) + 1) if wanted.group(2) else size
            else:
                begin = max(0, size - int(wanted.group(2)))
            status = 206
        if begin >= size or begin >= end:
            self.send_response(416)
            self.send_header("Content-Range", f"bytes */{size}")
            self.send_header("Content-Length", "0")
            self.end_headers()
            self.record(416, 0)
            return
        stat = os.stat(path)
        self.send_response(status)
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("Content-Length", str(end - begin))
        if status == 206:
            self.send_header("Content-Range", f"bytes {begin}-{end - 1}/{size}")
        if VALIDATORS:
            self.send_header("ETag", f'"{stat.st_mtime_ns:x}-{size:x}"')
            self.send_header("Last-Modified", email.utils.formatdate(stat.st_mtime, usegmt=True))
        self.end_headers()
        sent = 0
        if body:
            with open(path, "rb") as f:
                f.seek(begin)
                try:
                    while sent < end - begin:
                        data = f.read(min(CHUNK, end - begin - sent))
                        self.pace(len(data))
                        self.wfile.write(data)
                        sent += len(data)
                except (BrokenPipeError, ConnectionResetError):
                    self.close_connection = True
        self.record(status, sent)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 64

    def get_request(self):
        conn, address = super().get_request()
        if CONGESTION:
            conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_CONGESTION, CONGESTION.encode())
        return conn, address


Server(("127.0.0.1", PORT), Handler).serve_forever()
