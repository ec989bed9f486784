// SPDX-License-Identifier: GPL-3.0-or-later
// The scores of porome-server to the test platform's gradebook, with a store of its own:
//   node tools/lti/scores.js --server build/porome-server
// Prints a line a check ("ok", "FAIL") and exits 0 only when every check passed.
import { spawn } from "node:child_process";
import crypto from "node:crypto";
import fs from "node:fs";
import http from "node:http";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";
import jose from "./jose.js";
import { Failed, until } from "./chromium.js";
import { readConfig, startPlatform } from "./platform.js";

const HERE = path.dirname(fileURLToPath(import.meta.url));
const SERVER = process.argv[process.argv.indexOf("--server") + 1];
const WORK = fs.mkdtempSync(path.join(os.tmpdir(), "porome-scores-"));
const check = (ok, why) => { if (!ok) throw new Failed(why); };
const listen = (s) => new Promise((r) => s.listen(0, "127.0.0.1", () => r(s.address().port)));

const store = http.createServer((req, res) => { req.resume(); req.on("end", () => { res.writeHead(200, { "Content-Type": "application/json" }); res.end("[]"); }); });
const storePort = await listen(store);
const free = http.createServer();
const toolPort = await listen(free);
await new Promise((r) => free.close(r));
const TOOL = `http://127.0.0.1:${toolPort}`;
const config = readConfig(path.join(HERE, "registration.json"), TOOL);
const platform = await startPlatform(config);
const reg = platform.registration;
fs.mkdirSync(path.join(WORK, "page"));
fs.writeFileSync(path.join(WORK, "page", "index.html"), "<!doctype html><html><head></head><body></body></html>");
fs.writeFileSync(path.join(WORK, "server.ini"), `[server]\nlisten = 127.0.0.1:${toolPort}\npublic = ${TOOL}\n`
  + `page = ${WORK}/page\nkey = ${WORK}/tool-key.pem\n[lrs]\nendpoint = http://127.0.0.1:${storePort}/xapi/\nkey = k\nsecret = s\n`
  + `[platform.check]\nissuer = ${reg.issuer}\nclientId = ${reg.clientId}\nauthUrl = ${reg.authUrl}\ntokenUrl = ${reg.tokenUrl}\n`
  + `jwksUrl = ${reg.jwksUrl}\ndeploymentIds = ${reg.deploymentIds.join(", ")}\n`);

let server, log = "";
async function startServer() {
  server = spawn(SERVER, ["--settings", path.join(WORK, "server.ini")], { stdio: ["ignore", "pipe", "pipe"] });
  server.stderr.on("data", (d) => { log += d; });
  let out = "";
  server.stdout.on("data", (d) => { out += d; });
  await until("the server listening", 30, () => out.includes("listening on"));
}
const stopServer = () => new Promise((r) => { server.once("exit", r); server.kill("SIGTERM"); });
const admin = (q) => fetch(platform.url + "/admin/gradebook?" + q, { method: "POST" });
const scores = async () => (await (await fetch(platform.url + "/admin/scores")).json()).scores;
const spooled = () => fs.readdirSync(path.join(WORK, "scores")).length;
const logLines = (re) => log.split("\n").filter((l) => re.test(l));

// A launch by hand of level 14: the session and the pupil.
async function launch(user) {
  let r = await fetch(platform.url + "/start?" + new URLSearchParams({ user, level: "14" }), { redirect: "manual" });
  r = await fetch(r.headers.get("location"), { redirect: "manual" });
  const jar = r.headers.getSetCookie().map((c) => c.split(";")[0]).join("; ");
  const html = await (await fetch(r.headers.get("location").replace(/^http:\/\/localhost:/, "http://127.0.0.1:"))).text();
  const form = Object.fromEntries([...html.matchAll(/name="([^"]+)" value="([^"]*)"/g)].map((m) => [m[1], m[2]]));
  r = await fetch(TOOL + "/lti/launch", { method: "POST", body: new URLSearchParams(form), headers: { Cookie: jar } });
  return JSON.parse((await r.text()).match(/id="porome-launch">([\s\S]*?)<\/script>/)[1]);
}
let n = 0;
async function complete(l, raw, max, marks, id = crypto.randomUUID()) {
  const statement = { id, actor: l.actor, verb: { id: "http://adlnet.gov/expapi/verbs/completed" },
    object: { objectType: "Activity", id: "https://porome.example/levels/14" }, timestamp: `2026-12-10T10:00:0${n++ % 10}.250+09:00`,
    result: { completion: true, response: marks, score: { raw, min: 0, max, scaled: raw / max } } };
  const r = await fetch(TOOL + "/xapi/statements", { method: "POST", body: JSON.stringify(statement),
    headers: { Authorization: l.auth, "Content-Type": "application/json", "X-Experience-API-Version": "1.0.3" } });
  check(r.status === 200, `the proxy answered ${r.status}`);
  return id;
}
const arrived = (marks, count = 1) => until(`the score ${marks} in the gradebook`, 60,
  async () => { const s = (await scores()).filter((x) => x.comment === marks); return s.length >= count ? s : null; });

let failures = 0;
async function row(name, work) {
  try { await work(); console.log("ok      " + name); } catch (e) { failures += 1; console.log("FAIL    " + name + ": " + (e.message || e)); }
}

await startServer();
const pupil = await launch("pupil-a");
await row("a score arrives once, with the pupil, the marks, the score and the time", async () => {
  const id = await complete(pupil, 4, 5, "○○△×○");
  const [s] = await arrived("○○△×○");
  check(s.userId === config.users["pupil-a"].sub && s.scoreGiven === 4 && s.scoreMaximum === 5, JSON.stringify(s));
  check(s.activityProgress === "Completed" && s.gradingProgress === "FullyGraded", JSON.stringify(s));
  check(/^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d)$/.test(s.timestamp), `timestamp ${s.timestamp}`);
  check(s.lineItem === "porome-14", `line item ${s.lineItem}`);
  await complete(pupil, 4, 5, "○○△×○", id);        // the same statement again
  await complete(pupil, 5, 5, "○○○○○");
  await arrived("○○○○○");
  check((await scores()).filter((x) => x.comment === "○○△×○").length === 1, "the statement sent twice scored twice");
});
await row("a forged client assertion is refused", async () => {
  const { privateKey } = await jose.generateKeyPair("RS256");
  const kid = (await (await fetch(TOOL + "/.well-known/jwks.json")).json()).keys[0].kid;
  const forged = await new jose.SignJWT({ jti: crypto.randomUUID() }).setProtectedHeader({ alg: "RS256", kid })
    .setIssuer(reg.clientId).setSubject(reg.clientId).setAudience(reg.tokenUrl).setIssuedAt().setExpirationTime("5m").sign(privateKey);
  const r = await fetch(reg.tokenUrl, { method: "POST", body: new URLSearchParams({ grant_type: "client_credentials",
    client_assertion_type: "urn:ietf:params:oauth:client-assertion-type:jwt-bearer", client_assertion: forged,
    scope: "https://purl.imsglobal.org/spec/lti-ags/scope/score" }) });
  check(r.status === 401, `the token endpoint answered ${r.status}`);
});
await row("a revoked token, then a token endpoint answering 401 once: the score arrives once", async () => {
  await admin("revoke=1&token401=1");
  await complete(pupil, 3, 5, "○×○×○");
  await arrived("○×○×○");
  check((await scores()).filter((x) => x.comment === "○×○×○").length === 1, "scored twice");
});
await row("a gradebook down, the server restarted, the gradebook back: the score arrives once", async () => {
  await admin("down=1");
  await complete(pupil, 2, 5, "××○×○");
  await until("the score in the spool and a line of the server", 30, () => spooled() === 1 && logLines(/answered 503/).length);
  await stopServer();
  await startServer();
  await admin("down=0");
  await arrived("××○×○");
  await until("the spool empty", 30, () => spooled() === 0);
  check((await scores()).filter((x) => x.comment === "××○×○").length === 1, "scored twice");
});
await row("a score the gradebook refuses (400) is dropped with one line", async () => {
  await admin("reject=1");
  await complete(pupil, 1, 5, "×××○×");
  await until("the server's line", 30, () => logLines(/refused a score \(400\)/).length);
  await complete(pupil, 0, 5, "×××××");
  await arrived("×××××");
  check(!(await scores()).some((x) => x.comment === "×××○×"), "the refused score arrived");
  check(logLines(/refused a score/).length === 1 && spooled() === 0, `lines: ${logLines(/refused/)}`);
});
await row("the server's log holds no token, assertion or session", async () => {
  check(!/Bearer|eyJ|ps1\./.test(log), log);
});
console.log(log.trim().split("\n").map((l) => "  log: " + l).join("\n"));
await stopServer();
await platform.close();
store.close();
fs.rmSync(WORK, { recursive: true, force: true });
process.exit(failures ? 1 : 0);
