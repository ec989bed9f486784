// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/Launch.h"

#include "xapi/Endpoint.h"
#include "xapi/Statements.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QUuid>

namespace page {

namespace {

constexpr int kLevels = 22;

// An address as the console may show it: no user, password or query, which may hold a
// credential.
QString Shown(const QUrl& url)
{
    return url.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment);
}

bool NamesSomebody(const QJsonObject& actor)
{
    const QJsonObject account = actor.value(QStringLiteral("account")).toObject();
    if (!account.value(QStringLiteral("homePage")).toString().isEmpty()
        && !account.value(QStringLiteral("name")).toString().isEmpty())
        return true;
    for (const char* key : {"mbox", "mbox_sha1sum", "openid"})
        if (!actor.value(QLatin1String(key)).toString().isEmpty())
            return true;
    return false;
}

// The level a launch opens: level=N, or an activity id that is one of the levels'.
int LevelOf(const QHash<QString, QString>& params, const QString& base, QStringList& problems)
{
    if (params.contains(QStringLiteral("level"))) {
        bool ok = false;
        const int n = params.value(QStringLiteral("level")).toInt(&ok);
        if (ok && n >= 1 && n <= kLevels)
            return n;
        problems << QStringLiteral("porome: level=%1 is not a level (1 to %2); the menu opens.")
                        .arg(params.value(QStringLiteral("level")).left(20))
                        .arg(kLevels);
    }
    const QString id = params.value(QStringLiteral("activity_id"));
    if (!id.isEmpty())
        for (int n = 1; n <= kLevels; ++n)
            if (id == xapi::LevelActivityId(base.isEmpty() ? xapi::DefaultActivityBase() : base, n))
                return n;
    return 0;
}

struct Config
{
    bool usable = true;
    QJsonObject keys;
};

Config ReadConfig(const std::optional<QByteArray>& text, QStringList& problems)
{
    Config c;
    if (!text)
        return c;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(*text, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        problems << (error.error != QJsonParseError::NoError
                         ? QStringLiteral("porome: porome-config.json does not parse (%1 at character %2): nothing is "
                                          "kept or sent.")
                               .arg(error.errorString())
                               .arg(error.offset)
                         : QStringLiteral("porome: porome-config.json is not a JSON object: nothing is kept or sent."));
        c.usable = false;
        return c;
    }
    c.keys = doc.object();
    for (auto it = c.keys.constBegin(); it != c.keys.constEnd(); ++it)
        if (!it->isString()) {
            problems << QStringLiteral("porome: porome-config.json: \"%1\" is not a text: nothing is kept or sent.")
                            .arg(it.key());
            c.usable = false;
        }
    return c;
}

} // namespace

const QStringList& LaunchParameters()
{
    static const QStringList names{QStringLiteral("endpoint"),    QStringLiteral("auth"),
                                   QStringLiteral("actor"),       QStringLiteral("registration"),
                                   QStringLiteral("activity_id"), QStringLiteral("fetch"),
                                   QStringLiteral("level")};
    return names;
}

bool UsableAddress(const QUrl& url, QString* why)
{
    // The same rule as the desktop's sender and report.
    *why = xapi::CredentialProblem(url);
    return why->isEmpty();
}

Launch ReadLaunch(const LaunchInput& input)
{
    Launch l;
    const QHash<QString, QString>& p = input.params;
    const Config config = ReadConfig(input.config, l.problems);
    const auto value = [&](const char* key) {
        const QString name = QLatin1String(key);
        return p.contains(name) ? p.value(name) : config.keys.value(name).toString();
    };
    l.activityBase = config.keys.value(QStringLiteral("activityBase")).toString();
    l.homePage = config.keys.value(QStringLiteral("homePage")).toString();
    l.level = LevelOf(p, l.activityBase, l.problems);
    if (!config.usable)
        return l;

    const QString mode = config.keys.value(QStringLiteral("record")).toString();
    const QString endpoint = value("endpoint");
    if (mode == QLatin1String("download"))
        l.record = Record::Download;
    else if (!mode.isEmpty() && mode != QLatin1String("store")) {
        l.problems << QStringLiteral("porome: porome-config.json: \"record\" is \"%1\", neither \"store\" nor "
                                     "\"download\": nothing is kept or sent.")
                          .arg(mode.left(40));
        return l;
    } else if (!endpoint.isEmpty())
        l.record = Record::Store;
    else
        return l;

    const auto refuse = [&l](const QString& why) {
        l.problems << QStringLiteral("porome: ") + why + QStringLiteral(": nothing is kept or sent.");
        l.record = Record::None;
        l.endpoint.clear();
        l.auth.clear();
        l.fetch.clear();
        return l;
    };
    if (!input.storage)
        return refuse(QStringLiteral("the browser keeps nothing for this page (IndexedDB refused, as in a private "
                                     "window)"));
    if (!l.activityBase.isEmpty() && !xapi::IsIri(l.activityBase))
        return refuse(QStringLiteral("the activity base is not an IRI"));
    if (!l.homePage.isEmpty() && !xapi::IsIri(l.homePage))
        return refuse(QStringLiteral("homePage is not an IRI"));

    const QString actor = p.value(QStringLiteral("actor"));
    if (!actor.isEmpty()) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(actor.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject())
            return refuse(QStringLiteral("the launch's actor is not a JSON object"));
        if (!NamesSomebody(doc.object()))
            return refuse(QStringLiteral("the launch's actor names nobody (no account with homePage and name)"));
        l.actor = doc.object();
    }

    const QString registration = p.value(QStringLiteral("registration"));
    if (!registration.isEmpty()) {
        if (QUuid::fromString(registration).isNull())
            l.problems << QStringLiteral("porome: the launch's registration is not a UUID; statements go without it.");
        else
            l.registration = QUuid::fromString(registration).toString(QUuid::WithoutBraces);
    }

    if (l.record == Record::Download)
        return l;

    if (l.actor.isEmpty())
        return refuse(QStringLiteral("the launch names no actor, so the page cannot know who drills"));
    QString why;
    QUrl url(endpoint, QUrl::StrictMode);
    if (!UsableAddress(url, &why))
        return refuse(QStringLiteral("the endpoint %1 %2").arg(Shown(url).left(200), why));
    if (!url.path().endsWith(QLatin1Char('/')))
        url.setPath(url.path() + QLatin1Char('/'));
    l.endpoint = url;
    l.auth = value("auth");
    const QString fetch = p.value(QStringLiteral("fetch"));
    if (l.auth.isEmpty() && !fetch.isEmpty()) {
        const QUrl f(fetch, QUrl::StrictMode);
        if (!UsableAddress(f, &why))
            return refuse(QStringLiteral("the fetch address %1 %2").arg(Shown(f).left(200), why));
        l.fetch = f;
    }
    return l;
}

} // namespace page
