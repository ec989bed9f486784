// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/StoreSource.h"
#include "xapi/Endpoint.h"
#include "xapi/Statements.h"
#include "record/Row.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSet>
#include <QTimer>
#include <QUrlQuery>

#include <algorithm>
#include <map>
#include <memory>

namespace report {
namespace {

constexpr int kLevels = 22;

struct Page
{
    QJsonArray statements;
    QString more;
};

// The endpoint as it may be shown: no user, no password, no query.
QString Shown(const QUrl& url)
{
    return url.toString(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment);
}

// One GET, bounded in time and size. Says why in `error` on failure.
bool Get(QNetworkAccessManager& net, const QUrl& url, const StoreQuery& q, Page* page, QString* error)
{
    QNetworkRequest request(url);
    request.setRawHeader("X-Experience-API-Version", "1.0.3");
    request.setRawHeader("Accept", "application/json");
    if (!q.key.isEmpty() || !q.secret.isEmpty())
        request.setRawHeader("Authorization",
                             "Basic " + (q.key + QLatin1Char(':') + q.secret).toUtf8().toBase64());
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(q.timeoutMs);
    std::unique_ptr<QNetworkReply> reply(net.get(request));
    QEventLoop loop;
    bool tooBig = false;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply.get(), &QNetworkReply::downloadProgress, &loop, [&](qint64 received, qint64) {
        if (received > q.maxBody) {
            tooBig = true;
            reply->abort();
        }
    });
    QTimer::singleShot(q.timeoutMs + 1000, &loop, [&] { reply->abort(); });
    if (!reply->isFinished())
        loop.exec();
    const QString where = Shown(url);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (tooBig) {
        *error = QStringLiteral("the store at %1 answered more than %2 bytes").arg(where).arg(q.maxBody);
        return false;
    }
    if (status == 401 || status == 403) {
        *error = QStringLiteral("the store at %1 refused the key (HTTP %2)").arg(where).arg(status);
        return false;
    }
    if (status != 200) {
        *error = status ? QStringLiteral("the store at %1 answered HTTP %2").arg(where).arg(status)
                        : QStringLiteral("the store at %1 cannot be reached (%2)").arg(where, reply->errorString());
        return false;
    }
    const QByteArray body = reply->readAll();
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parse);
    if (parse.error != QJsonParseError::NoError || !doc.isObject() || !doc.object().value(QStringLiteral("statements")).isArray()) {
        *error = QStringLiteral("the store at %1 answered something that is not a list of statements").arg(where);
        return false;
    }
    page->statements = doc.object().value(QStringLiteral("statements")).toArray();
    page->more = doc.object().value(QStringLiteral("more")).toString();
    return true;
}

// The statement's exercise: its grouping activity under <base>/exercises/.
QString ExerciseOf(const QJsonObject& statement)
{
    const QJsonArray grouping = statement.value(QStringLiteral("context")).toObject()
                                    .value(QStringLiteral("contextActivities")).toObject()
                                    .value(QStringLiteral("grouping")).toArray();
    for (const QJsonValue& g : grouping) {
        const QString id = g.toObject().value(QStringLiteral("id")).toString();
        if (id.contains(QStringLiteral("/exercises/")))
            return id;
    }
    return {};
}

QString WithoutTrailingSlash(QString iri)
{
    while (iri.endsWith(QLatin1Char('/')))
        iri.chop(1);
    return iri;
}

// One of the school's own pupils, on one of the school's own levels: the actor's account is
// at the school's homePage, and the statement's level is `levelId` under the school's base.
// A board's store holds every school's statements, and a store may answer more than asked.
bool Ours(const QJsonObject& statement, const QString& homePage, const QString& levelId)
{
    const QString home = statement.value(QStringLiteral("actor")).toObject().value(QStringLiteral("account")).toObject()
                             .value(QStringLiteral("homePage")).toString();
    if (WithoutTrailingSlash(home) != homePage)
        return false;
    const QJsonArray parent = statement.value(QStringLiteral("context")).toObject()
                                  .value(QStringLiteral("contextActivities")).toObject()
                                  .value(QStringLiteral("parent")).toArray();
    return std::any_of(parent.begin(), parent.end(), [&](const QJsonValue& a) {
        return a.toObject().value(QStringLiteral("id")).toString() == levelId;
    });
}

// One of the class's statements: its grouping names the class, its actor is at the
// platform's homePage and its level is one of `levelIds`.
bool OfClass(const QJsonObject& statement, const QString& homePage, const QString& grouping, const QStringList& levelIds)
{
    const QString home = statement.value(QStringLiteral("actor")).toObject().value(QStringLiteral("account")).toObject()
                             .value(QStringLiteral("homePage")).toString();
    if (WithoutTrailingSlash(home) != homePage)
        return false;
    const QJsonObject activities = statement.value(QStringLiteral("context")).toObject()
                                       .value(QStringLiteral("contextActivities")).toObject();
    const auto names = [&](const char* kind, const auto& wanted) {
        const QJsonArray list = activities.value(QLatin1String(kind)).toArray();
        return std::any_of(list.begin(), list.end(), [&](const QJsonValue& a) {
            return wanted(a.toObject().value(QStringLiteral("id")).toString());
        });
    };
    return names("grouping", [&](const QString& id) { return id == grouping; })
        && names("parent", [&](const QString& id) { return levelIds.contains(id); });
}

} // namespace

bool ReadStore(const StoreQuery& q, SummaryBuilder& builder, QString* error)
{
    // Whatever the address held as a user or password is never sent.
    QUrl base = q.endpoint;
    base.setUserInfo({});
    if (const QString why = xapi::CredentialProblem(base); !why.isEmpty()) {
        *error = QStringLiteral("the store's address %1 %2").arg(Shown(base), why);
        return false;
    }
    const QString homePage = WithoutTrailingSlash(q.homePage);
    if (homePage.isEmpty()) {
        *error = QStringLiteral("lrs/homePage is not set: the report reads only the school's own pupils, whose "
                                "accounts name it (such as https://school.example.jp/)");
        return false;
    }
    if (!base.path().endsWith(QLatin1Char('/')))
        base.setPath(base.path() + QLatin1Char('/'));
    const QString activityBase = q.activityBase.isEmpty() ? xapi::DefaultActivityBase() : q.activityBase;

    QNetworkAccessManager net;
    // Per exercise, its rows with their moments; a statement met twice counts once.
    std::map<QString, std::vector<record::Row>> exercises;
    QSet<QString> seen;
    int pages = 0;
    // The class's statements in one query; else each level's, verb by verb.
    const bool byClass = !q.grouping.isEmpty();
    QStringList levelIds;
    for (int level = 1; level <= kLevels; ++level)
        levelIds << xapi::LevelActivityId(activityBase, level);
    for (int level = 1; level <= (byClass ? 1 : kLevels); ++level) {
        for (const QString& verb : byClass ? QStringList{QString()} : QStringList{xapi::AnsweredVerb(), xapi::ViewedVerb()}) {
            QUrl url = base.resolved(QUrl(QStringLiteral("statements")));
            const QString levelId = levelIds[level - 1];
            QUrlQuery query;
            query.addQueryItem(QStringLiteral("activity"), byClass ? q.grouping : levelId);
            query.addQueryItem(QStringLiteral("related_activities"), QStringLiteral("true"));
            if (!byClass)
                query.addQueryItem(QStringLiteral("verb"), verb);
            else // a school year of a class is some 200,000 statements: large pages, few round trips
                query.addQueryItem(QStringLiteral("limit"), QStringLiteral("1000"));
            if (q.since.isValid())
                query.addQueryItem(QStringLiteral("since"), q.since.toUTC().toString(Qt::ISODateWithMs));
            // QUrlQuery leaves ':' and '/' as they are; '+' of an offset must not become a blank.
            url.setQuery(query.toString(QUrl::FullyEncoded).replace(QLatin1Char('+'), QStringLiteral("%2B")));
            for (;;) {
                if (++pages > q.maxPages) {
                    *error = QStringLiteral("the store at %1 gave more than %2 pages").arg(Shown(base)).arg(q.maxPages);
                    return false;
                }
                Page page;
                if (!Get(net, url, q, &page, error))
                    return false;
                for (const QJsonValue& v : page.statements) {
                    const QJsonObject st = v.toObject();
                    if (byClass ? !OfClass(st, homePage, q.grouping, levelIds) : !Ours(st, homePage, levelId))
                        continue;
                    const QString id = st.value(QStringLiteral("id")).toString();
                    if (!id.isEmpty() && seen.contains(id))
                        continue;
                    seen.insert(id);
                    std::optional<record::Row> row = xapi::RowOf(st);
                    if (!row)
                        continue;
                    if (const auto name = q.names.constFind(row->fields[record::Login]); name != q.names.cend())
                        row->fields[record::Login] = *name;
                    const QDateTime when = QDateTime::fromString(st.value(QStringLiteral("timestamp")).toString(), Qt::ISODateWithMs);
                    // `since` asks by when the store took a statement; the report by when it was made.
                    if (q.since.isValid() && (!when.isValid() || when < q.since))
                        continue;
                    exercises[ExerciseOf(st)].push_back(*row);
                }
                if (page.more.isEmpty())
                    break;
                // `more` is a path on the store's host, not below the endpoint.
                const QUrl next = base.resolved(QUrl(page.more));
                if (next.host() != base.host() || next.port() != base.port() || next.scheme() != base.scheme()) {
                    *error = QStringLiteral("the store at %1 sent its next page elsewhere").arg(Shown(base));
                    return false;
                }
                url = next;
            }
        }
    }
    for (auto& [exercise, rows] : exercises) {
        std::stable_sort(rows.begin(), rows.end(), [](const record::Row& a, const record::Row& b) { return a.when < b.when; });
        std::vector<QStringList> fields;
        fields.reserve(rows.size());
        for (const record::Row& r : rows)
            fields.push_back(r.fields);
        builder.AddRun(fields);
    }
    return true;
}

} // namespace report
