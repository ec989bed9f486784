// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

class Spool;

// Sends the learning record's statements to the school's store, on a thread of its own with
// its own Qt event loop, so that the window never waits on the network. Each statement is
// in the spool before it is sent and leaves it only once the store has it; what an earlier
// run left in the spool goes first. Statements are sent as they come, in batches of what
// waits. A store that is away, answers 5xx or garbage, or hangs is tried again later, the
// wait doubling up to a bound; one line says that sending stopped and one that it caught up.
class StoreSender
{
public:
    struct Settings
    {
        QUrl endpoint;              // the store's xAPI base, ending in /
        QByteArray authorization;   // the Authorization header's value; never said
        int batch = 100;            // statements in one request at most
        std::chrono::milliseconds firstRetry = std::chrono::seconds(1);
        std::chrono::milliseconds lastRetry = std::chrono::seconds(60);
        // A request not answered in full by then is given up and tried again.
        std::chrono::milliseconds timeout = std::chrono::seconds(30);
        // Bytes of an answer read at most; the rest of a longer one is not waited for.
        qint64 maxAnswer = 1 << 20;
        // One line for the teacher, on standard error unless a test listens. Called on the
        // sender's thread, and in Finish() on the caller's.
        std::function<void(const QString&)> say;
    };

    // Starts the thread, which first takes over what earlier runs left in `spool`.
    StoreSender(Settings settings, std::unique_ptr<Spool> spool);
    // Stops the thread; what was not sent stays in the spool for the next run.
    ~StoreSender();
    StoreSender(const StoreSender&) = delete;
    StoreSender& operator=(const StoreSender&) = delete;

    // Hands over one statement; never waits. One without an id gets one.
    void Add(const QJsonObject& statement);
    // Sends what waits, for at most `patience`, without waiting out a pause after a failure;
    // says how many statements are left in the spool. May be called more than once.
    void Finish(std::chrono::milliseconds patience = std::chrono::seconds(2));

    // Statements handed over or taken from the spool that the store does not have yet (those
    // of earlier runs once the sender's thread has read them, just after the start).
    size_t Waiting() const;
    // Statements the store refused (moved to the rejected file).
    int Rejected() const;

    // What the sender last saw of the store, kept in state.json beside the spool for
    // `porome --status` and the next start; never the key or the secret.
    struct State
    {
        QDateTime lastSent;     // the store last took statements
        QDateTime lastTry;      // the last answer or failure
        QDateTime lastErrorAt;
        QString lastError;      // the last failure or refusal; kept after later successes
        bool refused = false;   // the last answer was 401 or 403: the key and secret
    };
    static QString StatePath(const QString& spoolFolder);
    // Empty where no sender wrote one, or it cannot be read.
    static State ReadState(const QString& spoolFolder);

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};
