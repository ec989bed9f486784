// SPDX-License-Identifier: GPL-3.0-or-later
// The report read back from a store: the same class as the record files of the same drill,
// page after page, and a store that cannot be read to the end is an error, never a report
// that looks complete.
#include "record/CsvSink.h"
#include "report/StoreSource.h"
#include "shell/Texts.h"
#include "report/Report.h"
#include "support/FakeStore.h"
#include "xapi/Statements.h"
#include "support/Bounds.h"

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkProxy>
#include <QTemporaryDir>
#include <QTest>

using Fault = FakeStore::Fault;

namespace {

const QDateTime kStart(QDate(2026, 12, 8), QTime(9, 30));

// One pupil's lesson: a row per "level;problem;answer;outcome;try;kind;serial;mistake".
const QStringList kLesson{
    "9;2/5 + 1/5;3/5;○;1;チェック;1;",
    "9;1/5 + 3/5;4/10;×;1;チェック;2;分母どうしもたした",
    "9;1/5 + 3/5;4/5;△;2;チェック;2;",
    "9;2/4 + 2/4;4/4;分母と分子が同じ数のときは？;1;ヒント;3;そのほか",
    "9;2/4 + 2/4;1;○;1;チェック;3;",
    "14;2 3/5 の名前;真分数;×;1;ボタン;4;そのほか",
    "14;2 3/5 の名前;仮分数;×;2;ボタン;4;そのほか",
    "14;2 3/5 の名前;真分数;×;3;ボタン;4;そのほか",
    "14;7/5 の名前;仮分数;○;1;ボタン;5;",
};

record::Row MakeRow(const QString& line, const QString& computer, const QString& login, int n)
{
    const QStringList p = line.split(u';');
    const int level = p[0].toInt();
    const QDateTime when = kStart.addSecs(n * 7);
    return {{when.toString("yyyy-MM-dd HH:mm:ss"), computer, login, level <= 10 ? "3" : "4",
             texts::LevelNames.at(size_t(level - 1)).left(3), p[0], "1", "1", p[1], p[2], p[3], p[4], p[5], p[6], p[7]},
            when, p[5] == "ボタン" ? record::Input::Button : record::Input::Typed, {}};
}

struct Class
{
    QJsonArray statements;   // of every pupil, as their programs sent them
    QStringList files;       // the same drill as each pupil's record file
};

struct School
{
    QString homePage, activityBase;
    std::vector<std::pair<QString, QString>> pupils;   // computer, login
};
const School kSchool{"https://school.example.jp", "", {{"pc-1", "taro"}, {"pc-2", "hanako"}}};

// Two pupils on their own computers, each one run with an exercise per level.
Class Drill(const School& school = kSchool)
{
    Class c;
    int n = 0;
    for (const auto& [computer, login] : school.pupils) {
        xapi::Settings settings;
        settings.homePage = school.homePage;
        settings.activityBase = school.activityBase;
        settings.platform = "ポロメ test";
        xapi::Statements st(settings);
        QByteArray file = record::Header().join(u',').toUtf8() + "\r\n";
        int level = 0;
        for (const QString& line : kLesson) {
            const record::Row row = MakeRow(line, computer, login, ++n);
            if (row.fields[5].toInt() != level) {
                if (auto end = st.End(row.when))
                    c.statements << *end;
                level = row.fields[5].toInt();
                c.statements << st.Begin(level, row.when, computer, login);
            }
            c.statements << st.Add(row);
            file += record::CsvLine(row);
        }
        c.statements << *st.End(kStart.addSecs(++n * 7));
        c.files << QString::fromUtf8(file);
    }
    return c;
}

void Put(FakeStore& store, const QJsonArray& statements)
{
    store.With([&](FakeStore::State& s) {
        for (const QJsonValue& v : statements)
            s.stored.insert(v[QStringLiteral("id")].toString(), v.toObject());
    });
}

report::StoreQuery Query(const FakeStore& store)
{
    report::StoreQuery q;
    q.endpoint = store.Endpoint();
    q.key = "teacher";
    q.secret = "sekrit-123";
    q.homePage = kSchool.homePage + "/";
    q.timeoutMs = bounds::ScaledMs(500);
    return q;
}

} // namespace

class ReportStoreTest : public QObject
{
    Q_OBJECT
private slots:
    void sameClassAsTheFiles()
    {
        FakeStore store;
        const Class drill = Drill();
        Put(store, drill.statements);
        store.With([](FakeStore::State& s) { s.pageSize = 2; });

        report::SummaryBuilder fromStore;
        QString error;
        QVERIFY2(report::ReadStore(Query(store), fromStore, &error), qPrintable(error));
        const report::Summary got = fromStore.Finish();
        const report::Summary want = report::SummarizeTexts(drill.files);

        QCOMPARE(got.rows, want.rows);
        QVERIFY(got.byGroup == want.byGroup);
        QVERIFY(got.byLevel == want.byLevel);
        QCOMPARE(got.byLevel.at(9), (report::Counts{.problems = 6, .right = 4, .later = 2, .wrong = 0, .hints = 2}));
        QCOMPARE(got.byLevel.at(14).wrong, 2);
        for (const auto& [level, kinds] : want.mistakeKinds) {
            QCOMPARE(got.mistakeKinds.at(level).size(), kinds.size());
            for (size_t i = 0; i < kinds.size(); ++i) {
                QCOMPARE(got.mistakeKinds.at(level)[i].kind, kinds[i].kind);
                QCOMPARE(got.mistakeKinds.at(level)[i].count, kinds[i].count);
            }
        }

        // Each level's answers and hints are asked by the level, its related activities
        // included and never by agent; a page's `more` leads on from the store's host.
        const QStringList asked = store.With([](FakeStore::State& s) { return s.queries; });
        QVERIFY(asked.size() > 44);
        QCOMPARE(asked.filter("cursor=").size(), asked.size() - 44);
        for (const QString& q : asked) {
            QVERIFY2(q.startsWith("/xAPI/statements?") && q.contains("related_activities=true"), qPrintable(q));
            QVERIFY2(!q.contains("agent"), qPrintable(q));
        }
        QVERIFY(store.With([](FakeStore::State& s) { return s.head; }).contains("X-Experience-API-Version: 1.0.3"));
    }

    // A desktop that writes record files and sends to a store: both read together count
    // each check once; with a moment, the files' older rows are left out as the store's are.
    void filesAndStoreTogether_data()
    {
        QTest::addColumn<int>("sinceRow");
        QTest::newRow("everything") << 0;
        QTest::newRow("since hanako began") << 10;
    }
    void filesAndStoreTogether()
    {
        QFETCH(int, sinceRow);
        FakeStore store;
        const Class drill = Drill();
        Put(store, drill.statements);
        report::StoreQuery q = Query(store);
        const QDateTime since = sinceRow ? kStart.addSecs(sinceRow * 7) : QDateTime();
        q.since = since;

        report::SummaryBuilder both, files;
        both.SetSince(since);
        files.SetSince(since);
        for (const QString& text : drill.files) {
            both.AddText(text);
            files.AddText(text);
        }
        QString error;
        QVERIFY2(report::ReadStore(q, both, &error), qPrintable(error));
        const report::Summary got = both.Finish(), want = files.Finish();
        QCOMPARE(got.rows, int(kLesson.size()) * (sinceRow ? 1 : 2));
        QCOMPARE(got.rows, want.rows);
        QVERIFY(got.byGroup == want.byGroup);
        QVERIFY(got.byLevel == want.byLevel);
        if (sinceRow)
            QVERIFY(store.With([](FakeStore::State& st) { return st.queries.first(); }).contains("since=2026-12-08T"));
    }

    void storeThatCannotBeReadIsAnError_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<bool>("moreElsewhere");
        QTest::addColumn<QString>("endpoint");
        QTest::addColumn<QString>("says");
        QTest::newRow("refused") << int(Fault::Unauthorized) << false << "" << "refused the key (HTTP 401)";
        QTest::newRow("503") << int(Fault::Unavailable) << false << "" << "answered HTTP 503";
        QTest::newRow("down") << int(Fault::Down) << false << "" << "cannot be reached";
        QTest::newRow("hangs") << int(Fault::Hang) << false << "" << "cannot be reached";
        QTest::newRow("garbage") << int(Fault::Garbage) << false << "" << "";
        QTest::newRow("huge") << int(Fault::Huge) << false << "" << "more than 65536 bytes";
        QTest::newRow("next page elsewhere") << int(Fault::None) << true << "" << "sent its next page elsewhere";
        QTest::newRow("not http") << int(Fault::None) << false << "ftp://127.0.0.1/xAPI/" << "is not an https:// address";
        // Through a proxy on 127.0.0.1 (the fake store), should a request ever leave.
        QTest::newRow("plain http elsewhere") << int(Fault::None) << false << "http://lrs.example.jp/xAPI/"
                                              << "is plain http:// to another computer";
        QTest::newRow("no homePage") << int(Fault::None) << false << "-" << "lrs/homePage is not set";
    }
    void storeThatCannotBeReadIsAnError()
    {
        QFETCH(int, fault);
        QFETCH(bool, moreElsewhere);
        QFETCH(QString, endpoint);
        QFETCH(QString, says);
        FakeStore store;
        Put(store, Drill().statements);
        store.With([&](FakeStore::State& s) {
            s.pageSize = 3;
            s.moreElsewhere = moreElsewhere;
        });
        store.SetFault(Fault(fault));
        report::StoreQuery q = Query(store);
        q.maxBody = 1 << 16;
        if (endpoint == "-")
            q.homePage.clear();
        else if (!endpoint.isEmpty())
            q.endpoint = QUrl(endpoint);
        if (endpoint.startsWith("http:"))
            QNetworkProxy::setApplicationProxy(
                QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", quint16(store.Endpoint().port())));
        q.endpoint.setUserName("teacher");
        q.endpoint.setPassword("sekrit-123");

        QElapsedTimer clock;
        clock.start();
        report::SummaryBuilder b;
        QString error;
        QVERIFY(!report::ReadStore(q, b, &error));
        QVERIFY2(clock.elapsed() < bounds::ScaledMs(5000), "a store that hangs or floods is given up in bounded time");
        QVERIFY2(!error.isEmpty() && error.contains(says), qPrintable(error));
        QVERIFY2(!error.contains("sekrit") && !error.contains("teacher"), qPrintable(error));
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        store.SetFault(Fault::None);
        if (!endpoint.isEmpty())
            QCOMPARE(store.With([](FakeStore::State& s) { return s.queries; }), QStringList());
    }

    // A board's store with two schools: each school's report has its own pupils only. Made
    // with the base every school shares, the page says so.
    void eachSchoolItsOwnPupils_data()
    {
        QTest::addColumn<QStringList>("homes");
        QTest::addColumn<QStringList>("bases");
        QTest::addColumn<bool>("warned");
        const QStringList own{"https://a.example.jp", "https://b.example.jp"};
        QTest::newRow("own homePage and base") << own << QStringList{"https://x.jp/a/", "https://x.jp/b"} << false;
        QTest::newRow("own homePage, the shared base") << own << QStringList{"", ""} << true;
        QTest::newRow("one homePage, own base") << QStringList{"https://x.jp", "https://x.jp"}
                                                << QStringList{"https://x.jp/a", "https://x.jp/b"} << false;
    }
    void eachSchoolItsOwnPupils()
    {
        QFETCH(QStringList, homes);
        QFETCH(QStringList, bases);
        QFETCH(bool, warned);
        FakeStore store;
        std::vector<Class> drills;
        for (int i = 0; i < 2; ++i) {
            drills.push_back(Drill({homes[i], bases[i], {{"pc-" + QString::number(i), i ? "jiro" : "taro"}}}));
            Put(store, drills.back().statements);
        }
        QTemporaryDir dir;
        for (int i = 0; i < 2; ++i) {
            report::StoreQuery q = Query(store);
            q.homePage = homes[i];
            q.activityBase = bases[i];
            report::SummaryBuilder b;
            QString error;
            QVERIFY2(report::ReadStore(q, b, &error), qPrintable(error));
            QVERIFY(b.Finish().byGroup == report::SummarizeTexts(drills[i].files).byGroup);
            QCOMPARE(report::Run({}, dir.filePath("r.html"), &q), 0);
            QFile page(dir.filePath("r.html"));
            QVERIFY(page.open(QIODevice::ReadOnly));
            QCOMPARE(QString::fromUtf8(page.readAll()).contains("おなじ　activityBase で　よんだので"), warned);
        }
    }
};

QTEST_GUILESS_MAIN(ReportStoreTest)
#include "tst_report_store.moc"
