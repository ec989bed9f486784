// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/StoreRequest.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <memory>

namespace store {

QNetworkRequest Request(const QUrl& url, const QByteArray& authorization)
{
    QNetworkRequest request(url);
    request.setRawHeader("X-Experience-API-Version", "1.0.3");
    if (!authorization.isEmpty())
        request.setRawHeader("Authorization", authorization);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    return request;
}

void Bound(QNetworkReply* reply, QObject* context, std::chrono::milliseconds timeout, qint64 maxAnswer,
           std::function<void(const Answer&)> then)
{
    reply->setReadBufferSize(maxAnswer + 1);
    auto why = std::make_shared<QString>();
    const auto giveUp = [reply, why](const QString& cause) {
        if (why->isEmpty() && reply->isRunning()) {
            *why = cause;
            reply->abort();
        }
    };
    QObject::connect(reply, &QNetworkReply::readyRead, context, [reply, giveUp, maxAnswer] {
        if (reply->bytesAvailable() > maxAnswer)
            giveUp(QStringLiteral("its answer is longer than %1 bytes").arg(maxAnswer));
    });
    QTimer::singleShot(timeout, reply, [giveUp, timeout] {
        giveUp(QStringLiteral("no answer within %1 s").arg(double(timeout.count()) / 1000));
    });
    QObject::connect(reply, &QNetworkReply::finished, context, [reply, why, maxAnswer, then = std::move(then)] {
        Answer a;
        a.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->isOpen())
            a.body = reply->read(maxAnswer);
        a.failure = !why->isEmpty() ? *why
            : a.status != 0          ? QStringLiteral("HTTP %1").arg(a.status)
                                     : reply->errorString();
        reply->deleteLater();
        then(a);
    });
}

QString Reason(const QByteArray& body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    QString text = doc.object().value(QLatin1String("message")).toString();
    if (text.isEmpty())
        text = QString::fromUtf8(body);
    text = text.simplified();
    if (text.size() > 300)
        text = text.left(300) + QStringLiteral("…");
    return text.isEmpty() ? QStringLiteral("no reason given") : text;
}

bool SameContent(const QByteArray& json, const QJsonObject& theirs)
{
    const QJsonObject mine = QJsonDocument::fromJson(json).object();
    const auto id = [](const QJsonObject& o, QLatin1String part) {
        return o.value(part).toObject().value(QLatin1String("id"));
    };
    const auto when = [](const QJsonObject& o) {
        return QDateTime::fromString(o.value(QLatin1String("timestamp")).toString(), Qt::ISODateWithMs);
    };
    return id(mine, QLatin1String("verb")) == id(theirs, QLatin1String("verb"))
        && id(mine, QLatin1String("object")) == id(theirs, QLatin1String("object"))
        && mine.value(QLatin1String("result")) == theirs.value(QLatin1String("result")) && when(mine) == when(theirs);
}

} // namespace store
