#!/usr/bin/env python3
"""A time-stamp authority (RFC 3161) over HTTP on 127.0.0.1, for tests that
sign: each POSTed query is answered by `openssl ts -reply` with the given
configuration (its [tsa] section names the signer's certificate and key).

    local_tsa.py OPENSSL_TS_CONFIG PORT_FILE

Writes the port it listens on to PORT_FILE, then serves until killed."""
import http.server
import os
import subprocess
import sys
import tempfile

config, port_file = sys.argv[1], sys.argv[2]


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with tempfile.TemporaryDirectory() as tmp:
            query_file, reply_file = os.path.join(tmp, "query"), os.path.join(tmp, "reply")
            with open(query_file, "wb") as f:
                f.write(query)
            made = subprocess.run(["openssl", "ts", "-reply", "-config", config,
                                   "-queryfile", query_file, "-out", reply_file],
                                  capture_output=True)
            if made.returncode != 0:
                sys.stderr.write(made.stderr.decode(errors="replace"))
                self.send_error(500)
                return
            with open(reply_file, "rb") as f:
                reply = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
with open(port_file + ".tmp", "w") as f:
    f.write(str(server.server_port))
os.rename(port_file + ".tmp", port_file)
server.serve_forever()
