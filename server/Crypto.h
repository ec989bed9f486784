// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <memory>
#include <optional>

typedef struct evp_pkey_st EVP_PKEY;

// What the server signs and checks with, all of it OpenSSL's: RSA keys, RS256, HMAC-SHA-256,
// random bytes and base64url.
namespace crypto {

struct KeyFree { void operator()(EVP_PKEY* key) const; };
using Key = std::shared_ptr<EVP_PKEY>;

// base64url without padding, and its strict reading (nullopt on any character outside it).
QByteArray Base64Url(const QByteArray& bytes);
std::optional<QByteArray> FromBase64Url(const QByteArray& text);

QByteArray Random(int bytes);
QByteArray HmacSha256(const QByteArray& key, const QByteArray& data);
QByteArray Sha256(const QByteArray& data);
// Compares in a time that does not depend on where they differ.
bool Same(const QByteArray& a, const QByteArray& b);

// The tool's private key from a PEM file, made (RSA 2048, mode 0600) when there is none.
// Null and `why` when it cannot be read or made, or others may read it.
Key LoadOrCreateKey(const QString& file, QString* why);
// A new RSA key of `bits`.
Key NewRsaKey(int bits = 2048);
// The private key's DER, to derive other keys from.
QByteArray PrivateDer(const Key& key);
QByteArray PrivatePem(const Key& key);

// The public half as a JWK (kty, n, e, kid, alg RS256, use sig); kid is its RFC 7638 thumbprint.
QJsonObject PublicJwk(const Key& key);
// An RSA public key from a JWK; null and `why` when it is not one (or under 2048 bits).
Key KeyFromJwk(const QJsonObject& jwk, QString* why);

QByteArray SignRs256(const Key& key, const QByteArray& data);
bool VerifyRs256(const Key& key, const QByteArray& data, const QByteArray& signature);

} // namespace crypto
