// SPDX-License-Identifier: GPL-3.0-or-later
// The test platform on its own, with this test as the tool: a launch's id_token verifies
// against the platform's JWKS, a wrong authentication request is refused, a rotated key is
// published, and every forged token fails where it should.
//
//   node --test tools/lti/test/
import assert from "node:assert/strict";
import path from "node:path";
import { after, before, describe, test } from "node:test";
import { fileURLToPath } from "node:url";
import jose from "../jose.js";
import { FORGERIES } from "../forge.js";
import { readConfig, startPlatform } from "../platform.js";

const HERE = path.dirname(fileURLToPath(import.meta.url));
const LTI = "https://purl.imsglobal.org/spec/lti/claim/";
const TOOL = "http://127.0.0.1:1";   // nothing is ever sent there: the test is the tool
let platform;

before(async () => { platform = await startPlatform(readConfig(path.join(HERE, "..", "registration.json"), TOOL)); });
after(() => platform.close());

// The platform's own address for a path of its browser addresses.
const local = (u) => u.replace(/^http:\/\/localhost:/, "http://127.0.0.1:");

// The login initiation the platform sends the browser to, as parameters.
async function initiation(query) {
  const r = await fetch(local(platform.registration.startUrl) + "?" + new URLSearchParams(query), { redirect: "manual" });
  if (query.method === "post") {
    const html = await r.text();
    assert.match(html, new RegExp(`action="${TOOL}/lti/login"`));
    return new URLSearchParams([...html.matchAll(/name="([^"]+)" value="([^"]*)"/g)].map((m) => [m[1], m[2]]));
  }
  assert.equal(r.status, 302);
  const to = new URL(r.headers.get("location"));
  assert.equal(to.origin + to.pathname, TOOL + "/lti/login");
  return to.searchParams;
}

function authRequest(login, overrides = {}) {
  return {
    scope: "openid", response_type: "id_token", response_mode: "form_post", prompt: "none",
    client_id: login.get("client_id"), redirect_uri: TOOL + "/lti/launch", login_hint: login.get("login_hint"),
    lti_message_hint: login.get("lti_message_hint"), state: "state-" + Math.random(), nonce: "nonce-" + Math.random(),
    ...overrides,
  };
}

// The form the platform posts to the tool: [status, fields, action].
async function authorize(request, how = "GET") {
  const auth = local(platform.registration.authUrl);
  const r = how === "GET"
    ? await fetch(auth + "?" + new URLSearchParams(request))
    : await fetch(auth, { method: "POST", body: new URLSearchParams(request) });
  const html = await r.text();
  const fields = Object.fromEntries([...html.matchAll(/name="([^"]+)" value="([^"]*)"/g)].map((m) => [m[1], m[2]]));
  return [r.status, fields, (html.match(/action="([^"]+)"/) || [])[1], html];
}

async function launch(query, overrides) {
  const login = await initiation(query);
  const request = authRequest(login, overrides);
  const [status, fields] = await authorize(request);
  assert.equal(status, 200);
  return { login, request, fields };
}

const jwks = () => jose.createRemoteJWKSet(new URL(platform.registration.jwksUrl), { cooldownDuration: 0, cacheMaxAge: 0 });

function verify(token) {
  return jose.jwtVerify(token, jwks(), { algorithms: ["RS256"], issuer: platform.issuer,
                                         audience: "porome-check-client", maxTokenAge: "10 minutes" });
}

describe("a launch", () => {
  for (const [name, query, how, want] of [
    ["pupil by GET, level 7", { user: "pupil-a", level: "7" }, "GET", { level: "7", grade: "P3", deployment: "S_A123456789012" }],
    ["pupil by POST, the user's grade", { user: "pupil-b", method: "post", deployment: "S_B123456789012" }, "POST",
     { level: "1", grade: "P4", deployment: "S_B123456789012" }],
    ["teacher in a frame", { user: "teacher", storage: "_parent", level: "12", grade: "P4" }, "GET",
     { level: "12", grade: "P4", deployment: "S_A123456789012", storage: "_parent" }],
  ]) {
    test(name, async () => {
      const login = await initiation(query);
      assert.equal(login.get("iss"), platform.issuer);
      assert.equal(login.get("target_link_uri"), TOOL + "/");
      assert.equal(login.get("lti_deployment_id"), want.deployment);
      assert.equal(login.get("lti_storage_target"), want.storage ?? null);
      const request = authRequest(login);
      const [status, fields, action] = await authorize(request, how);
      assert.equal(status, 200);
      assert.equal(action, request.redirect_uri);
      assert.equal(fields.state, request.state);
      assert.equal(fields.lti_storage_target, want.storage);
      const { payload, protectedHeader } = await verify(fields.id_token);
      assert.equal(protectedHeader.alg, "RS256");
      assert.equal(payload.nonce, request.nonce);
      assert.match(payload.sub, /^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$/);
      assert.ok(payload[LTI + "roles"].every((r) => r.startsWith("http://purl.imsglobal.org/vocab/lis/v2/")));
      assert.equal(payload[LTI + "message_type"], "LtiResourceLinkRequest");
      assert.equal(payload[LTI + "version"], "1.3.0");
      assert.equal(payload[LTI + "deployment_id"], want.deployment);
      assert.equal(payload[LTI + "context"].id, "3-1-sansu-2026");
      assert.deepEqual(payload[LTI + "custom"], { level: want.level, grade: want.grade });
      assert.equal(payload.name, undefined);
    });
  }

  test("a login_hint serves one authentication", async () => {
    const { request } = await launch({ user: "pupil-a" });
    const [status] = await authorize(request);
    assert.equal(status, 400);
  });
});

describe("a wrong authentication request is refused", () => {
  for (const [name, overrides, reason] of [
    ["scope", { scope: "openid profile" }, /scope/],
    ["response_type", { response_type: "code" }, /response_type/],
    ["response_mode", { response_mode: "query" }, /response_mode/],
    ["prompt", { prompt: "login" }, /prompt/],
    ["client_id", { client_id: "another" }, /client_id/],
    ["redirect_uri", { redirect_uri: TOOL + "/elsewhere" }, /redirect_uri/],
    ["login_hint", { login_hint: "made-up" }, /login_hint/],
    ["lti_message_hint", { lti_message_hint: "made-up" }, /lti_message_hint/],
    ["no nonce", { nonce: "" }, /nonce/],
    ["no state", { state: "" }, /state/],
  ]) {
    test(name, async () => {
      const login = await initiation({ user: "pupil-a" });
      const [status, fields, , html] = await authorize(authRequest(login, overrides));
      assert.equal(status, 400);
      assert.equal(fields.id_token, undefined);
      assert.match(html, reason);
      const stats = await (await fetch(platform.url + "/admin/stats")).json();
      assert.match(stats.refused.at(-1), reason);
    });
  }
});

test("a rotated key signs, and the old one stays published until retired", async () => {
  const { fields: before } = await launch({ user: "pupil-a" });
  const oldKid = jose.decodeProtectedHeader(before.id_token).kid;
  const rotated = await (await fetch(platform.url + "/admin/rotate", { method: "POST" })).json();
  assert.notEqual(rotated.kid, oldKid);
  assert.deepEqual(rotated.published, [oldKid, rotated.kid]);
  const { fields: after } = await launch({ user: "pupil-a" });
  assert.equal(jose.decodeProtectedHeader(after.id_token).kid, rotated.kid);
  await verify(before.id_token);
  await verify(after.id_token);
  const retired = await (await fetch(platform.url + "/admin/rotate?retire=1", { method: "POST" })).json();
  assert.deepEqual(retired.published, [retired.kid]);
  await assert.rejects(verify(after.id_token), { code: "ERR_JWKS_NO_MATCHING_KEY" });
});

describe("a forged token", () => {
  // kind -> the error jose's verification gives, or the claims that differ from a good token's
  const claimsOnly = (...keys) => ({ keys });
  const table = {
    "bad-signature": { code: "ERR_JWS_SIGNATURE_VERIFICATION_FAILED" },
    "alg-none": { code: "ERR_JOSE_ALG_NOT_ALLOWED" },
    "hs256-public-key": { code: "ERR_JOSE_ALG_NOT_ALLOWED" },
    "unknown-kid": { code: "ERR_JWKS_NO_MATCHING_KEY" },
    "wrong-iss": { code: "ERR_JWT_CLAIM_VALIDATION_FAILED", claim: "iss" },
    "wrong-aud": { code: "ERR_JWT_CLAIM_VALIDATION_FAILED", claim: "aud" },
    "wrong-azp": claimsOnly("aud", "azp"),
    expired: { code: "ERR_JWT_EXPIRED" },
    "iat-future": { code: "ERR_JWT_CLAIM_VALIDATION_FAILED", claim: "iat" },
    "wrong-nonce": claimsOnly("nonce"),
    "unregistered-deployment": claimsOnly(LTI + "deployment_id"),
    "wrong-message-type": claimsOnly(LTI + "message_type"),
    "wrong-version": claimsOnly(LTI + "version"),
    "target-elsewhere": claimsOnly(LTI + "target_link_uri"),
    "no-sub": claimsOnly("sub"),
    "no-roles": claimsOnly(LTI + "roles"),
    "one-megabyte": claimsOnly("padding"),
    "bad-base64url": { code: "ERR_JWS_INVALID" },
    "deep-json": claimsOnly("deep"),
    "broken-json": { code: "ERR_JWT_INVALID" },
  };

  // The deep claim is too deep to compare as text: it differs.
  const same = (a, b) => {
    try {
      return JSON.stringify(a) === JSON.stringify(b);
    } catch (e) {
      return false;
    }
  };

  test("every forgery is in the table", () => {
    assert.deepEqual(Object.keys(FORGERIES).sort(), Object.keys(table).sort());
  });

  for (const [kind, want] of Object.entries(table)) {
    test(kind, async () => {
      const { fields: good } = await launch({ user: "pupil-a" });
      const { fields, request } = await launch({ user: "pupil-a", forge: kind });
      assert.equal(fields.state, request.state);
      if (want.code) {
        await assert.rejects(verify(fields.id_token), (e) => {
          assert.equal(e.code, want.code, e.message);
          if (want.claim)
            assert.equal(e.claim, want.claim);
          return true;
        });
        return;
      }
      const { payload } = await verify(fields.id_token);
      const { payload: reference } = await verify(good.id_token);
      const differ = [...new Set([...Object.keys(payload), ...Object.keys(reference)])]
        .filter((k) => !["iat", "exp", "nonce"].includes(k) || kind === "wrong-nonce")
        .filter((k) => k !== "nonce" || payload.nonce !== request.nonce)
        .filter((k) => !same(payload[k], reference[k]));
      assert.deepEqual(differ.sort(), want.keys.sort());
      if (kind === "one-megabyte")
        assert.ok(fields.id_token.length > 1 << 20);
      if (kind === "deep-json")
        assert.ok(Buffer.from(fields.id_token.split(".")[1], "base64url").toString().includes("[".repeat(20000)));
    });
  }
});
