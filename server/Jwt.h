// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <optional>

// A compact JWS read without trusting it: its parts, strictly base64url, its header and claims
// JSON objects of bounded depth. Whether its signature holds is the caller's to check.
namespace jwt {

constexpr qsizetype kMaxToken = 64 * 1024;
constexpr int kMaxDepth = 16;

struct Token
{
    QJsonObject header, claims;
    QByteArray signingInput;   // header.claims as sent
    QByteArray signature;
};

// JSON of at most `maxDepth` nested arrays and objects; nullopt and `why` otherwise.
std::optional<QJsonDocument> ParseJson(const QByteArray& text, int maxDepth, QString* why);
std::optional<Token> Decode(const QByteArray& compact, QString* why);
// header.claims of a token to sign, compact JSON in base64url.
QByteArray SigningInput(const QJsonObject& header, const QJsonObject& claims);

} // namespace jwt
