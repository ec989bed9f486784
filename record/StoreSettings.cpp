// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/StoreSettings.h"

#include "xapi/Endpoint.h"
#include "xapi/Statements.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

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
    if (const QString why = xapi::CredentialProblem(endpoint); !why.isEmpty())
        return QStringLiteral("lrs/endpoint \"%1\" %2").arg(shown, why);
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

ReadKey ReadKey::FromSettings()
{
    // The user's own file (HKCU) alone: with fallbacks, QSettings would also give the values
    // of the machine-wide one.
    QSettings user;
    user.setFallbacksEnabled(false);
    const QSettings machine(QSettings::SystemScope, QCoreApplication::organizationName(),
                            QCoreApplication::applicationName());
    const auto where = [](const QSettings& s) { return QDir::toNativeSeparators(s.fileName()); };
    ReadKey k;
    if (machine.contains(QStringLiteral("lrs/readKey")) || machine.contains(QStringLiteral("lrs/readSecret"))) {
        k.problem = QStringLiteral("lrs/readKey in %1 is refused: those are the settings of every account, which "
                                   "every pupil can read. Move it into the teacher's own settings %2, and give the "
                                   "store a new read key, since the old one may have been read")
                        .arg(where(machine), where(user));
        return k;
    }
    k.key = user.value(QStringLiteral("lrs/readKey")).toString();
    k.secret = user.value(QStringLiteral("lrs/readSecret")).toString();
    if (k.key.isEmpty() && k.secret.isEmpty())
        k.problem = QStringLiteral("no key to read the learning record store: put lrs/readKey and lrs/readSecret into "
                                   "your own settings %1 (lrs/key and lrs/secret are for writing only), "
                                   "or give --lrs-key and --lrs-secret")
                        .arg(where(user));
    return k;
}
