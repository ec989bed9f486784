// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class QEventLoop;
class ThreadMail;

// A learning record store on 127.0.0.1 for the tests, on a thread of its own, that fails on
// command. It keeps statements by id: a POST of a batch holding an id it has already with
// other content (or at all, when strict) is answered 409 and stores nothing; GET
// ?statementId= gives one back.
class FakeStore
{
public:
    enum class Fault {
        None,
        Down,           // not listening
        Unavailable,    // 503
        Hang,           // takes the request, never answers
        StoreThenHang,  // stores the batch, never answers
        Unauthorized,   // 401
        Garbage,        // bytes that are not HTTP
        Huge,           // 503 with a body of a gigabyte
    };

    FakeStore();
    ~FakeStore();

    QUrl Endpoint() const { return endpoint_; }
    void SetFault(Fault fault);
    void SetStrict(bool strict);
    // Answers 400 to any batch that holds this id.
    void Refuse(const QString& id);
    // A statement the store has before the test.
    void Seed(const QJsonObject& statement);

    // How often a POST the store took held the id (a repeat of the same content counts again).
    int Times(const QString& id) const;
    QJsonObject Stored(const QString& id) const;
    int Requests() const;
    // A header of the last request.
    QByteArray LastHeader(const QByteArray& name) const;

    struct Connection;
    struct Server;

private:
    void OnThread(std::function<void()> f);
    void Listen();

    QUrl endpoint_;
    std::thread thread_;
    // On the store's thread.
    ThreadMail* context_ = nullptr;
    QEventLoop* loop_ = nullptr;
    Server* server_ = nullptr;

    mutable std::mutex m_;
    std::condition_variable cv_;
    Fault fault_ = Fault::None;
    bool strict_ = false;
    QStringList refused_;
    QHash<QString, QJsonObject> stored_;
    QHash<QString, int> times_;
    QHash<QByteArray, QByteArray> lastHeaders_;
    int requests_ = 0;
    quint16 port_ = 0;

    friend struct Connection;
    void Answer(Connection& c, const QByteArray& method, const QByteArray& target, const QByteArray& body);
};
