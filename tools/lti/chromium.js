// SPDX-License-Identifier: GPL-3.0-or-later
// Chromium for the launch checks, as tools/web-check.py drives it: its own fresh profile, the
// DevTools protocol on a pipe (--remote-debugging-pipe: commands on fd 3, answers on fd 4,
// each a JSON text ended by a NUL), here headless. Frames of another site run in their own
// process and are reached as targets of their own (frame()).
import { spawn } from "node:child_process";
import fs from "node:fs";
import path from "node:path";

const FLAGS = ["--headless=new", "--no-first-run", "--no-default-browser-check", "--test-type", "--no-sandbox",
               "--disable-extensions", "--disable-sync", "--disable-background-networking",
               "--disable-features=Translate,MediaRouter", "--password-store=basic", "--lang=ja",
               "--site-per-process", "--window-size=1280,900"];

export class Failed extends Error {}

// Waits for `test` to give a true value, looking every 100 ms, for `seconds` at most.
export async function until(what, seconds, test) {
  const end = Date.now() + seconds * 1000;
  let last;
  for (;;) {
    try {
      const value = await test();
      if (value)
        return value;
    } catch (e) {
      last = e;
    }
    if (Date.now() > end)
      throw new Failed(`${what}: not within ${seconds} s${last ? " (" + last.message + ")" : ""}`);
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
}

export class Chromium {
  // prefs: the profile's Preferences (third-party cookies blocked, …); hosts: names that
  // resolve to 127.0.0.1.
  static async start(profile, { prefs = {}, hosts = [] } = {}) {
    fs.mkdirSync(path.join(profile, "Default"), { recursive: true });
    fs.writeFileSync(path.join(profile, "Default", "Preferences"),
                     JSON.stringify({ translate: { enabled: false }, intl: { accept_languages: "ja" }, ...prefs }));
    const rules = [...hosts.map((h) => `MAP ${h} 127.0.0.1`), "EXCLUDE 127.0.0.1", "MAP * ~NOTFOUND"];
    const log = fs.openSync(profile + ".log", "a");
    const proc = spawn("chromium", [`--user-data-dir=${profile}`, "--remote-debugging-pipe",
                                    `--host-resolver-rules=${rules.join(", ")}`, ...FLAGS, "about:blank"],
                       { stdio: ["ignore", "ignore", log, "pipe", "pipe"] });
    fs.closeSync(log);
    const browser = new Chromium(proc);
    const targets = await until("Chromium's first page", 60, async () =>
      (await browser.send("Target.getTargets")).targetInfos.find((t) => t.type === "page"));
    browser.page = await browser.attach(targets.targetId);
    return browser;
  }

  constructor(proc) {
    this.proc = proc;
    this.nextId = 0;
    this.waiting = new Map();
    this.console = [];
    this.buffer = Buffer.alloc(0);
    this.closed = false;
    proc.stdio[4].on("data", (chunk) => this.receive(chunk));
    proc.on("exit", () => {
      this.closed = true;
      for (const { reject } of this.waiting.values())
        reject(new Error("Chromium ended"));
      this.waiting.clear();
    });
  }

  receive(chunk) {
    this.buffer = Buffer.concat([this.buffer, chunk]);
    let end;
    while ((end = this.buffer.indexOf(0)) >= 0) {
      const message = JSON.parse(this.buffer.subarray(0, end).toString("utf8"));
      this.buffer = this.buffer.subarray(end + 1);
      if (message.id !== undefined && this.waiting.has(message.id)) {
        const { resolve, reject, method } = this.waiting.get(message.id);
        this.waiting.delete(message.id);
        if (message.error)
          reject(new Error(`${method}: ${message.error.message}`));
        else
          resolve(message.result || {});
      } else if (message.method === "Target.detachedFromTarget") {
        for (const [id, target] of this.frames || [])
          if (target.sessionId === message.params.sessionId)
            this.frames.delete(id);
      } else if (message.method === "Runtime.consoleAPICalled") {
        this.console.push(message.params.args.map((a) => a.value ?? a.description ?? "").join(" "));
      }
    }
  }

  // A command and its answer; a target that goes away (a frame that navigates to another
  // site) may leave a command unanswered: it fails after `seconds`.
  send(method, params = {}, sessionId = undefined, seconds = 60) {
    if (this.closed)
      return Promise.reject(new Error("Chromium ended"));
    const id = ++this.nextId;
    const message = { id, method, params };
    if (sessionId)
      message.sessionId = sessionId;
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => {
        this.waiting.delete(id);
        reject(new Error(`${method}: no answer in ${seconds} s`));
      }, seconds * 1000);
      const done = (f) => (value) => { clearTimeout(timer); f(value); };
      this.waiting.set(id, { resolve: done(resolve), reject: done(reject), method });
      this.proc.stdio[3].write(JSON.stringify(message) + "\0");
    });
  }

  async attach(targetId) {
    const { sessionId } = await this.send("Target.attachToTarget", { targetId, flatten: true });
    const target = new Target(this, sessionId);
    await target.send("Runtime.enable");
    await target.send("Page.enable").catch(() => {});
    return target;
  }

  // The frame (of another site than its page) whose address starts with `prefix`.
  async frame(prefix) {
    const { targetInfos } = await this.send("Target.getTargets");
    const found = targetInfos.find((t) => t.type === "iframe" && t.url.startsWith(prefix));
    if (!found)
      return null;
    this.frames ||= new Map();
    const kept = this.frames.get(found.targetId);
    if (kept && await kept.eval("1").then(() => true, () => false))
      return kept;
    const target = await this.attach(found.targetId);
    this.frames.set(found.targetId, target);
    return target;
  }

  // The addresses of the page's History (a session of its own: the first one may no longer
  // reach the page's history after it went to another site).
  async history() {
    const { targetInfos } = await this.send("Target.getTargets");
    const page = targetInfos.find((t) => t.type === "page");
    const { sessionId } = await this.send("Target.attachToTarget", { targetId: page.targetId, flatten: true });
    try {
      return (await this.send("Page.getNavigationHistory", {}, sessionId)).entries.map((e) => e.url);
    } finally {
      await this.send("Target.detachFromTarget", { sessionId }).catch(() => {});
    }
  }

  async close() {
    if (this.closed)
      return;
    const ended = new Promise((resolve) => this.proc.once("exit", resolve));
    this.send("Browser.close").catch(() => {});
    const timer = setTimeout(() => this.proc.kill("SIGKILL"), 30000);
    await ended;
    clearTimeout(timer);
  }
}

class Target {
  constructor(browser, sessionId) {
    this.browser = browser;
    this.sessionId = sessionId;
  }

  send(method, params, seconds) {
    return this.browser.send(method, params, this.sessionId, seconds);
  }

  async eval(expression) {
    const r = await this.send("Runtime.evaluate", { expression, returnByValue: true, awaitPromise: true }, 20);
    if (r.exceptionDetails)
      throw new Error(`${expression.slice(0, 80)}: ${r.exceptionDetails.exception?.description || r.exceptionDetails.text}`);
    return r.result.value;
  }

  navigate(url) {
    return this.send("Page.navigate", { url });
  }

  reload() {
    return this.send("Page.reload", {});
  }
}
