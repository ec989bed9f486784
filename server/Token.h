// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "server/Crypto.h"
#include "server/Settings.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>

class QNetworkAccessManager;
class QObject;

namespace server {

// The platform's access tokens for the tool's calls to its services, by the client-credentials
// grant with a client assertion the tool signs (iss and sub the client id, aud the token URL,
// a unique jti, a short exp). A token is kept per platform and scope until shortly before it
// expires; the token and the assertion are never logged.
class Tokens
{
public:
    // `context` receives the answers; `now` gives seconds since the epoch.
    Tokens(QNetworkAccessManager* network, QObject* context, crypto::Key toolKey, std::function<qint64()> now);

    // Gives `callback` the access token of `scope` at `platform`, or an empty token and why.
    void FetchToken(const Platform& platform, const QString& scope,
                    std::function<void(QByteArray token, QString why)> callback);
    // Forgets the kept token, as when a service refused it (401).
    void Forget(const Platform& platform, const QString& scope);

    // The signed client assertion for `platform` (its jti new each time).
    QByteArray Assertion(const Platform& platform) const;

private:
    struct Kept
    {
        QByteArray token;
        qint64 until = 0;
        bool fetching = false;
        QList<std::function<void(QByteArray, QString)>> waiting;
    };
    QNetworkAccessManager* network_;
    QObject* context_;
    crypto::Key key_;
    QString kid_;
    std::function<qint64()> now_;
    QHash<QString, Kept> kept_;   // by platform name and scope
};

} // namespace server
