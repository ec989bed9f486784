// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "record/StoreSettings.h"

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace server {

// One portal registered with the tool: a [platform.NAME] section.
struct Platform
{
    QString name;             // NAME of the section
    QString issuer;           // the id_token's iss
    QString clientId;         // the tool's client id at this platform
    QUrl authUrl, tokenUrl, jwksUrl;
    QStringList deploymentIds;
    QString homePage;         // the pupils' account.homePage; default the issuer
};

// The settings file of porome-server (default /etc/porome/server.ini).
struct Settings
{
    QHostAddress listenAddress;
    quint16 listenPort = 0;
    QUrl publicUrl;           // the address the portal and the browsers use, without a trailing /
    QString page;             // the page's folder
    QString keyFile;          // the tool's private key (PEM), made at first start
    QString spool;            // the scores waiting for a gradebook; default "scores" beside the key
    QList<QPair<QHostAddress, int>> trustedProxies;
    QString tlsCertificate, tlsKey;
    int sessionHours = 12;
    StoreSettings lrs;        // endpoint, key, secret, activityBase
    QList<Platform> platforms;
    QString roster, rosterMatch;   // [report] roster (OneRoster CSV zip or folder) and match

    bool Tls() const { return !tlsCertificate.isEmpty(); }
    bool Trusted(const QHostAddress& peer) const;
    // The platform of an issuer and (where given) a client id; null when none is registered.
    const Platform* Find(const QString& issuer, const QString& clientId = {}) const;
};

// The settings read from the text of a file; nullopt and `problem` one line naming the wrong
// or missing setting.
std::optional<Settings> ParseSettings(const QByteArray& text, QString* problem);
std::optional<Settings> ReadSettings(const QString& file, QString* problem);

} // namespace server
