// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FakeStore.h"

#include "record/ThreadMail.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>

namespace {

// An answer; `length` other than the body's for one that goes on after it.
QByteArray Reply(int status, const QByteArray& body, qint64 length = -1)
{
    return "HTTP/1.1 " + QByteArray::number(status) + " Fake\r\nContent-Type: application/json\r\nContent-Length: "
        + QByteArray::number(length < 0 ? body.size() : length) + "\r\nConnection: close\r\n\r\n" + body;
}

QByteArray Message(const QString& text)
{
    return QJsonDocument(QJsonObject{{"message", text}}).toJson(QJsonDocument::Compact);
}

} // namespace

FakeStore::FakeStore()
{
    thread_ = std::thread([this] {
        QEventLoop loop;
        ThreadMail mail;
        QTcpServer server;
        QObject::connect(&server, &QTcpServer::newConnection, &mail, [this, &server] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                auto in = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, in] {
                    *in += socket->readAll();
                    const qsizetype end = in->indexOf("\r\n\r\n");
                    const QByteArray head = in->left(end);
                    static const QRegularExpression lengthIs("content-length: *(\\d+)",
                                                             QRegularExpression::CaseInsensitiveOption);
                    const qsizetype length = lengthIs.match(QString::fromLatin1(head)).captured(1).toLongLong();
                    if (end < 0 || in->size() < end + 4 + length)
                        return;
                    std::lock_guard lock(m_);
                    state_.head = head;
                    Answer(socket, head.left(head.indexOf('\r')), in->mid(end + 4, length));
                    in->clear();
                });
            }
        });
        {
            std::lock_guard lock(m_);
            server.listen(QHostAddress::LocalHost);
            port_ = server.serverPort();
            mail_ = &mail;
            loop_ = &loop;
            server_ = &server;
            cv_.notify_all();
        }
        loop.exec();
    });
    std::unique_lock lock(m_);
    cv_.wait(lock, [this] { return mail_ != nullptr; });
    endpoint_ = QUrl(QStringLiteral("http://127.0.0.1:%1/xAPI/").arg(port_));
}

FakeStore::~FakeStore()
{
    mail_->Send([loop = loop_] { loop->quit(); });
    thread_.join();
}

void FakeStore::SetFault(Fault fault)
{
    std::unique_lock lock(m_);
    bool done = false;
    mail_->Send([this, fault, &done] {
        std::lock_guard inner(m_);
        fault_ = fault;
        if (fault == Fault::Down) {
            server_->close();
            for (QTcpSocket* socket : server_->findChildren<QTcpSocket*>())
                socket->abort();
        } else if (!server_->isListening() && !server_->listen(QHostAddress::LocalHost, port_)) {
            qFatal("the fake store cannot listen on 127.0.0.1:%d again", port_);
        }
        done = true;
        cv_.notify_all();
    });
    cv_.wait(lock, [&] { return done; });
}

// On the store's thread, with m_ held. The statements of `verb` whose object, or with
// related_activities any context activity, is `activity`, ordered by id; from `cursor` on.
QByteArray FakeStore::Page(const QUrlQuery& query) const
{
    const QString verb = query.queryItemValue(QStringLiteral("verb"), QUrl::FullyDecoded);
    const QString activity = query.queryItemValue(QStringLiteral("activity"), QUrl::FullyDecoded);
    const bool related = query.queryItemValue(QStringLiteral("related_activities")) == QLatin1String("true");
    QStringList ids;
    for (auto it = state_.stored.begin(); it != state_.stored.end(); ++it) {
        const QJsonObject& st = it.value();
        if (st.value(QLatin1String("verb")).toObject().value(QLatin1String("id")).toString() != verb)
            continue;
        bool named = st.value(QLatin1String("object")).toObject().value(QLatin1String("id")).toString() == activity;
        const QJsonObject activities = st.value(QLatin1String("context")).toObject()
                                           .value(QLatin1String("contextActivities")).toObject();
        for (const QJsonValue& list : activities)
            for (const QJsonValue& a : list.toArray())
                named = named || (related && a.toObject().value(QLatin1String("id")).toString() == activity);
        if (named)
            ids << it.key();
    }
    ids.sort();
    const int from = query.queryItemValue(QStringLiteral("cursor")).toInt();
    const int size = state_.pageSize > 0 ? state_.pageSize : int(ids.size());
    QJsonArray page;
    for (int i = from; i < std::min<int>(from + size, ids.size()); ++i)
        page << state_.stored.value(ids[i]);
    QString more;
    if (from + size < ids.size()) {
        QUrlQuery next(query);
        next.removeAllQueryItems(QStringLiteral("cursor"));
        next.addQueryItem(QStringLiteral("cursor"), QString::number(from + size));
        more = (state_.moreElsewhere ? QStringLiteral("http://192.0.2.1:%1").arg(port_) : QString())
               + QStringLiteral("/xAPI/statements?") + next.toString(QUrl::FullyEncoded);
    }
    return QJsonDocument(QJsonObject{{"statements", page}, {"more", more}}).toJson(QJsonDocument::Compact);
}

// On the store's thread, with m_ held.
void FakeStore::Answer(QTcpSocket* socket, const QByteArray& request, const QByteArray& body)
{
    const auto reply = [&](const QByteArray& bytes) {
        // A store whose answer is lost says nothing at all.
        if (fault_ != Fault::StoreThenHang) {
            socket->write(bytes);
            socket->disconnectFromHost();
        }
    };
    switch (fault_) {
    case Fault::Down:
    case Fault::Hang:
        return;
    case Fault::Unavailable:
        return reply(Reply(503, Message("down for maintenance")));
    case Fault::Unauthorized:
        return reply(Reply(401, Message("unknown key")));
    case Fault::Garbage:
    {
        static const char garbage[] = "\x16\x03\x01\x00\xff garbage \x01\x02\r\n\r\n";
        return reply(QByteArray(garbage, sizeof garbage - 1));
    }
    case Fault::Huge: {
        // The body goes out as fast as the other end takes it.
        auto left = std::make_shared<qint64>(qint64(1) << 30);
        QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [socket, left] {
            if (*left > 0 && socket->bytesToWrite() < (1 << 16)) {
                *left -= 1 << 16;
                socket->write(QByteArray(1 << 16, 'x'));
            }
        });
        socket->write(Reply(503, QByteArray(1 << 16, 'x'), *left));
        return;
    }
    case Fault::None:
    case Fault::StoreThenHang:
        break;
    }
    const QList<QByteArray> parts = request.split(' ');
    const QUrl url(QString::fromLatin1(parts.value(1)));
    if (url.path() != QLatin1String("/xAPI/statements"))
        return reply(Reply(404, Message("no such resource")));
    if (parts.value(0) == "GET") {
        state_.queries << url.toString(QUrl::FullyEncoded);
        if (state_.writeOnly)
            return reply(Reply(403, Message("this key may not read statements")));
        const QUrlQuery query(url);
        if (!query.hasQueryItem(QStringLiteral("statementId")))
            return reply(Reply(200, Page(query)));
        const QString id = query.queryItemValue(QStringLiteral("statementId"));
        if (!state_.stored.contains(id))
            return reply(Reply(404, Message("no statement " + id)));
        return reply(Reply(200, QJsonDocument(state_.stored.value(id)).toJson(QJsonDocument::Compact)));
    }
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    const QJsonArray batch = doc.isArray() ? doc.array() : QJsonArray{doc.object()};
    QJsonArray ids;
    for (const QJsonValue& v : batch) {
        const QString id = v.toObject().value(QLatin1String("id")).toString();
        if (id.isEmpty() || state_.refused.contains(id))
            return reply(Reply(400, Message("statement " + id + " has no valid result")));
        if (state_.stored.contains(id) && (state_.strict || state_.stored.value(id) != v.toObject()))
            return reply(Reply(409, Message("statement " + id + " exists")));
        ids << id;
    }
    for (const QJsonValue& v : batch) {
        state_.stored.insert(v.toObject().value(QLatin1String("id")).toString(), v.toObject());
        ++state_.times[v.toObject().value(QLatin1String("id")).toString()];
    }
    reply(Reply(200, QJsonDocument(ids).toJson(QJsonDocument::Compact)));
}
