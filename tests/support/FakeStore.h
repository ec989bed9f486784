// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QHash>
#include <QJsonObject>
#include <QStringList>
#include <QUrl>

#include <condition_variable>
#include <mutex>
#include <thread>

class QEventLoop;
class QTcpServer;
class QTcpSocket;
class QUrlQuery;
class ThreadMail;

// A learning record store on 127.0.0.1 for the tests, on a thread of its own, that fails on
// command. It keeps statements by id: a POST of a batch holding an id it has with other
// content (or at all, when strict) gets 409 and stores nothing; GET ?statementId= gives one,
// and GET ?verb=&activity= the matching ones, `pageSize` a page, with `more` as a path on the
// store's host (or, with `moreElsewhere`, a full URL of another host).
class FakeStore
{
public:
    enum class Fault {
        None,
        Down,           // not listening
        Unavailable,    // 503
        Hang,           // never answers
        StoreThenHang,  // stores what it is sent, never answers
        Unauthorized,   // 401
        Garbage,        // bytes that are not HTTP
        Huge,           // 503 with a body of a gigabyte
    };
    struct State
    {
        bool strict = false;
        QStringList refused;                      // ids answered with 400
        QHash<QString, QJsonObject> stored;
        QHash<QString, int> times;                // how often a POST the store took held the id
        QByteArray head;                          // of the last request
        int pageSize = 0;                         // 0: every match in one page
        bool moreElsewhere = false;
        bool writeOnly = false;                   // every GET gets 403, as for a key that only writes
        QStringList queries;                      // every GET's path and query, in order
    };

    FakeStore();
    ~FakeStore();
    QUrl Endpoint() const { return endpoint_; }
    // In force when it returns.
    void SetFault(Fault fault);
    template <class F>
    auto With(F f)
    {
        std::lock_guard lock(m_);
        return f(state_);
    }

private:
    void Answer(QTcpSocket* socket, const QByteArray& request, const QByteArray& body);
    QByteArray Page(const QUrlQuery& query) const;

    QUrl endpoint_;
    std::thread thread_;
    std::mutex m_;
    std::condition_variable cv_;
    State state_;
    Fault fault_ = Fault::None;
    // The store's thread's.
    ThreadMail* mail_ = nullptr;
    QEventLoop* loop_ = nullptr;
    QTcpServer* server_ = nullptr;
    quint16 port_ = 0;
};
