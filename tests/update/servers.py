#!/usr/bin/python3
"""Loopback servers for the updater's tests and benchmark.

  servers.py --http-root DIR [--ftp-home DIR] [--log FILE]

Prints "http=PORT ftp=PORT" (ftp=0 without --ftp-home) on one line and
serves until its standard input closes.

HTTP serves the files under DIR; the first path part may choose a
behaviour for the rest of the path:
  /stall/...      reads the request and never answers
  /stallbody/...  sends the headers, then nothing
  /drop/...       closes the connection without an answer
  /short/...      announces the whole file, sends half of it and closes
  /slow/MS/...    sends the file in 16 KiB pieces, MS milliseconds apart
  /fast/...       sends the file with sendfile (benchmarks)
Every request path is appended to the log file when one is given.

FTP (pyftpdlib) has two accounts on --ftp-home: "tester" / "pw-tester-9"
may write, "reader" / "pw-reader-9" may only read.
"""
import argparse
import http.server
import os
import socket
import sys
import threading
import time

STOP = threading.Event()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    root = "."
    log_file = None

    def log_message(self, *args):
        pass

    def handle(self):
        try:
            super().handle()
        except (BrokenPipeError, ConnectionResetError):
            pass   # the client gave up (a cancelled download)

    def do_GET(self):
        if self.log_file:
            with open(self.log_file, "a") as f:
                f.write(self.path + "\n")
        parts = self.path.split("?")[0].lstrip("/").split("/")
        mode = parts[0] if parts and parts[0] in ("stall", "stallbody", "drop", "short", "slow", "fast") else ""
        if mode:
            parts = parts[1:]
        delay = 0.0
        if mode == "slow":
            delay = int(parts[0]) / 1000.0
            parts = parts[1:]
        if mode == "stall":
            STOP.wait(600)
            return
        if mode == "drop":
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return
        from urllib.parse import unquote
        path = os.path.join(self.root, *[unquote(p) for p in parts])
        if not os.path.isfile(path):
            self.send_error(404)
            return
        size = os.path.getsize(path)
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(size))
        self.end_headers()
        self.wfile.flush()
        if mode == "stallbody":
            STOP.wait(600)
            return
        with open(path, "rb") as f:
            if mode == "fast":
                self.connection.sendfile(f)
                return
            if mode == "short":
                self.wfile.write(f.read(size // 2))
                self.wfile.flush()
                self.close_connection = True
                self.connection.shutdown(socket.SHUT_RDWR)
                return
            while not STOP.is_set():
                block = f.read(16384 if delay else 1 << 20)
                if not block:
                    break
                self.wfile.write(block)
                if delay:
                    self.wfile.flush()
                    time.sleep(delay)


def start_ftp(home):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer
    import logging
    logging.basicConfig(level=logging.ERROR)
    logging.getLogger("pyftpdlib").setLevel(logging.ERROR)
    auth = DummyAuthorizer()
    auth.add_user("tester", "pw-tester-9", home, perm="elradfmw")
    auth.add_user("reader", "pw-reader-9", home, perm="elr")
    handler = FTPHandler
    handler.authorizer = auth
    handler.passive_ports = None
    server = FTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, kwargs={"timeout": 0.2}, daemon=True).start()
    return server.socket.getsockname()[1]


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--http-root", required=True)
    p.add_argument("--ftp-home")
    p.add_argument("--log")
    a = p.parse_args()
    Handler.root = a.http_root
    Handler.log_file = a.log
    httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    httpd.daemon_threads = True
    threading.Thread(target=httpd.serve_forever, daemon=True).start()
    ftp_port = start_ftp(a.ftp_home) if a.ftp_home else 0
    print("http=%d ftp=%d" % (httpd.server_address[1], ftp_port), flush=True)
    sys.stdin.read()   # until the test closes our input
    STOP.set()
    os._exit(0)


if __name__ == "__main__":
    main()
