// SPDX-License-Identifier: GPL-3.0-or-later
// The platform's Names and Role Provisioning service, for the checks of porome-server's class
// report: a token endpoint of the client-credentials grant that verifies the tool's client
// assertion against the tool's own JWKS, and a class of 40 with Japanese names, 15 a page.
import crypto from "node:crypto";
import jose from "./jose.js";

export const NRPS_SCOPE = "https://purl.imsglobal.org/spec/lti-nrps/scope/contextmembership.readonly";
const MEDIA = "application/vnd.ims.lti-nrps.v2.membershipcontainer+json";
const LIS = "http://purl.imsglobal.org/vocab/lis/v2/membership#";
const PAGE = 15;
const FAMILY = ["佐藤", "鈴木", "高橋", "田中", "伊藤", "渡辺", "山本", "中村", "小林", "加藤"];
const GIVEN = ["はると", "ゆい", "そうた", "さくら", "ひなた", "めい", "ゆうと", "あおい"];

// The class of 40: the registration's users first (their subs), then made-up pupils.
export function classMembers(config) {
  const members = [];
  let n = 0;
  const name = () => { const i = n++; return [FAMILY[i % FAMILY.length], GIVEN[(i * 3) % GIVEN.length]]; };
  for (const [user, u] of Object.entries(config.users)) {
    const [family, given] = name();
    const teacher = u.roles.some((r) => /#Instructor$/.test(r));
    members.push({ user, user_id: u.sub, status: "Active", family_name: family, given_name: given,
                   name: `${family}　${given}`, roles: [LIS + (teacher ? "Instructor" : "Learner")] });
  }
  while (members.length < 40) {
    const [family, given] = name();
    members.push({ user_id: `nrps-pupil-${members.length}`, status: "Active", family_name: family, given_name: given,
                   name: `${family}　${given}`, roles: [LIS + "Learner"] });
  }
  return members;
}

export function nrpsService({ config, tool, tokenUrl, base, stats }) {
  const jwks = jose.createRemoteJWKSet(new URL(tool.jwks));
  const tokens = new Map();   // access token -> scopes
  const seenJti = new Set();
  const members = classMembers(config);
  stats.tokens = { issued: 0, refused: [] };
  stats.membershipPages = 0;

  const send = (res, status, type, body, headers = {}) => {
    res.writeHead(status, { "Content-Type": type, "Cache-Control": "no-store", ...headers });
    res.end(body);
  };

  return {
    claim: (context) => ({
      "https://purl.imsglobal.org/spec/lti-nrps/claim/namesroleservice": {
        context_memberships_url: `${base}/nrps/${encodeURIComponent(context)}/memberships`,
        service_versions: ["2.0"],
      },
    }),

    async token(req, res, body) {
      const form = new URLSearchParams(body);
      const refuse = (why) => {
        stats.tokens.refused.push(why);
        send(res, 401, "application/json", JSON.stringify({ error: "invalid_client", error_description: why }));
      };
      if (form.get("grant_type") !== "client_credentials")
        return refuse("grant_type is not client_credentials");
      if (form.get("client_assertion_type") !== "urn:ietf:params:oauth:client-assertion-type:jwt-bearer")
        return refuse("client_assertion_type is not jwt-bearer");
      let claims;
      try {
        ({ payload: claims } = await jose.jwtVerify(form.get("client_assertion") || "", jwks, {
          issuer: config.clientId, subject: config.clientId, audience: tokenUrl, algorithms: ["RS256"],
          maxTokenAge: "10m" }));
      } catch (e) {
        return refuse("the client assertion does not hold: " + e.code);
      }
      if (!claims.jti || seenJti.has(claims.jti))
        return refuse("the client assertion's jti is missing or used before");
      if (!claims.exp || claims.exp - Math.floor(Date.now() / 1000) > 600)
        return refuse("the client assertion's exp is not short");
      seenJti.add(claims.jti);
      const scopes = (form.get("scope") || "").split(" ").filter(Boolean);
      const token = crypto.randomBytes(24).toString("base64url");
      tokens.set(token, scopes);
      stats.tokens.issued += 1;
      send(res, 200, "application/json",
           JSON.stringify({ access_token: token, token_type: "Bearer", expires_in: 3600, scope: scopes.join(" ") }));
    },

    memberships(req, res, address) {
      const m = address.pathname.match(/^\/nrps\/([^/]+)\/memberships$/);
      const auth = req.headers.authorization || "";
      const scopes = tokens.get(auth.replace(/^Bearer /, "")) || [];
      if (!m)
        return send(res, 404, "text/plain", "not here\n");
      if (!scopes.includes(NRPS_SCOPE))
        return send(res, 401, "application/json", JSON.stringify({ error: "no token of the membership scope" }));
      if (!(req.headers.accept || "").includes(MEDIA))
        return send(res, 406, "text/plain", "Accept " + MEDIA + "\n");
      stats.membershipPages += 1;
      const context = decodeURIComponent(m[1]);
      // Another class than the config's has only its teacher.
      const all = context === config.context.id ? members : members.filter((x) => x.user === "teacher");
      const page = Math.max(0, Number(address.searchParams.get("page") || 0));
      const headers = {};
      if ((page + 1) * PAGE < all.length)
        headers.Link = `<${base}${address.pathname}?page=${page + 1}>; rel="next"`;
      send(res, 200, MEDIA, JSON.stringify({
        id: `${base}${address.pathname}`, context: { id: context },
        members: all.slice(page * PAGE, (page + 1) * PAGE).map(({ user, ...rest }) => rest),
      }), headers);
    },
  };
}
