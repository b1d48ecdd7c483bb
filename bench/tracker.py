#!/usr/bin/env python3
"""tracker.py PORT PEER_PORT: a tracker on 127.0.0.1:PORT whose every announce answer names the
one peer 127.0.0.1:PEER_PORT (compact form), for the swarm benchmark."""
import http.server
import struct
import sys

port, peer = int(sys.argv[1]), int(sys.argv[2])
body = b"d8:intervali60e5:peers6:" + bytes([127, 0, 0, 1]) + struct.pack(">H", peer) + b"e"


class Tracker(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


http.server.HTTPServer(("127.0.0.1", port), Tracker).serve_forever()
