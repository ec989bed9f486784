// SPDX-License-Identifier: GPL-3.0-or-later
#include "server/Jwt.h"

#include "server/Crypto.h"

#include <QJsonParseError>

namespace jwt {

std::optional<QJsonDocument> ParseJson(const QByteArray& text, int maxDepth, QString* why)
{
    // Nesting counted outside strings before Qt's reader sees it.
    int depth = 0;
    bool inString = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++depth > maxDepth) {
                *why = QStringLiteral("nests deeper than %1").arg(maxDepth);
                return std::nullopt;
            }
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    QJsonParseError error;
    QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        *why = QStringLiteral("is not JSON (%1 at character %2)").arg(error.errorString()).arg(error.offset);
        return std::nullopt;
    }
    return doc;
}

std::optional<Token> Decode(const QByteArray& compact, QString* why)
{
    if (compact.size() > kMaxToken) {
        *why = QStringLiteral("the id_token has %1 bytes, more than %2").arg(compact.size()).arg(kMaxToken);
        return std::nullopt;
    }
    const QList<QByteArray> parts = compact.split('.');
    if (parts.size() != 3) {
        *why = QStringLiteral("the id_token has %1 parts, not 3").arg(parts.size());
        return std::nullopt;
    }
    Token t;
    const char* names[] = {"header", "claims"};
    QJsonObject* objects[] = {&t.header, &t.claims};
    for (int i = 0; i < 2; ++i) {
        const auto bytes = crypto::FromBase64Url(parts[i]);
        if (!bytes) {
            *why = QStringLiteral("the id_token's %1 is not base64url").arg(QLatin1String(names[i]));
            return std::nullopt;
        }
        QString problem;
        const auto doc = ParseJson(*bytes, kMaxDepth, &problem);
        if (!doc || !doc->isObject()) {
            *why = QStringLiteral("the id_token's %1 %2")
                       .arg(QLatin1String(names[i]), doc ? QStringLiteral("is not a JSON object") : problem);
            return std::nullopt;
        }
        *objects[i] = doc->object();
    }
    const auto signature = crypto::FromBase64Url(parts[2]);
    if (!signature) {
        *why = QStringLiteral("the id_token's signature is not base64url");
        return std::nullopt;
    }
    t.signature = *signature;
    t.signingInput = parts[0] + '.' + parts[1];
    return t;
}

QByteArray SigningInput(const QJsonObject& header, const QJsonObject& claims)
{
    return crypto::Base64Url(QJsonDocument(header).toJson(QJsonDocument::Compact)) + '.'
        + crypto::Base64Url(QJsonDocument(claims).toJson(QJsonDocument::Compact));
}

} // namespace jwt
