// SPDX-License-Identifier: GPL-3.0-or-later
// The store's proxy: the page's statements, checked against its session, to the school's store.
#include "server/Jwt.h"
#include "server/Scores.h"
#include "server/Server.h"

#include "record/StoreRequest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrlQuery>

namespace server {

namespace {

Reply Json(int status, const QString& message)
{
    return {status, "application/json",
            QJsonDocument(QJsonObject{{"message", message}}).toJson(QJsonDocument::Compact), {}};
}

// Whether the statement's actor is the session's pupil, and nobody else besides.
bool OfPupil(const QJsonObject& statement, const Session& s)
{
    const QJsonObject actor = statement.value(QLatin1String("actor")).toObject();
    const QJsonObject account = actor.value(QLatin1String("account")).toObject();
    for (const char* other : {"mbox", "mbox_sha1sum", "openid", "member"})
        if (actor.contains(QLatin1String(other)))
            return false;
    return actor.value(QLatin1String("objectType")).toString(QStringLiteral("Agent")) == QLatin1String("Agent")
        && account.value(QLatin1String("homePage")).toString() == s.homePage
        && account.value(QLatin1String("name")).toString() == s.sub;
}

// The class as a grouping activity, once.
QJsonObject Grouped(QJsonObject statement, const QString& grouping)
{
    if (grouping.isEmpty())
        return statement;
    QJsonObject context = statement.value(QLatin1String("context")).toObject();
    QJsonObject activities = context.value(QLatin1String("contextActivities")).toObject();
    // xAPI lets a statement give one activity without its array.
    const QJsonValue given = activities.value(QLatin1String("grouping"));
    QJsonArray list = given.isObject() ? QJsonArray{given} : given.toArray();
    for (const QJsonValue& a : list)
        if (a.toObject().value(QLatin1String("id")).toString() == grouping)
            return statement;
    list << QJsonObject{{"id", grouping}, {"objectType", "Activity"}};
    activities.insert(QStringLiteral("grouping"), list);
    context.insert(QStringLiteral("contextActivities"), activities);
    statement.insert(QStringLiteral("context"), context);
    return statement;
}

constexpr double kBurst = 60;          // requests a session may send at once
constexpr double kPerSecond = 2;       // and then each second

} // namespace

void Server::Statements(const Call& call, Done done)
{
    if (call.method != "POST" && call.method != "PUT")
        return done(Json(405, QStringLiteral("POST or PUT")));
    const QByteArray auth = call.Header("authorization");
    const auto session = auth.startsWith("Bearer ") ? ReadSession(auth.mid(7).trimmed()) : std::nullopt;
    if (!session)
        return done(Json(401, QStringLiteral("no session, or an expired one: open ポロメ from the portal again")));

    const qint64 now = Now();
    if (rates_.size() > 100000)
        rates_.removeIf([now](const auto& it) { return now - it.value().at > 600; });
    Bucket& bucket = rates_[session->id];
    if (bucket.at == 0)
        bucket = {kBurst, now};
    bucket.tokens = std::min(kBurst, bucket.tokens + double(now - bucket.at) * kPerSecond);
    bucket.at = now;
    if (bucket.tokens < 1) {
        Reply r = Json(429, QStringLiteral("too many requests of this session: try again in a few seconds"));
        r.headers << qMakePair(QByteArray("Retry-After"), QByteArray("5"));
        return done(r);
    }
    bucket.tokens -= 1;

    if (call.body.size() > kMaxStatementsBody)
        return done(Json(413, QStringLiteral("more than %1 bytes in one request").arg(kMaxStatementsBody)));
    QString why;
    const auto doc = jwt::ParseJson(call.body, 32, &why);
    if (!doc || (!doc->isArray() && !doc->isObject()))
        return done(Json(400, QStringLiteral("the statements ") + (doc ? QStringLiteral("are not JSON") : why)));
    const bool one = doc->isObject();
    if (call.method == "PUT" && !one)
        return done(Json(400, QStringLiteral("a PUT takes one statement")));
    const QJsonArray given = one ? QJsonArray{doc->object()} : doc->array();
    if (given.size() > kMaxStatements)
        return done(Json(413, QStringLiteral("more than %1 statements in one request").arg(kMaxStatements)));
    QJsonArray sent;
    for (const QJsonValue& v : given) {
        if (!v.isObject())
            return done(Json(400, QStringLiteral("a statement is not a JSON object")));
        if (!OfPupil(v.toObject(), *session))
            return done(Json(403, QStringLiteral("a statement's actor is not the pupil of this session")));
        sent << Grouped(v.toObject(), session->grouping);
    }

    QUrl url = settings_.lrs.endpoint.resolved(QUrl(QStringLiteral("statements")));
    if (call.method == "PUT") {
        const QString id = QUrlQuery(call.url).queryItemValue(QStringLiteral("statementId"), QUrl::FullyDecoded);
        if (id.isEmpty())
            return done(Json(400, QStringLiteral("a PUT names its statementId")));
        QUrlQuery q;
        q.addQueryItem(QStringLiteral("statementId"), QString::fromLatin1(QUrl::toPercentEncoding(id)));
        url.setQuery(q);
    }
    const QByteArray body = one ? QJsonDocument(sent.first().toObject()).toJson(QJsonDocument::Compact)
                                : QJsonDocument(sent).toJson(QJsonDocument::Compact);
    const QNetworkRequest request = store::Request(url, settings_.lrs.Authorization());
    QNetworkReply* reply = call.method == "PUT" ? network_->put(request, body) : network_->post(request, body);
    store::Bound(reply, this, storeTimeout_, 1 << 20, [this, done, s = *session, sent](const store::Answer& a) {
        // The gradebook hears of an exercise the store took; the page's answer waits for nothing.
        if (a.status == 200 || a.status == 204)
            for (const QJsonValue& v : sent)
                scores_->Took(s, v.toObject());
        if (a.status == 0) {
            Log(QStringLiteral("the store did not answer: ") + a.failure);
            return done(Json(502, QStringLiteral("the store did not answer; the statements are kept for later")));
        }
        Reply r{a.status, "application/json", a.body, {}};
        r.headers << qMakePair(QByteArray("Cache-Control"), QByteArray("no-store"));
        done(r);
    });
}

} // namespace server
