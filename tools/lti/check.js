// SPDX-License-Identifier: GPL-3.0-or-later
// The launch checks of porome-server against the test platform and the real store (see
// scripts/check-lti.sh, which starts them all on 127.0.0.1):
//
//   node tools/lti/check.js --platform URL --tool URL --store URL --proxy-control PORT
//        --server-log FILE --home-page IRI --work DIR [--only refused,browser,frames]
//
// LRS_AUTH (key:secret) reads the store. Prints a line a check ("ok", "FAIL", "NOT RUN")
// and exits 0 only when every check passed.
import fs from "node:fs";
import path from "node:path";
import { Chromium, Failed, until } from "./chromium.js";
import { FORGERIES } from "./forge.js";
import { teacherReport } from "./teacher.js";

const args = process.argv.slice(2);
const arg = (name, fallback) => { const i = args.indexOf(name); return i >= 0 ? args[i + 1] : fallback; };
const PLATFORM = arg("--platform");
const TOOL = arg("--tool").replace(/\/$/, "");
const STORE = arg("--store").replace(/\/?$/, "/");
const CONTROL = arg("--proxy-control");
const SERVER_LOG = arg("--server-log");
const HOME_PAGE = arg("--home-page");
const WORK = arg("--work");
const ONLY = (arg("--only", "refused,teacher,browser,frames")).split(",");
// porome-server does not use the platform storage yet: with this flag its two launches are
// left out, and said to be left out, instead of ending the run NOT RUN.
const WITHOUT_STORAGE = args.includes("--without-platform-storage");
const LRS_AUTH = process.env.LRS_AUTH || "";
const SENTENCE = "ポロメを　ひらけませんでした。";
const REFUSED = /^porome-server: launch refused: /;
const ANSWER_HEADERS = { "X-Experience-API-Version": "1.0.3", "Content-Type": "application/json" };

const config = JSON.parse(fs.readFileSync(path.join(path.dirname(new URL(import.meta.url).pathname), "registration.json")));
const registration = await (await fetch(PLATFORM + "/admin/registration")).json();
const BROWSER_PLATFORM = new URL(registration.startUrl).origin;
const sub = (user) => config.users[user].sub;

let failures = 0, notRun = 0;
const sessions = [];   // every session the server gave, to look for where none may be
function report(state, name, detail = "") {
  if (state === "FAIL")
    failures += 1;
  if (state === "NOT RUN")
    notRun += 1;
  console.log(`${state.padEnd(7)} ${name}${detail ? ": " + detail : ""}`);
}
async function row(name, work) {
  try {
    const detail = await work();
    report("ok", name, detail || "");
  } catch (e) {
    if (e instanceof NotRun)
      report("NOT RUN", name, e.message);
    else
      report("FAIL", name, e instanceof Failed ? e.message : e.stack);
  }
}
class NotRun extends Error {}
function check(condition, why) {
  if (!condition)
    throw new Failed(why);
}

// --- The server's log ------------------------------------------------------------------------

function refusalLines() {
  return fs.readFileSync(SERVER_LOG, "utf8").split("\n").filter((l) => REFUSED.test(l));
}

// Runs `work`, then waits for exactly one more refusal line; returns it.
async function oneRefusal(work) {
  const before = refusalLines().length;
  const result = await work();
  const lines = await until("the server's refusal line", 20, () => {
    const now = refusalLines();
    return now.length > before ? now : null;
  });
  check(lines.length === before + 1, `${lines.length - before} refusal lines: ${lines.slice(before).join(" | ")}`);
  return [lines[before], result];
}

// A secret must not be in a line: none of the token's parts longer than 16 characters.
function holdsToken(line, token) {
  return String(token).split(".").some((part) => part.length > 16 && line.includes(part.slice(0, 40)));
}

// --- The store and its proxy -------------------------------------------------------------------

async function stored(user) {
  const agent = JSON.stringify({ objectType: "Agent", account: { homePage: HOME_PAGE, name: sub(user) } });
  let url = STORE + "statements?" + new URLSearchParams({ agent, limit: "100" });
  const found = [];
  for (let pages = 0; url && pages < 100; ++pages) {
    const r = await fetch(url, { headers: { Authorization: "Basic " + Buffer.from(LRS_AUTH).toString("base64"),
                                            "X-Experience-API-Version": "1.0.3" } });
    check(r.ok, `the store answered ${r.status} to a query`);
    const answer = await r.json();
    found.push(...answer.statements);
    url = answer.more ? new URL(answer.more, STORE).href : null;
  }
  return found;
}

async function proxy(mode) {
  const r = await fetch(`http://127.0.0.1:${CONTROL}/mode/${mode}`);
  check((await r.text()).trim() === mode, `the proxy did not take mode ${mode}`);
}
async function proxyStats() {
  return (await (await fetch(`http://127.0.0.1:${CONTROL}/stats`)).json()).requests;
}

async function platformStats() {
  return (await fetch(PLATFORM + "/admin/stats")).json();
}

// Every statement the page made for `user` is in the store once, as the pupil's, with its
// class; and the store has no other of that pupil.
const made = { "pupil-a": [], "pupil-b": [] };
async function allArrived(user, what) {
  const statements = await stored(user);
  const ids = statements.map((s) => s.id);
  const want = made[user];
  check(new Set(ids).size === ids.length, `${what}: a statement is in the store twice`);
  const missing = want.filter((id) => !ids.includes(id));
  const extra = ids.filter((id) => !want.includes(id));
  check(!missing.length && !extra.length,
        `${what}: ${missing.length} of the page's ${want.length} statements are not in the store, ${extra.length} others are`);
  for (const s of statements) {
    check(s.actor.account && s.actor.account.homePage === HOME_PAGE && s.actor.account.name === sub(user),
          `${what}: statement ${s.id} is not the pupil's: ${JSON.stringify(s.actor)}`);
    const grouping = (s.context && s.context.contextActivities && s.context.contextActivities.grouping) || [];
    check(grouping.some((a) => String(a.id).includes(encodeURIComponent(config.context.id)) || String(a.id).includes(config.context.id)),
          `${what}: statement ${s.id} has no grouping of the class ${config.context.id}: ${JSON.stringify(grouping)}`);
  }
  return statements;
}

// --- Launches without a browser: the platform's round trip with a cookie jar ---------------------

const toPlatform = (u) => u.replace(BROWSER_PLATFORM, PLATFORM);

// The login initiation, the tool's login, the authentication and the form post; `tamper`
// changes the form or the cookies before the post.
async function launchByHand(query, tamper = (form) => form) {
  let r = await fetch(PLATFORM + "/start?" + new URLSearchParams(query), { redirect: "manual" });
  let login, loginMethod = "GET";
  const fields = new URLSearchParams();
  if (query.method === "post") {
    const html = await r.text();
    for (const m of html.matchAll(/name="([^"]+)" value="([^"]*)"/g))
      fields.set(m[1], m[2].replace(/&#(\d+);/g, (_, n) => String.fromCharCode(n)));
    login = html.match(/action="([^"]+)"/)[1];
    loginMethod = "POST";
  } else {
    check(r.status === 302, `the platform's start answered ${r.status}`);
    login = r.headers.get("location");
  }
  check(login.startsWith(TOOL + "/lti/login"), `the login initiation goes to ${login}`);
  r = await fetch(login, loginMethod === "POST" ? { method: "POST", body: fields, redirect: "manual" } : { redirect: "manual" });
  check(r.status === 302 || r.status === 303, `the tool's login answered ${r.status}: ${(await r.text()).slice(0, 200)}`);
  const cookies = r.headers.getSetCookie();
  const auth = r.headers.get("location");
  check(auth.startsWith(registration.authUrl + "?"), `the tool's login sends the browser to ${auth.split("?")[0]}`);
  r = await fetch(toPlatform(auth));
  const html = await r.text();
  check(r.status === 200, `the platform refused the authentication request: ${html.trim()}`);
  const form = {};
  for (const m of html.matchAll(/name="([^"]+)" value="([^"]*)"/g))
    form[m[1]] = m[2].replace(/&#(\d+);/g, (_, n) => String.fromCharCode(n));
  const action = html.match(/action="([^"]+)"/)[1].replace(/&#(\d+);/g, (_, n) => String.fromCharCode(n));
  const jar = cookies.map((c) => c.split(";")[0]);
  const sent = tamper({ form: { ...form }, jar: [...jar] });
  const post = () => fetch(action, { method: "POST", body: new URLSearchParams(sent.form), redirect: "manual",
                                     headers: sent.jar.length ? { Cookie: sent.jar.join("; ") } : {} });
  r = await post();
  const body = await r.text();
  const launch = launchOf(body);
  if (launch && launch.auth)
    sessions.push(launch.auth.replace(/^Bearer /, ""));
  return { status: r.status, headers: r.headers, body, form, cookies, auth, post };
}

function launchOf(body) {
  const m = body.match(/<script type="application\/json" id="porome-launch">([\s\S]*?)<\/script>/);
  return m ? JSON.parse(m[1]) : null;
}

// The reason a refusal line must give, and a forgery (or a change of the form) that makes it.
const REFUSALS = [
  ["bad-signature", /signature/i],
  ["alg-none", /alg|none/i],
  ["hs256-public-key", /alg|HS256/i],
  ["unknown-kid", /kid|key/i],
  ["wrong-iss", /iss|platform/i],
  ["wrong-aud", /aud/i],
  ["wrong-azp", /azp/i],
  ["expired", /exp/i],
  ["iat-future", /iat|future/i],
  ["wrong-nonce", /nonce/i],
  ["unregistered-deployment", /deployment/i],
  ["wrong-message-type", /message.?type/i],
  ["wrong-version", /version/i],
  ["target-elsewhere", /target/i],
  ["no-sub", /sub/i],
  ["no-roles", /role/i],
  ["one-megabyte", /size|large|long|big|bytes|limit/i],
  ["bad-base64url", /base64/i],
  ["deep-json", /json|deep|nest/i],
  ["broken-json", /json/i],
  ["wrong state", /state/i, ({ form, jar }) => ({ form: { ...form, state: form.state.slice(0, -4) + "AAAA" }, jar })],
  ["no state cookie", /state|cookie/i, ({ form }) => ({ form, jar: [] })],
];

async function refusedLaunches() {
  await row("a good launch by hand: the page with the pupil's launch, no-store, no referrer", async () => {
    const before = refusalLines().length;
    const r = await launchByHand({ user: "pupil-a", level: "4" });
    check(r.status === 200, `answered ${r.status}: ${r.body.slice(0, 200)}`);
    const launch = launchOf(r.body);
    check(launch, "no porome-launch in the page");
    check(Number(launch.level) === 4, `level ${launch.level}, not 4`);
    check(launch.auth && launch.auth.startsWith("Bearer "), "no Bearer session in the launch");
    check(/no-store/.test(r.headers.get("cache-control") || ""), `Cache-Control: ${r.headers.get("cache-control")}`);
    check(r.headers.get("referrer-policy") === "no-referrer", `Referrer-Policy: ${r.headers.get("referrer-policy")}`);
    check(refusalLines().length === before, "a refusal line for a good launch");
  });

  await row("the state cookie: SameSite=None; Secure; HttpOnly; Path=/lti/", async () => {
    const r = await launchByHand({ user: "pupil-a" });
    const cookie = r.cookies.find((c) => c.startsWith("porome_state="));
    check(cookie, `no porome_state cookie: ${r.cookies.map((c) => c.split("=")[0]).join(", ")}`);
    for (const want of [/;\s*SameSite=None/i, /;\s*Secure/i, /;\s*HttpOnly/i, /;\s*Path=\/lti\//i])
      check(want.test(cookie), `the cookie lacks ${want.source}`);
  });

  await row("a login initiation by POST", async () => {
    const r = await launchByHand({ user: "pupil-b", method: "post", deployment: config.deploymentIds[1] });
    check(r.status === 200 && launchOf(r.body), `answered ${r.status}`);
  });

  await row("a replayed id_token is refused with one log line", async () => {
    const first = await launchByHand({ user: "pupil-a" });
    check(first.status === 200, `the first launch answered ${first.status}`);
    const [line, again] = await oneRefusal(() => first.post());
    check([400, 401, 403].includes(again.status), `answered ${again.status}`);
    check(/nonce|replay|used|state/i.test(line), `the line gives no reason: ${line}`);
    check(!holdsToken(line, first.form.id_token), "the line holds the token");
    return line.replace(REFUSED, "");
  });

  const rows = REFUSALS.map(([kind, reason, tamper]) => [kind, reason, tamper]);
  check(REFUSALS.filter(([, , t]) => !t).length === Object.keys(FORGERIES).length, "a forgery without its row");
  for (const [kind, reason, tamper] of rows) {
    await row(`refused: ${kind}`, async () => {
      const [line, r] = await oneRefusal(() => launchByHand({ user: "pupil-a", ...(tamper ? {} : { forge: kind }) }, tamper));
      check([400, 401, 403, 413].includes(r.status), `answered ${r.status}`);
      check(r.body.includes(SENTENCE), "the page does not tell the pupil");
      check(!launchOf(r.body), "the refusal carries a launch");
      check(reason.test(line.replace(REFUSED, "")), `the line does not say why (${reason.source}): ${line}`);
      check(!holdsToken(line, r.form.id_token), "the line holds the token");
      check(line.length < 400, `a line of ${line.length} characters`);
      return line.replace(REFUSED, "");
    });
  }
}

// The JWKS is fetched again for a key it has not seen, at most once a minute.
async function rotatedKey() {
  await row("a rotated key: the server fetches the JWKS again and takes the new key", async () => {
    const before = await platformStats();
    const last = before.jwksFetches.length ? Date.parse(before.jwksFetches.at(-1)) : 0;
    const wait = Math.max(0, last + 62000 - Date.now());
    if (wait > 0)
      await new Promise((resolve) => setTimeout(resolve, wait));   // the server's minute since its last fetch
    await fetch(PLATFORM + "/admin/rotate", { method: "POST" });
    const r = await launchByHand({ user: "pupil-a" });
    check(r.status === 200, `answered ${r.status} (${refusalLines().at(-1)})`);
    const after = await platformStats();
    check(after.jwksFetches.length === before.jwksFetches.length + 1,
          `${after.jwksFetches.length - before.jwksFetches.length} JWKS fetches for the new key`);
  });
  await row("the JWKS fetched at most once a minute", async () => {
    const times = (await platformStats()).jwksFetches.map(Date.parse);
    check(times.length >= 1, "never fetched");
    for (let i = 1; i < times.length; ++i)
      check(times[i] - times[i - 1] >= 59000, `fetched ${((times[i] - times[i - 1]) / 1000).toFixed(1)} s after the last time`);
    return `${times.length} fetches`;
  });
}

// --- Launches in Chromium ----------------------------------------------------------------------

const COOKIES_ALLOWED = { profile: { cookie_controls_mode: 0, block_third_party_cookies: false } };
const COOKIES_BLOCKED = { profile: { cookie_controls_mode: 1, block_third_party_cookies: true } };

// The stand-in page's state in a target (the page or a frame), once it has started.
async function pageState(target) {
  return target.eval(`(async () => {
    if (!window.standin) return { body: document.body ? document.body.innerText.slice(0, 300) : "", href: location.href };
    await window.standin.ready;
    return { launched: standin.launched(), from: standin.from(), level: standin.level(), actor: standin.actor(),
             waiting: standin.waiting(), href: location.href,
             launch: (document.getElementById("porome-launch") || {}).textContent || sessionStorage.getItem("porome-standin-launch") };
  })()`);
}

async function started(target, what) {
  return until(`${what}: the page started`, 60, async () => {
    const t = await target();
    const s = t ? await pageState(t) : null;
    if (s && s.body && s.body.includes(SENTENCE))
      throw new Failed(`${what}: refused (${refusalLines().at(-1) || "no log line"})`);
    return s && s.launched !== undefined ? s : null;
  });
}

function sessionOf(state) {
  const l = JSON.parse(state.launch);
  return l.auth;
}

async function drill(target, user, marks, complete = false) {
  for (const mark of marks)
    made[user].push(await target.eval(`standin.answer(${JSON.stringify(mark)})`));
  if (complete)
    made[user].push(await target.eval("standin.complete()"));
}

function checkLaunch(state, user, level) {
  check(state.launched, `the page has no launch: ${JSON.stringify(state).slice(0, 200)}`);
  check(Number(state.level) === level, `level ${state.level}, not ${level}`);
  const a = state.actor || {};
  check(a.objectType === "Agent" && a.account && a.account.homePage === HOME_PAGE && a.account.name === sub(user)
        && Object.keys(a).length === 2 && Object.keys(a.account).length === 2,
        `the actor is ${JSON.stringify(state.actor)}`);
  const launch = JSON.parse(state.launch);
  check(launch.endpoint === TOOL + "/xapi/", `the endpoint is ${launch.endpoint}`);
  sessions.push(sessionOf(state).replace(/^Bearer /, ""));
}

// A fetch from within the page, with the pupil's session or without: the answer's status.
function pageFetch(target, { method = "POST", auth, body, query = "" }) {
  return target.eval(`fetch("/xapi/statements${query}", { method: ${JSON.stringify(method)}, cache: "no-store",
    headers: Object.assign(${JSON.stringify(ANSWER_HEADERS)}, ${auth ? `{ Authorization: ${JSON.stringify(auth)} }` : "{}"}),
    body: ${JSON.stringify(JSON.stringify(body))} }).then((r) => r.status)`);
}

async function pupilInChromium() {
  const browser = await Chromium.start(path.join(WORK, "chromium-a"), { prefs: COOKIES_ALLOWED, hosts: ["localhost"] });
  const page = () => browser.page;
  let state;
  try {
    await row("a pupil's launch opens the page at the launch's level, as the pupil", async () => {
      await browser.page.navigate(registration.startUrl + "?user=pupil-a&level=7");
      state = await started(page, "the launch");
      checkLaunch(state, "pupil-a", 7);
      check(state.from === "page", `the launch came from ${state.from}`);
    });
    if (!state || !state.launched)
      return;
    const session = sessionOf(state);

    await row("the address holds no session and no token", async () => {
      const href = await browser.page.eval("location.href");
      check(!href.includes(session.slice(7, 40)) && !/id_token|auth=/.test(href), `the address is ${href}`);
      return href.replace(TOOL, "");
    });

    await row("statements reach the store as the pupil's, with the class", async () => {
      await drill(browser.page, "pupil-a", ["○", "×", "○"]);
      await until("the page sent them", 60, async () => (await browser.page.eval("standin.waiting()")) === 0);
      await allArrived("pupil-a", "after three checks");
    });

    await row("a store outage and a reload: every statement once", async () => {
      await proxy("off");
      const seen = browser.console.length;
      await drill(browser.page, "pupil-a", ["×", "○"], true);
      await until("the page found the store gone", 60, () =>
        browser.console.slice(seen).some((l) => l.includes("sending to the store stops for now")));
      check(await browser.page.eval("standin.waiting()") === 3, "the page does not keep three statements");
      await browser.page.reload();
      const again = await until("the page after the reload", 60, async () => {
        const s = await pageState(browser.page);
        return s && s.launched && s.href.startsWith(TOOL) ? s : null;
      });
      check(again.from === "tab", `after the reload the launch came from ${again.from}`);
      check(sessionOf(again) === session, "the reload has another session");
      check(again.waiting === 3, `${again.waiting} statements wait after the reload, not 3`);
      const before = (await proxyStats())["503"];
      await proxy("503");
      await until("the page met the store's 503", 120, async () => (await proxyStats())["503"] > before);
      await proxy("pass");
      await until("the page sent what waited", 180, async () => (await browser.page.eval("standin.waiting()")) === 0);
      const statements = await allArrived("pupil-a", "after the outage");
      return `${statements.length} statements, each once`;
    });

    let ready = false;
    await row("the page sends after the outage", async () => {
      made["pupil-a"].push(await browser.page.eval("standin.answer('○')"));
      await until("the page sent it", 60, async () => (await browser.page.eval("standin.waiting()")) === 0);
      ready = true;
    });
    if (!ready)
      return;
    const statementFor = (user) => ({ id: crypto.randomUUID(), actor: { objectType: "Agent", account: { homePage: HOME_PAGE, name: sub(user) } },
      verb: { id: "http://adlnet.gov/expapi/verbs/answered", display: { en: "answered" } },
      object: { objectType: "Activity", id: "https://porome.github.io/xapi/levels/7" } });
    for (const [name, request, want] of [
      ["a statement for another pupil", { auth: session, body: [statementFor("pupil-b")] }, 403],
      ["a batch with one statement of another pupil", { auth: session, body: [statementFor("pupil-a"), statementFor("pupil-b")] }, 403],
      ["a statement without a session", { body: [statementFor("pupil-a")] }, 401],
      ["a statement with a changed session", { auth: session.slice(0, -6) + (session.endsWith("AAAAAA") ? "BBBBBB" : "AAAAAA"), body: [statementFor("pupil-a")] }, 401],
      ["a statement by PUT", { method: "PUT", auth: session, body: statementFor("pupil-a") }, 204],
    ]) {
      await row(`${name}: ${want}`, async () => {
        if (request.method === "PUT") {
          request.query = "?statementId=" + request.body.id;
          made["pupil-a"].push(request.body.id);
        }
        const status = await pageFetch(browser.page, request);
        check(status === want, `answered ${status}`);
      });
    }
    await row("the refused ones are not in the store, the PUT one is", () => allArrived("pupil-a", "after the proxy's answers").then(() => ""));

    await row("History holds no session", async () => {
      const urls = await browser.history();
      const bad = urls.filter((u) => sessions.some((s) => u.includes(s.slice(0, 40))) || /id_token/.test(u));
      check(!bad.length, `History holds ${bad.join(", ")}`);
      return `${urls.length} entries`;
    });

    await row("the service worker's Cache Storage holds no session", async () => {
      const caches = await until("the service worker kept the page", 60, async () => {
        const names = (await browser.page.send("CacheStorage.requestCacheNames", { storageKey: TOOL + "/" })).caches;
        return names.length ? names : null;
      });
      let entries = 0;
      for (const cache of caches) {
        const { cacheDataEntries } = await browser.page.send("CacheStorage.requestEntries", { cacheId: cache.cacheId, skipCount: 0, pageSize: 1000 });
        for (const e of cacheDataEntries) {
          entries += 1;
          check(!sessions.some((s) => e.requestURL.includes(s.slice(0, 40))), `a cached address holds a session: ${e.requestURL}`);
          const { response } = await browser.page.send("CacheStorage.requestCachedResponse",
                                                       { cacheId: cache.cacheId, requestURL: e.requestURL, requestHeaders: [] });
          const body = Buffer.from(response.body, "base64").toString("utf8");
          check(!sessions.some((s) => body.includes(s.slice(0, 40))), `the cached ${e.requestURL} holds a session`);
          check(!/id="porome-launch">\s*\{/.test(body), `the cached ${e.requestURL} holds a launch`);
        }
      }
      check(entries > 0, "the cache is empty");
      return `${entries} cached responses`;
    });

    await frameWithCookies(browser);
  } finally {
    await browser.close();
  }
  await row("Chromium's files (History, caches) hold no session and no id_token", async () => {
    const signatures = (await platformStats()).signatures.filter((s) => s.length > 40);
    const found = [...keptSecrets(path.join(WORK, "chromium-a"), sessions.map((s) => s.slice(0, 40))).map((f) => `a session in ${f}`),
                   ...keptSecrets(path.join(WORK, "chromium-a"), signatures.map((s) => s.slice(0, 40))).map((f) => `an id_token in ${f}`)];
    check(!found.length, found.join(", "));
  });
}

// Files of a profile that hold one of `secrets`, except the page's own storage (IndexedDB,
// sessionStorage, localStorage), where the page keeps its launch by design.
function keptSecrets(profile, secrets) {
  const allowed = /\/(IndexedDB|Session Storage|Local Storage)\//;
  const found = [];
  const walk = (dir) => {
    for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
      const file = path.join(dir, entry.name);
      if (entry.isDirectory())
        walk(file);
      else if (entry.isFile() && !allowed.test(file + "/")) {
        const data = fs.readFileSync(file).toString("latin1");
        if (secrets.some((s) => data.includes(s)))
          found.push(path.relative(profile, file));
      }
    }
  };
  walk(profile);
  return found;
}

// The page leaves the portal, so that no frame of an earlier launch is taken for the next one.
async function leaveFrames(browser) {
  await browser.page.navigate("about:blank");
  await until("the frames of the last portal page gone", 30, async () => !(await browser.frame(TOOL)));
}

// The launch in a portal's frame, its state in a cookie (third-party cookies allowed).
async function frameWithCookies(browser) {
  if (!ONLY.includes("frames"))
    return;
  await frameLaunch(browser, "a launch in the portal's frame, state in the cookie", "target=none", "pupil-b", 12);
}

async function frameLaunch(browser, name, how, user, level, storage) {
  await row(name, async () => {
    await leaveFrames(browser);
    await browser.page.navigate(`${registration.frameUrl}?user=${user}&level=${level}&${how}`);
    const frame = () => browser.frame(TOOL);
    await until("the tool's frame", 60, frame);
    let state;
    try {
      state = await started(frame, "the frame's launch");
    } catch (e) {
      if (storage) {
        const log = await browser.page.eval(storage);
        if (!log.some((l) => l.subject === "lti.put_data"))
          throw new NotRun(`the server does not use the platform storage (${e.message})`);
      }
      throw e;
    }
    const target = await frame();
    checkLaunch(state, user, level);
    await drill(target, user, ["○", "○", "×"], true);
    await until("the frame's page sent its statements", 60, async () => (await target.eval("standin.waiting()")) === 0);
    await allArrived(user, name);
    if (storage) {
      const log = await browser.page.eval(storage);
      const put = log.filter((l) => l.subject === "lti.put_data" && l.origin === TOOL && !l.error);
      const got = log.filter((l) => l.subject === "lti.get_data" && l.origin === TOOL && l.found);
      check(put.length && got.length, `the platform storage saw ${JSON.stringify(log)}`);
      return `platform storage: ${log.map((l) => l.subject).join(", ")}`;
    }
  });
}

async function framesWithoutCookies() {
  const browser = await Chromium.start(path.join(WORK, "chromium-b"), { prefs: COOKIES_BLOCKED, hosts: ["localhost"] });
  try {
    await row("third-party cookies blocked, a portal without platform storage: refused", async () => {
      await leaveFrames(browser);
      const [line] = await oneRefusal(async () => {
        await browser.page.navigate(`${registration.frameUrl}?user=pupil-b&level=5&target=none`);
        await until("the frame's refusal", 60, async () => {
          const frame = await browser.frame(TOOL);
          return frame && (await frame.eval("document.body ? document.body.innerText : ''")).includes(SENTENCE);
        });
      });
      return line.replace(REFUSED, "");
    });
    const storageLog = (frame) => `(${frame ? `frames[${JSON.stringify(frame)}]` : "window"}.platformStorage || { log: [] }).log`;
    if (WITHOUT_STORAGE) {
      console.log("left out: the launches through the platform storage (--without-platform-storage): not checked");
      return;
    }
    await frameLaunch(browser, "third-party cookies blocked: a launch through the platform storage (_parent)",
                      "target=_parent", "pupil-b", 5, storageLog(null));
    await frameLaunch(browser, "third-party cookies blocked: a launch through the platform storage (named frame)",
                      "target=named", "pupil-b", 9, storageLog("post_message_forwarding"));
  } finally {
    await browser.close();
  }
}

// --- All of it ---------------------------------------------------------------------------------

const began = Date.now();
if (ONLY.includes("refused"))
  await refusedLaunches();
if (ONLY.includes("teacher"))
  await teacherReport({ row, check, launchByHand, launchOf, TOOL, PLATFORM, config, sessions });
if (ONLY.includes("browser"))
  await pupilInChromium();
if (ONLY.includes("frames"))
  await framesWithoutCookies();
if (ONLY.includes("refused"))
  await rotatedKey();
await row("the server's authentication requests were all as the platform wants", async () => {
  const stats = await platformStats();
  check(!stats.refused.length, stats.refused.join("; "));
  return `${stats.authorized} authentications`;
});
await row("the server's log holds no session and no token", async () => {
  const log = fs.readFileSync(SERVER_LOG, "utf8");
  const signatures = (await platformStats()).signatures.filter((s) => s.length > 40);
  check(!sessions.some((s) => log.includes(s.slice(0, 40))), "a session is in the log");
  check(!signatures.some((s) => log.includes(s.slice(0, 40))), "an id_token is in the log");
});
console.log(`check-lti: ${failures} failed, ${notRun} not run (${((Date.now() - began) / 1000).toFixed(0)} s)`);
process.exit(failures ? 1 : notRun ? 3 : 0);
