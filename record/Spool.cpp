// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/Spool.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSet>
#include <QUuid>

struct Spool::Run
{
    QString stem;   // the path without its ending
    std::unique_ptr<QLockFile> lock;
    std::unique_ptr<QFile> statements, done;
    qint64 waiting = 0;
};

namespace {

const QString Jsonl = QStringLiteral(".jsonl");

std::unique_ptr<QFile> OpenForAppend(const QString& path)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return nullptr;
    return file;
}

std::unique_ptr<QLockFile> TakeLock(const QString& path)
{
    auto lock = std::make_unique<QLockFile>(path);
    // Held for a whole run: only a lock whose program is gone is stale, never an old one.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return nullptr;
    return lock;
}

// The file's whole lines; a last line without its end (a crash mid-write) is cut off.
QList<QByteArray> WholeLines(QFile& file)
{
    QByteArray bytes = file.readAll();
    const qsizetype end = bytes.lastIndexOf('\n') + 1;
    if (end < bytes.size()) {
        bytes.truncate(end);
        file.resize(end);
    }
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeLast();
    return lines;
}

// The lines of a file that end, without changing it.
QList<QByteArray> EndedLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    lines.removeLast();
    return lines;
}

} // namespace

Spool::Contents Spool::Look(const QString& folder, bool oldestOnly)
{
    Contents c;
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("run-*") + Jsonl}, QDir::Files, QDir::Name)) {
        const QString stem = dir.filePath(name.chopped(Jsonl.size()));
        QSet<QByteArray> gone;
        for (const QByteArray& id : EndedLines(stem + QStringLiteral(".done")))
            gone.insert(id);
        const QDateTime fileTime = QFileInfo(stem + Jsonl).lastModified();
        for (const QByteArray& line : EndedLines(stem + Jsonl)) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            const QString id = object.value(QLatin1String("id")).toString();
            if (id.isEmpty() || gone.contains(id.toUtf8()))
                continue;
            QDateTime when = QDateTime::fromString(object.value(QLatin1String("timestamp")).toString(), Qt::ISODateWithMs);
            if (!when.isValid())
                when = fileTime;
            ++c.waiting;
            c.bytes += line.size() + 1;
            if (!c.oldest.isValid() || when < c.oldest)
                c.oldest = when;
            if (oldestOnly)
                return c;
        }
    }
    c.rejected = int(EndedLines(dir.filePath(QStringLiteral("rejected") + Jsonl)).size());
    return c;
}

Spool::Spool() = default;

Spool::~Spool()
{
    for (auto& run : runs_)
        if (run->waiting == 0)
            Close(*run);
}

bool Spool::Open(const QString& folder, QString* error)
{
    folder_ = folder;
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create the folder %1").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    auto run = std::make_unique<Run>();
    // Names sort by the start of the run; the tag tells runs of one millisecond apart.
    run->stem = QDir(folder).filePath(
        QStringLiteral("run-%1-%2")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")),
                 QUuid::createUuid().toString(QUuid::Id128).left(8)));
    run->lock = TakeLock(run->stem + QStringLiteral(".lock"));
    if (!run->lock) {
        *error = QStringLiteral("cannot lock %1").arg(QDir::toNativeSeparators(run->stem + QStringLiteral(".lock")));
        return false;
    }
    runs_.push_back(std::move(run));
    return true;
}

std::vector<Spool::Statement> Spool::Adopt()
{
    std::vector<Statement> left;
    const QDir dir(folder_);
    for (const QString& name : dir.entryList({QStringLiteral("run-*") + Jsonl}, QDir::Files, QDir::Name)) {
        auto run = std::make_unique<Run>();
        run->stem = dir.filePath(name.chopped(Jsonl.size()));
        if (run->stem == runs_.front()->stem || !(run->lock = TakeLock(run->stem + QStringLiteral(".lock"))))
            continue;
        QFile statements(run->stem + Jsonl);
        QFile done(run->stem + QStringLiteral(".done"));
        if (!statements.open(QIODevice::ReadWrite))
            continue;
        QSet<QByteArray> gone;
        if (done.open(QIODevice::ReadWrite))
            for (const QByteArray& id : WholeLines(done))
                gone.insert(id);
        const int index = int(runs_.size());
        QList<QByteArray> kept, damaged;
        for (const QByteArray& line : WholeLines(statements)) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            Statement s{object.value(QLatin1String("id")).toString(), line, index};
            (s.id.isEmpty() ? damaged : kept) << line;
            if (s.id.isEmpty() || gone.contains(s.id.toUtf8()))
                continue;
            ++run->waiting;
            left.push_back(std::move(s));
        }
        if (!damaged.isEmpty()) {
            // Kept once, in the rejected file, and no longer in the spool.
            for (const QByteArray& line : damaged)
                WriteRejected(line, QStringLiteral("damaged in the spool"));
            statements.resize(0);
            statements.seek(0);
            for (const QByteArray& line : kept)
                statements.write(line + '\n');
        }
        runs_.push_back(std::move(run));
        if (runs_.back()->waiting == 0)
            Close(*runs_.back());
    }
    return left;
}

bool Spool::Write(QFile& file, const QByteArray& line, QString* error)
{
    const qint64 size = file.size();
    if (file.write(line + '\n') == line.size() + 1)
        return true;
    *error = file.errorString();
    // A torn line must not take the next one with it.
    file.resize(size);
    return false;
}

bool Spool::Append(Statement& s, QString* error)
{
    Run& run = *runs_.front();
    if (!run.statements && !(run.statements = OpenForAppend(run.stem + Jsonl))) {
        *error = QStringLiteral("cannot open %1").arg(QDir::toNativeSeparators(run.stem + Jsonl));
        return false;
    }
    if (!Write(*run.statements, s.json, error))
        return false;
    s.run = 0;
    ++run.waiting;
    return true;
}

void Spool::Done(const Statement& s)
{
    if (s.run < 0)
        return;
    Run& run = *runs_[size_t(s.run)];
    if (!run.done)
        run.done = OpenForAppend(run.stem + QStringLiteral(".done"));
    QString error;
    if (run.done)
        Write(*run.done, s.id.toUtf8(), &error);
    if (--run.waiting > 0)
        return;
    if (s.run > 0) {
        Close(run);
    } else {
        // All of this run's statements are stored: its files start again empty.
        if (run.statements)
            run.statements->resize(0);
        if (run.done)
            run.done->resize(0);
    }
}

void Spool::Reject(const Statement& s, const QString& reason)
{
    WriteRejected(s.json, reason);
    Done(s);
}

void Spool::WriteRejected(const QByteArray& json, const QString& reason)
{
    QJsonObject line{{QStringLiteral("reason"), reason}};
    const QJsonDocument statement = QJsonDocument::fromJson(json);
    if (statement.isObject())
        line.insert(QStringLiteral("statement"), statement.object());
    else
        line.insert(QStringLiteral("line"), QString::fromUtf8(json));
    QString error;
    if (auto file = OpenForAppend(RejectedPath()))
        Write(*file, QJsonDocument(line).toJson(QJsonDocument::Compact), &error);
}

QString Spool::RejectedPath() const
{
    return QDir(folder_).filePath(QStringLiteral("rejected") + Jsonl);
}

void Spool::Close(Run& run)
{
    run.statements.reset();
    run.done.reset();
    QFile::remove(run.stem + Jsonl);
    QFile::remove(run.stem + QStringLiteral(".done"));
    run.lock.reset();
}
