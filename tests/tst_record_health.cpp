// SPDX-License-Identifier: GPL-3.0-or-later
// Each problem of the record at start gives the menu's corner line and `porome --status` its
// facts, on real folders and a store that refuses the key; record files are 0640; reports go
// to the documents folder.
#include "record/CsvSink.h"
#include "record/Health.h"
#include "record/StoreSettings.h"
#include "report/Report.h"
#include "support/FakeStore.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Read-only for everyone, root too: no write permission and, for root, the immutable flag.
bool MakeReadOnly(const QString& dir, bool on)
{
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner | (on ? QFile::Permissions() : QFile::WriteOwner));
    if (geteuid() != 0)
        return true;
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return ok;
}

} // namespace

class RecordHealthTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The documents folder of a home of the test's own.
        qputenv("HOME", home_.path().toLocal8Bit());
        qunsetenv("XDG_CONFIG_HOME");
    }

    void problems_data()
    {
        QTest::addColumn<QString>("folder");   // "", "ok", "read-only", "gone"
        QTest::addColumn<QString>("store");    // "", "ok", "http elsewhere", "refused"
        QTest::addColumn<int>("hoursWaiting"); // of the spool's oldest statement; 0: none
        QTest::addColumn<QString>("corner");
        QTest::addColumn<QStringList>("status");
        QTest::newRow("nothing set") << "" << "" << 0 << "" << QStringList{"record folder: not set", "store: not set", "menu: (nothing shown)"};
        QTest::newRow("folder works") << "ok" << "" << 0 << "" << QStringList{"(writable; ", "menu: (nothing shown)"};
        QTest::newRow("folder read-only") << "read-only" << "" << 0 << "きろく：フォルダに　かけません" << QStringList{"(NOT WRITABLE: "};
        QTest::newRow("folder went away") << "gone" << "" << 0 << "きろく：フォルダに　かけません" << QStringList{"(NOT WRITABLE: ", "is not a folder"};
        QTest::newRow("store works") << "" << "ok" << 0 << "" << QStringList{"store: http://127.0.0.1:", "(empty)", "last error: none"};
        QTest::newRow("store over plain http") << "" << "http elsewhere" << 0 << "きろく：LRS の　せっていが　つかえません" << QStringList{"store: CANNOT BE USED: lrs/endpoint \"http://lrs.example.jp/"};
        QTest::newRow("store refused the key") << "" << "refused" << 0 << "きろく：LRS が　キーを　ことわりました" << QStringList{"(1 statements waiting", "last sent: never", "HTTP 401: the key and secret are refused (the last try)"};
        QTest::newRow("spool 23 hours") << "" << "ok" << 23 << "" << QStringList{"0 days ago", "menu: (nothing shown)"};
        QTest::newRow("spool 3 days") << "" << "ok" << 75 << "きろく：LRS に　おくれていません（3 日）" << QStringList{"(1 statements waiting", "3 days ago"};
        QTest::newRow("two at once") << "gone" << "refused" << 49 << "きろく：フォルダに　かけません　／　LRS が　キーを　ことわりました　／　LRS に　おくれていません（2 日）" << QStringList{"NOT WRITABLE", "(the last try)"};
    }
    void problems()
    {
        QFETCH(QString, folder);
        QFETCH(QString, store);
        QFETCH(int, hoursWaiting);
        QFETCH(QString, corner);
        QFETCH(QStringList, status);
        QTemporaryDir home;
        const QString records = folder.isEmpty() ? QString() : home.filePath("share/kiroku");
        const QString spool = home.filePath("lrs"), unsent = home.filePath("unsent");
        if (!records.isEmpty())
            QVERIFY(QDir().mkpath(records));
        if (folder == "read-only" && !MakeReadOnly(records, true))
            QSKIP("root, and the file system takes no immutable flag: no folder is read-only to this test");
        if (folder == "gone") {
            // The share went away, and something else stands at its place.
            QVERIFY(QDir(home.filePath("share")).removeRecursively());
            QFile plug(home.filePath("share"));
            QVERIFY(plug.open(QIODevice::WriteOnly));
        }
        FakeStore lrs;
        QSettings ini(home.filePath("porome.ini"), QSettings::IniFormat);
        if (!store.isEmpty()) {
            ini.setValue("lrs/endpoint", store == "http elsewhere" ? "http://lrs.example.jp/" : lrs.Endpoint().toString());
            ini.setValue("lrs/key", "key");
            ini.setValue("lrs/secret", "sekrit-123");
            ini.setValue("lrs/homePage", "https://school.example.jp/");
        }
        const StoreSettings settings = StoreSettings::Read(ini);
        QVERIFY(QDir().mkpath(spool));
        if (hoursWaiting > 0) {
            QFile run(spool + "/run-20261207-100000-000-abcdef01.jsonl");
            QVERIFY(run.open(QIODevice::WriteOnly));
            run.write("{\"id\":\"00000000-0000-4000-8000-000000000001\",\"timestamp\":\""
                      + QDateTime::currentDateTime().addSecs(-3600 * hoursWaiting).toString(Qt::ISODateWithMs).toUtf8()
                      + "\"}\n");
        }
        if (store == "refused") {
            // An earlier run whose statement the store answered with 401.
            lrs.SetFault(FakeStore::Fault::Unauthorized);
            auto before = record::OpenRecord({}, settings, "ポロメ test", QDateTime::currentDateTime(), spool, unsent);
            before.recorder->ExerciseBegins(1);
            QTRY_VERIFY_WITH_TIMEOUT(StoreSender::ReadState(spool).refused, 60000);
        }
        const QDateTime now = QDateTime::currentDateTime();
        const record::Health h = record::Gather(records, settings, spool, unsent);
        const QString text = record::StatusText(h, now);
        for (const QString& part : status)
            QVERIFY2(text.contains(part), qPrintable(text));
        QVERIFY2(text.contains("menu: " + (corner.isEmpty() ? "(nothing shown)" : corner)), qPrintable(text));
        QVERIFY(!text.contains("sekrit"));
        QCOMPARE(record::ProblemsOf(h, now).Any(), !corner.isEmpty());

        const record::Opened start = record::OpenRecord(records, settings, "ポロメ test", now, spool, unsent);
        QCOMPARE(record::CornerText(start.problems), corner);
        QCOMPARE(start.lines.size(), qsizetype(corner.count("／") + (corner.isEmpty() ? 0 : 1)));
        QCOMPARE(bool(start.recorder), folder == "ok" || store == "ok" || store == "refused");
        QFile state(StoreSender::StatePath(spool));
        QVERIFY(!state.open(QIODevice::ReadOnly) || !state.readAll().contains("sekrit"));
        if (folder == "read-only")
            MakeReadOnly(records, false);
    }

    // Only the owner and the folder's group read a record file, whatever the umask.
    void recordFileMode_data()
    {
        QTest::addColumn<int>("mask");
        QTest::newRow("umask 000") << 0;
        QTest::newRow("umask 022") << 022;
        QTest::newRow("umask 077") << 077;
    }
    void recordFileMode()
    {
        QFETCH(int, mask);
        QTemporaryDir dir;
        // Not setgid, and of another group: the file takes the folder's where it may.
        const bool root = geteuid() == 0;
        QVERIFY(!root || ::chown(QFile::encodeName(dir.path()).constData(), uid_t(-1), 4242) == 0);
        const mode_t before = ::umask(mode_t(mask));
        QString error;
        auto sink = CsvFileSink::Open(dir.path(), QDateTime::currentDateTime(), &error, dir.filePath("unsent"));
        ::umask(before);
        QVERIFY2(sink, qPrintable(error));
        struct stat file{};
        QVERIFY(::stat(QFile::encodeName(sink->FileName()).constData(), &file) == 0);
        QCOMPARE(file.st_mode & 07777, mode_t(0640));
        QVERIFY(!root || file.st_gid == 4242);
    }

    // A dropped record's report goes to the documents folder, for the teacher alone.
    void reportGoesToDocuments()
    {
        QTemporaryDir records;
        const QString page = report::RunDropped({records.path()});
        QCOMPARE(page, QDir(report::ReportFolder()).filePath("porome-report.html"));
        QVERIFY(!QFile::exists(records.filePath("porome-report.html")));
        QCOMPARE(QFile::permissions(page) & 0x0077, QFile::Permissions());   // nothing for group or others
    }

private:
    QTemporaryDir home_;
};

QTEST_GUILESS_MAIN(RecordHealthTest)
#include "tst_record_health.moc"
