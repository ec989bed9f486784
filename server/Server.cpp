// SPDX-License-Identifier: GPL-3.0-or-later
#include "server/Server.h"

#include "server/Jwt.h"
#include "server/TeacherReport.h"
#include "server/Scores.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslServer>
#include <QSslKey>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>

namespace server {

namespace {

const char* MethodName(QHttpServerRequest::Method m)
{
    switch (m) {
    case QHttpServerRequest::Method::Get: return "GET";
    case QHttpServerRequest::Method::Head: return "HEAD";
    case QHttpServerRequest::Method::Post: return "POST";
    case QHttpServerRequest::Method::Put: return "PUT";
    case QHttpServerRequest::Method::Delete: return "DELETE";
    case QHttpServerRequest::Method::Options: return "OPTIONS";
    case QHttpServerRequest::Method::Patch: return "PATCH";
    default: return "OTHER";
    }
}

QByteArray MediaType(const QString& name)
{
    static const QHash<QString, QByteArray> types{
        {"html", "text/html; charset=utf-8"}, {"js", "text/javascript; charset=utf-8"},
        {"mjs", "text/javascript; charset=utf-8"}, {"wasm", "application/wasm"},
        {"json", "application/json"}, {"webmanifest", "application/manifest+json"},
        {"css", "text/css; charset=utf-8"}, {"svg", "image/svg+xml"}, {"png", "image/png"},
        {"ico", "image/x-icon"}, {"txt", "text/plain; charset=utf-8"}, {"woff2", "font/woff2"},
        {"ttf", "font/ttf"}, {"otf", "font/otf"}, {"data", "application/octet-stream"}};
    return types.value(QFileInfo(name).suffix().toLower(), "application/octet-stream");
}

// Whether Accept-Encoding takes `coding` (a q of 0 refuses it).
bool Accepts(const QByteArray& acceptEncoding, const QByteArray& coding)
{
    for (const QByteArray& part : acceptEncoding.split(',')) {
        const QList<QByteArray> bits = part.split(';');
        if (bits[0].trimmed().toLower() != coding)
            continue;
        for (const QByteArray& b : bits.mid(1))
            if (b.trimmed().startsWith("q=") && b.trimmed().mid(2).toDouble() <= 0)
                return false;
        return true;
    }
    return false;
}

Reply Text(int status, const QByteArray& text)
{
    return {status, "text/plain; charset=utf-8", text, {}};
}

} // namespace

QByteArray Call::Header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

QByteArray Call::Cookie(const QByteArray& name) const
{
    for (const auto& [key, value] : headers) {
        if (key.compare("cookie", Qt::CaseInsensitive) != 0)
            continue;
        for (const QByteArray& part : value.split(';')) {
            const QByteArray p = part.trimmed();
            if (p.startsWith(name + '='))
                return p.mid(name.size() + 1);
        }
    }
    return {};
}

Server::Server(Settings settings, crypto::Key toolKey, QObject* parent)
    : QAbstractHttpServer(parent)
    , settings_(std::move(settings))
    , toolKey_(std::move(toolKey))
    , now_([] { return QDateTime::currentSecsSinceEpoch(); })
    , log_([](const QString& line) {
        std::fprintf(stderr, "%s\n", line.toUtf8().constData());
        std::fflush(stderr);
    })
    , network_(new QNetworkAccessManager(this))
{
    toolJwk_ = crypto::PublicJwk(toolKey_);
    // The keys of the state and the session come from the tool's key, so every server that
    // shares the key file reads what another one signed.
    const QByteArray der = crypto::PrivateDer(toolKey_);
    stateKey_ = crypto::HmacSha256(der, "porome-server state 1");
    sessionKey_ = crypto::HmacSha256(der, "porome-server session 1");
    network_->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    scores_ = new Scores(settings_, toolKey_, network_, [this](const QString& line) { Log(line); }, this);
}

Server::~Server() = default;

bool Server::Start(QString* why)
{
    // A class that starts at the same moment opens hundreds of connections at once; beyond
    // Qt's 50 waiting to be taken, the system drops them and each browser tries again a
    // second or more later.
    constexpr int kListenBacklog = 1024;
    QTcpServer* tcp = nullptr;
    if (settings_.Tls()) {
        QFile certFile(settings_.tlsCertificate), keyFile(settings_.tlsKey);
        if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
            *why = QStringLiteral("server/tlsCertificate or server/tlsKey cannot be read");
            return false;
        }
        const QSslCertificate cert(&certFile, QSsl::Pem);
        const QByteArray keyPem = keyFile.readAll();
        QSslKey key(keyPem, QSsl::Rsa, QSsl::Pem);
        if (key.isNull())
            key = QSslKey(keyPem, QSsl::Ec, QSsl::Pem);
        if (cert.isNull()) {
            *why = QStringLiteral("server/tlsCertificate %1 is not a PEM certificate").arg(settings_.tlsCertificate);
            return false;
        }
        if (key.isNull()) {
            *why = QStringLiteral("server/tlsKey %1 is not a PEM key without a pass phrase").arg(settings_.tlsKey);
            return false;
        }
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificate(cert);
        tls.setPrivateKey(key);
        tls.setAllowedNextProtocols({QSslConfiguration::NextProtocolHttp1_1});
        auto* server = new QSslServer(this);
        server->setSslConfiguration(tls);
        tcp = server;
    } else {
        tcp = new QTcpServer(this);
    }
    tcp->setListenBacklogSize(kListenBacklog);
    if (tcp->listen(settings_.listenAddress, settings_.listenPort)) {
        bind(tcp);
        port_ = tcp->serverPort();
    } else {
        delete tcp;
    }
    if (port_ == 0) {
        *why = QStringLiteral("server/listen %1:%2: cannot listen there")
                   .arg(settings_.listenAddress.toString())
                   .arg(settings_.listenPort);
        return false;
    }
    return true;
}

void Server::Log(const QString& line) const
{
    log_(QStringLiteral("porome-server: ") + line);
}

bool Server::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    Call call;
    call.method = MethodName(request.method());
    call.url = request.url();
    call.headers = request.headers();
    call.body = request.body();
    call.peer = request.remoteAddress();
    auto responder = std::make_shared<QHttpServerResponder>(makeResponder(request, socket));
    QPointer<QTcpSocket> alive(socket);
    const bool head = call.method == "HEAD";
    const Done done = [responder, alive, head](Reply r) {
        if (!alive || !alive->isOpen())
            return;
        responder->writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(r.status));
        if (!r.type.isEmpty())
            responder->writeHeader("Content-Type", r.type);
        responder->writeHeader("Content-Length", QByteArray::number(r.body.size()));
        responder->writeHeader("X-Content-Type-Options", "nosniff");
        for (const auto& [key, value] : r.headers)
            responder->writeHeader(key, value);
        if (!head && !r.body.isEmpty())
            responder->writeBody(r.body);
        else
            responder->writeBody(QByteArray());
    };
    // Plain http from another computer only through a proxy the settings trust.
    if (!settings_.Tls() && !call.peer.isLoopback() && !settings_.Trusted(call.peer)) {
        done(Text(403, "porome-server answers other computers only over https\n"));
        return true;
    }
    Route(call, done);
    return true;
}

void Server::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}

void Server::Route(const Call& call, Done done)
{
    const QString path = call.url.path();
    if (path == QLatin1String("/health"))
        return done(Text(200, "ok\n"));
    if (path == QLatin1String("/.well-known/jwks.json"))
        return done(Jwks());
    if (path == QLatin1String("/lti/login")) {
        if (call.method != "GET" && call.method != "POST")
            return done(Text(405, "GET or POST\n"));
        return done(Login(call));
    }
    if (path == QLatin1String("/lti/launch"))
        return Launch(call, done);
    if (path == QLatin1String("/xapi/statements"))
        return Statements(call, done);
    if (path == QLatin1String("/report") || path.startsWith(QLatin1String("/report/")))
        return Teacher().Route(call, done);
    if (call.method != "GET" && call.method != "HEAD")
        return done(Text(405, "GET or HEAD\n"));
    done(StaticFile(call));
}

Reply Server::Jwks() const
{
    Reply r{200, "application/json", QJsonDocument(QJsonObject{{"keys", QJsonArray{toolJwk_}}}).toJson(QJsonDocument::Compact), {}};
    r.headers << qMakePair(QByteArray("Cache-Control"), QByteArray("max-age=300"));
    return r;
}

Reply Server::StaticFile(const Call& call) const
{
    QString path = call.url.path(QUrl::FullyDecoded);
    if (path.isEmpty() || path.endsWith(QLatin1Char('/')))
        path += QStringLiteral("index.html");
    if (path.contains(QChar(0)) || path.contains(QLatin1Char('\\')) || !path.startsWith(QLatin1Char('/'))
        || path.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        return Text(404, "not found\n");
    const QString file = QDir::cleanPath(settings_.page + path);
    const QFileInfo info(file);
    // Within the page's folder, also after the links are followed.
    if (!info.isFile() || !info.canonicalFilePath().startsWith(settings_.page + QLatin1Char('/')))
        return Text(404, "not found\n");

    QString chosen = file;
    QByteArray coding;
    const QByteArray accept = call.Header("accept-encoding");
    for (const auto& [suffix, name] : {std::pair{".br", QByteArray("br")}, {".gz", QByteArray("gzip")}}) {
        const QFileInfo twin(file + QLatin1String(suffix));
        if (Accepts(accept, name) && twin.isFile()
            && twin.canonicalFilePath().startsWith(settings_.page + QLatin1Char('/'))) {
            chosen = twin.filePath();
            coding = name;
            break;
        }
    }
    const QFileInfo sent(chosen);
    const QByteArray etag = '"' + QByteArray::number(sent.size(), 36) + '-'
        + QByteArray::number(sent.lastModified().toMSecsSinceEpoch(), 36) + (coding.isEmpty() ? "" : "-" + coding) + '"';
    Reply r;
    r.type = MediaType(file);
    // Each visit asks whether a file is new, so that the service worker and the files it
    // keeps are updated with a new version; porome-config.json is never kept.
    r.headers << qMakePair(QByteArray("Cache-Control"),
                           info.fileName() == QLatin1String("porome-config.json") ? QByteArray("no-store")
                                                                                 : QByteArray("no-cache"));
    r.headers << qMakePair(QByteArray("Vary"), QByteArray("Accept-Encoding"));
    r.headers << qMakePair(QByteArray("ETag"), etag);
    if (!coding.isEmpty())
        r.headers << qMakePair(QByteArray("Content-Encoding"), coding);
    if (call.Header("if-none-match") == etag) {
        r.status = 304;
        r.type.clear();
        return r;
    }
    QFile f(chosen);
    if (!f.open(QIODevice::ReadOnly))
        return Text(404, "not found\n");
    r.body = f.readAll();
    return r;
}

QByteArray Server::MakeSession(const Session& s) const
{
    QJsonObject o{{"v", 1}, {"i", s.issuer}, {"c", s.clientId}, {"s", s.sub}, {"h", s.homePage},
                  {"d", s.id}, {"e", double(s.expires)}};
    if (!s.grouping.isEmpty())
        o.insert(QStringLiteral("g"), s.grouping);
    if (!s.lineItem.isEmpty())
        o.insert(QStringLiteral("l"), s.lineItem);
    const QByteArray payload = crypto::Base64Url(QJsonDocument(o).toJson(QJsonDocument::Compact));
    return "ps1." + payload + '.' + crypto::Base64Url(crypto::HmacSha256(sessionKey_, "ps1." + payload));
}

std::optional<Session> Server::ReadSession(const QByteArray& token) const
{
    const QList<QByteArray> parts = token.split('.');
    if (token.size() > 4096 || parts.size() != 3 || parts[0] != "ps1")
        return std::nullopt;
    const auto mac = crypto::FromBase64Url(parts[2]);
    if (!mac || !crypto::Same(*mac, crypto::HmacSha256(sessionKey_, parts[0] + '.' + parts[1])))
        return std::nullopt;
    const QJsonObject o = QJsonDocument::fromJson(crypto::FromBase64Url(parts[1]).value_or(QByteArray())).object();
    Session s;
    s.issuer = o.value(QLatin1String("i")).toString();
    s.clientId = o.value(QLatin1String("c")).toString();
    s.sub = o.value(QLatin1String("s")).toString();
    s.homePage = o.value(QLatin1String("h")).toString();
    s.grouping = o.value(QLatin1String("g")).toString();
    s.lineItem = o.value(QLatin1String("l")).toString();
    s.id = o.value(QLatin1String("d")).toString();
    s.expires = qint64(o.value(QLatin1String("e")).toDouble());
    if (o.value(QLatin1String("v")).toInt() != 1 || s.sub.isEmpty() || s.expires <= Now())
        return std::nullopt;
    return s;
}

QByteArray Server::MakeState(const QByteArray& nonce, const Platform& platform) const
{
    const QJsonObject o{{"n", QString::fromLatin1(nonce)}, {"i", platform.issuer}, {"c", platform.clientId},
                        {"e", double(Now() + kStateSeconds)}};
    const QByteArray payload = crypto::Base64Url(QJsonDocument(o).toJson(QJsonDocument::Compact));
    return payload + '.' + crypto::Base64Url(crypto::HmacSha256(stateKey_, payload));
}

std::optional<QJsonObject> Server::ReadState(const QByteArray& state, QString* why) const
{
    const QList<QByteArray> parts = state.split('.');
    const auto mac = parts.size() == 2 ? crypto::FromBase64Url(parts[1]) : std::nullopt;
    if (state.size() > 1024 || !mac || !crypto::Same(*mac, crypto::HmacSha256(stateKey_, parts[0]))) {
        *why = QStringLiteral("the state is not one this server gave");
        return std::nullopt;
    }
    const QJsonObject o = QJsonDocument::fromJson(crypto::FromBase64Url(parts[0]).value_or(QByteArray())).object();
    if (qint64(o.value(QLatin1String("e")).toDouble()) < Now()) {
        *why = QStringLiteral("the state has expired (the login was more than %1 minutes ago)").arg(kStateSeconds / 60);
        return std::nullopt;
    }
    return o;
}

bool Server::OnThisServer(const QUrl& url) const
{
    const QUrl& pub = settings_.publicUrl;
    return url.isValid() && url.scheme() == pub.scheme() && url.host().compare(pub.host(), Qt::CaseInsensitive) == 0
        && url.port(url.scheme() == QLatin1String("https") ? 443 : 80)
               == pub.port(pub.scheme() == QLatin1String("https") ? 443 : 80)
        && (url.path() == pub.path() || url.path().startsWith(pub.path() + QLatin1Char('/'))
            || (pub.path().isEmpty() && url.path().isEmpty()));
}

} // namespace server
