#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The page checked in the browser, as a pupil and a school would see it.

    web-check.py --dist DIR --out DIR [--store URL --proxy URL --proxy-control PORT]
                 [--porome PROGRAM] [--only STEP,...]

Serves the page folder DIR (and variants of it with a porome-config.json) on 127.0.0.1,
starts Chromium on $DISPLAY with its DevTools protocol on a pipe (as web-tap.py does) in a
fresh profile, and presses the page where the form's pixels are drawn, reading each mark off
the screenshot. The store's xAPI base is --store (read directly by the check) and --proxy
(the same behind the fault proxy whose control port is --proxy-control; the page is
launched with it). PROGRAM is the desktop porome, for --report. Screenshots go to OUT/.
The steps, all unless --only names some:

  plays      every kind of level right and wrong, a message box, 終わる, おわり to the
             closing screen and もういちど back, with no record
  tap        taps through touch emulation (web-tap.py) change what the page shows
  offline    a second visit starts without the server; a page without its program says so
  launch     a portal's launch: the address loses its parameters; three levels drilled while
             the proxy goes off, to 503 and on, a reload mid-drill, Chromium closed while
             statements wait and opened again; every check arrives once, with its mark
  fetch      a launch with a one-time fetch address instead of a credential
  answers    a store that answers 401, loses an answer (the resend meets 409) and refuses
             one statement with 400
  level      a launch whose activity_id names level 14 opens its exercise
  bad        a broken actor, endpoint, config file and a refused IndexedDB: the drill goes
             on, nothing is kept or sent, the console says why once
  webkit     levels 14 and 1 drilled in WebKitGTK's MiniBrowser against the store (xdotool)
  download   two record files saved from the closing screen, read by porome --report

Exits non-zero at the first step that fails, saying why.
"""
import argparse
import base64
import functools
import http.server
import importlib.util
import io
import json
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import urllib.request
import uuid

from PIL import Image, ImageChops

HERE = os.path.dirname(os.path.abspath(__file__))
FORM = (1017, 749)
LAUNCH_KEYS = ("endpoint", "auth", "actor", "registration", "activity_id", "fetch", "level")
AUTH = "Basic " + base64.b64encode(b"check:check").decode()
CHROMIUM_FLAGS = ["--no-first-run", "--no-default-browser-check", "--test-type", "--no-sandbox",
                  "--disable-extensions", "--disable-sync", "--disable-background-networking",
                  "--disable-features=Translate,MediaRouter", "--password-store=basic", "--lang=ja",
                  "--use-angle=swiftshader", "--enable-unsafe-swiftshader", "--window-position=0,0",
                  "--window-size=1366,768"]


class Failed(Exception):
    pass


def check(condition, why):
    if not condition:
        raise Failed(why)


def load_module(name, file):
    found = importlib.util.spec_from_file_location(name, os.path.join(HERE, file))
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


serve = load_module("web_serve", "web-serve.py")


# --- Servers on 127.0.0.1 -------------------------------------------------------------------

class PageServer:
    """The page folder as a school's server sends it, with extra files laid beside it; what
    the measured page reports is kept in `reports`."""

    def __init__(self, folder, extra=None):
        self.reports, self.extra = [], dict(extra or {})
        owner = self

        class Handler(serve.Handler):
            def do_GET(self):
                url = urllib.parse.urlsplit(self.path)
                if url.path == "/report":
                    owner.reports.append(urllib.parse.unquote(url.query))
                    self.send_response(204)
                    self.end_headers()
                    return
                name = url.path.lstrip("/")
                if name in owner.extra:
                    body = owner.extra[name]
                    self.send_response(200)
                    self.send_header("Content-Type", "application/json")
                    self.send_header("Content-Length", str(len(body)))
                    self.end_headers()
                    self.wfile.write(body)
                    return
                super().do_GET()

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Handler, directory=folder))
        self.url = f"http://127.0.0.1:{self.httpd.server_address[1]}/"
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def lines(self, key):
        return [r[len(key) + 1:] for r in self.reports if r.startswith(key + "=")]

    def stop(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class TokenServer:
    """A one-time credential address, as a cmi5 launch gives: the first POST to it answers the
    credential, every later one is refused."""

    def __init__(self, token):
        self.posts = 0
        owner = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def cors(self):
                self.send_header("Access-Control-Allow-Origin", self.headers.get("Origin") or "*")
                self.send_header("Access-Control-Allow-Methods", "POST")

            def do_OPTIONS(self):
                self.send_response(204)
                self.cors()
                self.end_headers()

            def do_POST(self):
                owner.posts += 1
                first = owner.posts == 1
                body = json.dumps({"auth-token": token} if first else {"error-code": "1", "error-text": "used"})
                self.send_response(200 if first else 401)
                self.cors()
                self.send_header("Content-Type", "application/json")
                self.end_headers()
                self.wfile.write(body.encode())

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = f"http://127.0.0.1:{self.httpd.server_address[1]}/fetch?once={uuid.uuid4().hex}"
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def stop(self):
        self.httpd.shutdown()
        self.httpd.server_close()


# --- The store ------------------------------------------------------------------------------

class Store:
    def __init__(self, url, proxy, control):
        self.url, self.proxy, self.control = url.rstrip("/") + "/", proxy.rstrip("/") + "/", control

    def mode(self, mode):
        with urllib.request.urlopen(f"http://127.0.0.1:{self.control}/mode/{mode}", timeout=5) as r:
            check(r.read().decode().strip() == mode, f"the proxy did not take mode {mode}")

    def statements(self, registration, verb="http://adlnet.gov/expapi/verbs/answered"):
        """Every statement of a registration and verb, following `more`."""
        query = urllib.parse.urlencode({"registration": registration, "verb": verb, "limit": 500})
        url, found = self.url + "statements?" + query, []
        while url:
            request = urllib.request.Request(url, headers={"Authorization": AUTH, "X-Experience-API-Version": "1.0.3"})
            with urllib.request.urlopen(request, timeout=20) as r:
                answer = json.load(r)
            found += answer["statements"]
            more = answer.get("more")
            # `more` is a path on the store's host, not under the endpoint.
            url = urllib.parse.urljoin(self.url, more) if more else None
        return found


def mark_of(statement):
    for key, value in statement.get("result", {}).get("extensions", {}).items():
        if key.endswith("/extensions/mark"):
            return value
    return None


def compare_arrivals(store, registration, checks, what):
    """Every check seen on the screen arrived exactly once, with its mark, in order."""
    statements = sorted(store.statements(registration), key=lambda s: s["timestamp"])
    ids = [s["id"] for s in statements]
    check(len(ids) == len(set(ids)), f"{what}: a statement arrived twice")
    marks = [mark_of(s) for s in statements]
    # The screen shows ○ for a right answer at any try; the record tells △ from ○.
    shown = ["○" if m in ("○", "△") else m for m in marks]
    print(f"  {what}: {len(checks)} checks on the screen, {len(statements)} answered statements in the store")
    print(f"    screen: {''.join(checks)}")
    print(f"    store:  {''.join(m or '?' for m in marks)}")
    check(shown == checks, f"{what}: the store's marks differ from the screen's")


class FakeStore:
    """A store that answers as told, to see the page take each answer as the desktop does:
    `mode` is "ok" (a known id is a 409), "401", "lose-once" (keeps a batch but answers 503,
    once) or "refuse-attempted" (400 for a batch holding an `attempted`)."""

    def __init__(self):
        self.mode, self.kept, self.answers = "ok", {}, []
        owner = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def cors(self):
                self.send_header("Access-Control-Allow-Origin", self.headers.get("Origin") or "*")
                self.send_header("Access-Control-Allow-Methods", "POST")
                self.send_header("Access-Control-Allow-Headers", "Authorization, X-Experience-API-Version, Content-Type")

            def do_OPTIONS(self):
                self.send_response(204)
                self.cors()
                self.end_headers()

            def do_POST(self):
                batch = json.loads(self.rfile.read(int(self.headers.get("Content-Length", 0))))
                status = owner.answer(batch)
                owner.answers.append((status, len(batch)))
                self.send_response(status)
                self.cors()
                self.send_header("Content-Type", "application/json")
                self.end_headers()
                body = [s["id"] for s in batch] if status == 200 else {"message": f"answered {status}"}
                self.wfile.write(json.dumps(body).encode())

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = f"http://127.0.0.1:{self.httpd.server_address[1]}/xAPI/"
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def answer(self, batch):
        if self.mode == "401":
            return 401
        if self.mode == "refuse-attempted" and any(s["verb"]["id"].endswith("/attempted") for s in batch):
            return 400
        if any(s["id"] in self.kept for s in batch):
            return 409
        for s in batch:
            self.kept[s["id"]] = s
        if self.mode == "lose-once":
            self.mode = "ok"
            return 503
        return 200

    def stop(self):
        self.httpd.shutdown()
        self.httpd.server_close()


# --- Chromium over the DevTools protocol ----------------------------------------------------

class Chromium:
    """Chromium on its own profile, one page, talked to over the pipe; the page's console lines
    are kept in `console`."""

    def __init__(self, profile, extra_flags=()):
        # A Chromium that has just ended may hold its profile a moment longer.
        for _ in range(100):
            if not os.path.lexists(os.path.join(profile, "SingletonLock")):
                break
            time.sleep(0.1)
        os.makedirs(os.path.join(profile, "Default"), exist_ok=True)
        prefs = os.path.join(profile, "Default", "Preferences")
        if not os.path.exists(prefs):
            with open(prefs, "w") as f:
                json.dump({"translate": {"enabled": False}, "intl": {"accept_languages": "ja"}}, f)
        cmd_r, self.cmd_w = os.pipe()
        self.rep_r, rep_w = os.pipe()
        self.proc = subprocess.Popen(
            ["bash", "-c", f'exec "$@" 3<&{cmd_r} 4>&{rep_w}', "bash", "chromium", f"--user-data-dir={profile}",
             "--remote-debugging-pipe", *CHROMIUM_FLAGS, *extra_flags, "about:blank"],
            pass_fds=(cmd_r, rep_w), stdout=subprocess.DEVNULL, stderr=open(profile + ".log", "ab"))
        os.close(cmd_r)
        os.close(rep_w)
        self.next_id, self.buffer, self.console, self.session = 0, b"", [], None
        targets = self.send("Target.getTargets")["targetInfos"]
        page = next(t for t in targets if t["type"] == "page")
        self.session = self.send("Target.attachToTarget", {"targetId": page["targetId"], "flatten": True})["sessionId"]
        self.send("Runtime.enable")
        self.send("Page.enable")

    def send(self, method, params=None, browser=False):
        self.next_id += 1
        msg = {"id": self.next_id, "method": method, "params": params or {}}
        if self.session and not browser:
            msg["sessionId"] = self.session
        os.write(self.cmd_w, json.dumps(msg).encode() + b"\0")
        while True:
            reply = self.receive()
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply.get("result", {})

    def receive(self):
        while b"\0" not in self.buffer:
            chunk = os.read(self.rep_r, 1 << 20)
            if not chunk:
                raise RuntimeError("Chromium closed its pipe")
            self.buffer += chunk
        raw, self.buffer = self.buffer.split(b"\0", 1)
        msg = json.loads(raw)
        if msg.get("method") == "Runtime.consoleAPICalled":
            args = msg["params"]["args"]
            self.console.append(" ".join(str(a.get("value", a.get("description", ""))) for a in args))
        return msg

    def eval(self, expression):
        result = self.send("Runtime.evaluate", {"expression": expression, "returnByValue": True, "awaitPromise": True})
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails'].get('text')}")
        return result["result"].get("value")

    def open(self, url):
        self.send("Page.navigate", {"url": url})
        self.wait_program()

    def reload(self):
        self.send("Page.reload")
        time.sleep(0.5)
        self.wait_program()

    def wait_program(self):
        for _ in range(900):
            try:
                if self.eval("document.getElementById('screen') !== null && "
                             "document.getElementById('screen').style.display === 'block'"):
                    break
            except RuntimeError:
                pass
            time.sleep(0.1)
        else:
            raise Failed("the page did not show the program")
        time.sleep(2.5)
        w, h = self.eval("[innerWidth, innerHeight]")
        fit = min(w / FORM[0], h / FORM[1])
        self.scale = 1.0 if fit >= 1 else max(0.25, int(fit * 1000) / 1000)
        self.left, self.top = (w - FORM[0] * self.scale) / 2, (h - FORM[1] * self.scale) / 2

    def close(self):
        try:
            self.send("Browser.close", browser=True)
        except Exception:
            self.proc.kill()
        self.proc.wait(timeout=30)
        os.close(self.cmd_w)
        os.close(self.rep_r)

    # The pupil's hands and eyes.
    def at(self, fx, fy):
        return self.left + (fx + 0.5) * self.scale, self.top + (fy + 0.5) * self.scale

    def click_page(self, x, y):
        for kind in ("mousePressed", "mouseReleased"):
            self.send("Input.dispatchMouseEvent", {"type": kind, "x": x, "y": y, "button": "left", "clickCount": 1})

    def press(self, fx, fy):
        self.click_page(*self.at(fx, fy))

    def key(self, letter):
        if letter == "Return":
            key, code, number, text = "Enter", "Enter", 13, "\r"
        else:
            key, code, number, text = letter, "Key" + letter.upper(), ord(letter.upper()), letter
        for kind in ("keyDown", "keyUp"):
            self.send("Input.dispatchKeyEvent", {"type": kind, "key": key, "code": code,
                                                 "text": text if kind == "keyDown" else "",
                                                 "windowsVirtualKeyCode": number, "nativeVirtualKeyCode": number})

    def screenshot(self):
        data = self.send("Page.captureScreenshot", {"format": "png"})["data"]
        return Image.open(io.BytesIO(base64.b64decode(data))).convert("RGB")

    def address(self):
        return self.eval("location.href")

    def waiting(self):
        return self.eval("window.poromePage ? window.poromePage.waiting() : -1")


# --- The pupil --------------------------------------------------------------------------------

def red(p):
    return p[0] > 178 and p[1] < 77 and p[2] < 77


def difference(a, b):
    """How many pixels of two screenshots differ by more than a tenth of a channel's range."""
    if a.size != b.size:
        return a.size[0] * a.size[1]
    r, g, b_ = ImageChops.difference(a, b).split()
    most = ImageChops.lighter(ImageChops.lighter(r, g), b_)
    return most.point(lambda v: 255 if v > 25 else 0).histogram()[255]


class Pupil:
    """Plays the page as a pupil, on a screen of its own: `hand` presses at a form pixel and
    types a key, `look` gives a screenshot and where the form stands on it."""

    def __init__(self, screen, server, out, delay=0.7):
        self.screen, self.server, self.out, self.delay, self.step = screen, server, out, delay, 0
        self.checks = []   # the marks seen on the screen, in order
        os.makedirs(out, exist_ok=True)

    def shot(self, name, image=None):
        self.step += 1
        (image or self.screen.screenshot()).save(os.path.join(self.out, f"{self.step:02d}-{name}.png"))

    def click(self, fx, fy):
        self.screen.press(fx, fy)
        time.sleep(self.delay)

    def panel_click(self, px, py):
        self.click(px + 8, py + 8)

    def dialog(self, answer, name=None):
        time.sleep(1.5)
        if name:
            self.shot(name)
        self.screen.key("y" if answer else "n")
        time.sleep(1.5)

    def read_mark(self, image, s=1):
        scale = self.screen.scale
        x, y = self.screen.at(48, 8 + (s - 1) * 220 + 180)
        x, y = int(x - 0.5 * scale), int(y - 0.5 * scale)
        n, m, d = int(26 * scale), int(8 * scale), int(9 * scale)
        count = sum(red(image.getpixel((x + i, y + j))) for i in range(n) for j in range(n))
        middle = sum(red(image.getpixel((x + d + i, y + d + j))) for i in range(m) for j in range(m))
        if count < 12:
            return ""
        return "×" if middle >= 3 else "○"

    def check_press(self, fx, fy, name):
        """Presses a check (or kind) button and reads slot 1's mark: returns ○ or ×."""
        before = len(self.server.lines("check"))
        self.screen.press(fx, fy)
        mark = ""
        for _ in range(20):
            image = self.screen.screenshot()
            mark = self.read_mark(image)
            if mark:
                break
        check(mark, f"{name}: no mark seen")
        for _ in range(50):
            if len(self.server.lines("check")) > before:
                break
            time.sleep(0.1)
        self.checks.append(mark)
        report = self.server.lines("check")[-1].split(",") if len(self.server.lines("check")) > before else []
        judged = report[1] if report else "nothing"
        check({"○": "right", "×": "wrong"}[mark] == judged, f"{name}: {mark} on the screen, {judged} judged")
        time.sleep(2.3)
        return mark, report

    def start_level(self, level):
        self.click(96 if level <= 10 else 256, 24)
        row = level - 1 if level <= 10 else level - 11
        self.click(60, 124 + 50 * row + 18)
        self.click(864, 82)      # けってい
        self.panel_click(300, 100)

    def keypad(self, digit):
        self.panel_click(136 + 36 * digit + 18, 232 + 18)

    def type(self, digits):
        for d in digits:
            self.keypad(int(d))

    def finish(self):
        self.panel_click(644, 30)   # 終わる
        self.dialog(True)

    def right_boxes(self, level, r):
        """The right answer of slot 1 from its record: the texts of Text1, Text2, Text3."""
        r1, r2, r3, r4, r5 = r
        if level == 1:
            return [r1, r2, None]
        if level == 17:
            if r4 < r1:
                return [r1, r4, None]
            return [None, None, 1] if r4 == r1 else [r1, r4 - r1, 1]
        if level == 22:   # r4 r2/d − r5 r3/d, borrowing one where r2 < r3
            p, whole = r2 - r3, r4 - r5
            if p > 0:
                return [r1, p, whole]
            if p == 0:
                return [None, None, whole]
            return [r1, p + r1, whole - 1 if whole > 1 else None]
        raise ValueError(level)

    def drill_boxes(self, level, between=None):
        """A wrong answer (99), then the right one read from the program's report of it."""
        cx, cy = 568 + 50 + 8, 232 + 20 + 8
        self.start_level(level)
        self.type("99")
        _, report = self.check_press(cx, cy, f"level{level}")
        if between:
            between()
        record = [int(v) for v in report[2:7]]
        places = [int(v) for v in report[7:15]]
        self.click(places[6], places[7])   # けす
        for box, text in enumerate(self.right_boxes(level, record)):
            if text is None:
                continue
            self.click(places[2 * box], places[2 * box + 1])
            self.type(str(text))
        mark, _ = self.check_press(cx, cy, f"level{level}")
        check(mark == "○", f"level{level}: the right answer was not marked ○")
        self.shot(f"level{level}-score")

    def drill_colouring(self):
        """Level 5: the check with nothing coloured, then as many cells as the numerator."""
        cx, cy = 608 + 50 + 8, 220 + 20 + 8
        self.start_level(5)
        _, report = self.check_press(cx, cy, "level5")
        d, n = int(report[2]), int(report[3])
        for i in range(n):
            self.panel_click(80 + (2 * i + 1) * 250 // d, 242)
        mark, _ = self.check_press(cx, cy, "level5")
        check(mark == "○", "level5: the coloured cells were not marked ○")
        self.shot("level5-score")

    def drill_kinds(self, presses):
        """Level 14's kind buttons of slot 1, in turn, for as many presses."""
        for i in range(presses):
            b = i % 3
            self.check_press(422 + 116 * b + 8, 238 + 8, "level14")

    def drill_keypad(self, presses):
        """Level 7's keypad answers 9, 8, 7 in turn."""
        for i in range(presses):
            self.keypad(9 - i % 3)
            self.check_press(568 + 50 + 8, 232 + 20 + 8, "level7")

    def drill_until(self, name, check_at, answers):
        """Tries the answers on slot 1, problem after problem, until a right and a wrong one
        have both been seen; `check_at` is the check button, or None where the answer's own
        press judges (it then returns where it pressed)."""
        seen = set()
        for problem in range(12):
            for answer in answers:
                pressed = answer()
                mark, _ = self.check_press(*(check_at or pressed), name)
                seen.add(mark)
                if mark == "○":
                    break
            if len(seen) == 2:
                self.shot(f"{name}-score")
                return
        raise Failed(f"{name}: no right and wrong answer in 12 problems")

    def kind_button(self, b):
        return lambda: (422 + 116 * b + 8, 238 + 8)

    def shows_exercise(self, image):
        # The third slot's white frame stands where the menu shows its own colour.
        x, y = self.screen.at(700, 600)
        return image.getpixel((int(x), int(y))) == (255, 255, 255)


def launch_url(server, **params):
    query = {"measure": ""}
    query.update(params)
    return server.url + "index.html?" + urllib.parse.urlencode(query)


def actor(name):
    return json.dumps({"objectType": "Agent", "account": {"homePage": "https://portal.example.jp", "name": name}})


def address_is_clean(screen, what):
    address = screen.address()
    query = urllib.parse.parse_qs(urllib.parse.urlsplit(address).query, keep_blank_values=True)
    left = [k for k in LAUNCH_KEYS if k in query]
    print(f"  {what}: the address is now {address}")
    check(not left, f"{what}: the address still holds {left}")
    check("Basic" not in address and "check" not in address, f"{what}: the address holds the credential")


def wait_sent(screen, what, seconds=90):
    for _ in range(seconds * 2):
        if screen.waiting() == 0:
            return
        time.sleep(0.5)
    raise Failed(f"{what}: {screen.waiting()} statements still wait after {seconds} s")


# --- The steps ---------------------------------------------------------------------------------
def step_plays(args, store, server, out):
    """The page as the pupil uses it, with no record: every kind of level, right and wrong, a
    message box, 終わる, and おわり to the closing screen and back."""
    profile = os.path.join(out, "profile-plays")
    shutil.rmtree(profile, ignore_errors=True)
    screen = Chromium(profile)
    pupil = Pupil(screen, server, os.path.join(out, "chromium"))
    try:
        screen.open(server.url + "index.html?measure")
        first = screen.screenshot()
        pupil.shot("menu-grade3", first)
        print("  a message box: けってい before a level")
        pupil.click(864, 82)
        time.sleep(1)
        pupil.shot("message-choose-level")
        screen.key("Return")
        time.sleep(1)
        pupil.shot("message-closed")
        print("  answer boxes: level 1; colouring the tape: level 5")
        pupil.drill_boxes(1)
        pupil.finish()
        pupil.drill_colouring()
        pupil.finish()
        print("  keypad: level 7, 終わる answered いいえ, then はい")
        pupil.start_level(7)
        pupil.drill_until("level7", (568 + 50 + 8, 232 + 20 + 8),
                          [lambda d=d: pupil.keypad(d) for d in (9, 8, 7)])
        pupil.panel_click(652, 30)
        pupil.dialog(False, "level7-finish-asked")
        check(pupil.shows_exercise(screen.screenshot()), "いいえ left the exercise")
        pupil.panel_click(652, 30)
        pupil.dialog(True, "level7-finish-asked-again")
        print("  pressing the picture: level 8")
        pupil.start_level(8)
        pupil.drill_until("level8", (608 + 50 + 8, 220 + 20 + 8),
                          [lambda x=x: pupil.panel_click(x, 177) for x in (514, 580, 646)])
        pupil.finish()
        print("  kind buttons: level 14")
        pupil.start_level(14)
        pupil.drill_until("level14", None, [pupil.kind_button(b) for b in range(3)])
        pupil.finish()
        pupil.shot("menu-after-finish")
        print("  answer boxes: levels 17 and 22")
        pupil.drill_boxes(17)
        pupil.finish()
        pupil.drill_boxes(22)
        pupil.finish()
        print("  おわり answered いいえ, then はい")
        pupil.click(960, 82)
        pupil.dialog(False, "quit-asked")
        check(not server.lines("closing"), "いいえ closed the program")
        pupil.click(960, 82)
        pupil.dialog(True, "quit-asked-again")
        closing = screen.screenshot()
        pupil.shot("closing-screen", closing)
        report = server.lines("closing")[-1].split(",")
        check(report[2] == "-1" and report[4] == "", "the closing screen shows the record's line or button without one")
        # The closing screen is the page's colour but for its text and button in the middle.
        x, y = screen.at(0, 0)
        w, h = int(FORM[0] * screen.scale), int(600 * screen.scale)
        other = sum(1 for p in closing.crop((int(x), int(y), int(x) + w, int(y) + h)).getdata()
                    if max(abs(p[0] - 0xC0), abs(p[1] - 0xFF), abs(p[2] - 0xC0)) > 8)
        print(f"  pixels not of the page's colour on the closing screen: {other}")
        check(other < 60000, "no closing screen after はい")
        screen.click_page(int(report[0]), int(report[1]))   # もういちど
        time.sleep(2)
        again = screen.screenshot()
        pupil.shot("started-again", again)
        changed = difference(first, again)
        print(f"  もういちど: {changed} pixels differ from the first menu")
        check(changed < 2000, "もういちど did not bring back the first menu")
    finally:
        screen.close()


def step_tap(args, store, server, out):
    """Taps through Chromium's touch emulation (no mouse): ４年生, level 14, けってい, slot 1."""
    shots = os.path.join(out, "touch")
    env = dict(os.environ, CHROMIUM_FLAGS=" ".join(CHROMIUM_FLAGS))
    subprocess.run([sys.executable, os.path.join(HERE, "web-tap.py"), server.url + "index.html", shots,
                    "256,24", "60,292", "864,82", "308,108"], env=env, check=True, timeout=300)
    for n in range(1, 5):
        changed = difference(Image.open(os.path.join(shots, f"tap-{n}-before.png")).convert("RGB"),
                             Image.open(os.path.join(shots, f"tap-{n}-after.png")).convert("RGB"))
        print(f"  tap {n} changed {changed} pixels")
        # The smallest change is the level option's dot, some 30 pixels.
        check(changed > 15, f"tap {n} changed nothing on the page")


def step_offline(args, store, server, out):
    """After a first visit the page starts with its server gone; a page whose program cannot
    be fetched says so in Japanese, with a way to try again."""
    shots = os.path.join(out, "offline")
    os.makedirs(shots, exist_ok=True)
    own = PageServer(args.dist)
    profile = os.path.join(out, "profile-offline")
    shutil.rmtree(profile, ignore_errors=True)
    screen = Chromium(profile)
    try:
        screen.open(own.url + "index.html?measure")
        for _ in range(600):
            if own.lines("kept"):
                break
            time.sleep(0.1)
        check(own.lines("kept"), "the service worker kept nothing")
        menu = screen.screenshot()
        menu.save(os.path.join(shots, "01-first-visit.png"))
    finally:
        screen.close()
    url = own.url
    own.stop()
    screen = Chromium(profile)
    try:
        screen.open(url + "index.html?measure")
        offline = screen.screenshot()
        offline.save(os.path.join(shots, "02-offline-start.png"))
    finally:
        screen.close()
    changed = difference(menu, offline)
    print(f"  offline start: {changed} pixels differ from the menu of the first visit")
    check(changed < 2000, "the page did not start without its server")

    broken = tempfile.mkdtemp(prefix="porome-broken-")
    for name in ("index.html", "record.js", "qtloader.js", "porome.js", "icon.svg"):
        shutil.copy(os.path.join(args.dist, name), broken)
    own = PageServer(broken)
    profile = os.path.join(out, "profile-broken")
    shutil.rmtree(profile, ignore_errors=True)
    screen = Chromium(profile)
    try:
        screen.send("Page.navigate", {"url": own.url + "index.html?measure"})
        for _ in range(600):
            if own.lines("error"):
                break
            time.sleep(0.1)
        check(own.lines("error"), "no message when porome.wasm is missing")
        time.sleep(1)
        screen.screenshot().save(os.path.join(shots, "03-download-failed.png"))
        print(f"  without porome.wasm the page says: {own.lines('error')[-1]}")
        check(own.lines("error")[-1].startswith("ポロメを　よみこめませんでした。"), "the message is not the Japanese one")
    finally:
        screen.close()
        own.stop()
        shutil.rmtree(broken, ignore_errors=True)


def step_launch(args, store, server, out):
    """A portal's launch, three levels through outages, a reload, a closed and opened browser."""
    registration = str(uuid.uuid4())
    profile = os.path.join(out, "profile-launch")
    shutil.rmtree(profile, ignore_errors=True)
    screen = Chromium(profile)
    pupil = Pupil(screen, server, os.path.join(out, "launch"))
    try:
        store.mode("pass")
        screen.open(launch_url(server, endpoint=store.proxy, auth=AUTH, actor=actor("pupil-launch"),
                               registration=registration))
        pupil.shot("menu")
        address_is_clean(screen, "launch")
        check("auth" not in (screen.eval("JSON.stringify(sessionStorage)") or ""),
              "the tab's session storage holds the credential")

        print("  level 1 with the store there")
        pupil.drill_boxes(1)
        pupil.finish()
        print("  level 5 with the store off")
        store.mode("off")
        pupil.drill_colouring()
        pupil.finish()
        check(screen.waiting() > 0, "nothing waits while the store is off")
        print(f"  {screen.waiting()} statements wait")
        print("  level 14, the store answering 503, a reload mid-drill")
        store.mode("503")
        pupil.start_level(14)
        pupil.drill_kinds(2)
        before = screen.waiting()
        screen.reload()
        pupil.shot("reloaded")
        check(screen.waiting() >= before, f"after the reload {screen.waiting()} wait, {before} before it")
        pupil.start_level(14)
        pupil.drill_kinds(3)
        pupil.finish()
        print("  おわり with the store off: the closing screen counts what waits")
        store.mode("off")
        pupil.click(960, 82)
        pupil.dialog(True)
        pupil.shot("closing-unsent")
        closing = server.lines("closing")[-1].split(",")
        print(f"  the closing screen says: {closing[4]}")
        check(closing[4].startswith("きろくが　まだ　") and closing[4].endswith("こ　おくれていません。"),
              "the closing screen does not say how many statements wait")
        print("  Chromium closed while statements wait, opened again on the same profile")
        screen.close()
        screen = Chromium(profile)
        pupil.screen = screen
        store.mode("pass")
        screen.open(server.url + "index.html")
        wait_sent(screen, "the next visit")
        pupil.shot("next-visit")
        compare_arrivals(store, registration, pupil.checks, "launch")
        # Levels 1 and 5, level 14 left by the reload, and level 14 again: each completed once.
        completed = store.statements(registration, "http://adlnet.gov/expapi/verbs/completed")
        print(f"  {len(completed)} exercises completed, the one the reload left among them")
        check(len(completed) == 4, f"{len(completed)} completed statements, not 4")
    finally:
        screen.close()
    return registration


def step_fetch(args, store, server, out):
    tokens = TokenServer(base64.b64encode(b"check:check").decode())
    registration = str(uuid.uuid4())
    profile = os.path.join(out, "profile-fetch")
    shutil.rmtree(profile, ignore_errors=True)
    screen = Chromium(profile)
    pupil = Pupil(screen, server, os.path.join(out, "fetch"))
    try:
        store.mode("pass")
        screen.open(launch_url(server, endpoint=store.proxy, fetch=tokens.url, actor=actor("pupil-fetch"),
                               registration=registration))
        address_is_clean(screen, "fetch")
        check("once=" not in screen.address(), "the address still holds the one-time address")
        pupil.start_level(7)
        pupil.drill_keypad(3)
        wait_sent(screen, "fetch")
        print("  offline: the statements wait, and go as the browser is online again")
        screen.send("Network.enable")
        offline = {"offline": True, "latency": 0, "downloadThroughput": -1, "uploadThroughput": -1}
        screen.send("Network.emulateNetworkConditions", offline)
        pupil.drill_keypad(3)
        # Long enough for the backoff to wait longer than the online event takes.
        time.sleep(15)
        check(screen.waiting() > 0, "nothing waits while the browser is offline")
        screen.send("Network.emulateNetworkConditions", dict(offline, offline=False))
        for _ in range(8):
            if screen.waiting() == 0:
                break
            time.sleep(0.5)
        check(screen.waiting() == 0, "coming online did not send what waits at once")
        pupil.finish()
        wait_sent(screen, "fetch")
        print(f"  the one-time address was asked {tokens.posts} time(s)")
        check(tokens.posts == 1, f"the one-time address was asked {tokens.posts} times")
        compare_arrivals(store, registration, pupil.checks, "fetch")
    finally:
        screen.close()
        tokens.stop()


def step_level(args, store, server, out):
    # The activity id of level 14 as the statements name it.
    registration = str(uuid.uuid4())
    profile = os.path.join(out, "profile-level")
    shutil.rmtree(profile, ignore_errors=True)
    screen = Chromium(profile)
    pupil = Pupil(screen, server, os.path.join(out, "level"))
    try:
        store.mode("pass")
        screen.open(launch_url(server, endpoint=store.proxy, auth=AUTH, actor=actor("pupil-level"),
                               registration=registration, level="14"))
        wait_sent(screen, "level=14")
        attempted = store.statements(registration, "http://adlnet.gov/expapi/verbs/attempted")
        check(len(attempted) == 1, f"{len(attempted)} attempted statements for level=14")
        activity = attempted[0]["object"]["id"]
        screen.close()
        profile += "-again"
        shutil.rmtree(profile, ignore_errors=True)
        screen = Chromium(profile)
        pupil.screen = screen
        registration = str(uuid.uuid4())
        screen.open(launch_url(server, endpoint=store.proxy, auth=AUTH, actor=actor("pupil-level"),
                               registration=registration, activity_id=activity))
        image = screen.screenshot()
        pupil.shot("activity-id-14", image)
        print(f"  launched with activity_id={activity}")
        check(pupil.shows_exercise(image), "the launch that names level 14 shows the menu, not the exercise")
        pupil.panel_click(300, 100)
        pupil.drill_kinds(2)
        pupil.finish()
        pupil.shot("after-finish")
        check(not pupil.shows_exercise(screen.screenshot()), "終わる did not return to the menu")
        wait_sent(screen, "activity_id")
        compare_arrivals(store, registration, pupil.checks, "activity_id")
    finally:
        screen.close()


def step_bad(args, store, server, out):
    """Bad input of every kind: the drill works, nothing is kept or sent, one console line."""
    cases = [
        ("actor not JSON", None, {"actor": "{account:"}, "actor is not a JSON object", None),
        ("endpoint not http(s)", None, {"endpoint": "ftp://127.0.0.1/xAPI/"}, "is not an http:// or https://", None),
        ("plain http away from this machine", None, {"endpoint": "http://192.0.2.7/xAPI/"}, "plain http://", None),
        ("config file that does not parse", b'{"endpoint": ', {}, "porome-config.json does not parse", None),
        ("IndexedDB refused", None, {}, "IndexedDB refused",
         # As a private window that refuses storage: the open request fails.
         "indexedDB.open = function () { const r = {}; setTimeout(() => r.onerror && r.onerror(new Event('error')));"
         " return r; };"),
    ]
    for number, (name, config, params, said, script) in enumerate(cases):
        registration = str(uuid.uuid4())
        launch = {"endpoint": store.proxy, "auth": AUTH, "actor": actor("pupil-bad"), "registration": registration}
        launch.update(params)
        variant = PageServer(args.dist, {"porome-config.json": config} if config else None)
        profile = os.path.join(out, f"profile-bad-{number}")
        shutil.rmtree(profile, ignore_errors=True)
        screen = Chromium(profile)
        pupil = Pupil(screen, variant, os.path.join(out, "bad"))
        try:
            if script:
                screen.send("Page.addScriptToEvaluateOnNewDocument", {"source": script})
            screen.open(launch_url(variant, **launch))
            address_is_clean(screen, name)
            pupil.start_level(7)
            pupil.drill_keypad(1)
            pupil.finish()
            lines = [c for c in screen.console if said in c]
            print(f"  {name}: the console says {lines}")
            check(len(lines) == 1, f"{name}: {len(lines)} console lines say why, not one")
            kept = screen.eval("new Promise((resolve) => { const r = indexedDB.open('porome');"
                               " r.onsuccess = () => { const d = r.result;"
                               " if (!d.objectStoreNames.contains('statements')) { resolve(0); return; }"
                               " const c = d.transaction('statements').objectStore('statements').count();"
                               " c.onsuccess = () => resolve(c.result); }; r.onerror = () => resolve(0); })") \
                if not script else 0
            check(kept == 0, f"{name}: {kept} statements kept")
            time.sleep(2)
            sent = store.statements(registration) + store.statements(
                registration, "http://adlnet.gov/expapi/verbs/attempted")
            check(not sent, f"{name}: {len(sent)} statements reached the store")
        finally:
            screen.close()
            variant.stop()


def step_answers(args, store, server, out):
    """The store's answers taken as the desktop takes them: 401 stops and keeps everything,
    a lost answer's resend meets 409 and counts as stored, 400 sets one statement aside."""
    fake = FakeStore()
    profile = os.path.join(out, "profile-answers")
    shutil.rmtree(profile, ignore_errors=True)
    screen = Chromium(profile)
    pupil = Pupil(screen, server, os.path.join(out, "answers"))
    try:
        fake.mode = "401"
        screen.open(launch_url(server, endpoint=fake.url, auth=AUTH, actor=actor("pupil-answers")))
        pupil.start_level(7)
        pupil.drill_keypad(2)
        time.sleep(3)
        asked = len(fake.answers)
        time.sleep(8)
        print(f"  401: {asked} requests, then {len(fake.answers) - asked} more in 8 s; {screen.waiting()} wait")
        check(asked >= 1 and len(fake.answers) == asked, "a 401 did not stop sending")
        check(screen.waiting() >= 3 and not fake.kept, "a 401 lost statements")
        check(len([c for c in screen.console if "refused the credential (401)" in c]) == 1,
              "the console does not say once that the store refused the credential")

        print("  the next visit; the store keeps a batch but its answer is lost")
        fake.mode = "lose-once"
        screen.reload()
        wait_sent(screen, "a lost answer")
        statuses = [a[0] for a in fake.answers[asked:]]
        print(f"  answers: {statuses}")
        check(503 in statuses and 409 in statuses, "the resend after a lost answer met no 409")
        answered = [s for s in fake.kept.values() if s["verb"]["id"].endswith("/answered")]
        check(len(answered) == 2, f"{len(answered)} answered statements kept, not 2")

        print("  a statement the store refuses with 400")
        fake.mode = "refuse-attempted"
        before = set(fake.kept)
        pupil.start_level(14)
        pupil.drill_kinds(2)
        pupil.finish()
        wait_sent(screen, "a refused statement")
        new = [fake.kept[i] for i in fake.kept if i not in before]
        verbs = sorted(s["verb"]["id"].rsplit("/", 1)[1] for s in new)
        print(f"  kept after the 400: {verbs}")
        check("attempted" not in verbs and verbs.count("answered") == 2, "the 400 did not set just the one aside")
        aside = screen.eval("new Promise((resolve) => { const r = indexedDB.open('porome'); r.onsuccess = () => {"
                            " const g = r.result.transaction('statements').objectStore('statements').getAll();"
                            " g.onsuccess = () => resolve(g.result.filter((s) => s.state === 'aside').length); }; })")
        check(aside == 1, f"{aside} statements set aside, not 1")
        check(len([c for c in screen.console if "refused a statement (400" in c]) == 1,
              "the console does not say once that the store refused a statement")
    finally:
        screen.close()
        fake.stop()


def step_download(args, store, server, out):
    """Download mode: two record files saved from the closing screen, then the report."""
    variant = PageServer(args.dist, {"porome-config.json": b'{"record": "download"}'})
    profile = os.path.join(out, "profile-download")
    downloads = os.path.join(out, "downloads")
    shutil.rmtree(profile, ignore_errors=True)
    shutil.rmtree(downloads, ignore_errors=True)
    os.makedirs(downloads)
    screen = Chromium(profile)
    pupil = Pupil(screen, variant, os.path.join(out, "download"))
    files = []
    try:
        screen.send("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads}, browser=True)
        screen.open(variant.url + "index.html?measure")
        rows = []
        for round_, drill in enumerate((lambda: pupil.drill_boxes(1), lambda: (pupil.start_level(7), pupil.drill_keypad(2)))):
            before = len(pupil.checks)
            drill()
            pupil.finish()
            pupil.click(960, 82)   # おわり
            pupil.dialog(True)
            closing = variant.lines("closing")[-1].split(",")
            pupil.shot(f"closing-{round_ + 1}")
            save = (int(closing[2]), int(closing[3]))
            check(save[0] >= 0, "the closing screen offers no 「きろくを　ほぞんする」")
            screen.click_page(*save)
            for _ in range(100):
                names = [n for n in os.listdir(downloads) if n.endswith(".csv") and n not in files]
                if names:
                    break
                time.sleep(0.2)
            check(names, "no record file was saved")
            time.sleep(1)
            files.append(names[0])
            with open(os.path.join(downloads, names[0]), "rb") as f:
                data = f.read()
            check(data.startswith(b"\xef\xbb\xbf"), f"{names[0]} has no byte-order mark")
            lines = data.decode("utf-8-sig").split("\r\n")
            check(lines[0].startswith("日時,コンピューター,ログイン"), f"{names[0]}: not the record's header")
            body = [l for l in lines[1:] if l]
            print(f"  {names[0]}: {len(body)} rows for {len(pupil.checks) - before} checks")
            check(len(body) == len(pupil.checks) - before, f"{names[0]} holds {len(body)} rows")
            rows.append(body)
            pupil.shot(f"saved-{round_ + 1}")
            again = (int(closing[0]), int(closing[1]))
            screen.click_page(*again)
            time.sleep(2)
        check(not set(rows[0]) & set(rows[1]), "a row was saved twice")
    finally:
        screen.close()
        variant.stop()
    # The teacher drops both files, each named for the pupil, on the desktop program.
    for i, name in enumerate(files):
        os.makedirs(os.path.join(downloads, f"hand-in-{i}"), exist_ok=True)
        shutil.copy(os.path.join(downloads, name), os.path.join(downloads, f"hand-in-{i}", "さくら.csv"))
    report = os.path.join(out, "download-report.html")
    run = subprocess.run([args.porome, "--report", os.path.join(downloads, "hand-in-0", "さくら.csv"),
                          os.path.join(downloads, "hand-in-1", "さくら.csv"), "-o", report],
                         capture_output=True, text=True, timeout=120)
    print(f"  porome --report: exit {run.returncode} {run.stdout.strip()} {run.stderr.strip()}")
    check(run.returncode == 0, "porome --report failed on the record files")
    with open(report, encoding="utf-8") as f:
        html = f.read()
    check("<td>さくら</td>" in html or ">さくら<" in html, "the report does not name the pupil by the file's name")


def step_webkit(args, store, server, out):
    """Levels 14 and 1 in WebKitGTK's MiniBrowser, pressed with xdotool, against the store."""
    registration = str(uuid.uuid4())
    minibrowser = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser"
    home = os.path.join(out, "webkit")
    shutil.rmtree(home, ignore_errors=True)
    env = dict(os.environ, XDG_DATA_HOME=os.path.join(home, "data"), XDG_CACHE_HOME=os.path.join(home, "cache"),
               WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS="1")
    store.mode("pass")
    server.reports.clear()
    proc = subprocess.Popen([minibrowser, launch_url(server, endpoint=store.proxy, auth=AUTH,
                                                     actor=actor("pupil-webkit"), registration=registration)],
                            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        screen = XScreen(server)
        pupil = Pupil(screen, server, os.path.join(out, "webkit-shots"))
        pupil.shot("menu")
        pupil.start_level(14)
        pupil.drill_until("level14", None, [pupil.kind_button(b) for b in range(3)])
        pupil.finish()
        pupil.drill_boxes(1)
        pupil.finish()
        for _ in range(120):
            if len(store.statements(registration)) >= len(pupil.checks):
                break
            time.sleep(0.5)
        compare_arrivals(store, registration, pupil.checks, "WebKit")
    finally:
        proc.terminate()
        proc.wait(timeout=20)


class XScreen:
    """A browser without DevTools: pressed with xdotool, seen through the X screen, placed by
    what the measured page reports of itself."""

    def __init__(self, server):
        for _ in range(1800):
            if server.lines("first") and server.lines("page"):
                break
            time.sleep(0.1)
        else:
            raise Failed("WebKit showed no frame of the program")
        time.sleep(3)
        w, h, x, y = (int(v) for v in server.lines("page")[-1].split(","))
        fit = min(w / FORM[0], h / FORM[1])
        self.scale = 1.0 if fit >= 1 else max(0.25, int(fit * 1000) / 1000)
        self.left, self.top = x + (w - FORM[0] * self.scale) / 2, y + (h - FORM[1] * self.scale) / 2

    def at(self, fx, fy):
        return self.left + (fx + 0.5) * self.scale, self.top + (fy + 0.5) * self.scale

    def press(self, fx, fy):
        x, y = self.at(fx, fy)
        subprocess.run(["xdotool", "mousemove", str(int(x)), str(int(y)), "click", "1"], check=True)

    def key(self, letter):
        subprocess.run(["xdotool", "key", letter], check=True)

    def screenshot(self):
        data = subprocess.run(["import", "-window", "root", "png:-"], capture_output=True, check=True).stdout
        return Image.open(io.BytesIO(data)).convert("RGB")


STEPS = {"plays": step_plays, "tap": step_tap, "offline": step_offline, "launch": step_launch, "fetch": step_fetch, "answers": step_answers, "level": step_level, "bad": step_bad,
         "webkit": step_webkit, "download": step_download}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dist", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--store", help="the store's xAPI base, reached directly")
    parser.add_argument("--proxy", help="the same through the fault proxy")
    parser.add_argument("--proxy-control", type=int)
    parser.add_argument("--porome", default="porome", help="the desktop program, for --report")
    parser.add_argument("--only", default=",".join(STEPS))
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    store = Store(args.store, args.proxy, args.proxy_control) if args.store else None
    server = PageServer(args.dist)
    try:
        for name in args.only.split(","):
            print(f"== {name}: {STEPS[name].__doc__.strip().splitlines()[0] if STEPS[name].__doc__ else name}")
            started = time.time()
            STEPS[name](args, store, server, args.out)
            print(f"   {name} passed in {time.time() - started:.0f} s")
    except Failed as e:
        print(f"web-check: {e}", file=sys.stderr)
        return 1
    finally:
        server.stop()
    print("The record's browser check passed.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
