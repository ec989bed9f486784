// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "server/Crypto.h"
#include "server/Settings.h"

#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <optional>

class QNetworkAccessManager;

namespace server {

struct Session;

// The marks of the exercises the pupils end, to the portal's gradebook: each one a file of the
// spool until the gradebook has taken it, sent with an access token of the client-credentials
// grant (a client assertion signed by the tool's key), retried with backoff.
class Scores : public QObject
{
public:
    static const QString kScope;   // the scope of posting scores
    static constexpr int kFirstRetryMs = 1000, kLastRetryMs = 30000;

    Scores(const Settings& settings, crypto::Key toolKey, QNetworkAccessManager* network,
           std::function<void(const QString&)> log, QObject* parent);

    // Whether a line item's address is one the server posts to (http or https, bounded).
    static bool Postable(const QString& lineItem);
    // The score of a completed statement of `sub` (nullopt when it is none, or has no score).
    static std::optional<QJsonObject> ScoreOf(const QJsonObject& statement, const QString& sub);
    // The line item's scores: `/scores` added to its path, its query kept.
    static QUrl ScoresUrl(const QUrl& lineItem);

    // The store took `statement` of the session's pupil: its score waits in the spool.
    void Took(const Session& session, const QJsonObject& statement);
    // How many scores the spool holds.
    int Waiting() const;

private:
    struct Token
    {
        QByteArray value;
        qint64 until = 0;
    };
    void Pump();
    void Send(const QString& file, const QJsonObject& item, bool retried);
    void WithToken(const Platform& platform, std::function<void(QByteArray, QString)> then);
    void Failed(const QString& file, const QString& why);
    void Done(const QString& file);
    QByteArray Assertion(const Platform& platform) const;

    const Settings& settings_;
    crypto::Key toolKey_;
    QString kid_;
    QNetworkAccessManager* network_;
    std::function<void(const QString&)> log_;
    QTimer timer_;
    bool busy_ = false;
    int delayMs_ = 0;                       // the backoff after the last failure
    QHash<QString, Token> tokens_;          // by the platform's name
    QSet<QString> sent_;                    // the names of the scores sent since the start
};

} // namespace server
