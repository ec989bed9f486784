// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/StoreSender.h"

#include "record/Spool.h"
#include "record/StoreRequest.h"
#include "record/ThreadMail.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSaveFile>
#include <QTimer>
#include <QUrlQuery>
#include <QUuid>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>

namespace {
class Worker;

QString Native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}
} // namespace

// What the caller's thread and the sender's thread share; only under `m`.
struct StoreSender::Shared
{
    std::mutex m;
    std::condition_variable cv;
    std::deque<std::pair<QString, QByteArray>> inbox;   // id and statement, not yet in the spool
    Worker* worker = nullptr;   // while the sender's thread runs its loop
    bool wakePosted = false, stop = false;
    size_t outstanding = 0;
    int rejected = 0, rejectedSaid = 0;
    unsigned long long flushAsked = 0, flushDone = 0;

    // Set before the thread starts.
    QString spoolFolder;
    QStringList secrets;
    std::function<void(const QString&)> say;

    QString Scrubbed(QString line) const
    {
        for (const QString& secret : secrets)
            line.replace(secret, QStringLiteral("…"));
        return line;
    }
    void Say(QString line) const
    {
        line = Scrubbed(std::move(line));
        if (say)
            say(line);
        else
            std::fprintf(stderr, "%s\n", qPrintable(line));
    }
    // Runs `f` on the sender's thread.
    void Post(std::function<void(Worker&)> f);
};

namespace {

using store::Answer;

// Lives on the sender's thread, with its event loop.
class Worker
{
public:
    Worker(StoreSender::Shared& shared, StoreSender::Settings settings, std::unique_ptr<Spool> spool, QEventLoop& loop)
        : shared_(shared), settings_(std::move(settings)), spool_(std::move(spool)), loop_(loop),
          delay_(settings_.firstRetry), state_(StoreSender::ReadState(spool_->Folder()))
    {
        retry_.setSingleShot(true);
        QObject::connect(&retry_, &QTimer::timeout, &mail_, [this] { Send(); });
    }

    ThreadMail& Mail() { return mail_; }

    void Start()
    {
        for (Spool::Statement& s : spool_->Adopt())
            pending_.push_back(std::move(s));
        Wake();
        unsigned long long asked;
        {
            std::lock_guard lock(shared_.m);
            asked = shared_.flushAsked;
        }
        if (asked > 0)
            Flush(asked);
    }

    void Wake()
    {
        Drain();
        Publish();
        Send();
    }

    void Flush(unsigned long long asked)
    {
        Drain();
        flushWanted_ = asked;
        if (!inFlight_ && !refused_) {
            // The program ends: one more try now, not after the pause.
            retry_.stop();
            Send();
        }
        Publish();
    }

    void Quit() { loop_.quit(); }

private:
    // Puts what was handed over into the spool, then behind what waits.
    void Drain()
    {
        std::deque<std::pair<QString, QByteArray>> in;
        {
            std::lock_guard lock(shared_.m);
            in.swap(shared_.inbox);
            shared_.wakePosted = false;
        }
        for (auto& [id, json] : in) {
            Spool::Statement s{id, std::move(json)};
            QString error;
            if (!spool_->Append(s, &error) && !spoolSaid_) {
                spoolSaid_ = true;
                shared_.Say(QStringLiteral("porome: the spool of the learning record store cannot be written (%1, %2); "
                                           "statements wait in memory until the store takes them.")
                                .arg(error, Native(spool_->Folder())));
            }
            pending_.push_back(std::move(s));
        }
    }

    void Publish(bool failed = false)
    {
        std::lock_guard lock(shared_.m);
        shared_.outstanding = shared_.inbox.size() + pending_.size();
        shared_.rejected = rejected_;
        if (flushWanted_ > shared_.flushDone && (pending_.empty() || refused_ || failed)) {
            shared_.flushDone = flushWanted_;
            shared_.cv.notify_all();
        }
    }

    void Send()
    {
        if (inFlight_ || refused_ || pending_.empty() || retry_.isActive())
            return;
        const size_t n = singles_ > 0 ? 1 : std::min(pending_.size(), size_t(std::max(1, settings_.batch)));
        QByteArray body = "[";
        for (size_t i = 0; i < n; ++i)
            body += (i ? "," : "") + pending_[i].json;
        body += ']';
        Watch(net_.post(store::Request(StatementsUrl(), settings_.authorization), body),
              [this, n](const Answer& a) { Posted(n, a); });
    }

    void Watch(QNetworkReply* reply, std::function<void(const Answer&)> then)
    {
        inFlight_ = true;
        store::Bound(reply, &mail_, settings_.timeout, settings_.maxAnswer,
                     [this, then = std::move(then)](const Answer& a) {
                         inFlight_ = false;
                         then(a);
                     });
    }

    void Posted(size_t n, const Answer& a)
    {
        if (a.status >= 200 && a.status < 300) {
            for (size_t i = 0; i < n; ++i)
                Leave();
            return Took();
        }
        if ((a.status == 400 || a.status == 409 || a.status == 413) && n > 1) {
            // One statement of the batch is at fault: each is sent alone to find it.
            singles_ = n;
            return Send();
        }
        if (a.status == 400 || a.status == 413) {
            // The store refuses this statement for good: trying it again would hold up the rest.
            const QString reason = QStringLiteral("HTTP %1: %2").arg(a.status).arg(store::Reason(a.body));
            spool_->Reject(pending_.front(), reason);
            NoteError(QStringLiteral("a statement was refused (%1)").arg(reason), false);
            if (++rejected_ == 1)
                shared_.Say(QStringLiteral("porome: the learning record store refused a statement (%1); it is kept "
                                           "in %2 and not sent again.")
                                .arg(reason, Native(spool_->RejectedPath())));
            Leave(false);
            return Took(false);
        }
        if (a.status == 409)
            return Compare();
        if (a.status == 401 || a.status == 403)
            return Refused(a.status);
        Failed(a.failure);
    }

    // The store has a statement of this id already: it counts as stored; said only where
    // the store's differs. The key that sends is meant to write only: where it may not read
    // the statement back, the store's is taken as it is, never as a refused key.
    void Compare()
    {
        QUrl url = StatementsUrl();
        url.setQuery(QUrlQuery{{QStringLiteral("statementId"), pending_.front().id}});
        Watch(net_.get(store::Request(url, settings_.authorization)), [this](const Answer& a) {
            if (a.status == 401 || a.status == 403) {
                if (!unreadSaid_)
                    shared_.Say(QStringLiteral("porome: the learning record store already had statement %1; the key "
                                               "may not read it back (HTTP %2), so it keeps its own unread.")
                                    .arg(pending_.front().id)
                                    .arg(a.status));
                unreadSaid_ = true;
                Leave();
                return Took();
            }
            if (a.status == 0 || a.status >= 500)
                return Failed(a.failure);
            if (a.status != 200 || !store::SameContent(pending_.front().json, QJsonDocument::fromJson(a.body).object()))
                shared_.Say(QStringLiteral("porome: the learning record store already had statement %1 with other "
                                           "content; it keeps its own.")
                                .arg(pending_.front().id));
            Leave();
            Took();
        });
    }

    // The first statement that waits left the spool.
    void Leave(bool stored = true)
    {
        if (stored)
            spool_->Done(pending_.front());
        pending_.pop_front();
        if (singles_ > 0)
            --singles_;
        if (stopped_)
            ++caughtUp_;
    }

    // The store answered; with `stored`, it took what was sent.
    void Took(bool stored = true)
    {
        delay_ = settings_.firstRetry;
        state_.lastTry = QDateTime::currentDateTime();
        if (stored)
            state_.lastSent = state_.lastTry;
        state_.refused = false;
        SaveState();
        if (stopped_ && pending_.empty()) {
            stopped_ = false;
            shared_.Say(QStringLiteral("porome: the learning record store takes statements again: %1 waiting "
                                       "statements caught up.")
                            .arg(caughtUp_));
        }
        Publish();
        Send();
    }

    void Failed(const QString& cause)
    {
        NoteError(cause, false);
        if (!stopped_) {
            stopped_ = true;
            caughtUp_ = 0;
            shared_.Say(QStringLiteral("porome: the learning record store does not take statements: %1 (%2); they "
                                       "wait in %3 and are sent when it takes them again.")
                            .arg(cause, Shown(), Native(spool_->Folder())));
        }
        retry_.start(delay_);
        delay_ = std::min(delay_ * 2, settings_.lastRetry);
        Publish(true);
    }

    void Refused(int status)
    {
        refused_ = true;
        retry_.stop();
        NoteError(QStringLiteral("HTTP %1: the key and secret are refused").arg(status), true);
        shared_.Say(QStringLiteral("porome: the learning record store refuses the key and secret (HTTP %1, %2): "
                                   "nothing more is sent until the program starts again, and the statements "
                                   "wait in %3.")
                        .arg(QString::number(status), Shown(), Native(spool_->Folder())));
        Publish();
    }

    void NoteError(const QString& error, bool refused)
    {
        state_.lastTry = state_.lastErrorAt = QDateTime::currentDateTime();
        state_.lastError = shared_.Scrubbed(error);
        state_.refused = refused;
        SaveState();
    }

    // Whole or not at all: a crash never leaves half a file for the next start to misread.
    void SaveState()
    {
        const auto when = [](const QDateTime& t) {
            return t.isValid() ? QJsonValue(t.toString(Qt::ISODateWithMs)) : QJsonValue();
        };
        const QJsonObject o{{QStringLiteral("lastSent"), when(state_.lastSent)},
                            {QStringLiteral("lastTry"), when(state_.lastTry)},
                            {QStringLiteral("lastErrorAt"), when(state_.lastErrorAt)},
                            {QStringLiteral("lastError"), state_.lastError},
                            {QStringLiteral("refused"), state_.refused}};
        QSaveFile file(StoreSender::StatePath(spool_->Folder()));
        if (file.open(QIODevice::WriteOnly))
            file.write(QJsonDocument(o).toJson(QJsonDocument::Indented));
        file.commit();
    }

    QUrl StatementsUrl() const { return settings_.endpoint.resolved(QUrl(QStringLiteral("statements"))); }

    QString Shown() const
    {
        return settings_.endpoint.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment);
    }

    StoreSender::Shared& shared_;
    const StoreSender::Settings settings_;
    std::unique_ptr<Spool> spool_;
    QEventLoop& loop_;
    QNetworkAccessManager net_;
    // Declared after net_, so destroyed before it: no answer reaches a worker being destroyed.
    ThreadMail mail_;
    QTimer retry_;
    std::deque<Spool::Statement> pending_;   // oldest first; a request holds the first ones
    bool inFlight_ = false, stopped_ = false, refused_ = false, spoolSaid_ = false, unreadSaid_ = false;
    size_t singles_ = 0, caughtUp_ = 0;
    int rejected_ = 0;
    std::chrono::milliseconds delay_;
    unsigned long long flushWanted_ = 0;
    StoreSender::State state_;
};

} // namespace

void StoreSender::Shared::Post(std::function<void(Worker&)> f)
{
    if (Worker* w = worker)
        w->Mail().Send([w, f = std::move(f)] { f(*w); });
}

StoreSender::StoreSender(Settings settings, std::unique_ptr<Spool> spool) : shared_(std::make_shared<Shared>())
{
    Shared& s = *shared_;
    s.spoolFolder = spool->Folder();
    s.say = settings.say;
    if (!settings.authorization.isEmpty()) {
        // Neither the header nor what it encodes is ever said.
        s.secrets << QString::fromLatin1(settings.authorization);
        const QByteArray basic = settings.authorization.mid(settings.authorization.indexOf(' ') + 1);
        const QString pair = QString::fromUtf8(QByteArray::fromBase64(basic));
        s.secrets << QString::fromLatin1(basic) << pair;
        const QString secret = pair.mid(pair.indexOf(QLatin1Char(':')) + 1);
        if (secret.size() >= 3)
            s.secrets << secret;
    }
    thread_ = std::thread([shared = shared_, settings = std::move(settings), spool = std::move(spool)]() mutable {
        QEventLoop loop;
        Worker worker(*shared, std::move(settings), std::move(spool), loop);
        {
            std::lock_guard lock(shared->m);
            if (shared->stop)
                return;
            shared->worker = &worker;
        }
        worker.Start();
        loop.exec();
        std::lock_guard lock(shared->m);
        shared->worker = nullptr;
    });
}

StoreSender::~StoreSender()
{
    {
        std::lock_guard lock(shared_->m);
        shared_->stop = true;
        shared_->Post([](Worker& w) { w.Quit(); });
    }
    thread_.join();
}

void StoreSender::Add(const QJsonObject& statement)
{
    QJsonObject s = statement;
    QString id = s.value(QLatin1String("id")).toString();
    if (id.isEmpty()) {
        id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        s.insert(QStringLiteral("id"), id);
    }
    QByteArray json = QJsonDocument(s).toJson(QJsonDocument::Compact);
    Shared& sh = *shared_;
    std::lock_guard lock(sh.m);
    sh.inbox.emplace_back(id, std::move(json));
    ++sh.outstanding;
    if (!sh.wakePosted) {
        sh.wakePosted = true;
        sh.Post([](Worker& w) { w.Wake(); });
    }
}

void StoreSender::Finish(std::chrono::milliseconds patience)
{
    Shared& s = *shared_;
    std::unique_lock lock(s.m);
    const unsigned long long asked = ++s.flushAsked;
    s.Post([asked](Worker& w) { w.Flush(asked); });
    s.cv.wait_for(lock, patience, [&] { return s.flushDone >= asked; });
    const size_t left = s.outstanding;
    const int rejected = s.rejected, rejectedSaid = s.rejectedSaid;
    s.rejectedSaid = rejected;
    lock.unlock();
    if (rejected > 1 && rejected > rejectedSaid)
        s.Say(QStringLiteral("porome: the learning record store refused %1 statements in all; they are in %2.")
                  .arg(rejected)
                  .arg(Native(QDir(s.spoolFolder).filePath(QStringLiteral("rejected.jsonl")))));
    if (left > 0)
        s.Say(QStringLiteral("porome: %1 statements for the learning record store wait in %2; they are sent as "
                             "soon as it takes them, at the latest at the next start.")
                  .arg(left)
                  .arg(Native(s.spoolFolder)));
}

size_t StoreSender::Waiting() const
{
    std::lock_guard lock(shared_->m);
    return shared_->outstanding;
}

int StoreSender::Rejected() const
{
    std::lock_guard lock(shared_->m);
    return shared_->rejected;
}

QString StoreSender::StatePath(const QString& spoolFolder)
{
    return QDir(spoolFolder).filePath(QStringLiteral("state.json"));
}

StoreSender::State StoreSender::ReadState(const QString& spoolFolder)
{
    QFile file(StatePath(spoolFolder));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QJsonObject o = QJsonDocument::fromJson(file.read(1 << 16)).object();
    const auto when = [&o](const char* key) {
        return QDateTime::fromString(o.value(QLatin1String(key)).toString(), Qt::ISODateWithMs);
    };
    State s;
    s.lastSent = when("lastSent");
    s.lastTry = when("lastTry");
    s.lastErrorAt = when("lastErrorAt");
    s.lastError = o.value(QLatin1String("lastError")).toString();
    s.refused = o.value(QLatin1String("refused")).toBool();
    return s;
}
