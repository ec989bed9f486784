#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Fetches every statement a learning record store gives for a query, page by page.

    statements.py ENDPOINT OUT [QUERY]

ENDPOINT is the store's xAPI root (http://127.0.0.1:PORT/xAPI); QUERY is added to
GET ENDPOINT/statements as it is (for example "limit=50&verb=..."). Each answer's `more`
is a path on the store's host (not under ENDPOINT) and is followed until it is empty.
The credentials come from LRS_AUTH ("key:secret"; any when the store takes any). OUT gets a
JSON array of the statements in the order the store gave them; standard output one line
with the count of statements and pages. Bounded: at most --pages pages (default 10000),
each answer within 30 s.
"""
import argparse
import base64
import http.client
import json
import os
import sys
import urllib.error
import urllib.parse
import urllib.request


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("endpoint")
    ap.add_argument("out")
    ap.add_argument("query", nargs="?", default="")
    ap.add_argument("--pages", type=int, default=10000)
    args = ap.parse_args()
    auth = base64.b64encode(os.environ.get("LRS_AUTH", "check:check").encode()).decode()
    headers = {"Authorization": "Basic " + auth, "X-Experience-API-Version": "1.0.3"}
    url = args.endpoint.rstrip("/") + "/statements" + ("?" + args.query if args.query else "")
    host = urllib.parse.urlsplit(args.endpoint)
    statements, pages = [], 0
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    while url:
        if pages >= args.pages:
            sys.exit(f"lrs statements: more than {args.pages} pages")
        try:
            with opener.open(urllib.request.Request(url, headers=headers), timeout=30) as r:
                page = json.load(r)
        except urllib.error.HTTPError as e:
            sys.exit(f"lrs statements: {e.code} from {urllib.parse.urlsplit(url).path}: "
                     f"{e.read(2000).decode('utf-8', 'replace')}")
        except (OSError, ValueError, http.client.HTTPException) as e:
            # ValueError: also an answer that is no JSON, and a `more` that is no URL.
            sys.exit(f"lrs statements: page {pages + 1} ({urllib.parse.urlsplit(url).path}): "
                     f"{type(e).__name__}: {e}")
        pages += 1
        if not isinstance(page, dict) or not isinstance(page.get("statements"), list):
            sys.exit(f"lrs statements: page {pages} is no StatementResult")
        statements += page["statements"]
        more = page.get("more") or ""
        url = urllib.parse.urljoin(f"{host.scheme}://{host.netloc}/", more) if more else ""
    with open(args.out, "w", encoding="utf-8") as f:
        json.dump(statements, f, ensure_ascii=False)
    print(f"{len(statements)} statements in {pages} pages")


if __name__ == "__main__":
    main()
