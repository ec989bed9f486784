// SPDX-License-Identifier: GPL-3.0-or-later
// The test platform's gradebook: a token endpoint of the client-credentials grant that checks
// the tool's client assertion against the tool's JWKS, and line items that take scores.
//
//   POST /token                      grant_type=client_credentials, a jwt-bearer client_assertion
//   POST /lineitems/ID/scores?...    a score (application/vnd.ims.lis.v1.score+json, a token of /token)
//   GET  /admin/scores               {scores, tokens, refused}: what the gradebook took and refused
//   POST /admin/gradebook?token401=N&down=1|0&reject=N&revoke=1
//        the token endpoint answers 401 the next N times; the line items answer 503 until down=0;
//        they refuse the next N scores with 400; revoke: the tokens given so far no longer hold
import crypto from "node:crypto";
import jose from "./jose.js";

export const AGS = "https://purl.imsglobal.org/spec/lti-ags/claim/endpoint";
export const SCORE_SCOPE = "https://purl.imsglobal.org/spec/lti-ags/scope/score";
const LINEITEM_SCOPE = "https://purl.imsglobal.org/spec/lti-ags/scope/lineitem.readonly";
const SCORE_TYPE = "application/vnd.ims.lis.v1.score+json";

export function makeGradebook({ url, clientId, tokenUrl, toolJwks }) {
  let jwks = null;
  const tokens = new Map();   // access token -> until when
  const jtis = new Set();
  const state = { token401: 0, down: false, reject: 0 };
  const seen = { scores: [], tokens: 0, refused: [] };

  // The AGS claim of a launch of a resource link; the line item's address has a query of its own.
  function claim(resourceLink) {
    return { scope: [LINEITEM_SCOPE, SCORE_SCOPE], lineitems: url + "/lineitems",
             lineitem: `${url}/lineitems/${encodeURIComponent(resourceLink)}?type=drill` };
  }

  async function token(params) {
    if (state.token401 > 0) {
      state.token401 -= 1;
      return [401, { error: "invalid_client", error_description: "asked to refuse" }];
    }
    const wrong = (why) => { seen.refused.push("token: " + why); return [401, { error: "invalid_client", error_description: why }]; };
    if (params.get("grant_type") !== "client_credentials")
      return wrong(`grant_type ${params.get("grant_type")}`);
    if (params.get("client_assertion_type") !== "urn:ietf:params:oauth:client-assertion-type:jwt-bearer")
      return wrong(`client_assertion_type ${params.get("client_assertion_type")}`);
    if (!(params.get("scope") || "").split(" ").includes(SCORE_SCOPE))
      return wrong(`scope ${params.get("scope")}`);
    jwks ||= jose.createRemoteJWKSet(new URL(toolJwks));
    let payload;
    try {
      ({ payload } = await jose.jwtVerify(params.get("client_assertion") || "", jwks, {
        algorithms: ["RS256"], issuer: clientId, subject: clientId, audience: tokenUrl, requiredClaims: ["jti", "exp", "iat"],
      }));
    } catch (e) {
      return wrong("the client assertion: " + (e.code || e.message));
    }
    if (payload.exp - payload.iat > 600)
      return wrong(`the client assertion lives ${payload.exp - payload.iat} s`);
    if (jtis.has(payload.jti))
      return wrong("the client assertion's jti was used");
    jtis.add(payload.jti);
    const value = crypto.randomBytes(24).toString("base64url");
    tokens.set(value, Date.now() + 3600 * 1000);
    seen.tokens += 1;
    return [200, { access_token: value, token_type: "Bearer", expires_in: 3600, scope: SCORE_SCOPE }];
  }

  function score(lineItem, query, headers, body) {
    if (state.down)
      return [503, { error: "down" }];
    const bearer = (headers.authorization || "").replace(/^Bearer /, "");
    if (!(tokens.get(bearer) > Date.now()))
      return [401, { error: "no token, or not one of /token" }];
    const wrong = (why) => { seen.refused.push("score: " + why); return [400, { error: why }]; };
    if (headers["content-type"] !== SCORE_TYPE)
      return wrong(`Content-Type ${headers["content-type"]}`);
    if (query.get("type") !== "drill")
      return wrong("the line item's query was not kept");
    if (state.reject > 0) {
      state.reject -= 1;
      return [400, { error: "asked to refuse" }];
    }
    let s;
    try {
      s = JSON.parse(body);
    } catch {
      return wrong("not JSON");
    }
    seen.scores.push({ lineItem, ...s });
    return [200, {}];
  }

  function admin(query) {
    if (query.has("token401"))
      state.token401 = Number(query.get("token401"));
    if (query.has("down"))
      state.down = query.get("down") === "1";
    if (query.get("revoke") === "1")
      tokens.clear();
    if (query.has("reject"))
      state.reject = Number(query.get("reject"));
    return { ...state };
  }

  return { claim, token, score, admin, seen };
}
