// SPDX-License-Identifier: GPL-3.0-or-later
#include "server/Token.h"

#include "server/Jwt.h"

#include "record/StoreRequest.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrlQuery>

namespace server {

namespace {

constexpr int kAssertionSeconds = 300;
// A token is given up this long before the platform says it expires.
constexpr int kMarginSeconds = 30;

QString KeyOf(const Platform& platform, const QString& scope)
{
    return platform.name + QLatin1Char('\n') + scope;
}

} // namespace

Tokens::Tokens(QNetworkAccessManager* network, QObject* context, crypto::Key toolKey, std::function<qint64()> now)
    : network_(network), context_(context), key_(std::move(toolKey)), now_(std::move(now))
{
    kid_ = crypto::PublicJwk(key_).value(QLatin1String("kid")).toString();
}

QByteArray Tokens::Assertion(const Platform& platform) const
{
    const qint64 now = now_();
    const QJsonObject header{{"alg", "RS256"}, {"typ", "JWT"}, {"kid", kid_}};
    const QJsonObject claims{{"iss", platform.clientId}, {"sub", platform.clientId},
                             {"aud", platform.tokenUrl.toString()}, {"iat", double(now)},
                             {"exp", double(now + kAssertionSeconds)},
                             {"jti", QString::fromLatin1(crypto::Base64Url(crypto::Random(18)))}};
    const QByteArray input = jwt::SigningInput(header, claims);
    return input + '.' + crypto::Base64Url(crypto::SignRs256(key_, input));
}

void Tokens::Forget(const Platform& platform, const QString& scope)
{
    Kept& k = kept_[KeyOf(platform, scope)];
    k.token.clear();
    k.until = 0;
}

void Tokens::FetchToken(const Platform& platform, const QString& scope,
                        std::function<void(QByteArray token, QString why)> callback)
{
    const QString key = KeyOf(platform, scope);
    Kept& k = kept_[key];
    if (!k.token.isEmpty() && k.until > now_())
        return callback(k.token, {});
    k.waiting << std::move(callback);
    if (k.fetching)
        return;
    if (platform.tokenUrl.isEmpty()) {
        const auto waiting = std::exchange(k.waiting, {});
        for (const auto& w : waiting)
            w({}, QStringLiteral("platform.%1/tokenUrl is not set").arg(platform.name));
        return;
    }
    k.fetching = true;
    QUrlQuery form;
    const auto add = [&form](const char* name, const QString& value) {
        form.addQueryItem(QLatin1String(name), QString::fromLatin1(QUrl::toPercentEncoding(value)));
    };
    add("grant_type", QStringLiteral("client_credentials"));
    add("client_assertion_type", QStringLiteral("urn:ietf:params:oauth:client-assertion-type:jwt-bearer"));
    add("client_assertion", QString::fromLatin1(Assertion(platform)));
    add("scope", scope);
    QNetworkRequest request(platform.tokenUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    request.setRawHeader("Accept", "application/json");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = network_->post(request, form.toString(QUrl::FullyEncoded).toLatin1());
    const QString name = platform.name;
    store::Bound(reply, context_, std::chrono::seconds(15), 64 * 1024, [this, key, name](const store::Answer& a) {
        Kept& k = kept_[key];
        k.fetching = false;
        QString why;
        const auto doc = a.status == 200 ? jwt::ParseJson(a.body, 4, &why) : std::nullopt;
        const QJsonObject o = doc ? doc->object() : QJsonObject();
        const QByteArray token = o.value(QLatin1String("access_token")).toString().toLatin1();
        if (a.status == 0)
            why = QStringLiteral("the token endpoint of platform.%1 did not answer (%2)").arg(name, a.failure);
        else if (a.status != 200)
            why = QStringLiteral("the token endpoint of platform.%1 answered HTTP %2").arg(name).arg(a.status);
        else if (token.isEmpty())
            why = QStringLiteral("the token endpoint of platform.%1 gave no access_token").arg(name);
        if (why.isEmpty()) {
            const qint64 lifetime = qint64(o.value(QLatin1String("expires_in")).toDouble(3600));
            k.token = token;
            k.until = now_() + std::max<qint64>(0, lifetime - kMarginSeconds);
        }
        const auto waiting = std::exchange(k.waiting, {});
        for (const auto& w : waiting)
            w(why.isEmpty() ? token : QByteArray(), why);
    });
}

} // namespace server
