// SPDX-License-Identifier: GPL-3.0-or-later
// porome-server's figures, from a client on this machine (no browser): complete launches a
// second (the platform's /start, the tool's /lti/login, the platform's /auth, the tool's
// /lti/launch, each request as a browser makes it), statements a second through the server's
// proxy against the same POSTs straight to the store, the server's resident memory after
// 1,000 and 10,000 sessions have sent, and the round trip of a statement with 1,000 pupils
// sending at once.
//
//   node tools/lti/server-bench.js --platform URL --tool URL --store URL --server-pid PID
//        [--runs N] [--launches N] [--send N] [--crowd N] [--sessions 1000,10000]
//
// The store's key:secret are in LRS_AUTH. Prints a table of medians; it is a benchmark and
// fails only when a launch or a statement does not go through.
import crypto from "node:crypto";
import fs from "node:fs";

function arg(name, fallback) {
  const i = process.argv.indexOf(name);
  return i >= 0 ? process.argv[i + 1] : fallback;
}
const platform = arg("--platform").replace("//localhost:", "//127.0.0.1:");
const tool = arg("--tool");
const store = arg("--store");
const serverPid = arg("--server-pid");
const runs = Number(arg("--runs", 3));
const launchCount = Number(arg("--launches", 300));
const sendCount = Number(arg("--send", 1000));
const crowd = Number(arg("--crowd", 1000));
const sessionMarks = arg("--sessions", "1000,10000").split(",").map(Number);
const storeAuth = "Basic " + Buffer.from(process.env.LRS_AUTH || "bench:bench").toString("base64");
const USERS = ["pupil-a", "pupil-b"];
const IN_FLIGHT = 8;   // launches and statements in flight at once in the timed parts

// Browsers reach the platform by its host name; here it is 127.0.0.1 (localhost may be ::1).
const local = (url) => url.replace("//localhost:", "//127.0.0.1:");

function fail(why) {
  console.error("server bench: " + why);
  process.exit(1);
}

async function drain(response) {
  await response.arrayBuffer().catch(() => {});
}

// One complete launch; what the page is given (endpoint, actor, auth).
async function launch(user) {
  let r = await fetch(`${platform}/start?user=${user}`, { redirect: "manual" });
  await drain(r);
  if (r.status !== 302)
    fail(`the platform's /start answered ${r.status}`);
  r = await fetch(local(r.headers.get("location")), { redirect: "manual" });
  await drain(r);
  if (r.status !== 302)
    fail(`/lti/login answered ${r.status}`);
  const cookie = r.headers.getSetCookie().map((c) => c.split(";")[0]).filter((c) => c.startsWith("porome_state="));
  r = await fetch(local(r.headers.get("location")), { redirect: "manual" });
  const form = await r.text();
  if (r.status !== 200)
    fail(`the platform's /auth answered ${r.status}: ${form.slice(0, 200)}`);
  const action = /<form method="post" action="([^"]+)"/.exec(form)[1].replace(/&#38;/g, "&");
  const fields = new URLSearchParams();
  for (const [, name, value] of form.matchAll(/<input type="hidden" name="([^"]+)" value="([^"]*)">/g))
    fields.set(name, value);
  r = await fetch(local(action), {
    method: "POST", redirect: "manual", body: fields,
    headers: { "Content-Type": "application/x-www-form-urlencoded", Cookie: cookie.join("; ") },
  });
  const page = await r.text();
  if (r.status !== 200)
    fail(`/lti/launch answered ${r.status}`);
  const json = /<script type="application\/json" id="porome-launch">(.*?)<\/script>/s.exec(page);
  if (!json)
    fail("the launch's page carries no launch");
  return JSON.parse(json[1]);
}

function statement(actor) {
  return {
    id: crypto.randomUUID(), actor, timestamp: new Date().toISOString(),
    verb: { id: "http://adlnet.gov/expapi/verbs/answered", display: { "en-US": "answered" } },
    object: { id: "https://porome.example.ed.jp/activities/level/1", objectType: "Activity" },
    result: { success: true, response: "3/4" },
  };
}

// One statement, as the page sends it: through the proxy with the session, or straight to the
// store with its key. The milliseconds it took.
async function send(session, direct) {
  const t = performance.now();
  const r = await fetch((direct ? store : session.endpoint) + "statements", {
    method: "POST", body: JSON.stringify([statement(session.actor)]),
    headers: { Authorization: direct ? storeAuth : session.auth, "X-Experience-API-Version": "1.0.3",
               "Content-Type": "application/json" },
  });
  const body = await r.text();
  if (r.status !== 200)
    fail(`a statement ${direct ? "to the store" : "through the proxy"} got ${r.status}: ${body.slice(0, 200)}`);
  return performance.now() - t;
}

// A session's first request at the proxy, an empty batch: the server keeps what a session
// costs it from its first request on, and the store has nothing to look through for it.
async function touch(session) {
  const r = await fetch(session.endpoint + "statements", {
    method: "POST", body: "[]",
    headers: { Authorization: session.auth, "X-Experience-API-Version": "1.0.3", "Content-Type": "application/json" },
  });
  await drain(r);
  if (r.status === 401 || r.status === 403 || r.status === 429 || r.status >= 500)
    fail(`an empty batch through the proxy got ${r.status}`);
}

const say = (line) => console.error("server bench: " + line);

// `count` jobs, `width` at a time; the seconds it took.
async function pool(count, width, job) {
  let next = 0;
  const t = performance.now();
  await Promise.all(Array.from({ length: Math.min(width, count) }, async () => {
    while (next < count)
      await job(next++);
  }));
  return (performance.now() - t) / 1000;
}

function median(values) {
  const v = [...values].sort((a, b) => a - b);
  if (!v.length)
    return NaN;
  return v.length % 2 ? v[(v.length - 1) / 2] : (v[v.length / 2 - 1] + v[v.length / 2]) / 2;
}
function percentile(values, p) {
  const v = [...values].sort((a, b) => a - b);
  return v[Math.min(v.length - 1, Math.ceil((p / 100) * v.length) - 1)];
}
function rssMiB() {
  const status = fs.readFileSync(`/proc/${serverPid}/status`, "utf8");
  return Number(/VmRSS:\s+(\d+)/.exec(status)[1]) / 1024;
}

const sessions = [];
async function launchMore(count, into = sessions) {
  return pool(count, IN_FLIGHT, async (i) => { into.push(await launch(USERS[i % USERS.length])); });
}

const rows = [];
const row = (label, value, digits = 0) => rows.push([label, Number.isFinite(value) ? value.toFixed(digits) : "-"]);

const rssStart = rssMiB();

// a. Launches a second.
const launchRates = [];
for (let run = 0; run < runs; ++run)
  launchRates.push(launchCount / (await launchMore(launchCount)));
say("launches done");
row(`complete launches a second (${IN_FLIGHT} in flight, ${launchCount} a run)`, median(launchRates));

// b. Statements a second, the proxy and the store alone interleaved so that the store's
// growing memory falls on both alike; each session sends a few, below its rate's burst.
while (sessions.length < Math.max(crowd, Math.ceil(sendCount / 20)))
  await launchMore(Math.min(500, Math.max(crowd, Math.ceil(sendCount / 20)) - sessions.length));
const rates = { direct: [], proxy: [] };
for (let run = 0; run < runs; ++run) {
  for (const how of run % 2 ? ["proxy", "direct"] : ["direct", "proxy"]) {
    const seconds = await pool(sendCount, IN_FLIGHT, (i) => send(sessions[(run * sendCount + i) % sessions.length],
                                                                 how === "direct"));
    rates[how].push(sendCount / seconds);
  }
}
say("statements a second done");
const direct = median(rates.direct), proxied = median(rates.proxy);
row(`statements a second straight to the store (${IN_FLIGHT} in flight, ${sendCount} a run)`, direct);
row("statements a second through porome-server's proxy", proxied);
row("ratio, proxy / store alone (aim: at least 0.80)", proxied / direct, 2);

// c. The server's memory as more sessions are used: each new session sends an empty batch
// (a statement each would fill the store, which looks through all it holds for each one).
row("porome-server's resident memory at the start (MiB)", rssStart, 1);
let used = sessions.length;
for (const mark of sessionMarks) {
  while (sessions.length < mark)
    await launchMore(Math.min(1000, mark - sessions.length));
  await pool(mark - used, IN_FLIGHT, (i) => touch(sessions[used + i]));
  used = mark;
  row(`porome-server's resident memory, ${mark} sessions launched and used (MiB)`, rssMiB(), 1);
  say(`${mark} sessions used`);
}

// d. A class's worth of pupils at once: each of `crowd` sessions sends one statement, all
// at the same moment; the round trip of each.
const crowdTimes = { direct: [], proxy: [] };
for (let run = 0; run < runs; ++run) {
  for (const how of run % 2 ? ["proxy", "direct"] : ["direct", "proxy"]) {
    const times = await Promise.all(sessions.slice(0, crowd).map((s) => send(s, how === "direct")));
    crowdTimes[how].push({ p50: percentile(times, 50), p99: percentile(times, 99) });
  }
}
say("pupils at once done");
row(`porome-server's resident memory after ${crowd} pupils sent at once (MiB)`, rssMiB(), 1);
for (const how of ["proxy", "direct"]) {
  const name = how === "proxy" ? "through the proxy" : "straight to the store";
  row(`${crowd} pupils sending at once, ${name}: p50 of the round trip (ms)`, median(crowdTimes[how].map((t) => t.p50)), 1);
  row(`${crowd} pupils sending at once, ${name}: p99 of the round trip (ms)`, median(crowdTimes[how].map((t) => t.p99)), 1);
}

const width = Math.max(...rows.map(([label]) => label.length));
console.log(`| ${"porome-server".padEnd(width)} | ${"median".padStart(8)} |`);
console.log(`|${"-".repeat(width + 2)}|${"-".repeat(9)}:|`);
for (const [label, value] of rows)
  console.log(`| ${label.padEnd(width)} | ${value.padStart(8)} |`);
console.log(`(${runs} run(s) of each timed figure; ${sessions.length} launches in all)`);
