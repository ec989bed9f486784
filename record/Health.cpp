// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/Health.h"

#include "record/CsvSink.h"
#include "record/StoreSettings.h"
#include "record/StoreSink.h"
#include "shell/Texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace record {

namespace {

QString Native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

QString Shown(const QDateTime& t)
{
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QStringLiteral("never");
}

// The log keeps at most about twice this: past it, the file moves to porome.log.old.
constexpr qint64 kLogBound = 256 * 1024;

} // namespace

FolderState LookAtFolder(const QString& path)
{
    FolderState f;
    f.path = path;
    if (path.isEmpty())
        return f;
    const QFileInfo info(path);
    f.exists = info.isDir();
    if (info.exists() && !info.isDir()) {
        f.error = QStringLiteral("it is a file, not a folder");
        return f;
    }
    if (f.exists) {
        f.owner = info.owner();
        f.group = info.group();
#ifdef Q_OS_UNIX
        struct stat st{};
        if (::stat(QFile::encodeName(path).constData(), &st) == 0)
            f.mode = uint(st.st_mode) & 07777;
#endif
        QTemporaryFile probe(QDir(path).filePath(QStringLiteral("porome-XXXXXX.tmp")));
        f.writable = probe.open();
        if (!f.writable)
            f.error = probe.errorString();
        return f;
    }
    // Missing: a start makes it where the nearest folder that is there lets it.
    QString above = info.absolutePath();
    while (!QFileInfo(above).exists() && QFileInfo(above).absolutePath() != above)
        above = QFileInfo(above).absolutePath();
    const QFileInfo parent(above);
    if (!parent.isDir()) {
        f.error = QStringLiteral("%1 is not a folder").arg(Native(above));
        return f;
    }
    QTemporaryFile probe(QDir(above).filePath(QStringLiteral("porome-XXXXXX.tmp")));
    f.writable = probe.open();
    if (!f.writable)
        f.error = QStringLiteral("it is missing and cannot be made in %1 (%2)").arg(Native(above), probe.errorString());
    return f;
}

Health Gather(const QString& folder, const StoreSettings& store, const QString& spoolFolder,
              const QString& unsentFolder)
{
    Health h;
    h.folder = LookAtFolder(folder);
    h.unsentFolder = unsentFolder;
    h.unsentFiles = int(QDir(unsentFolder).entryList({QStringLiteral("*.csv")}, QDir::Files).size());
    h.storeSet = store.Configured();
    h.store = store.endpoint.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment);
    if (h.storeSet)
        h.storeProblem = store.Problem();
    h.spoolFolder = spoolFolder;
    h.spool = Spool::Look(spoolFolder);
    h.sender = StoreSender::ReadState(spoolFolder);
    return h;
}

int DaysWaiting(const QDateTime& oldest, const QDateTime& now)
{
    if (!oldest.isValid() || oldest >= now)
        return 0;
    return int(oldest.secsTo(now) / (24 * 60 * 60));
}

Problems ProblemsOf(const Health& h, const QDateTime& now)
{
    Problems p;
    p.folder = !h.folder.path.isEmpty() && !h.folder.writable;
    if (h.storeSet) {
        p.storeSettings = !h.storeProblem.isEmpty();
        p.refused = h.sender.refused;
        p.daysBehind = DaysWaiting(h.spool.oldest, now);
    }
    return p;
}

QString CornerText(const Problems& p)
{
    QStringList parts;
    if (p.folder)
        parts << texts::RecordFolderUnwritable;
    if (p.storeSettings)
        parts << texts::StoreSettingsUnusable;
    if (p.refused)
        parts << texts::StoreRefusedKey;
    if (p.daysBehind > 0)
        parts << texts::StoreBehind.arg(p.daysBehind);
    if (parts.isEmpty())
        return {};
    return texts::RecordNoticePrefix + parts.join(texts::RecordNoticeSeparator);
}

Opened OpenRecord(const QString& folder, const StoreSettings& store, const QString& platform,
                  const QDateTime& now, const QString& spoolFolder, const QString& unsentFolder)
{
    Opened o;
    o.recorder = std::make_unique<Recorder>(Recorder::ThisComputer());
    if (!folder.isEmpty()) {
        QString error;
        if (auto file = CsvFileSink::Open(folder, now, &error, unsentFolder)) {
            o.recorder->AddSink(std::move(file));
        } else {
            o.problems.folder = true;
            o.lines << QStringLiteral("porome: no learning record: cannot write into %1 (%2).")
                           .arg(Native(folder), error);
        }
    }
    if (store.Configured()) {
        // Read before the sender takes the spool over on its own thread.
        const StoreSender::State last = StoreSender::ReadState(spoolFolder);
        const Spool::Contents waiting = Spool::Look(spoolFolder, true);
        QString error;
        const Recorder::Who& who = o.recorder->who();
        if (auto sink = StoreSink::Open(store, who.computer, who.login, platform, &error, spoolFolder)) {
            o.recorder->AddSink(std::move(sink));
        } else {
            o.problems.storeSettings = true;
            o.lines << QStringLiteral("porome: nothing is sent to the learning record store: %1").arg(error);
        }
        if (last.refused) {
            o.problems.refused = true;
            o.lines << QStringLiteral("porome: the learning record store refused the key and secret at the last try "
                                      "(%1, %2).")
                           .arg(Shown(last.lastErrorAt), last.lastError);
        }
        o.problems.daysBehind = DaysWaiting(waiting.oldest, now);
        if (o.problems.daysBehind > 0)
            o.lines << QStringLiteral("porome: statements for the learning record store have waited in %1 since %2.")
                           .arg(Native(spoolFolder), Shown(waiting.oldest));
    }
    if (!o.recorder->HasSinks())
        o.recorder.reset();
    return o;
}

QString StatusText(const Health& h, const QDateTime& now)
{
    QStringList out;
    const FolderState& f = h.folder;
    if (f.path.isEmpty()) {
        out << QStringLiteral("record folder: not set (no CSV record)");
    } else {
        QString state = !f.writable ? QStringLiteral("NOT WRITABLE: %1").arg(f.error)
                        : f.exists  ? QStringLiteral("writable")
                                    : QStringLiteral("missing; a start makes it");
        if (f.mode != 0)
            state += QStringLiteral("; %1:%2 %3").arg(f.owner, f.group).arg(f.mode, 4, 8, QLatin1Char('0'));
        out << QStringLiteral("record folder: %1 (%2)").arg(Native(f.path), state);
    }
    if (h.unsentFiles > 0)
        out << QStringLiteral("unsent rows: %1 files in %2").arg(h.unsentFiles).arg(Native(h.unsentFolder));
    if (!h.storeSet)
        out << QStringLiteral("store: not set (nothing is sent)");
    else if (!h.storeProblem.isEmpty())
        out << QStringLiteral("store: CANNOT BE USED: %1").arg(h.storeProblem);
    else
        out << QStringLiteral("store: %1").arg(h.store);
    if (h.spool.waiting == 0)
        out << QStringLiteral("spool: %1 (empty)").arg(Native(h.spoolFolder));
    else
        out << QStringLiteral("spool: %1 (%2 statements waiting, %3 bytes; the oldest from %4, %5 days ago)")
                   .arg(Native(h.spoolFolder))
                   .arg(h.spool.waiting)
                   .arg(h.spool.bytes)
                   .arg(Shown(h.spool.oldest))
                   .arg(DaysWaiting(h.spool.oldest, now));
    if (h.spool.rejected > 0)
        out << QStringLiteral("rejected: %1 statements in %2")
                   .arg(h.spool.rejected)
                   .arg(Native(QDir(h.spoolFolder).filePath(QStringLiteral("rejected.jsonl"))));
    out << QStringLiteral("last sent: %1").arg(Shown(h.sender.lastSent));
    if (h.sender.lastError.isEmpty())
        out << QStringLiteral("last error: none");
    else
        out << QStringLiteral("last error: %1: %2%3")
                   .arg(Shown(h.sender.lastErrorAt), h.sender.lastError,
                        h.sender.refused ? QStringLiteral(" (the last try)") : QString());
    const QString corner = CornerText(ProblemsOf(h, now));
    out << QStringLiteral("menu: %1").arg(corner.isEmpty() ? QStringLiteral("(nothing shown)") : corner);
    out << QStringLiteral("log: %1").arg(Native(LogPath()));
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString LogPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation))
        .filePath(QStringLiteral("porome.log"));
}

void Log(const QStringList& lines, const QDateTime& now, const QString& path)
{
    if (lines.isEmpty())
        return;
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (QFileInfo(path).size() > kLogBound) {
        const QString old = path + QStringLiteral(".old");
        QFile::remove(old);
        QFile::rename(path, old);
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    const QString stamp = now.toString(Qt::ISODate);
    for (const QString& line : lines)
        file.write((stamp + QLatin1Char(' ') + line + QLatin1Char('\n')).toUtf8());
}

} // namespace record
