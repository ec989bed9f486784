#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Stands in front of the local learning record store and breaks it on command.

    proxy.py --port PORT --target TARGET_PORT --ready FILE [--mode MODE] [--lifetime S]

Listens on 127.0.0.1:PORT and passes each HTTP request to 127.0.0.1:TARGET_PORT, or does
what the mode says:

    pass   every request goes to the store and its answer comes back as it is
    off    nothing listens: connections are refused, and open ones are cut
    503    each request is answered 503 Service Unavailable
    hang   each request is read and never answered

The mode is taken when a request has come in whole, so a kept-alive connection meets the
mode of the moment. CORS preflights (OPTIONS) go to the store in every mode but off, and
a 503 carries Access-Control-Allow-Origin for the request's Origin, so a page reads the
503 as a browser would from a store that is down behind its front server.

Control, on 127.0.0.1 at the port written to the ready file ("CONTROL_PORT\\n"):
    GET /mode            the mode
    GET /mode/MODE       switches (off: after the listening socket is closed)
    GET /stats           JSON: the mode and how many requests met each mode

The process ends when its parent goes, and after --lifetime seconds (default 1800).
"""
import argparse
import asyncio
import json
import os
import sys

HOST = "127.0.0.1"
MODES = ("pass", "off", "503", "hang")
HEAD_LIMIT = 64 * 1024
BODY_LIMIT = 64 * 1024 * 1024
UPSTREAM_TIMEOUT = 60


class BadRequest(Exception):
    pass


async def read_head(reader):
    """The head of a request or answer up to its blank line; None at a clean end."""
    try:
        head = await reader.readuntil(b"\r\n\r\n")
    except asyncio.IncompleteReadError as e:
        if e.partial.strip():
            raise BadRequest("cut in the head")
        return None
    except asyncio.LimitOverrunError:
        raise BadRequest("head too long")
    return head


def parse_head(head):
    lines = head.decode("latin-1").split("\r\n")
    first = lines[0].split(" ", 2)
    if len(first) < 2:
        raise BadRequest("no request line")
    headers = {}
    for line in lines[1:]:
        if not line:
            continue
        name, sep, value = line.partition(":")
        if not sep:
            raise BadRequest("bad header line")
        headers.setdefault(name.strip().lower(), value.strip())
    return first, headers


async def read_chunked(reader):
    out = bytearray()
    while True:
        line = await reader.readuntil(b"\r\n")
        out += line
        size = int(line.split(b";")[0].strip() or b"0", 16)
        if len(out) + size > BODY_LIMIT:
            raise BadRequest("body too long")
        if size == 0:
            while True:  # trailers up to the blank line
                trailer = await reader.readuntil(b"\r\n")
                out += trailer
                if trailer == b"\r\n":
                    return bytes(out)
        out += await reader.readexactly(size + 2)


async def read_body(reader, headers, until_end=False):
    if "chunked" in headers.get("transfer-encoding", "").lower():
        return await read_chunked(reader)
    if "content-length" in headers:
        n = int(headers["content-length"])
        if n < 0 or n > BODY_LIMIT:
            raise BadRequest("bad content-length")
        return await reader.readexactly(n)
    if until_end:
        return await reader.read(BODY_LIMIT)
    return b""


def without_expect(head):
    lines = head.split(b"\r\n")
    return b"\r\n".join(l for l in lines if not l.lower().startswith(b"expect:"))


class Proxy:
    def __init__(self, port, target, mode):
        self.port = port
        self.target = target
        self.mode = mode
        self.server = None
        self.writers = set()
        self.stats = {m: 0 for m in MODES if m != "off"}
        self.stats["preflight"] = 0
        self.stats["upstream_errors"] = 0

    async def listen(self):
        if self.server is None:
            self.server = await asyncio.start_server(self.client, HOST, self.port,
                                                     limit=HEAD_LIMIT, reuse_address=True)

    async def set_mode(self, mode):
        self.mode = mode
        if mode == "off":
            if self.server is not None:
                self.server.close()
                self.server = None
            for w in list(self.writers):
                w.transport.abort()
        else:
            await self.listen()

    async def client(self, reader, writer):
        self.writers.add(writer)
        try:
            while True:
                head = await read_head(reader)
                if head is None:
                    break
                (method, *_), headers = parse_head(head)
                expects = headers.get("expect", "").lower() == "100-continue"
                mode = self.mode
                if method == "OPTIONS":
                    mode = "pass"
                    self.stats["preflight"] += 1
                else:
                    self.stats[mode] += 1
                if mode == "hang":
                    # Read on (and drop) whatever comes, never answer, until the client goes.
                    while await reader.read(65536):
                        pass
                    break
                if expects:
                    writer.write(b"HTTP/1.1 100 Continue\r\n\r\n")
                    head = without_expect(head)
                body = await read_body(reader, headers)
                if mode == "503":
                    writer.write(self.unavailable(headers))
                    await writer.drain()
                else:
                    if not await self.forward(head + body, method, writer):
                        break
                if headers.get("connection", "").lower() == "close":
                    break
        except (BadRequest, ValueError):
            writer.write(b"HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
        except (asyncio.IncompleteReadError, ConnectionError, asyncio.LimitOverrunError):
            pass
        finally:
            self.writers.discard(writer)
            writer.close()

    async def forward(self, request, method, writer):
        """Passes one request to the store, on a connection of its own (so the store's
        closing of an idle one never meets a request), and its answer back. Returns
        whether the client's connection can carry another request."""
        upstream = None
        try:
            upstream = await asyncio.wait_for(
                asyncio.open_connection(HOST, self.target, limit=HEAD_LIMIT), 5)
            up_reader, up_writer = upstream
            up_writer.write(request)
            await up_writer.drain()
            while True:
                head = await asyncio.wait_for(read_head(up_reader), UPSTREAM_TIMEOUT)
                if head is None:
                    raise ConnectionError("the store closed the connection")
                (_, status, *_), headers = parse_head(head)
                if status.startswith("1") and status != "101":
                    writer.write(head)  # an interim answer: the real one follows
                    continue
                break
            no_body = method == "HEAD" or status in ("204", "304")
            framed = "content-length" in headers or "chunked" in headers.get("transfer-encoding", "")
            body = b"" if no_body else await asyncio.wait_for(
                read_body(up_reader, headers, until_end=True), UPSTREAM_TIMEOUT)
            writer.write(head + body)
            await writer.drain()
            return (no_body or framed) and headers.get("connection", "").lower() != "close"
        except (OSError, asyncio.TimeoutError, asyncio.IncompleteReadError, BadRequest, ValueError) as e:
            self.stats["upstream_errors"] += 1
            text = f"the store did not answer: {type(e).__name__}\n".encode()
            writer.write(b"HTTP/1.1 502 Bad Gateway\r\nContent-Type: text/plain\r\nConnection: close\r\n"
                         + f"Content-Length: {len(text)}\r\n\r\n".encode() + text)
            await writer.drain()
            return False
        finally:
            if upstream is not None:
                upstream[1].close()

    @staticmethod
    def unavailable(headers):
        text = b"Service Unavailable\n"
        cors = b""
        if "origin" in headers:
            cors = (f"Access-Control-Allow-Origin: {headers['origin']}\r\nVary: Origin\r\n"
                    "Access-Control-Allow-Credentials: true\r\n").encode("latin-1")
        return (b"HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain; charset=utf-8\r\n" + cors
                + f"Content-Length: {len(text)}\r\n\r\n".encode() + text)

    async def control(self, reader, writer):
        try:
            head = await asyncio.wait_for(read_head(reader), 10)
            if head is None:
                return
            (_, path, *_), _ = parse_head(head)
            status, text = "200 OK", ""
            if path == "/mode":
                text = self.mode + "\n"
            elif path.startswith("/mode/") and path[6:] in MODES:
                await self.set_mode(path[6:])
                text = self.mode + "\n"
            elif path == "/stats":
                text = json.dumps({"mode": self.mode, "requests": self.stats}) + "\n"
            else:
                status, text = "404 Not Found", "modes: " + " ".join(MODES) + "\n"
            data = text.encode()
            writer.write(f"HTTP/1.1 {status}\r\nContent-Type: text/plain\r\nConnection: close\r\n"
                         f"Content-Length: {len(data)}\r\n\r\n".encode() + data)
            await writer.drain()
        except (BadRequest, asyncio.TimeoutError, ConnectionError, asyncio.IncompleteReadError):
            pass
        finally:
            writer.close()


async def guard(lifetime):
    """Ends the process when its parent goes or its time is up."""
    parent = os.getppid()
    loop = asyncio.get_running_loop()
    end = loop.time() + lifetime
    while os.getppid() == parent and loop.time() < end:
        await asyncio.sleep(0.5)
    print("lrs proxy: stopping (" + ("time is up" if loop.time() >= end else "parent gone") + ")",
          file=sys.stderr)


async def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--port", type=int, required=True)
    ap.add_argument("--target", type=int, required=True)
    ap.add_argument("--ready", required=True)
    ap.add_argument("--mode", choices=MODES, default="pass")
    ap.add_argument("--lifetime", type=float, default=1800)
    args = ap.parse_args()
    proxy = Proxy(args.port, args.target, args.mode)
    if args.mode != "off":
        await proxy.listen()
    control = await asyncio.start_server(proxy.control, HOST, 0, limit=HEAD_LIMIT)
    port = control.sockets[0].getsockname()[1]
    with open(args.ready + ".tmp", "w") as f:
        f.write(f"{port}\n")
    os.replace(args.ready + ".tmp", args.ready)
    await guard(args.lifetime)


if __name__ == "__main__":
    asyncio.run(main())
