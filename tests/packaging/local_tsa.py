#!/usr/bin/env python3
"""An RFC 3161 time-stamp server on 127.0.0.1 for tests that sign: answers
each POSTed query with `openssl ts -reply -config CONFIG`.
    local_tsa.py CONFIG PORT_FILE      (writes its port to PORT_FILE)"""
import http.server, os, subprocess, sys, tempfile


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        with tempfile.TemporaryDirectory() as tmp:
            query, reply = os.path.join(tmp, "query"), os.path.join(tmp, "reply")
            with open(query, "wb") as f:
                f.write(self.rfile.read(int(self.headers["Content-Length"])))
            subprocess.run(["openssl", "ts", "-reply", "-config", sys.argv[1], "-queryfile", query,
                            "-out", reply], check=True, capture_output=True)
            body = open(reply, "rb").read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
with open(sys.argv[2] + ".tmp", "w") as f:
    f.write(str(server.server_port))
os.rename(sys.argv[2] + ".tmp", sys.argv[2])
server.serve_forever()
