// SPDX-License-Identifier: GPL-3.0-or-later
// The page's record on this side of its JavaScript: what a launch and porome-config.json
// ask for, bad input refused with one line and no credential in it, a level opened at once,
// and the closing screen's line and button.
#include "shell/PagePlatform.h"
#include "shell/PageWindow.h"
#include "support/Harness.h"
#include "web/Launch.h"
#include "web/OpenLevel.h"
#include "web/PageRecord.h"
#include "record/Csv.h"
#include "record/CsvSink.h"
#include "record/Recorder.h"
#include "report/Summary.h"
#include "xapi/Statements.h"
#include "support/Bounds.h"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using page::Record;

namespace {

const QString kActor = QStringLiteral("{\"objectType\":\"Agent\",\"account\":{\"homePage\":\"https://portal.example.jp\",\"name\":\"s0123\"}}");
const QString kAuth = QStringLiteral("Basic c2VjcmV0OnNlY3JldA==");

// The queue as the page's JavaScript would hold it.
struct FakeQueue final : page::Queue
{
    int opened = 0;
    QString header;
    QList<QJsonObject> statements;
    QStringList rows, said;
    int waiting = 0, unsaved = 0, saves = 0;
    void Open(const page::Launch&, const QString& h) override
    {
        ++opened;
        header = h;
    }
    void Keep(const QJsonObject& s) override { statements << s; }
    void KeepRow(const QString& line) override { rows << line; }
    int Waiting() override { return waiting; }
    int Unsaved() override { return unsaved; }
    void Save() override
    {
        ++saves;
        unsaved = 0;
    }
    void Say(const QString& line) override { said << line; }
};

struct SilentTone final : PageSound
{
    void Tone() override {}
};

QHash<QString, QString> Params(const QString& query)
{
    QHash<QString, QString> p;
    for (const QString& pair : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        p.insert(pair.left(eq), pair.mid(eq + 1));
    }
    return p;
}

} // namespace

class PageRecordTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PrepareTestApplication(); }

    void launch_data()
    {
        QTest::addColumn<QString>("query");   // the launch's parameters, '&' between them
        QTest::addColumn<QString>("config");  // porome-config.json, "-" for none
        QTest::addColumn<bool>("storage");
        QTest::addColumn<int>("record");
        QTest::addColumn<QString>("endpoint");
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("problems");
        const QString store = QStringLiteral("endpoint=https://lrs.example.jp/xapi&auth=") + kAuth
                            + QStringLiteral("&actor=") + kActor;
        const QString none = QStringLiteral("-");
        const int S = int(Record::Store), D = int(Record::Download), N = int(Record::None);
        QTest::newRow("a portal's launch") << store << none << true << S << "https://lrs.example.jp/xapi/" << 0 << 0;
        QTest::newRow("fetch instead of auth")
            << "endpoint=https://lrs.example.jp/xapi/&fetch=https://portal.example.jp/token?t=1&actor=" + kActor << none
            << true << S << "https://lrs.example.jp/xapi/" << 0 << 0;
        QTest::newRow("plain link, no launch") << "" << none << true << N << "" << 0 << 0;
        QTest::newRow("level=14") << store + "&level=14" << none << true << S << "https://lrs.example.jp/xapi/" << 14 << 0;
        QTest::newRow("level out of range") << "level=23" << none << true << N << "" << 0 << 1;
        QTest::newRow("level not a number") << "level=x" << none << true << N << "" << 0 << 1;
        QTest::newRow("actor not JSON") << store.left(store.indexOf("&actor=")) + "&actor={account:" << none << true << N
                                        << "" << 0 << 1;
        QTest::newRow("actor names nobody") << store.left(store.indexOf("&actor=")) + "&actor={\"name\":\"x\"}" << none
                                            << true << N << "" << 0 << 1;
        QTest::newRow("no actor") << store.left(store.indexOf("&actor=")) << none << true << N << "" << 0 << 1;
        QTest::newRow("endpoint ftp") << "endpoint=ftp://lrs.example.jp/&actor=" + kActor << none << true << N << "" << 0
                                      << 1;
        QTest::newRow("endpoint plain http away") << "endpoint=http://lrs.example.jp/&actor=" + kActor << none << true
                                                  << N << "" << 0 << 1;
        QTest::newRow("endpoint plain http loopback") << "endpoint=http://127.0.0.1:8080/xAPI&actor=" + kActor << none
                                                      << true << S << "http://127.0.0.1:8080/xAPI/" << 0 << 0;
        QTest::newRow("endpoint localhost") << "endpoint=http://localhost:8080/xAPI/&actor=" + kActor << none << true << S
                                            << "http://localhost:8080/xAPI/" << 0 << 0;
        QTest::newRow("endpoint with a password") << "endpoint=https://k:s@lrs.example.jp/&actor=" + kActor << none
                                                  << true << N << "" << 0 << 1;
        QTest::newRow("fetch plain http away")
            << "endpoint=https://lrs.example.jp/&fetch=http://portal.example.jp/t&actor=" + kActor << none << true << N
            << "" << 0 << 1;
        QTest::newRow("registration not a UUID, sent without")
            << store + "&registration=nope" << none << true << S << "https://lrs.example.jp/xapi/" << 0 << 1;
        QTest::newRow("IndexedDB refused") << store + "&level=3" << none << false << N << "" << 3 << 1;
        QTest::newRow("config gives the store") << "actor=" + kActor
                                                << "{\"endpoint\":\"https://lrs.example.jp/x/\",\"auth\":\"Basic a2V5\"}"
                                                << true << S << "https://lrs.example.jp/x/" << 0 << 0;
        QTest::newRow("config without actor") << "" << "{\"endpoint\":\"https://lrs.example.jp/x/\"}" << true << N << ""
                                              << 0 << 1;
        QTest::newRow("config does not parse") << store << "{\"endpoint\": " << true << N << "" << 0 << 1;
        QTest::newRow("config not an object") << store << "[1]" << true << N << "" << 0 << 1;
        QTest::newRow("config key not a text") << store << "{\"record\": 1}" << true << N << "" << 0 << 1;
        QTest::newRow("config record unknown") << store << "{\"record\": \"both\"}" << true << N << "" << 0 << 1;
        QTest::newRow("download, no actor") << "" << "{\"record\": \"download\"}" << true << D << "" << 0 << 0;
        QTest::newRow("download, actor not JSON") << "actor=[" << "{\"record\": \"download\"}" << true << N << "" << 0 << 1;
        QTest::newRow("download, no storage") << "" << "{\"record\": \"download\"}" << false << N << "" << 0 << 1;
        QTest::newRow("homePage not an IRI") << store << "{\"homePage\": \"school\"}" << true << N << "" << 0 << 1;
    }
    void launch()
    {
        QFETCH(QString, query);
        QFETCH(QString, config);
        QFETCH(bool, storage);
        QFETCH(int, record);
        QFETCH(QString, endpoint);
        QFETCH(int, level);
        QFETCH(int, problems);
        page::LaunchInput in;
        in.params = Params(query);
        if (config != QLatin1String("-"))
            in.config = config.toUtf8();
        in.storage = storage;
        const page::Launch l = page::ReadLaunch(in);
        QCOMPARE(int(l.record), record);
        QCOMPARE(l.endpoint.toString(), endpoint);
        QCOMPARE(l.level, level);
        QCOMPARE(l.problems.size(), problems);
        // A credential never reaches the console, and neither does a one-time address's query.
        for (const QString& line : l.problems) {
            QVERIFY2(!line.contains(QLatin1String("c2VjcmV0")) && !line.contains(QLatin1String("a2V5"))
                         && !line.contains(QLatin1String(":s@")) && !line.contains(QLatin1String("?t=")),
                     qPrintable(line));
            QVERIFY(line.startsWith(QLatin1String("porome: ")));
        }
        if (l.record == Record::Store && !l.fetch.isEmpty())
            QVERIFY(l.auth.isEmpty());
    }

    // The launch's activity id names a level when it is one of the levels' own ids, under
    // the program's base or the base porome-config.json gives.
    void levelFromActivityId_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("idBase");
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("opened");
        QTest::newRow("program's base, level 14") << "" << xapi::DefaultActivityBase() << 14 << 14;
        QTest::newRow("program's base, level 1") << "" << xapi::DefaultActivityBase() << 1 << 1;
        QTest::newRow("config's base") << "https://school.example.jp/porome/" << "https://school.example.jp/porome/" << 22
                                       << 22;
        QTest::newRow("another base") << "" << "https://elsewhere.example.jp/" << 14 << 0;
    }
    void levelFromActivityId()
    {
        QFETCH(QString, base);
        QFETCH(QString, idBase);
        QFETCH(int, level);
        QFETCH(int, opened);
        page::LaunchInput in;
        in.params.insert(QStringLiteral("activity_id"), xapi::LevelActivityId(idBase, level));
        if (!base.isEmpty())
            in.config = QStringLiteral("{\"activityBase\": \"%1\"}").arg(base).toUtf8();
        QCOMPARE(page::ReadLaunch(in).level, opened);
    }

    // The record file's rows are the desktop's: its header, its columns and quoting, the
    // answer made inert for spreadsheets.
    void fileRows()
    {
        FakeQueue q;
        page::Launch l;
        l.record = Record::Download;
        l.problems = QStringList{QStringLiteral("porome: one")};
        std::unique_ptr<RecordSink> sink = page::OpenRecord(l, q, QStringLiteral("ポロメ web"));
        QVERIFY(sink);
        QCOMPARE(q.said, QStringList{QStringLiteral("porome: one")});
        QCOMPARE(q.header, QStringLiteral("日時,コンピューター,ログイン,学年,レベル,レベル番号,枠,問題番号,問題,答え,結果,回目,"
                                          "種類,通し番号,まちがいのしゅるい\r\n"));
        record::Row row;
        row.fields = QStringList{"2025-04-10 10:00:01", "", "", "3", "L01", "1", "1", "1", "1/3 m", "=1+2",
                                 "×", "1", "チェック", "1", "分子と分母, 逆"};
        sink->Add(row);
        QCOMPARE(q.rows, QStringList{"2025-04-10 10:00:01,,,3,L01,1,1,1,1/3 m,'=1+2,×,1,チェック,1,\"分子と分母, 逆\"\r\n"});
        QVERIFY(q.statements.isEmpty());
    }

    // A drill on the page gives the desktop's statements, with the launch's pupil,
    // registration and the page's platform.
    void statementsOfADrill()
    {
        FakeQueue q;
        page::LaunchInput in;
        in.params = Params(QStringLiteral("endpoint=https://lrs.example.jp/xapi&auth=") + kAuth + QStringLiteral("&actor=")
                           + kActor + QStringLiteral("&registration=0f8a9d3e-7c1b-4a53-9f0e-2d6b1c4e8a71"));
        const page::Launch l = page::ReadLaunch(in);
        Harness h;
        Recorder recorder(Recorder::Who{QString(), page::LoginOf(l)},
                          [] { return QDateTime(QDate(2025, 4, 10), QTime(10, 0)); });
        recorder.AddSink(page::OpenRecord(l, q, QStringLiteral("ポロメ 1.0.1 web")));
        recorder.Attach(h.form->exercise());
        h.form->recorder = &recorder;
        h.StartLevel(7);
        h.PressSlot(1);
        h.Type(1, 1, QStringLiteral("9"));
        h.Check(1);
        h.platform.answers = {true};
        h.form->Command8_Click(0);
        QCOMPARE(q.opened, 1);
        QStringList verbs;
        for (const QJsonObject& st : q.statements) {
            verbs << st.value("verb").toObject().value("id").toString().section(QLatin1Char('/'), -1);
            QCOMPARE(st.value("actor").toObject(), l.actor);
            const QJsonObject context = st.value("context").toObject();
            QCOMPARE(context.value("registration").toString(), l.registration);
            QCOMPARE(context.value("platform").toString(), QStringLiteral("ポロメ 1.0.1 web"));
        }
        QCOMPARE(verbs, QStringList({"attempted", "answered", "completed"}));
        QVERIFY(q.rows.isEmpty());
    }

    // The report takes a record file's name as the pupil of its rows without a login; rows
    // with one keep it.
    void reportNamesFilesPupils()
    {
        QTemporaryDir dir;
        const QString header = csv::Row(record::Header());
        const auto row = [](const QString& login, const QString& outcome) {
            record::Row r;
            r.fields = QStringList{"2025-04-10 10:00:01", "", login, "3", "L07", "7", "1", "1", "?/?=1", "9/9",
                                   outcome, "1", "チェック", "1", ""};
            return QString::fromUtf8(record::CsvLine(r));
        };
        const auto write = [&](const QString& name, const QString& text) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("\xEF\xBB\xBF" + (header + text).toUtf8());
        };
        write(QStringLiteral("さくら.csv"), row("", "○") + row("", "×"));
        write(QStringLiteral("たろう.csv"), row("", "○"));
        write(QStringLiteral("porome-20250410-100000.csv"), row("s0123", "○"));
        const report::Summary s = report::Summarize({dir.path()});
        QStringList names;
        for (const report::Pupil& p : report::Pupils(s))
            names << p.name;
        QCOMPARE(names, QStringList({"s0123", "さくら", "たろう"}));
        QCOMPARE(s.byGroup.at(QStringLiteral(" / さくら")).at(7).right, 1);
    }

    void nothingKeptOpensNothing()
    {
        FakeQueue q;
        page::Launch l;
        l.problems = QStringList{QStringLiteral("porome: why")};
        QVERIFY(!page::OpenRecord(l, q, QString()));
        QCOMPARE(q.opened, 0);
        QCOMPARE(q.said.size(), 1);
    }

    // A launch that names a level opens its exercise, not the menu; 終わる returns to that
    // level's menu with it chosen.
    void levelOpensAtOnce_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("panel");
        QTest::newRow("level 1") << 1 << 0;
        QTest::newRow("level 8") << 8 << 1;
        QTest::newRow("level 14") << 14 << 1;
        QTest::newRow("level 22") << 22 << 0;
    }
    void levelOpensAtOnce()
    {
        QFETCH(int, level);
        QFETCH(int, panel);
        ScriptedPlatform scripted;
        Form1 form(scripted, nullptr, Form1::Build::MenuFirst);
        form.Form_Load();
        form.show();
        page::OpenLevel(form, level);
        QCOMPARE(int(form.st.Level), level);
        QCOMPARE(int(form.st.PanelIndex), panel);
        QVERIFY(form.Picture1[panel]->isVisible());
        QVERIFY(!form.Picture7[level <= 10 ? 0 : 1]->isVisible());
        QVERIFY(scripted.messages.isEmpty());
        scripted.answers = {true};
        form.Command8_Click(int16_t(panel));
        QVERIFY(form.Picture7[level <= 10 ? 0 : 1]->isVisible());
        QVERIFY(form.Option2[level - 1]->isChecked());
    }

    // The closing screen says how many statements wait, in full-width digits, only while
    // some do; in download mode it offers to save the rows while there are any.
    void closingScreenRecord()
    {
        ScriptedPlatform scripted;
        PageWindow* pagePtr = nullptr;
        SilentTone tone;
        PagePlatform platform(scripted, tone, [&] { pagePtr->showClosing(); });
        Form1* current = nullptr;
        PageWindow page([&] {
            auto form = std::make_unique<Form1>(platform, nullptr, Form1::Build::MenuFirst);
            form->Form_Load();
            current = form.get();
            return std::unique_ptr<QWidget>(std::move(form));
        });
        pagePtr = &page;
        FakeQueue q;
        page.setRecord({[&q] { return q.Waiting(); }, [&q] { return q.Unsaved(); }, [&q] { q.Save(); }});
        page.resize(1366, 768);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        q.waiting = 12;
        q.unsaved = 3;
        scripted.answers = {true};
        current->Command2_Click(0);
        QVERIFY(page.closingScreen().isVisible());
        QVERIFY(page.unsentLine().isVisible());
        QCOMPARE(page.unsentLine().text(), QStringLiteral("きろくが　まだ　１２こ　おくれていません。"));
        QVERIFY(page.saveButton().isVisible());
        QCOMPARE(page.saveButton().text(), QStringLiteral("きろくを　ほぞんする"));
        const QPoint again = page.againButton().pos();
        // The store takes them while the screen shows: the line goes, もういちど stays put.
        q.waiting = 0;
        EVENT_VERIFY(!page.unsentLine().isVisible());
        QCOMPARE(page.againButton().pos(), again);
        QTest::mouseClick(&page.saveButton(), Qt::LeftButton);
        QCOMPARE(q.saves, 1);
        QVERIFY(!page.saveButton().isVisible());
        QCOMPARE(page.againButton().pos(), again);
    }
};

QTEST_MAIN(PageRecordTest)
#include "tst_page_record.moc"
