// SPDX-License-Identifier: GPL-3.0-or-later
// A learning platform (a school's portal) as an LTI 1.3 tool meets it, for the checks of
// porome-server, on 127.0.0.1 only.
//
//   node tools/lti/platform.js --config FILE [--tool http://127.0.0.1:PORT]
//
// prints "platform: listening on http://127.0.0.1:PORT" once it listens, and serves:
//
//   GET  /start?user=U[&level=N][&grade=P3][&deployment=D][&method=post]
//              [&storage=TARGET][&forge=KIND]
//        the login initiation: sends the browser to the tool's login address (a redirect, or
//        a form it posts with method=post); `storage` names the frame of the platform storage
//        (lti_storage_target); `forge` makes the id_token of this launch one of forge.js's
//   GET|POST /auth       the authentication endpoint: checks the tool's request and
//                        form-posts the id_token (and state) to its redirect_uri
//   GET  /jwks           the platform's public keys
//   GET  /frame?...      a portal page that opens the launch of /start?... in an iframe and
//                        keeps the platform storage (target=_parent, the default, or
//                        target=named: a frame named post_message_forwarding; target=none:
//                        a portal without it)
//   POST /admin/rotate   a new signing key; the old ones stay published (?retire=1: not)
//   GET  /admin/registration  issuer, client id, the platform's addresses (for the tool's settings)
//   GET  /admin/stats    JWKS fetches, authentication requests and what was wrong with them
//   POST /token          the client-credentials grant: verifies the tool's client assertion
//                        against the tool's JWKS (see nrps.js)
//   GET  /nrps/CONTEXT/memberships  the class's membership of 40 with names, paged by Link
//   GET  /start?...&context=ID  a launch in another class than the config's
//   POST /token, POST /lineitems/ID/scores, GET /admin/scores, POST /admin/gradebook
//                        the gradebook (gradebook.js); a launch of a level carries its line item
//                        (&ags=none: a launch without one)
//
// The config (JSON): host (the name browsers use, default localhost; the issuer is
// http://HOST:PORT unless `issuer` is given), listen (default 127.0.0.1:0), clientId,
// deploymentIds [..], tool {base, login, launch, jwks, target, redirectUris}, context
// {id, label, title}, custom {level, grade}, users {NAME: {sub, roles [full LIS role URIs],
// custom}}. Names of pupils are not sent: a tool has no need of them.
import crypto from "node:crypto";
import fs from "node:fs";
import http from "node:http";
import path from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";
import jose from "./jose.js";
import { forgeToken, FORGERIES } from "./forge.js";
import { nrpsService } from "./nrps.js";
import { AGS, makeGradebook } from "./gradebook.js";

const HERE = path.dirname(fileURLToPath(import.meta.url));
const LTI = "https://purl.imsglobal.org/spec/lti/claim/";
const BODY_LIMIT = 64 * 1024;
const PENDING_LIFETIME = 10 * 60 * 1000;

function escapeHtml(text) {
  return String(text).replace(/[&<>"']/g, (c) => `&#${c.charCodeAt(0)};`);
}

// A page that posts a form at once (the browser's part of a form_post).
function postingPage(action, fields) {
  const inputs = Object.entries(fields)
    .map(([k, v]) => `<input type="hidden" name="${escapeHtml(k)}" value="${escapeHtml(v)}">`).join("\n");
  return `<!doctype html><html lang="ja"><head><meta charset="utf-8"><title>ポータル</title></head><body>
<form method="post" action="${escapeHtml(action)}">
${inputs}
<noscript><button type="submit">つづける</button></noscript>
</form>
<script>document.forms[0].submit();</script>
</body></html>`;
}

function answer(res, status, type, body, headers = {}) {
  res.writeHead(status, { "Content-Type": type, "Content-Length": Buffer.byteLength(body),
                          "Cache-Control": "no-store", ...headers });
  res.end(body);
}

function readBody(req) {
  return new Promise((resolve, reject) => {
    const chunks = [];
    let size = 0;
    req.on("data", (chunk) => {
      size += chunk.length;
      if (size > BODY_LIMIT) {
        reject(new Error("body too large"));
        req.destroy();
      } else {
        chunks.push(chunk);
      }
    });
    req.on("end", () => resolve(Buffer.concat(chunks).toString("utf8")));
    req.on("error", reject);
  });
}

async function newKey() {
  const { privateKey, publicKey } = await jose.generateKeyPair("RS256", { extractable: true });
  const jwk = await jose.exportJWK(publicKey);
  const kid = crypto.randomUUID();
  return { kid, privateKey, publicKey, jwk: { ...jwk, kid, alg: "RS256", use: "sig" },
           publicPem: await jose.exportSPKI(publicKey), privatePem: await jose.exportPKCS8(privateKey) };
}

export function readConfig(file, toolBase) {
  const config = JSON.parse(fs.readFileSync(file, "utf8"));
  if (toolBase)
    config.tool = { ...(config.tool || {}), base: toolBase };
  return config;
}

// Starts the platform; resolves with {url, issuer, close(), ...} once it listens.
export async function startPlatform(config) {
  const [host, port] = (config.listen || "127.0.0.1:0").split(":");
  if (host !== "127.0.0.1")
    throw new Error("the platform listens on 127.0.0.1 only");
  const tool = { ...config.tool };
  const base = (tool.base || "").replace(/\/$/, "");
  tool.login ||= base + "/lti/login";
  tool.launch ||= base + "/lti/launch";
  tool.jwks ||= base + "/.well-known/jwks.json";
  tool.target ||= base + "/";
  const redirectUris = tool.redirectUris || [tool.launch];
  const keys = [await newKey()];
  const pending = new Map();   // login_hint -> the launch it starts
  // What the checks ask of the platform; `signatures` (the last part of each id_token
  // issued) lets them look for a token in what a browser kept.
  const stats = { jwksFetches: [], authorized: 0, refused: [], signatures: [] };
  const storageScript = fs.readFileSync(path.join(HERE, "storage.js"), "utf8");

  const server = http.createServer((req, res) => {
    handle(req, res).catch((e) => {
      if (!res.headersSent)
        answer(res, 500, "text/plain; charset=utf-8", "platform: " + e.message + "\n");
    });
  });
  await new Promise((resolve, reject) => {
    server.once("error", reject);
    server.listen(Number(port), host, resolve);
  });
  const actualPort = server.address().port;
  const url = `http://127.0.0.1:${actualPort}`;
  // Browsers reach the platform by its host name, the tool's server by 127.0.0.1.
  const browserUrl = `http://${config.host || "localhost"}:${actualPort}`;
  const issuer = config.issuer || browserUrl;
  const registration = {
    issuer, clientId: config.clientId, deploymentIds: config.deploymentIds,
    authUrl: browserUrl + "/auth", tokenUrl: url + "/token", jwksUrl: url + "/jwks",
    startUrl: browserUrl + "/start", frameUrl: browserUrl + "/frame",
  };
  const gradebook = makeGradebook({ url, clientId: config.clientId, tokenUrl: registration.tokenUrl, toolJwks: tool.jwks });

  const nrps = nrpsService({ config, tool, tokenUrl: registration.tokenUrl, base: url, stats });

  function launchClaims(launch, nonce) {
    const user = config.users[launch.user];
    const t = Math.floor(Date.now() / 1000);
    const custom = { ...(config.custom || {}), ...(user.custom || {}) };
    if (launch.level)
      custom.level = launch.level;
    if (launch.grade)
      custom.grade = launch.grade;
    const claims = {
      iss: issuer, aud: config.clientId, sub: user.sub, iat: t, exp: t + 300, nonce,
      locale: "ja-JP",
      [LTI + "message_type"]: "LtiResourceLinkRequest",
      [LTI + "version"]: "1.3.0",
      [LTI + "deployment_id"]: launch.deployment,
      [LTI + "target_link_uri"]: tool.target,
      [LTI + "resource_link"]: { id: launch.resourceLink, title: "分数のドリル" },
      [LTI + "roles"]: user.roles,
      [LTI + "context"]: { id: launch.context || config.context.id, label: config.context.label,
                           title: launch.context ? launch.context : config.context.title,
                           type: ["http://purl.imsglobal.org/vocab/lis/v2/course#CourseOffering"] },
      ...nrps.claim(launch.context || config.context.id),
      [LTI + "tool_platform"]: { guid: config.clientId + "-platform", name: "テスト用ポータル",
                                 product_family_code: "porome-check", version: "1" },
      [LTI + "launch_presentation"]: { document_target: launch.storage ? "iframe" : "window", locale: "ja-JP" },
      [LTI + "custom"]: custom,
    };
    if (launch.level && launch.ags !== "none")
      claims[AGS] = gradebook.claim(launch.resourceLink);
    return claims;
  }

  async function idToken(launch, nonce) {
    const claims = launchClaims(launch, nonce);
    const signer = keys[keys.length - 1];
    if (launch.forge)
      return forgeToken(launch.forge, claims, signer);
    return new jose.SignJWT(claims).setProtectedHeader({ alg: "RS256", typ: "JWT", kid: signer.kid })
      .sign(signer.privateKey);
  }

  // The login initiation of a launch for one of the registration's users.
  function start(req, res, query) {
    const user = query.get("user");
    if (!config.users[user])
      return answer(res, 404, "text/plain; charset=utf-8", `no user ${user} in the registration\n`);
    const forge = query.get("forge");
    if (forge && !FORGERIES[forge])
      return answer(res, 400, "text/plain; charset=utf-8", `no forgery ${forge}\n`);
    const loginHint = crypto.randomUUID();
    const launch = {
      user, level: query.get("level"), grade: query.get("grade"), forge, ags: query.get("ags"),
      deployment: query.get("deployment") || config.deploymentIds[0],
      storage: query.get("storage"), messageHint: crypto.randomUUID(),
      resourceLink: "porome-" + (query.get("level") || "menu"), made: Date.now(), context: query.get("context"),
    };
    for (const [hint, l] of pending)
      if (Date.now() - l.made > PENDING_LIFETIME)
        pending.delete(hint);
    pending.set(loginHint, launch);
    const fields = {
      iss: issuer, login_hint: loginHint, target_link_uri: tool.target, lti_message_hint: launch.messageHint,
      client_id: config.clientId, lti_deployment_id: launch.deployment,
    };
    if (launch.storage)
      fields.lti_storage_target = launch.storage;
    if (query.get("method") === "post")
      return answer(res, 200, "text/html; charset=utf-8", postingPage(tool.login, fields));
    const to = new URL(tool.login);
    for (const [k, v] of Object.entries(fields))
      to.searchParams.set(k, v);
    res.writeHead(302, { Location: to.href, "Cache-Control": "no-store" });
    res.end();
  }

  // The authentication request: every parameter as the tool must send it, else a refusal.
  async function authorize(req, res, params) {
    const want = { scope: "openid", response_type: "id_token", response_mode: "form_post", prompt: "none",
                   client_id: config.clientId };
    let wrong = "";
    for (const [k, v] of Object.entries(want))
      if (params.get(k) !== v)
        wrong ||= `${k} is ${JSON.stringify(params.get(k))}, not ${JSON.stringify(v)}`;
    const redirect = params.get("redirect_uri");
    if (!redirectUris.includes(redirect))
      wrong ||= `redirect_uri ${JSON.stringify(redirect)} is not registered`;
    const launch = pending.get(params.get("login_hint") || "");
    if (!launch)
      wrong ||= "login_hint is not one this platform gave";
    else if (params.get("lti_message_hint") !== launch.messageHint)
      wrong ||= "lti_message_hint is not the one of the login initiation";
    for (const k of ["state", "nonce"])
      if (!params.get(k))
        wrong ||= `no ${k}`;
    if (wrong) {
      stats.refused.push(wrong);
      return answer(res, 400, "text/plain; charset=utf-8", "platform: authentication refused: " + wrong + "\n");
    }
    pending.delete(params.get("login_hint"));
    stats.authorized += 1;
    const fields = { id_token: await idToken(launch, params.get("nonce")), state: params.get("state") };
    stats.signatures.push(fields.id_token.split(".")[2] || "");
    if (launch.storage)
      fields.lti_storage_target = launch.storage;
    answer(res, 200, "text/html; charset=utf-8", postingPage(redirect, fields), { "Referrer-Policy": "no-referrer" });
  }

  function framePage(query, res) {
    const named = query.get("target") === "named";
    const start = new URLSearchParams(query);
    start.delete("target");
    if (query.get("target") !== "none")
      start.set("storage", named ? "post_message_forwarding" : "_parent");
    const forwarding = named ? '<iframe name="post_message_forwarding" src="/storage-frame" hidden></iframe>' : "";
    answer(res, 200, "text/html; charset=utf-8", `<!doctype html><html lang="ja"><head><meta charset="utf-8">
<title>テスト用ポータル</title><script src="/storage.js"></script></head>
<body style="margin:0">${forwarding}
<iframe id="tool" src="/start?${escapeHtml(start.toString())}" style="border:0;width:100vw;height:100vh"
 allow="storage-access"></iframe>
${named ? "" : "<script>platformStorage.answer(window);</script>"}
</body></html>`);
  }

  async function handle(req, res) {
    const address = new URL(req.url, url);
    const route = `${req.method} ${address.pathname}`;
    const item = address.pathname.match(/^\/lineitems\/([^/]+)\/scores$/);
    if (req.method === "POST" && item) {
      const [status, body] = gradebook.score(decodeURIComponent(item[1]), address.searchParams, req.headers, await readBody(req));
      return answer(res, status, "application/json", JSON.stringify(body));
    }
    switch (route) {
    case "GET /start":
      return start(req, res, address.searchParams);
    case "GET /auth":
      return authorize(req, res, address.searchParams);
    case "POST /auth":
      return authorize(req, res, new URLSearchParams(await readBody(req)));
    case "GET /jwks":
      stats.jwksFetches.push(new Date().toISOString());
      return answer(res, 200, "application/json", JSON.stringify({ keys: keys.map((k) => k.jwk) }));
    case "GET /frame":
      return framePage(address.searchParams, res);
    case "GET /storage-frame":
      return answer(res, 200, "text/html; charset=utf-8", `<!doctype html><meta charset="utf-8">
<script src="/storage.js"></script><script>platformStorage.answer(window);</script>`);
    case "GET /storage.js":
      return answer(res, 200, "text/javascript; charset=utf-8", storageScript);
    case "POST /admin/rotate": {
      await readBody(req);
      const key = await newKey();
      if (address.searchParams.get("retire") === "1")
        keys.splice(0, keys.length);
      keys.push(key);
      return answer(res, 200, "application/json", JSON.stringify({ kid: key.kid, published: keys.map((k) => k.kid) }));
    }
    case "POST /token": {
      // One token endpoint for the gradebook's scope and the membership's.
      const body = await readBody(req);
      if ((new URLSearchParams(body).get("scope") || "").includes("lti-ags/")) {
        const [status, answerBody] = await gradebook.token(new URLSearchParams(body));
        return answer(res, status, "application/json", JSON.stringify(answerBody));
      }
      return nrps.token(req, res, body);
    }
    case "GET /admin/scores":
      return answer(res, 200, "application/json", JSON.stringify(gradebook.seen));
    case "POST /admin/gradebook":
      await readBody(req);
      return answer(res, 200, "application/json", JSON.stringify(gradebook.admin(address.searchParams)));
    case "GET /admin/registration":
      return answer(res, 200, "application/json", JSON.stringify(registration));
    case "GET /admin/stats":
      return answer(res, 200, "application/json", JSON.stringify({ ...stats, kid: keys[keys.length - 1].kid }));
    default:
      if (req.method === "GET" && address.pathname.startsWith("/nrps/"))
        return nrps.memberships(req, res, address);
      return answer(res, 404, "text/plain; charset=utf-8", "not here\n");
    }
  }

  return {
    url, issuer, registration, tool,
    close: () => new Promise((resolve) => { server.closeAllConnections(); server.close(resolve); }),
  };
}

// Ends the process when its parent goes, and after POROME_LTI_LIFETIME seconds (default 1800).
function guard() {
  const parent = process.ppid;
  const end = Date.now() + 1000 * Number(process.env.POROME_LTI_LIFETIME || 1800);
  setInterval(() => {
    if (process.ppid !== parent || Date.now() > end) {
      console.error("platform: stopping (" + (Date.now() > end ? "time is up" : "parent gone") + ")");
      process.exit(0);
    }
  }, 500).unref();
  setInterval(() => {}, 1 << 30);
}

if (process.argv[1] && import.meta.url === pathToFileURL(path.resolve(process.argv[1])).href) {
  const args = process.argv.slice(2);
  const arg = (name) => { const i = args.indexOf(name); return i >= 0 ? args[i + 1] : undefined; };
  if (!arg("--config")) {
    console.error("usage: platform.js --config FILE [--tool http://127.0.0.1:PORT]");
    process.exit(2);
  }
  const platform = await startPlatform(readConfig(arg("--config"), arg("--tool")));
  console.log(`platform: listening on ${platform.url}`);
  guard();
}
