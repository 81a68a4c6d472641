#!/usr/bin/env python3
"""A small HTTP server for the end-to-end tests: serves files from memory on
127.0.0.1 (an ephemeral port) with fault modes, and records every request.

Standard library only. Each served path has a mode:

  ok          200, Content-Length, Last-Modified, the body
  html404     404 with an HTML error page as its body (and its length)
  short       200 announcing the body's length, then only the first half of
              the body, then the connection is closed
  nolength    200 without Content-Length; the body, then the connection closes
  zero        200 with Content-Length: 0
  slow        200 with Content-Length; the body in pieces of `piece` bytes with
              `delay` seconds between them (time for the close box)

Usage:

    with HttpServer() as srv:
        srv.serve("/pkg/Real.exe", data)                 # mode "ok"
        srv.serve("/pkg/Real.exe", data, mode="slow", piece=4096, delay=0.2)
        url = srv.url("/pkg")                            # http://127.0.0.1:<port>/pkg
        ...
        srv.requests("/pkg/Real.exe")                    # [Request(...), ...]

A path with nothing served answers 404 with an HTML page too.
"""
import email.utils
import http.server
import socket
import socketserver
import threading
import time

NOT_FOUND_PAGE = (b"<html><head><title>404 Not Found</title></head>"
                  b"<body><h1>Not Found</h1><p>The requested URL was not found on this "
                  b"server.</p></body></html>")

_MODES = {"ok", "html404", "short", "nolength", "zero", "slow"}


class Request:
    def __init__(self, method, path, headers, completed):
        self.method = method
        self.path = path
        self.headers = headers        # dict, names lower-cased
        self.completed = completed    # the whole answer was written

    def __repr__(self):
        return "Request(%s %s, completed=%r)" % (self.method, self.path, self.completed)


class _Served:
    def __init__(self, body, mode, piece, delay, last_modified):
        if mode not in _MODES:
            raise ValueError("unknown mode %r" % mode)
        self.body = bytes(body)
        self.mode = mode
        self.piece = max(1, int(piece))
        self.delay = float(delay)
        self.last_modified = last_modified


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "kvhttp/1"

    def log_message(self, fmt, *args):  # quiet
        pass

    def do_HEAD(self):
        self._answer(head=True)

    def do_GET(self):
        self._answer(head=False)

    def _answer(self, head):
        owner = self.server.owner
        path = self.path.split("?", 1)[0]
        served = owner._lookup(path)
        completed = False
        try:
            completed = self._send(served, head)
        except (BrokenPipeError, ConnectionResetError, socket.timeout):
            # The client closed first (the preliminary request never reads).
            self.close_connection = True
        finally:
            owner._record(Request(self.command, path,
                                  {k.lower(): v for k, v in self.headers.items()}, completed))

    def _headers(self, status, length, served):
        self.send_response(status)
        self.send_header("Content-Type",
                         "text/html" if status != 200 else "application/octet-stream")
        if length is not None:
            self.send_header("Content-Length", str(length))
        if served is not None and served.last_modified is not None:
            self.send_header("Last-Modified", email.utils.formatdate(served.last_modified,
                                                                     usegmt=True))
        if length is None:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()

    def _send(self, served, head):
        if served is None or served.mode == "html404":
            self._headers(404, len(NOT_FOUND_PAGE), None)
            if not head:
                self.wfile.write(NOT_FOUND_PAGE)
            return True
        mode, body = served.mode, served.body
        if mode == "zero":
            self._headers(200, 0, served)
            return True
        if mode == "nolength":
            self._headers(200, None, served)
            if not head:
                self.wfile.write(body)
            return True
        self._headers(200, len(body), served)
        if head:
            return True
        if mode == "short":
            self.wfile.write(body[:len(body) // 2])
            self.wfile.flush()
            self.close_connection = True
            return False
        if mode == "slow":
            for i in range(0, len(body), served.piece):
                self.wfile.write(body[i:i + served.piece])
                self.wfile.flush()
                time.sleep(served.delay)
            return True
        self.wfile.write(body)
        return True


class _Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


class HttpServer:
    """The server; a context manager. Bound to 127.0.0.1 only."""

    def __init__(self, port=0):
        self._lock = threading.Lock()
        self._served = {}
        self._requests = []
        self._server = _Server(("127.0.0.1", port), _Handler)
        self._server.owner = self
        self.port = self._server.server_address[1]
        self._thread = threading.Thread(target=self._server.serve_forever,
                                        kwargs={"poll_interval": 0.1}, daemon=True)
        self._thread.start()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        if self._server is not None:
            self._server.shutdown()
            self._server.server_close()
            self._server = None

    def url(self, path=""):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def serve(self, path, body=b"", mode="ok", piece=4096, delay=0.1,
              last_modified=1700000000):
        """Serves body at path (replacing what was there)."""
        with self._lock:
            self._served[path] = _Served(body, mode, piece, delay, last_modified)

    def requests(self, path=None):
        with self._lock:
            return [r for r in self._requests if path is None or r.path == path]

    def _lookup(self, path):
        with self._lock:
            return self._served.get(path)

    def _record(self, request):
        with self._lock:
            self._requests.append(request)
