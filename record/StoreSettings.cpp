// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/StoreSettings.h"

#include "xapi/Statements.h"

#include <QHostAddress>
#include <QSettings>

namespace {

bool Loopback(const QString& host)
{
    return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 || QHostAddress(host).isLoopback();
}

} // namespace

StoreSettings StoreSettings::Read(const QSettings& settings)
{
    const auto text = [&](const char* key) {
        return settings.value(QLatin1String("lrs/") + QLatin1String(key)).toString().trimmed();
    };
    StoreSettings s;
    const QString endpoint = text("endpoint");
    if (!endpoint.isEmpty()) {
        s.endpoint = QUrl(endpoint);
        // The endpoint is the base that "statements" is put after.
        if (s.endpoint.isValid() && !s.endpoint.path().endsWith(QLatin1Char('/')))
            s.endpoint.setPath(s.endpoint.path() + QLatin1Char('/'));
    }
    s.key = settings.value(QStringLiteral("lrs/key")).toString();
    s.secret = settings.value(QStringLiteral("lrs/secret")).toString();
    s.homePage = text("homePage");
    s.activityBase = text("activityBase");
    s.sharedLogins = settings.value(QStringLiteral("lrs/sharedLogins"), false).toBool();
    return s;
}

QString StoreSettings::Problem() const
{
    if (!Configured())
        return QStringLiteral("lrs/endpoint is not set");
    // Shown without what may hold a credential: a user, a password, a query.
    const QString shown = endpoint.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment);
    const QString scheme = endpoint.scheme().toLower();
    if (!endpoint.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        || endpoint.host().isEmpty())
        return QStringLiteral("lrs/endpoint \"%1\" is not an https:// address").arg(shown);
    if (!endpoint.userInfo().isEmpty())
        return QStringLiteral("lrs/endpoint \"%1\" holds a user name or password: put them into lrs/key and lrs/secret")
            .arg(shown);
    if (scheme == QLatin1String("http") && !Loopback(endpoint.host()))
        return QStringLiteral("lrs/endpoint \"%1\" is plain http:// to another computer: use https://, so that the key "
                              "and secret are not sent in the clear")
            .arg(shown);
    if (homePage.isEmpty())
        return QStringLiteral("lrs/homePage is not set (the school's IRI, such as https://school.example.jp/)");
    if (!xapi::IsIri(homePage))
        return QStringLiteral("lrs/homePage \"%1\" is not an IRI (such as https://school.example.jp/)").arg(homePage);
    if (!activityBase.isEmpty() && !xapi::IsIri(activityBase))
        return QStringLiteral("lrs/activityBase \"%1\" is not an IRI").arg(activityBase);
    return {};
}

QByteArray StoreSettings::Authorization() const
{
    if (key.isEmpty() && secret.isEmpty())
        return {};
    return "Basic " + (key + QLatin1Char(':') + secret).toUtf8().toBase64();
}
