#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Taps the page with a finger, through Chromium's touch emulation.

    web-tap.py URL OUTDIR X,Y [X,Y ...]

Starts Chromium (on $DISPLAY, as the check does) with its DevTools protocol on a pipe,
opens URL, waits until the page has drawn, and for each point (a pixel of the form, which
the page shows centred and scaled to fit, 1017x749 at most at a scale of 1) keeps a screenshot OUTDIR/tap-N-before.png, taps there (a touch start and end, no mouse),
and keeps OUTDIR/tap-N-after.png. Extra Chromium flags come from $CHROMIUM_FLAGS.
"""
import base64
import json
import os
import shlex
import subprocess
import sys
import tempfile
import time


FORM = (1017, 749)


class Pipe:
    def __init__(self, proc, to_browser, from_browser):
        self.proc, self.to_browser, self.from_browser = proc, to_browser, from_browser
        self.next_id, self.buffer = 0, b""

    def send(self, method, params=None, session=None):
        self.next_id += 1
        msg = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            msg["sessionId"] = session
        os.write(self.to_browser, json.dumps(msg).encode() + b"\0")
        while True:
            reply = self.receive()
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply.get("result", {})

    def receive(self):
        while b"\0" not in self.buffer:
            chunk = os.read(self.from_browser, 1 << 20)
            if not chunk:
                raise RuntimeError("Chromium closed its pipe")
            self.buffer += chunk
        msg, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(msg)


def main():
    url, out, points = sys.argv[1], sys.argv[2], [tuple(map(float, p.split(","))) for p in sys.argv[3:]]
    os.makedirs(out, exist_ok=True)
    # Chromium reads commands on fd 3 and writes replies on fd 4.
    cmd_r, cmd_w = os.pipe()
    rep_r, rep_w = os.pipe()
    profile = tempfile.mkdtemp(prefix="porome-tap-")
    # Japanese, and no offer to translate the page.
    os.makedirs(os.path.join(profile, "Default"))
    with open(os.path.join(profile, "Default", "Preferences"), "w") as f:
        json.dump({"translate": {"enabled": False}, "intl": {"accept_languages": "ja"}}, f)
    flags = shlex.split(os.environ.get("CHROMIUM_FLAGS", ""))
    proc = subprocess.Popen(
        ["sh", "-c", f'exec "$@" 3<&{cmd_r} 4>&{rep_w}', "sh",
         "chromium", f"--user-data-dir={profile}", "--remote-debugging-pipe", *flags, "about:blank"],
        pass_fds=(cmd_r, rep_w), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(cmd_r)
    os.close(rep_w)
    pipe = Pipe(proc, cmd_w, rep_r)
    try:
        targets = pipe.send("Target.getTargets")["targetInfos"]
        page = next(t for t in targets if t["type"] == "page")
        session = pipe.send("Target.attachToTarget", {"targetId": page["targetId"], "flatten": True})["sessionId"]
        pipe.send("Emulation.setTouchEmulationEnabled", {"enabled": True, "maxTouchPoints": 5}, session)
        pipe.send("Page.navigate", {"url": url}, session)
        for _ in range(600):
            drawn = pipe.send("Runtime.evaluate", {"expression": "document.getElementById('screen').style.display === 'block'",
                                                   "returnByValue": True}, session)
            if drawn["result"].get("value"):
                break
            time.sleep(0.1)
        else:
            raise RuntimeError("the page did not show the program")
        time.sleep(3)
        size = pipe.send("Runtime.evaluate", {"expression": "[innerWidth, innerHeight]", "returnByValue": True},
                         session)["result"]["value"]
        fit = min(size[0] / FORM[0], size[1] / FORM[1])
        scale = 1.0 if fit >= 1 else max(0.25, int(fit * 1000) / 1000)
        left, top = (size[0] - FORM[0] * scale) / 2, (size[1] - FORM[1] * scale) / 2
        print(f"page {size[0]}x{size[1]}: the form at scale {scale}")

        def shot(name):
            data = pipe.send("Page.captureScreenshot", {"format": "png"}, session)["data"]
            with open(os.path.join(out, name), "wb") as f:
                f.write(base64.b64decode(data))

        for n, (fx, fy) in enumerate(points, 1):
            x, y = left + (fx + 0.5) * scale, top + (fy + 0.5) * scale
            shot(f"tap-{n}-before.png")
            point = {"x": x, "y": y, "radiusX": 4, "radiusY": 4, "force": 1, "id": 1}
            pipe.send("Input.dispatchTouchEvent", {"type": "touchStart", "touchPoints": [point]}, session)
            time.sleep(0.08)
            pipe.send("Input.dispatchTouchEvent", {"type": "touchEnd", "touchPoints": []}, session)
            time.sleep(1.5)
            shot(f"tap-{n}-after.png")
            print(f"tapped {x:.0f},{y:.0f}: {out}/tap-{n}-after.png")
    finally:
        try:
            pipe.send("Browser.close")
        except Exception:
            proc.kill()
        proc.wait(timeout=20)
    return 0


if __name__ == "__main__":
    sys.exit(main())
