// SPDX-License-Identifier: GPL-3.0-or-later
// The id_tokens a tool must refuse. Each kind changes one thing of a good launch's token and
// leaves the rest as the platform signs it, so that a refusal says which check held.
import crypto from "node:crypto";
import jose from "./jose.js";

const LTI = "https://purl.imsglobal.org/spec/lti/claim/";

function b64u(data) {
  return Buffer.from(data).toString("base64url");
}

// A JWS over any payload bytes (even ones that are no JSON), signed with the platform's key.
async function signBytes(payload, signer) {
  return new jose.CompactSign(typeof payload === "string" ? new TextEncoder().encode(payload) : payload)
    .setProtectedHeader({ alg: "RS256", typ: "JWT", kid: signer.kid })
    .sign(signer.privateKey);
}

// Signs header.payload as given, whatever their encoding, with node's RSA-SHA256.
function signSegments(header, payload, signer) {
  const input = header + "." + payload;
  const pem = signer.privatePem;
  return input + "." + b64u(crypto.sign("sha256", Buffer.from(input), pem));
}

function header(signer, alg = "RS256") {
  return b64u(JSON.stringify({ alg, typ: "JWT", kid: signer.kid }));
}

function nested(depth) {
  return "[".repeat(depth) + "]".repeat(depth);
}

const now = () => Math.floor(Date.now() / 1000);

// kind -> what it does to the claims (a function returning the claims to sign), or to the
// token itself (`token`: async (claims, signer, context) -> compact JWS).
export const FORGERIES = {
  "bad-signature": {
    token: async (claims, signer) => {
      const good = await signBytes(JSON.stringify(claims), signer);
      const [h, p, s] = good.split(".");
      const sig = Buffer.from(s, "base64url");
      sig[sig.length >> 1] ^= 0x5a;
      return `${h}.${p}.${b64u(sig)}`;
    },
  },
  "alg-none": {
    token: async (claims, signer) => `${header(signer, "none")}.${b64u(JSON.stringify(claims))}.`,
  },
  "hs256-public-key": {
    // The RSA public key's PEM text as an HMAC secret: a verifier that takes the header's alg
    // with the key it has would accept it.
    token: async (claims, signer) =>
      new jose.SignJWT(claims).setProtectedHeader({ alg: "HS256", typ: "JWT", kid: signer.kid })
        .sign(new TextEncoder().encode(signer.publicPem)),
  },
  "unknown-kid": {
    token: async (claims) => {
      const { privateKey } = await jose.generateKeyPair("RS256", { extractable: true });
      return new jose.SignJWT(claims)
        .setProtectedHeader({ alg: "RS256", typ: "JWT", kid: "not-published-" + crypto.randomUUID() })
        .sign(privateKey);
    },
  },
  "wrong-iss": { claims: (c) => ({ ...c, iss: "https://portal.invalid" }) },
  "wrong-aud": { claims: (c) => ({ ...c, aud: "another-tool" }) },
  "wrong-azp": { claims: (c) => ({ ...c, aud: [c.aud, "another-tool"], azp: "another-tool" }) },
  expired: { claims: (c) => ({ ...c, iat: now() - 3600, exp: now() - 1800 }) },
  "iat-future": { claims: (c) => ({ ...c, iat: now() + 1800, exp: now() + 3600 }) },
  "wrong-nonce": { claims: (c) => ({ ...c, nonce: crypto.randomUUID() }) },
  "unregistered-deployment": { claims: (c) => ({ ...c, [LTI + "deployment_id"]: "S_Z999999999999" }) },
  "wrong-message-type": { claims: (c) => ({ ...c, [LTI + "message_type"]: "LtiStartProctoring" }) },
  "wrong-version": { claims: (c) => ({ ...c, [LTI + "version"]: "1.1.0" }) },
  "target-elsewhere": { claims: (c) => ({ ...c, [LTI + "target_link_uri"]: "https://elsewhere.invalid/" }) },
  "no-sub": { claims: ({ sub, ...c }) => c },
  "no-roles": { claims: (c) => { const d = { ...c }; delete d[LTI + "roles"]; return d; } },
  "one-megabyte": {
    token: async (claims, signer) => signBytes(JSON.stringify({ ...claims, padding: "x".repeat(1 << 20) }), signer),
  },
  "bad-base64url": {
    // Standard base64 with its padding and a character base64url has not, signed as it is.
    token: async (claims, signer) =>
      signSegments(header(signer), Buffer.from(JSON.stringify(claims)).toString("base64") + "*==", signer),
  },
  "deep-json": {
    token: async (claims, signer) =>
      signBytes(JSON.stringify({ ...claims, deep: null }).replace('"deep":null', '"deep":' + nested(20000)), signer),
  },
  "broken-json": {
    token: async (claims, signer) => signBytes(JSON.stringify(claims).slice(0, -7), signer),
  },
};

export async function forgeToken(kind, claims, signer) {
  const forgery = FORGERIES[kind];
  if (!forgery)
    throw new Error(`no forgery named ${kind}`);
  if (forgery.token)
    return forgery.token(claims, signer);
  return signBytes(JSON.stringify(forgery.claims(claims)), signer);
}
