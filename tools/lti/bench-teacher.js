// SPDX-License-Identifier: GPL-3.0-or-later
// The class report's time: N answered statements of one class of 40 (and a tenth as many of
// another class) loaded into the store, then a teacher's launch timed from its form post to
// the whole report page. Run by scripts/check-lti.sh with POROME_LTI_BENCH=N.
//
//   node tools/lti/bench-teacher.js --platform URL --tool URL --store URL --count N
import fs from "node:fs";
import path from "node:path";

const args = process.argv.slice(2);
const arg = (name) => { const i = args.indexOf(name); return i >= 0 ? args[i + 1] : undefined; };
const PLATFORM = arg("--platform"), TOOL = arg("--tool").replace(/\/$/, ""), STORE = arg("--store").replace(/\/?$/, "/");
const COUNT = Number(arg("--count") || 200000);
const HOME_PAGE = arg("--home-page");
const BASE = "https://porome.github.io/xapi";
const AUTH = "Basic " + Buffer.from(process.env.LRS_AUTH || "").toString("base64");
const config = JSON.parse(fs.readFileSync(path.join(path.dirname(new URL(import.meta.url).pathname), "registration.json")));
const registration = await (await fetch(PLATFORM + "/admin/registration")).json();
const issuer = registration.issuer.replace(/\/+$/, "");
const KINDS = ["分母どうしもたした", "分子と分母がぎゃく", "帯分数になおしていない", ""];

function statement(i, context) {
  const ext = (n) => `${BASE}/extensions/${n}`;
  const level = (i % 22) + 1, serial = Math.floor(i / 3) + 1, tryNo = (i % 3) + 1;
  const mark = ["○", "△", "×"][i % 3];
  const result = { response: "1/2", success: mark !== "×", extensions: { [ext("try")]: tryNo, [ext("mark")]: mark } };
  if (mark === "×" && KINDS[i % 4])
    result.extensions[ext("mistake")] = KINDS[i % 4];
  return {
    actor: { objectType: "Agent", account: { homePage: HOME_PAGE, name: `bench-pupil-${i % 40}` } },
    verb: { id: "http://adlnet.gov/expapi/verbs/answered" },
    object: { objectType: "Activity", id: `${BASE}/levels/${level}/problems/${serial}` },
    timestamp: new Date(Date.now() - (i % 1000) * 1000).toISOString(), result,
    context: { contextActivities: { parent: [{ id: `${BASE}/levels/${level}` }],
                                    grouping: [{ id: `${issuer}/context/${encodeURIComponent(context)}` },
                                               { id: `${BASE}/exercises/bench-${Math.floor(i / 90)}` }] },
               extensions: { [ext("kind")]: "チェック", [ext("serial")]: serial, [ext("computer")]: "web" } },
  };
}

async function load(count, context) {
  for (let at = 0; at < count; at += 1000) {
    const batch = [];
    for (let i = at; i < Math.min(count, at + 1000); ++i)
      batch.push(statement(i, context));
    const r = await fetch(STORE + "statements", { method: "POST", body: JSON.stringify(batch),
      headers: { Authorization: AUTH, "Content-Type": "application/json", "X-Experience-API-Version": "1.0.3" } });
    if (r.status !== 200)
      throw new Error(`loading: HTTP ${r.status} ${(await r.text()).slice(0, 200)}`);
  }
}

// The teacher's launch up to the form post, then the post timed.
async function teacherLaunch() {
  let r = await fetch(PLATFORM + "/start?user=teacher", { redirect: "manual" });
  r = await fetch(r.headers.get("location"), { redirect: "manual" });
  const jar = r.headers.getSetCookie().map((c) => c.split(";")[0]).join("; ");
  const auth = r.headers.get("location").replace(new URL(registration.startUrl).origin, PLATFORM);
  const html = await (await fetch(auth)).text();
  const form = {};
  for (const m of html.matchAll(/name="([^"]+)" value="([^"]*)"/g))
    form[m[1]] = m[2].replace(/&#(\d+);/g, (_, n) => String.fromCharCode(n));
  const action = html.match(/action="([^"]+)"/)[1].replace(/&#(\d+);/g, (_, n) => String.fromCharCode(n));
  const t = performance.now();
  r = await fetch(action, { method: "POST", body: new URLSearchParams(form), redirect: "manual", headers: { Cookie: jar } });
  const page = await r.text();
  return { seconds: (performance.now() - t) / 1000, status: r.status, page };
}

let t = performance.now();
await load(COUNT, config.context.id);
await load(Math.floor(COUNT / 10), "another-class");
console.log(`bench-teacher: ${COUNT} statements of the class and ${Math.floor(COUNT / 10)} of another loaded in ${((performance.now() - t) / 1000).toFixed(1)} s`);
for (let run = 1; run <= 3; ++run) {
  const { seconds, status, page } = await teacherLaunch();
  const rows = (page.match(/記録ファイル \d+ こ、行 (\d+)/) || [])[1];
  console.log(`bench-teacher: run ${run}: the teacher's report in ${seconds.toFixed(2)} s (HTTP ${status}, ${rows} rows)`);
}
