// SPDX-License-Identifier: GPL-3.0-or-later
// The record's writer against a folder that fails on command: full, a short write, an error,
// a hang, gone and back. Every row must end up exactly once, in order, whole, in the folder's
// files or in the unsent folder.
#include "record/RecordWriter.h"
#include "support/Bounds.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <condition_variable>
#include <map>
#include <mutex>

namespace {

const QByteArray Head = "head\r\n";

// The folder's files, in the order they were made, and the faults it shows.
struct FakeDisk
{
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::pair<QString, QByteArray>> files;
    bool there = true;     // false: unmounted, nothing in it can be reached
    qint64 room = -1;      // bytes that still fit; -1 for no end
    bool shortOnce = false; // the next append takes half of its bytes and fails
    QString error;         // every append fails with this, writing nothing
    bool hang = false;     // appends wait until this is false again
    int appends = 0;

    QByteArray* Find(const QString& name)
    {
        for (auto& [n, bytes] : files)
            if (n == name)
                return &bytes;
        return nullptr;
    }
};

class FakeFile final : public RecordFile
{
public:
    FakeFile(FakeDisk& d, QString name) : d_(d), name_(std::move(name)) {}
    bool Append(const QByteArray& bytes, QString* error) override
    {
        std::unique_lock lock(d_.m);
        ++d_.appends;
        d_.cv.notify_all();
        d_.cv.wait(lock, [&] { return !d_.hang; });
        QByteArray* file = d_.Find(name_);
        if (!d_.there || !file || !d_.error.isEmpty()) {
            *error = d_.there ? d_.error : QStringLiteral("Input/output error");
            return false;
        }
        qint64 n = bytes.size();
        if (d_.shortOnce)
            n /= 2;
        if (d_.room >= 0)
            n = qMin(n, d_.room);
        file->append(bytes.left(n));
        if (d_.room >= 0)
            d_.room -= n;
        if (n == bytes.size())
            return true;
        *error = d_.shortOnce ? QStringLiteral("short write") : QStringLiteral("No space left on device");
        d_.shortOnce = false;
        return false;
    }
    bool CutBack(qint64 size, QString* error) override
    {
        std::lock_guard lock(d_.m);
        QByteArray* file = d_.Find(name_);
        if (!d_.there || !file) {
            *error = QStringLiteral("Input/output error");
            return false;
        }
        if (d_.room >= 0)
            d_.room += file->size() - size;
        file->truncate(size);
        return true;
    }
    bool StillThere() override
    {
        std::lock_guard lock(d_.m);
        return d_.there && d_.Find(name_);
    }
    QString Path() const override { return name_; }

private:
    FakeDisk& d_;
    QString name_;
};

class FakeFolder final : public RecordFolder
{
public:
    explicit FakeFolder(FakeDisk& d) : d_(d) {}
    std::unique_ptr<RecordFile> NewFile(const QString& stem, QString* error) override
    {
        std::lock_guard lock(d_.m);
        if (!d_.there) {
            *error = QStringLiteral("the folder is gone");
            return nullptr;
        }
        const QString name = stem + QStringLiteral("-%1.csv").arg(d_.files.size() + 1);
        d_.files.emplace_back(name, QByteArray());
        return std::make_unique<FakeFile>(d_, name);
    }
    QString Path() const override { return QStringLiteral("fake"); }

private:
    FakeDisk& d_;
};

QByteArray RowNo(int i)
{
    return QByteArray("row ") + QByteArray::number(i) + ",\"3/5, 1/5\"\r\n";
}

// A writer on a fake disk, its lines on standard error, and an unsent folder of its own.
struct Rig
{
    FakeDisk disk;
    QTemporaryDir home;
    // The lines said, by the writer's thread and by the test's; only under saidMutex.
    mutable std::mutex saidMutex;
    QStringList said;
    std::unique_ptr<RecordWriter> writer;
    int added = 0;

    explicit Rig(size_t maxWaiting = 100000)
    {
        RecordWriter::Settings settings;
        settings.maxWaiting = maxWaiting;
        settings.retry = std::chrono::milliseconds(20);
        settings.unsentFolder = home.filePath("unsent");
        settings.say = [this](const QString& line) {
            std::lock_guard lock(saidMutex);
            said << line;
        };
        writer = std::make_unique<RecordWriter>(std::make_unique<FakeFolder>(disk), "porome-x", Head, settings);
        QString error;
        QVERIFY2(writer->OpenFirst(&error), qPrintable(error));
    }
    void Add(int n)
    {
        for (int i = 0; i < n; ++i)
            writer->Add(RowNo(++added));
    }
    // Every file, in the order made, then the unsent files: each is the head and whole rows.
    QList<QByteArray> Files()
    {
        QList<QByteArray> all;
        for (const auto& f : disk.files)
            all << f.second;
        for (const QString& name : QDir(home.filePath("unsent")).entryList(QDir::Files, QDir::Name)) {
            QFile f(home.filePath("unsent/" + name));
            if (f.open(QIODevice::ReadOnly))
                all << f.readAll();
        }
        return all;
    }
    // The rows found, checking that no file holds a fragment.
    QList<QByteArray> Rows()
    {
        QList<QByteArray> rows;
        for (const QByteArray& file : Files()) {
            if (!file.startsWith(Head) || !file.endsWith("\r\n")) {
                qWarning() << "torn file:" << file;
                return {};
            }
            for (const QByteArray& line : file.mid(Head.size()).split('\n'))
                if (!line.isEmpty())
                    rows << line + '\n';
        }
        return rows;
    }
    void ExpectEveryRowOnce()
    {
        QList<QByteArray> expected;
        for (int i = 1; i <= added; ++i)
            expected << RowNo(i);
        QCOMPARE(Rows(), expected);
    }
    int Said(const QString& part) const
    {
        std::lock_guard lock(saidMutex);
        return int(said.filter(part).size());
    }
};

} // namespace

class RecordWriterTest : public QObject
{
    Q_OBJECT
private slots:
    // A fault comes after 3 rows, 4 rows are refused, the fault goes, 2 more rows follow.
    void faultThenBack_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("cause");
        QTest::newRow("full") << "full" << "No space left on device";
        QTest::newRow("short write") << "short" << "short write";
        QTest::newRow("error") << "error" << "Input/output error";
        QTest::newRow("share dropped out") << "gone" << "the file is gone";
    }
    void faultThenBack()
    {
        QFETCH(QString, fault);
        QFETCH(QString, cause);
        Rig rig;
        rig.Add(3);
        QVERIFY(rig.writer->WriteWaiting());
        const auto set = [&](bool on) {
            std::lock_guard lock(rig.disk.m);
            if (fault == "full")
                rig.disk.room = on ? 10 : -1;
            else if (fault == "short")
                rig.disk.shortOnce = on;
            else if (fault == "error")
                rig.disk.error = on ? cause : QString();
            else
                rig.disk.there = !on;
        };
        set(true);
        for (int i = 0; i < 4; ++i) {
            rig.Add(1);
            if (!rig.writer->WriteWaiting() && fault == "short")
                set(false); // the short write is a one-off: the next round goes through
        }
        if (fault != "short")
            QCOMPARE(rig.writer->Waiting(), size_t(4));
        set(false);
        rig.Add(2);
        QVERIFY(rig.writer->WriteWaiting());
        rig.ExpectEveryRowOnce();
        QCOMPARE(rig.Said("is not being written: " + cause), 1);
        QCOMPARE(rig.Said("written again"), 1);
        // A share that came back gets a new file; the old one keeps its rows.
        QCOMPARE(int(rig.disk.files.size()), fault == "gone" ? 2 : 1);
    }

    // The folder still refuses at the end: the rows go to the user's unsent folder.
    void unsentAtTheEnd()
    {
        Rig rig;
        rig.Add(2);
        QVERIFY(rig.writer->WriteWaiting());
        rig.disk.there = false;
        rig.Add(3);
        rig.writer->Finish();
        QCOMPARE(rig.writer->Waiting(), size_t(0));
        rig.ExpectEveryRowOnce();
        QCOMPARE(rig.Said("rows of the learning record could not be written into fake; they are in "), 1);
    }

    // Past the bound the oldest waiting rows go, and the count is said.
    void boundedWaiting()
    {
        Rig rig(3);
        rig.disk.there = false;
        rig.Add(5);
        QCOMPARE(rig.writer->Waiting(), size_t(3));
        QCOMPARE(rig.writer->Lost(), 2LL);
        rig.disk.there = true;
        QVERIFY(rig.writer->WriteWaiting());
        QCOMPARE(rig.Rows(), (QList<QByteArray>{RowNo(3), RowNo(4), RowNo(5)}));
        rig.writer->Finish();
        QCOMPARE(rig.Said("2 rows of the learning record were lost"), 1);
    }

    // A write that hangs holds up neither the rows handed over behind it nor the end.
    void hangingWrite()
    {
        Rig rig;
        rig.writer->Start();
        {
            std::lock_guard lock(rig.disk.m);
            rig.disk.hang = true;
        }
        rig.Add(1);
        {
            std::unique_lock lock(rig.disk.m);
            // The head was the first append; the first row's is the one that hangs.
            QVERIFY(rig.disk.cv.wait_for(lock, bounds::Event, [&] { return rig.disk.appends == 2; }));
        }
        rig.Add(50); // returns at once while the first row's write hangs
        rig.writer->Finish(std::chrono::milliseconds(50));
        QCOMPARE(rig.Said("one row of the learning record is still being written"), 1);
        {
            std::lock_guard lock(rig.disk.m);
            rig.disk.hang = false;
        }
        rig.disk.cv.notify_all();
        EVENT_COMPARE(rig.writer->Waiting(), size_t(0));
        rig.ExpectEveryRowOnce();
    }

    // With the thread running, rows refused for a while are written on the retry timer alone.
    void retriedWithoutANewRow()
    {
        Rig rig;
        rig.writer->Start();
        {
            std::lock_guard lock(rig.disk.m);
            rig.disk.error = "Input/output error";
        }
        rig.Add(3);
        EVENT_COMPARE(rig.Said("is not being written"), 1);
        {
            std::lock_guard lock(rig.disk.m);
            rig.disk.error.clear();
        }
        EVENT_COMPARE(rig.writer->Waiting(), size_t(0));
        rig.ExpectEveryRowOnce();
        QCOMPARE(rig.Said("3 waiting rows caught up"), 1);
    }
};

QTEST_GUILESS_MAIN(RecordWriterTest)
#include "tst_record_writer.moc"
