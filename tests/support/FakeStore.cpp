// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FakeStore.h"

#include "record/ThreadMail.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>

namespace {

QByteArray Message(const QString& text)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("message"), text}}).toJson(QJsonDocument::Compact);
}

} // namespace

// The server and the open connections, on the store's thread.
struct FakeStore::Server
{
    QTcpServer tcp;
    QList<QPointer<QTcpSocket>> sockets;
};

struct FakeStore::Connection
{
    QTcpSocket* socket;
    QByteArray in;
    qint64 hugeLeft = 0;

    void Reply(int status, const QByteArray& reason, const QByteArray& body)
    {
        socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason
                      + "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size())
                      + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }
};

FakeStore::FakeStore()
{
    std::unique_lock lock(m_);
    thread_ = std::thread([this] {
        QEventLoop loop;
        ThreadMail context;
        Server s;
        server_ = &s;
        QObject::connect(&s.tcp, &QTcpServer::newConnection, &context, [this, &s] {
            while (QTcpSocket* socket = s.tcp.nextPendingConnection()) {
                s.sockets << socket;
                auto* c = new Connection{socket, {}};
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                QObject::connect(socket, &QObject::destroyed, [c] { delete c; });
                QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [c] {
                    // The huge body goes out as fast as the other end reads it.
                    if (c->hugeLeft > 0 && c->socket->bytesToWrite() < (1 << 16)) {
                        c->hugeLeft -= 1 << 16;
                        c->socket->write(QByteArray(1 << 16, 'x'));
                    }
                });
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, c] {
                    c->in += c->socket->readAll();
                    const qsizetype end = c->in.indexOf("\r\n\r\n");
                    if (end < 0)
                        return;
                    const QList<QByteArray> lines = c->in.left(end).split('\n');
                    qsizetype length = 0;
                    QHash<QByteArray, QByteArray> headers;
                    for (const QByteArray& line : lines.mid(1)) {
                        const qsizetype colon = line.indexOf(':');
                        headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
                    }
                    length = headers.value("content-length").toLongLong();
                    if (c->in.size() < end + 4 + length)
                        return;
                    const QList<QByteArray> request = lines.first().trimmed().split(' ');
                    {
                        std::lock_guard lock(m_);
                        lastHeaders_ = headers;
                        ++requests_;
                    }
                    Answer(*c, request.value(0), request.value(1), c->in.mid(end + 4, length));
                    c->in.clear();
                });
            }
        });
        {
            std::lock_guard lock(m_);
            context_ = &context;
            loop_ = &loop;
            Listen();
            cv_.notify_all();
        }
        loop.exec();
        std::lock_guard lock(m_);
        context_ = nullptr;
        for (const QPointer<QTcpSocket>& socket : s.sockets)
            delete socket.data();
        server_ = nullptr;
    });
    cv_.wait(lock, [this] { return context_ != nullptr; });
    endpoint_ = QUrl(QStringLiteral("http://127.0.0.1:%1/xAPI/").arg(port_));
}

FakeStore::~FakeStore()
{
    {
        std::lock_guard lock(m_);
        context_->Send([loop = loop_] { loop->quit(); });
    }
    thread_.join();
}

// On the store's thread, with m_ held.
void FakeStore::Listen()
{
    if (!server_->tcp.isListening() && !server_->tcp.listen(QHostAddress::LocalHost, port_))
        qFatal("the fake store cannot listen on 127.0.0.1:%d", port_);
    port_ = server_->tcp.serverPort();
}

void FakeStore::OnThread(std::function<void()> f)
{
    std::unique_lock lock(m_);
    bool done = false;
    context_->Send([this, &f, &done] {
        std::lock_guard inner(m_);
        f();
        done = true;
        cv_.notify_all();
    });
    cv_.wait(lock, [&] { return done; });
}

void FakeStore::SetFault(Fault fault)
{
    OnThread([this, fault] {
        fault_ = fault;
        if (fault == Fault::Down) {
            server_->tcp.close();
            for (const QPointer<QTcpSocket>& socket : server_->sockets)
                if (socket)
                    socket->abort();
        } else {
            Listen();
        }
    });
}

void FakeStore::SetStrict(bool strict)
{
    std::lock_guard lock(m_);
    strict_ = strict;
}

void FakeStore::Refuse(const QString& id)
{
    std::lock_guard lock(m_);
    refused_ << id;
}

void FakeStore::Seed(const QJsonObject& statement)
{
    std::lock_guard lock(m_);
    stored_.insert(statement.value(QLatin1String("id")).toString(), statement);
}

int FakeStore::Times(const QString& id) const
{
    std::lock_guard lock(m_);
    return times_.value(id);
}

QJsonObject FakeStore::Stored(const QString& id) const
{
    std::lock_guard lock(m_);
    return stored_.value(id);
}

int FakeStore::Requests() const
{
    std::lock_guard lock(m_);
    return requests_;
}

QByteArray FakeStore::LastHeader(const QByteArray& name) const
{
    std::lock_guard lock(m_);
    return lastHeaders_.value(name.toLower());
}

void FakeStore::Answer(Connection& c, const QByteArray& method, const QByteArray& target, const QByteArray& body)
{
    std::lock_guard lock(m_);
    switch (fault_) {
    case Fault::Down:
    case Fault::Hang:
        return;
    case Fault::Unavailable:
        return c.Reply(503, "Service Unavailable", Message("down for maintenance"));
    case Fault::Unauthorized:
        return c.Reply(401, "Unauthorized", Message("unknown key"));
    case Fault::Garbage:
        static const char garbage[] = "\x16\x03\x01\x00\xff garbage \x01\x02\r\n\r\n";
        c.socket->write(QByteArray(garbage, sizeof garbage - 1));
        c.socket->disconnectFromHost();
        return;
    case Fault::Huge:
        c.socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 1073741824\r\n\r\n");
        c.hugeLeft = qint64(1) << 30;
        c.socket->write(QByteArray(1 << 16, 'x'));
        return;
    case Fault::None:
    case Fault::StoreThenHang:
        break;
    }
    // A store that took the request and whose answer is lost says nothing at all.
    const auto reply = [&c, mute = fault_ == Fault::StoreThenHang](int status, const QByteArray& reason,
                                                                   const QByteArray& body) {
        if (!mute)
            c.Reply(status, reason, body);
    };
    const QUrl url(QString::fromLatin1(target));
    if (url.path() != QLatin1String("/xAPI/statements"))
        return reply(404, "Not Found", "{}");
    if (method == "GET") {
        const QString id = QUrlQuery(url).queryItemValue(QStringLiteral("statementId"));
        if (!stored_.contains(id))
            return reply(404, "Not Found", "{}");
        return reply(200, "OK", QJsonDocument(stored_.value(id)).toJson(QJsonDocument::Compact));
    }
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    const QJsonArray batch = doc.isArray() ? doc.array() : QJsonArray{doc.object()};
    QJsonArray ids;
    for (const QJsonValue& v : batch) {
        const QString id = v.toObject().value(QLatin1String("id")).toString();
        if (id.isEmpty() || refused_.contains(id))
            return reply(400, "Bad Request", Message("statement " + id + " has no valid result"));
        if (stored_.contains(id) && (strict_ || stored_.value(id) != v.toObject()))
            return reply(409, "Conflict", Message("statement " + id + " exists"));
        ids << id;
    }
    for (const QJsonValue& v : batch) {
        const QString id = v.toObject().value(QLatin1String("id")).toString();
        stored_.insert(id, v.toObject());
        ++times_[id];
    }
    reply(200, "OK", QJsonDocument(ids).toJson(QJsonDocument::Compact));
}
