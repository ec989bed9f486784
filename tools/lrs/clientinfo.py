#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The client-info service that the local learning record store asks, with
AUTH_REPO=fetch and LL_CLIENT_INFO_ENDPOINT=http://127.0.0.1:PORT/, who a request's
Authorization belongs to. It knows one client, whose key and secret come from the
environment (LRS_STUB_KEY, LRS_STUB_SECRET), never from the command line.

    clientinfo.py --ready FILE [--lifetime S]

It listens on 127.0.0.1 at a free port, which it writes to FILE ("PORT\\n") once it
listens. For that client's HTTP Basic credentials it answers 200 with the client as the
store reads it (_id, title, authority, isTrusted, lrs_id, organisation, scopes); for
anything else 404, which the store turns into its 401. The process ends when its parent
goes, and after --lifetime seconds (default 1800).
"""
import argparse
import base64
import hmac
import http.server
import json
import os
import sys
import threading
import time

CLIENT = {
    "_id": "5f0000000000000000000001",
    "title": "porome check client",
    "authority": {"objectType": "Agent", "name": "porome check",
                  "mbox": "mailto:check@porome.invalid"},
    "isTrusted": True,
    "lrs_id": "5f0000000000000000000002",
    "organisation": "5f0000000000000000000003",
    "scopes": ["all"],
}


class Handler(http.server.BaseHTTPRequestHandler):
    expected = b""
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        given = self.headers.get("Authorization", "").encode("latin-1", "replace")
        if hmac.compare_digest(given, self.expected):
            self.answer(200, CLIENT)
        else:
            self.answer(404, {"message": "no such client"})

    def answer(self, status, obj):
        data = json.dumps(obj).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        if self.close_connection:
            # Said, since the request asked for it: a client that keeps connections (the
            # store's, under Node.js 20) would else send its next request into the closed one.
            self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(data)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--ready", required=True)
    ap.add_argument("--lifetime", type=float, default=1800)
    args = ap.parse_args()
    key, secret = os.environ.get("LRS_STUB_KEY"), os.environ.get("LRS_STUB_SECRET")
    if not key or not secret:
        sys.exit("clientinfo: LRS_STUB_KEY and LRS_STUB_SECRET must be set")
    Handler.expected = b"Basic " + base64.b64encode(f"{key}:{secret}".encode())
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    with open(args.ready + ".tmp", "w") as f:
        f.write(f"{server.server_address[1]}\n")
    os.replace(args.ready + ".tmp", args.ready)
    parent, end = os.getppid(), time.monotonic() + args.lifetime
    while os.getppid() == parent and time.monotonic() < end:
        time.sleep(0.5)
    server.shutdown()


if __name__ == "__main__":
    main()
