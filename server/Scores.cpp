// SPDX-License-Identifier: GPL-3.0-or-later
#include "server/Scores.h"

#include "server/Jwt.h"
#include "server/Server.h"

#include "record/StoreRequest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QUrlQuery>

#include <algorithm>

namespace server {

const QString Scores::kScope = QStringLiteral("https://purl.imsglobal.org/spec/lti-ags/scope/score");

namespace {

const QString kCompleted = QStringLiteral("http://adlnet.gov/expapi/verbs/completed");
constexpr int kAssertionSeconds = 300;
constexpr auto kTimeout = std::chrono::seconds(30);

QString Iso(const QDateTime& t)
{
    return t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

} // namespace

Scores::Scores(const Settings& settings, crypto::Key toolKey, QNetworkAccessManager* network,
               std::function<void(const QString&)> log, QObject* parent)
    : QObject(parent)
    , settings_(settings)
    , toolKey_(std::move(toolKey))
    , kid_(crypto::PublicJwk(toolKey_).value(QLatin1String("kid")).toString())
    , network_(network)
    , log_(std::move(log))
{
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { Pump(); });
    if (!QDir().mkpath(settings_.spool))
        log_(QStringLiteral("server/spool \"%1\" cannot be made: scores are not kept").arg(settings_.spool));
    QFile::setPermissions(settings_.spool, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // What a stopped server left is sent first.
    QTimer::singleShot(0, this, [this] { Pump(); });
}

bool Scores::Postable(const QString& lineItem)
{
    const QUrl url(lineItem, QUrl::StrictMode);
    return lineItem.size() <= 1024 && url.isValid() && !url.host().isEmpty()
        && (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
}

QUrl Scores::ScoresUrl(const QUrl& lineItem)
{
    QUrl url = lineItem;
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    url.setPath(path + QStringLiteral("/scores"));
    return url;
}

std::optional<QJsonObject> Scores::ScoreOf(const QJsonObject& statement, const QString& sub)
{
    if (statement.value(QLatin1String("verb")).toObject().value(QLatin1String("id")).toString() != kCompleted)
        return std::nullopt;
    const QJsonObject result = statement.value(QLatin1String("result")).toObject();
    const QJsonObject score = result.value(QLatin1String("score")).toObject();
    const QJsonValue raw = score.value(QLatin1String("raw")), max = score.value(QLatin1String("max"));
    if (!raw.isDouble() || !max.isDouble() || max.toDouble() <= 0 || raw.toDouble() < 0)
        return std::nullopt;
    QDateTime when = QDateTime::fromString(statement.value(QLatin1String("timestamp")).toString(), Qt::ISODateWithMs);
    if (!when.isValid())
        when = QDateTime::currentDateTime();
    QJsonObject out{{"userId", sub},
                    {"scoreGiven", raw.toDouble()},
                    {"scoreMaximum", max.toDouble()},
                    {"activityProgress", "Completed"},
                    {"gradingProgress", "FullyGraded"},
                    {"timestamp", Iso(when)}};
    // The marks line: the result's response, or an extension of the marks.
    QString marks = result.value(QLatin1String("response")).toString();
    const QJsonObject extensions = result.value(QLatin1String("extensions")).toObject();
    for (auto it = extensions.begin(); marks.isEmpty() && it != extensions.end(); ++it)
        if (it.key().endsWith(QLatin1String("/marks")) && it.value().isString())
            marks = it.value().toString();
    if (!marks.isEmpty())
        out.insert(QStringLiteral("comment"), marks.left(1000));
    return out;
}

void Scores::Took(const Session& session, const QJsonObject& statement)
{
    if (session.lineItem.isEmpty())
        return;
    const auto score = ScoreOf(statement, session.sub);
    if (!score)
        return;
    const Platform* platform = settings_.Find(session.issuer, session.clientId);
    if (!platform || platform->tokenUrl.isEmpty()) {
        log_(QStringLiteral("a score for platform %1 is not posted: it has no tokenUrl")
                 .arg(platform ? platform->name : session.issuer));
        return;
    }
    // One file a statement: the same statement sent twice is posted once.
    QString id = statement.value(QLatin1String("id")).toString();
    if (id.isEmpty())
        id = QString::fromLatin1(crypto::Base64Url(crypto::Random(16)));
    const QString name = QString::fromLatin1(
        crypto::Sha256((session.lineItem + u'\n' + session.sub + u'\n' + id).toUtf8()).toHex().left(32));
    const QDir dir(settings_.spool);
    if (sent_.contains(name) || !dir.entryList({QStringLiteral("*-") + name + QStringLiteral(".json")}, QDir::Files).isEmpty())
        return;
    const QJsonObject item{{"issuer", session.issuer}, {"clientId", session.clientId},
                           {"url", ScoresUrl(QUrl(session.lineItem)).toString(QUrl::FullyEncoded)}, {"score", *score}};
    QSaveFile file(dir.filePath(QString::number(QDateTime::currentMSecsSinceEpoch()) + u'-' + name
                                + QStringLiteral(".json")));
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(item).toJson(QJsonDocument::Compact)) < 0
        || !file.commit()) {
        log_(QStringLiteral("a score cannot be kept in server/spool %1: %2").arg(settings_.spool, file.errorString()));
        return;
    }
    if (!busy_ && !timer_.isActive())
        QTimer::singleShot(0, this, [this] { Pump(); });
}

int Scores::Waiting() const
{
    return QDir(settings_.spool).entryList({QStringLiteral("*.json")}, QDir::Files).size();
}

void Scores::Pump()
{
    if (busy_ || timer_.isActive())
        return;
    const QDir dir(settings_.spool);
    const QStringList files = dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    if (files.isEmpty())
        return;
    const QString file = dir.filePath(files.first());
    QFile f(file);
    const QJsonObject item = f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.read(64 * 1024)).object()
                                                         : QJsonObject();
    const Platform* platform = settings_.Find(item.value(QLatin1String("issuer")).toString(),
                                              item.value(QLatin1String("clientId")).toString());
    if (!platform || platform->tokenUrl.isEmpty() || !item.value(QLatin1String("score")).isObject()) {
        log_(QStringLiteral("a score of the spool is dropped: %1")
                 .arg(platform ? QStringLiteral("it is not a score") : QStringLiteral("its platform is not registered")));
        QFile::remove(file);
        QTimer::singleShot(0, this, [this] { Pump(); });
        return;
    }
    busy_ = true;
    Send(file, item, false);
}

void Scores::Send(const QString& file, const QJsonObject& item, bool retried)
{
    const Platform* platform = settings_.Find(item.value(QLatin1String("issuer")).toString(),
                                              item.value(QLatin1String("clientId")).toString());
    const QString name = platform->name;
    WithToken(*platform, [this, file, item, retried, name](QByteArray token, QString why) {
        if (token.isEmpty())
            return Failed(file, why);
        QNetworkRequest request(QUrl(item.value(QLatin1String("url")).toString()));
        request.setRawHeader("Authorization", "Bearer " + token);
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/vnd.ims.lis.v1.score+json"));
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        const QByteArray body = QJsonDocument(item.value(QLatin1String("score")).toObject()).toJson(QJsonDocument::Compact);
        store::Bound(network_->post(request, body), this, kTimeout, 64 * 1024,
                     [this, file, item, retried, name](const store::Answer& a) {
            if (a.status >= 200 && a.status < 300)
                return Done(file);
            if (a.status == 401 && !retried) {
                tokens_.remove(name);
                return Send(file, item, true);
            }
            if (a.status == 0 || a.status == 401 || a.status == 408 || a.status == 429 || a.status >= 500
                || a.status < 400)
                return Failed(file, a.status ? QStringLiteral("the gradebook of platform %1 answered %2").arg(name).arg(a.status)
                                             : QStringLiteral("the gradebook of platform %1 did not answer").arg(name));
            log_(QStringLiteral("the gradebook of platform %1 refused a score (%2): it is dropped").arg(name).arg(a.status));
            Done(file);
        });
    });
}

QByteArray Scores::Assertion(const Platform& platform) const
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const QJsonObject header{{"alg", "RS256"}, {"typ", "JWT"}, {"kid", kid_}};
    const QJsonObject claims{{"iss", platform.clientId}, {"sub", platform.clientId},
                             {"aud", platform.tokenUrl.toString(QUrl::FullyEncoded)},
                             {"jti", QString::fromLatin1(crypto::Base64Url(crypto::Random(18)))},
                             {"iat", double(now)}, {"exp", double(now + kAssertionSeconds)}};
    const QByteArray input = jwt::SigningInput(header, claims);
    return input + '.' + crypto::Base64Url(crypto::SignRs256(toolKey_, input));
}

void Scores::WithToken(const Platform& platform, std::function<void(QByteArray, QString)> then)
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const auto it = tokens_.constFind(platform.name);
    if (it != tokens_.constEnd() && it->until > now)
        return then(it->value, {});
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("grant_type"), QStringLiteral("client_credentials"));
    form.addQueryItem(QStringLiteral("client_assertion_type"),
                      QStringLiteral("urn:ietf:params:oauth:client-assertion-type:jwt-bearer"));
    form.addQueryItem(QStringLiteral("client_assertion"), QString::fromLatin1(Assertion(platform)));
    form.addQueryItem(QStringLiteral("scope"), kScope);
    QNetworkRequest request(platform.tokenUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/x-www-form-urlencoded"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    const QString name = platform.name;
    store::Bound(network_->post(request, form.toString(QUrl::FullyEncoded).toLatin1()), this, kTimeout, 64 * 1024,
                 [this, name, then](const store::Answer& a) {
        const QJsonObject o = QJsonDocument::fromJson(a.body).object();
        const QByteArray token = o.value(QLatin1String("access_token")).toString().toLatin1();
        if (a.status != 200 || token.isEmpty())
            return then({}, a.status ? QStringLiteral("the token endpoint of platform %1 answered %2 without a token")
                                           .arg(name).arg(a.status)
                                     : QStringLiteral("the token endpoint of platform %1 did not answer").arg(name));
        const int seconds = o.value(QLatin1String("expires_in")).toInt(3600);
        tokens_.insert(name, {token, QDateTime::currentSecsSinceEpoch() + std::max(0, seconds - 30)});
        then(token, {});
    });
}

void Scores::Failed(const QString&, const QString& why)
{
    busy_ = false;
    // One line when the gradebook stops taking scores, not one a try.
    if (delayMs_ == 0)
        log_(why + QStringLiteral(": the scores wait in the spool and are sent again"));
    delayMs_ = std::min(kLastRetryMs, std::max(kFirstRetryMs, delayMs_ * 2));
    timer_.start(delayMs_);
}

void Scores::Done(const QString& file)
{
    busy_ = false;
    delayMs_ = 0;
    if (sent_.size() > 100000)
        sent_.clear();
    sent_.insert(QFileInfo(file).completeBaseName().section(u'-', 1));
    QFile::remove(file);
    QTimer::singleShot(0, this, [this] { Pump(); });
}

} // namespace server
