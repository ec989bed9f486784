// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/RecordWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Only the owner and the folder's group read a record file, whatever the umask: in a folder
// that gives its group to new files (setgid), that is the teachers' group, never the other
// pupils. Windows leaves the file to the folder's inherited ACL.
bool OpenRecordFile(QFile& file, const QString& folder)
{
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered;
#ifdef Q_OS_UNIX
    if (!file.open(mode, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup))
        return false;
    const int fd = file.handle();
    struct stat dir{}, own{};
    // A folder without setgid leaves the file the creator's own group: given the folder's
    // where the creator may, as a member of it.
    if (::stat(QFile::encodeName(folder).constData(), &dir) == 0 && ::fstat(fd, &own) == 0 && own.st_gid != dir.st_gid
        && ::fchown(fd, uid_t(-1), dir.st_gid) != 0) {
        // Not a member: the file keeps the creator's group.
    }
    // Created no wider than this; a umask of 0 or 077 does not change it.
    if (::fchmod(fd, S_IRUSR | S_IWUSR | S_IRGRP) != 0) {
        // The umask's narrower mode stays.
    }
    return true;
#else
    Q_UNUSED(folder);
    return file.open(mode);
#endif
}

class DiskFile final : public RecordFile
{
public:
    explicit DiskFile(std::unique_ptr<QFile> file) : file_(std::move(file)) {}

    bool Append(const QByteArray& bytes, QString* error) override
    {
        file_->unsetError();
        qint64 done = 0;
        // A full disk takes part of a write and reports the cause only on the next one.
        for (int tries = 0; done < bytes.size() && tries < 3; ++tries) {
            const qint64 n = file_->write(bytes.constData() + done, bytes.size() - done);
            if (n <= 0)
                break;
            done += n;
        }
        if (done == bytes.size())
            return true;
        *error = file_->error() != QFileDevice::NoError ? file_->errorString() : QStringLiteral("short write");
        return false;
    }

    bool CutBack(qint64 size, QString* error) override
    {
        if (file_->resize(size) && file_->seek(size))
            return true;
        *error = file_->errorString();
        return false;
    }

    bool StillThere() override { return QFileInfo::exists(file_->fileName()); }
    QString Path() const override { return file_->fileName(); }

private:
    std::unique_ptr<QFile> file_;
};

class DiskFolderImpl final : public RecordFolder
{
public:
    explicit DiskFolderImpl(const QString& path) : dir_(path) {}

    std::unique_ptr<RecordFile> NewFile(const QString& stem, QString* error) override
    {
        if (!dir_.exists()) {
            *error = QStringLiteral("the folder is gone");
            return nullptr;
        }
        auto file = std::make_unique<QFile>();
        // Two runs started in the same second get their own files.
        for (int n = 1; n <= 100; ++n) {
            file->setFileName(dir_.filePath(stem + (n == 1 ? QString() : QStringLiteral("-%1").arg(n))
                                            + QStringLiteral(".csv")));
            if (OpenRecordFile(*file, dir_.path()))
                return std::make_unique<DiskFile>(std::move(file));
            if (!file->exists())
                break;
        }
        *error = file->errorString();
        return nullptr;
    }
    QString Path() const override { return dir_.path(); }

private:
    QDir dir_;
};

QString Native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

std::unique_ptr<RecordFolder> DiskFolder(const QString& path)
{
    return std::make_unique<DiskFolderImpl>(path);
}

// Everything the writing thread uses. It is shared, so that a thread stuck in a write that
// never returns may outlive the writer without touching freed memory.
struct RecordWriter::State
{
    std::unique_ptr<RecordFolder> folder;
    QString stem;
    QByteArray head;
    Settings settings;

    // Only the one thread doing a round touches these.
    std::unique_ptr<RecordFile> file;
    qint64 written = 0;   // the end of the last whole row in `file`; 0 before its head
    bool stopped = false; // writing stopped, said once, until it resumes
    size_t caughtUp = 0;

    mutable std::mutex m;
    std::condition_variable cv;
    std::deque<QByteArray> rows; // waiting, oldest first
    bool inFlight = false;       // rows.front() is being written
    long long lost = 0, lostSaid = 0;
    bool running = false, stop = false, exited = false, fresh = false;
    unsigned long long requested = 0, completed = 0;
    std::mutex roundMutex; // one round at a time

    void Say(const QString& line) const
    {
        if (settings.say)
            settings.say(line);
        else
            std::fprintf(stderr, "%s\n", qPrintable(line));
    }

    void Stopped(const QString& cause)
    {
        if (stopped)
            return;
        stopped = true;
        caughtUp = 0;
        Say(QStringLiteral("porome: the learning record is not being written: %1 (%2); its rows wait in "
                           "memory and are written when the folder takes them again.")
                .arg(cause, Native(file ? file->Path() : folder->Path())));
    }

    // Appends bytes whole, or cuts the file back to its last whole row.
    bool AppendWhole(const QByteArray& bytes)
    {
        QString error;
        if (file->Append(bytes, &error)) {
            written += bytes.size();
            return true;
        }
        Stopped(error);
        QString cutError;
        // Where the fragment cannot be cut off, a later row must not join it: a new file.
        if (!file->CutBack(written, &cutError))
            file.reset();
        return false;
    }

    bool OpenFile(QString* error)
    {
        if (file && !file->StillThere()) {
            Stopped(QStringLiteral("the file is gone"));
            file.reset();
        }
        if (!file) {
            file = folder->NewFile(stem, error);
            written = 0;
            if (!file) {
                Stopped(*error);
                return false;
            }
        }
        if (written == 0 && !AppendWhole(head)) {
            *error = QStringLiteral("cannot write the header");
            return false;
        }
        return true;
    }

    // One round: writes the waiting rows in order until one is refused.
    bool Round()
    {
        std::lock_guard round(roundMutex);
        QString error;
        {
            std::lock_guard lock(m);
            if (rows.empty() && file)
                return true;
        }
        if (!OpenFile(&error))
            return false;
        for (;;) {
            QByteArray row;
            {
                std::lock_guard lock(m);
                if (rows.empty())
                    break;
                row = rows.front();
                inFlight = true;
            }
            const bool ok = AppendWhole(row);
            std::lock_guard lock(m);
            inFlight = false;
            if (!ok)
                return false;
            rows.pop_front();
            ++caughtUp;
        }
        if (stopped) {
            stopped = false;
            Say(QStringLiteral("porome: the learning record is written again: %1 waiting rows caught up (%2).")
                    .arg(caughtUp)
                    .arg(Native(file->Path())));
        }
        return true;
    }

    void Run()
    {
        std::unique_lock lock(m);
        while (!stop) {
            // Wakes for a new row, a request, the stop, or the retry while rows wait.
            const auto woken = [&] { return stop || fresh || requested != completed; };
            if (rows.empty())
                cv.wait(lock, woken);
            else
                cv.wait_for(lock, settings.retry, woken);
            if (stop)
                break;
            fresh = false;
            const unsigned long long asked = requested;
            lock.unlock();
            Round();
            lock.lock();
            completed = asked;
            cv.notify_all();
        }
        exited = true;
        cv.notify_all();
    }
};

RecordWriter::RecordWriter(std::unique_ptr<RecordFolder> folder, const QString& stem, const QByteArray& head,
                           Settings settings)
    : state_(std::make_shared<State>())
{
    state_->folder = std::move(folder);
    state_->stem = stem;
    state_->head = head;
    state_->settings = std::move(settings);
    unsentFolder_ = state_->settings.unsentFolder;
}

RecordWriter::~RecordWriter()
{
    Finish();
    std::unique_lock lock(state_->m);
    if (!state_->running)
        return;
    state_->stop = true;
    state_->cv.notify_all();
    // A thread stuck in a write is left to the end of the process; it holds its own state.
    state_->cv.wait_for(lock, std::chrono::milliseconds(200), [&] { return state_->exited; });
}

bool RecordWriter::OpenFirst(QString* error)
{
    State& s = *state_;
    std::lock_guard round(s.roundMutex);
    s.file = s.folder->NewFile(s.stem, error);
    if (!s.file)
        return false;
    if (!s.file->Append(s.head, error)) {
        // Nothing was recorded yet: no file is better than a torn one.
        QFile::remove(s.file->Path());
        s.file.reset();
        return false;
    }
    s.written = s.head.size();
    return true;
}

QString RecordWriter::FileName() const
{
    std::lock_guard round(state_->roundMutex);
    return state_->file ? state_->file->Path() : QString();
}

void RecordWriter::Add(const QByteArray& row)
{
    State& s = *state_;
    std::lock_guard lock(s.m);
    if (s.rows.size() >= s.settings.maxWaiting && s.rows.size() > (s.inFlight ? 1u : 0u)) {
        // The row being written stays; the oldest behind it goes.
        s.rows.erase(s.rows.begin() + (s.inFlight ? 1 : 0));
        if (s.lost++ == 0)
            s.Say(QStringLiteral("porome: more than %1 rows of the learning record wait; the oldest are lost.")
                      .arg(s.settings.maxWaiting));
    }
    s.rows.push_back(row);
    s.fresh = true;
    s.cv.notify_all();
}

void RecordWriter::Start()
{
    std::lock_guard lock(state_->m);
    if (state_->running)
        return;
    state_->running = true;
    std::thread([s = state_] { s->Run(); }).detach();
}

bool RecordWriter::WriteWaiting()
{
    return state_->Round();
}

void RecordWriter::Finish(std::chrono::milliseconds patience)
{
    State& s = *state_;
    std::unique_lock lock(s.m);
    if (!s.running || s.exited) {
        lock.unlock();
        s.Round();
        lock.lock();
    } else if (s.rows.size() > (s.inFlight ? 1u : 0u)) {
        // The writing thread has a go at it first; a hung write gets `patience`.
        const unsigned long long asked = ++s.requested;
        s.cv.notify_all();
        s.cv.wait_for(lock, patience, [&] { return s.completed >= asked; });
    }
    // What is still waiting now goes to the unsent folder, except a row a hung write holds.
    const size_t keep = s.inFlight ? 1 : 0;
    if (s.rows.size() > keep) {
        std::deque<QByteArray> left(s.rows.begin() + keep, s.rows.end());
        s.rows.erase(s.rows.begin() + keep, s.rows.end());
        lock.unlock();
        QByteArray bytes = s.head;
        for (const QByteArray& row : left)
            bytes += row;
        QString error = QStringLiteral("no folder for them");
        bool ok = false;
        std::unique_ptr<RecordFile> file;
        if (!unsentFolder_.isEmpty() && QDir().mkpath(unsentFolder_))
            file = DiskFolder(unsentFolder_)->NewFile(s.stem, &error);
        if (file)
            ok = file->Append(bytes, &error);
        if (ok)
            s.Say(QStringLiteral("porome: %1 rows of the learning record could not be written into %2; "
                                 "they are in %3.")
                      .arg(left.size())
                      .arg(Native(s.folder->Path()), Native(file->Path())));
        else
            s.Say(QStringLiteral("porome: %1 rows of the learning record are lost: %2.").arg(left.size()).arg(error));
        lock.lock();
    }
    if (s.inFlight)
        s.Say(QStringLiteral("porome: one row of the learning record is still being written into %1.")
                  .arg(Native(s.folder->Path())));
    if (s.lost > s.lostSaid) {
        s.lostSaid = s.lost;
        s.Say(QStringLiteral("porome: %1 rows of the learning record were lost while too many waited.").arg(s.lost));
    }
}

size_t RecordWriter::Waiting() const
{
    std::lock_guard lock(state_->m);
    return state_->rows.size();
}

long long RecordWriter::Lost() const
{
    std::lock_guard lock(state_->m);
    return state_->lost;
}
