// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "server/Crypto.h"
#include "server/Settings.h"

#include <QAbstractHttpServer>
#include <QHash>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>

class QNetworkAccessManager;

namespace server {

class TeacherReport;
class Scores;

// A request as the handlers keep it past the server's own.
struct Call
{
    QByteArray method;         // GET, HEAD, POST, PUT, …
    QUrl url;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    QHostAddress peer;
    QByteArray Header(const QByteArray& name) const;
    QByteArray Cookie(const QByteArray& name) const;
};

struct Reply
{
    int status = 200;
    QByteArray type;           // Content-Type
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
};

using Done = std::function<void(Reply)>;

// What a session carries: who was launched from where, and until when.
struct Session
{
    QString issuer, clientId, sub, homePage, grouping, id;
    QString lineItem;          // the gradebook's column of this link, where the launch may post scores
    qint64 expires = 0;
};

// porome-server: the page, the portal's launch and the store's proxy, on one Qt HTTP server.
class Server : public QAbstractHttpServer
{
public:
    Server(Settings settings, crypto::Key toolKey, QObject* parent = nullptr);
    ~Server() override;

    // Seconds since the epoch; the tests move it.
    void SetClock(std::function<qint64()> now) { now_ = std::move(now); }
    // One line for each refused launch and each failure; standard error by default.
    void SetLog(std::function<void(const QString&)> log) { log_ = std::move(log); }
    // How long the proxy waits for the store: shorter than the page's own 30 s, so that the
    // page hears the proxy's answer and keeps its statements for the next try.
    void SetStoreTimeout(std::chrono::milliseconds timeout) { storeTimeout_ = timeout; }
    // Listens where the settings say (TLS where they name a certificate); false and `why` when
    // it cannot.
    bool Start(QString* why);
    quint16 Port() const { return port_; }

    // The session's token for a pupil, and a token back into its session (nullopt when it is
    // not one of this tool's, or has expired).
    QByteArray MakeSession(const Session& session) const;
    std::optional<Session> ReadSession(const QByteArray& token) const;

    // Limits of what a request may bring.
    static constexpr qsizetype kMaxForm = 128 * 1024;
    static constexpr qsizetype kMaxStatementsBody = 2 * 1024 * 1024;
    static constexpr int kMaxStatements = 100;
    static constexpr int kSkewSeconds = 60;
    static constexpr int kStateSeconds = 600;
    static constexpr int kJwksSeconds = 60;

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    friend class TeacherReport;
    // The class report of teachers' launches (TeacherReport.cpp).
    TeacherReport& Teacher();
    void Route(const Call& call, Done done);
    Reply StaticFile(const Call& call) const;
    Reply Jwks() const;
    Reply Login(const Call& call);
    void Launch(const Call& call, Done done);
    void Proceed(const Call& call, const Platform& platform, const QJsonObject& claims, const QByteArray& nonce,
                 Done done);
    void Statements(const Call& call, Done done);

    // The platform's key of `kid`, fetching its JWKS where it has none of that kid and has not
    // been fetched within a minute.
    void KeyFor(const Platform& platform, const QString& kid, std::function<void(crypto::Key, QString)> then);
    QByteArray MakeState(const QByteArray& nonce, const Platform& platform) const;
    std::optional<QJsonObject> ReadState(const QByteArray& state, QString* why) const;
    bool OnThisServer(const QUrl& url) const;
    Reply LaunchPage(const QJsonObject& launch, const QByteArray& session) const;
    void Log(const QString& line) const;
    qint64 Now() const { return now_(); }

    Settings settings_;
    crypto::Key toolKey_;
    QJsonObject toolJwk_;
    QByteArray stateKey_, sessionKey_;
    std::function<qint64()> now_;
    std::function<void(const QString&)> log_;
    QNetworkAccessManager* network_ = nullptr;
    Scores* scores_ = nullptr;
    quint16 port_ = 0;
    std::chrono::milliseconds storeTimeout_ = std::chrono::seconds(20);

    struct KeySet
    {
        QHash<QString, crypto::Key> keys;
        qint64 fetched = -1;
        bool fetching = false;
        QList<std::function<void()>> waiting;
    };
    QHash<QString, KeySet> keySets_;     // by the platform's name
    QHash<QByteArray, qint64> usedNonces_;   // nonce -> until when it is kept
    struct Bucket
    {
        double tokens = 0;
        qint64 at = 0;
    };
    QHash<QString, Bucket> rates_;       // by session id
    std::shared_ptr<TeacherReport> teacher_;
};

} // namespace server
