#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Serves the web page's folder on 127.0.0.1, as a plain static server would.

    web-serve.py DIR PORT REPORT_FILE

.wasm goes out as application/wasm; where a .br or .gz twin of a file lies beside it and
the browser accepts that encoding, the twin goes out as it is. A GET of /report?... (what
the page reports when it is measured) is appended to REPORT_FILE as its query text.
"""
import http.server
import os
import sys
import urllib.parse

TYPES = {".wasm": "application/wasm", ".js": "text/javascript", ".html": "text/html; charset=utf-8",
         ".webmanifest": "application/manifest+json", ".svg": "image/svg+xml", ".png": "image/png",
         ".txt": "text/plain; charset=utf-8"}


class Handler(http.server.SimpleHTTPRequestHandler):
    report_file = None

    def log_message(self, *args):
        pass

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path == "/report":
            with open(self.report_file, "a", encoding="utf-8") as f:
                f.write(url.query + "\n")
            self.send_response(204)
            self.end_headers()
            return
        path = self.translate_path(url.path)
        if os.path.isdir(path):
            path = os.path.join(path, "index.html")
        if not os.path.isfile(path):
            self.send_error(404)
            return
        accepted = self.headers.get("Accept-Encoding", "")
        body, encoding = path, None
        for twin, name in ((".br", "br"), (".gz", "gzip")):
            if name in accepted and os.path.isfile(path + twin):
                body, encoding = path + twin, name
                break
        with open(body, "rb") as f:
            data = f.read()
        self.send_response(200)
        self.send_header("Content-Type", TYPES.get(os.path.splitext(path)[1], "application/octet-stream"))
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Cache-Control", "no-cache")
        if encoding:
            self.send_header("Content-Encoding", encoding)
        self.end_headers()
        self.wfile.write(data)


def main():
    folder, port, report = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    Handler.report_file = os.path.abspath(report)
    os.chdir(folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
    server.serve_forever()


if __name__ == "__main__":
    main()
