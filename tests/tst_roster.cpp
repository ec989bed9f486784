// SPDX-License-Identifier: GPL-3.0-or-later
// The report with the school's roster: two classes, their pupils by 出席番号 with their names,
// who has not drilled at the top, the rows of logins in no roster kept apart, from record
// files and from a store alike; and a roster that is damaged or hostile says what is wrong in
// one line each, naming no pupil, while the report goes on.
#include "record/CsvSink.h"
#include "report/Report.h"
#include "report/Roster.h"
#include "report/StoreSource.h"
#include "shell/Texts.h"
#include "support/FakeStore.h"
#include "xapi/Statements.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <zip.h>

namespace {

using Files = QMap<QString, QByteArray>;

const QDateTime kStart(QDate(2026, 12, 8), QTime(9, 30));
const QStringList kNames{"山田", "太郎", "やまだ", "佐藤", "花子", "鈴木", "次郎", "田中", "一郎"};

// The school's export: users in another column order than the others, a BOM, CRLF and quotes.
Files GoodRoster()
{
    return {
        {"manifest.csv", "propertyName,value\nmanifest.version,1.0\noneroster.version,1.2\nfile.academicSessions,bulk\n"
                         "file.classes,bulk\nfile.enrollments,bulk\nfile.orgs,bulk\nfile.users,bulk\nfile.roles,absent\n"},
        {"academicSessions.csv", "sourcedId,status,dateLastModified,title,type,startDate,endDate,parentSourcedId,schoolYear\n"
                                 "sy26,,,2026年度,schoolYear,2026-04-01,2027-03-31,,2026\n"
                                 "t26,,,前期,semester,2026-04-01,2026-09-30,sy26,2026\n"},
        {"orgs.csv", "sourcedId,status,name,type\no1,,ひがし小学校,school\n"},
        {"classes.csv", "sourcedId,status,dateLastModified,title,grades,courseSourcedId,classCode,classType,location,"
                        "schoolSourcedId,termSourcedIds\n"
                        "c42,,,\"4-2\",P4,,,homeroom,,o1,sy26\n"
                        "c31,,,\"3-1\",P3,,,homeroom,,o1,\"t26,sy26\"\n"
                        "math,,,算数,P3,,,scheduled,,o1,sy26\n"},
        {"users.csv", "\xEF\xBB\xBF" "metadata.jp.kanaGivenName,givenName,sourcedId,familyName,username,status,"
                      "userMasterIdentifier,metadata.jp.kanaFamilyName,enabledUser\r\n"
                      "たろう,太郎,u1,山田,taro,,,やまだ,true\r\n"
                      "\"はなこ\",花子,u2,佐藤,hanako,,,さとう,true\r\n"
                      "じろう,次郎,u3,鈴木,jiro,,M-0003,すずき,true\r\n"
                      "いちろう,一郎,7f3c-91aa,田中,ichiro,,,たなか,true\r\n"
                      ",先生,t1,,sensei,,,,true\r\n"},
        {"enrollments.csv", "sourcedId,status,dateLastModified,classSourcedId,schoolSourcedId,userSourcedId,role,primary,"
                            "beginDate,endDate,metadata.jp.ShussekiNo\n"
                            "e1,,,c31,o1,u1,student,,,,2\ne2,,,c31,o1,u2,student,,,,5\n"
                            "e3,tobedeleted,,c31,o1,u3,student,,,,3\ne4,,,c42,o1,u3,student,,2026-10-01,,3\n"
                            "e5,,,c42,o1,7f3c-91aa,student,,,,1\ne6,,,c31,o1,t1,teacher,,,,\ne7,,,math,o1,u1,student,,,,\n"},
    };
}

QString Folder(const QTemporaryDir& dir, const Files& files)
{
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        QFile f(dir.filePath(it.key()));
        if (!f.open(QIODevice::WriteOnly) || f.write(it.value()) != it.value().size())
            qFatal("cannot write the roster");
    }
    return dir.path();
}

QString Zip(const QTemporaryDir& dir, const Files& files)
{
    const QString path = dir.filePath("RO_20261201_0001.zip");
    int error = 0;
    zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        zip_source_t* src = zip_source_buffer(z, it.value().constData(), zip_uint64_t(it.value().size()), 0);
        zip_file_add(z, it.key().toUtf8().constData(), src, ZIP_FL_ENC_UTF_8);
    }
    if (zip_close(z) != 0)
        qFatal("cannot write the zip");
    return path;
}

// A record row "level;problem;answer;outcome;try;kind;serial;mistake" of a login on a day.
record::Row MakeRow(const QString& line, const QString& login, const QDateTime& when)
{
    const QStringList p = line.split(u';');
    const int level = p[0].toInt();
    return {{when.toString("yyyy-MM-dd HH:mm:ss"), "pc-" + login, login, level <= 10 ? "3" : "4",
             texts::LevelNames.at(size_t(level - 1)).left(3), p[0], "1", "1", p[1], p[2], p[3], p[4], p[5], p[6], p[7]},
            when, p[5] == "ボタン" ? record::Input::Button : record::Input::Typed, {}};
}

struct Drill
{
    QStringList files;
    QJsonArray statements;
};

// taro (by username) and jiro (by userMasterIdentifier) in the third year's level 9, ichiro
// (by sourcedId, as a portal's sub) in level 14 and a login the roster does not know; hanako
// never drills.
Drill MakeDrill()
{
    const QList<std::pair<QString, QStringList>> lessons{
        {"taro", {"9;1/5 + 3/5;4/10;×;1;チェック;1;分母どうしもたした", "9;1/5 + 3/5;4/5;△;2;チェック;1;"}},
        {"M-0003", {"9;2/5 + 1/5;3/5;○;1;チェック;1;"}},
        {"7f3c-91aa", {"14;7/5 の名前;真分数;×;1;ボタン;1;そのほか", "14;7/5 の名前;仮分数;△;2;ボタン;1;"}},
        {"guest", {"9;2/5 + 1/5;3/5;○;1;チェック;1;"}},
    };
    Drill d;
    int n = 0;
    for (const auto& [login, lines] : lessons) {
        xapi::Settings settings;
        settings.homePage = "https://school.example.jp";
        xapi::Statements st(settings);
        QByteArray file = record::Header().join(u',').toUtf8() + "\r\n";
        for (const QString& line : lines) {
            const record::Row row = MakeRow(line, login, kStart.addSecs(++n * 7));
            if (line == lines.first())
                d.statements << st.Begin(row.fields[5].toInt(), row.when, row.fields[1], login);
            d.statements << st.Add(row);
            file += record::CsvLine(row);
        }
        d.statements << *st.End(kStart.addSecs(++n * 7));
        d.files << QString::fromUtf8(file);
    }
    return d;
}

// A section as one line: "3-1: 1 name ! | 2 name 9:1 kind 1", ! marking 「まだ　していません」.
QStringList Lines(const std::vector<report::ClassSection>& sections)
{
    QStringList out;
    for (const report::ClassSection& s : sections) {
        QStringList rows;
        for (const report::ClassRow& r : s.rows) {
            QString row = QStringLiteral("%1 %2").arg(r.number).arg(r.name);
            if (!r.checked)
                row += " !";
            for (const auto& [level, c] : r.levels)
                row += QStringLiteral(" %1:%2").arg(level).arg(c.problems);
            for (const report::MistakeCount& k : r.kinds)
                row += QStringLiteral(" %1 %2").arg(k.kind.isEmpty() ? "-" : k.kind).arg(k.count);
            rows << row;
        }
        out << s.title + ": " + rows.join(" | ");
    }
    return out;
}

} // namespace

class RosterTest : public QObject
{
    Q_OBJECT
private slots:
    void classesFromTheRoster_data()
    {
        QTest::addColumn<bool>("zip");
        QTest::addColumn<bool>("store");
        QTest::newRow("folder, record files") << false << false;
        QTest::newRow("zip, record files") << true << false;
        QTest::newRow("zip, store") << true << true;
    }
    void classesFromTheRoster()
    {
        QFETCH(bool, zip);
        QFETCH(bool, store);
        QTemporaryDir dir;
        const auto roster = report::Roster::Read(zip ? Zip(dir, GoodRoster()) : Folder(dir, GoodRoster()));
        QVERIFY2(roster->Usable(), qPrintable(roster->Problems().join('\n')));
        QCOMPARE(roster->Problems(), QStringList());
        QCOMPARE(roster->Account(), QString("took 5 users, 3 classes and 6 enrollments; left out 0 rows with problems and 1 "
                                    "marked tobedeleted"));

        const Drill drill = MakeDrill();
        report::SummaryBuilder b;
        b.SetRoster(roster);
        FakeStore lrs;
        if (store) {
            lrs.With([&](FakeStore::State& s) {
                for (const QJsonValue& v : drill.statements)
                    s.stored.insert(v["id"].toString(), v.toObject());
            });
            report::StoreQuery q;
            q.endpoint = lrs.Endpoint();
            q.key = "teacher";
            q.secret = "sekrit-123";
            q.homePage = "https://school.example.jp";
            QString error;
            QVERIFY2(report::ReadStore(q, b, &error), qPrintable(error));
        } else {
            for (const QString& f : drill.files)
                b.AddText(f);
        }
        const report::Summary s = b.Finish();
        int idle = -1;
        QCOMPARE(Lines(report::RosterSections(s, &idle)),
                 (QStringList{"3-1: 5 佐藤　花子（さとう　はなこ） ! | 2 山田　太郎（やまだ　たろう） 9:1 分母どうしもたした 1",
                              "4-2: 1 田中　一郎（たなか　いちろう） 14:1 そのほか 1 | 3 鈴木　次郎（すずき　じろう） 9:1",
                              "めいぼに　ない　人: 0 guest 9:1"}));
        QCOMPARE(idle, 0);

        const QString page = report::Html(s, "t");
        QVERIFY(page.indexOf("<h2>3-1</h2>") < page.indexOf("まだ　していません"));
        QVERIFY(page.indexOf("まだ　していません") < page.indexOf("山田　太郎"));
        QVERIFY(page.contains("pc-taro / taro (3-1)"));
        QVERIFY(page.contains("利用者 5 人、クラス 3、在籍 6"));
    }

    // A check before the pupil's enrollment began is of no class of the roster.
    void checkBeforeTheEnrollment()
    {
        QTemporaryDir dir;
        const auto roster = report::Roster::Read(Folder(dir, GoodRoster()));
        QCOMPARE(roster->Find("jiro", u"2026-09-30").klass, -1);
        QCOMPARE(roster->Classes().at(size_t(roster->Find("jiro", u"2026-10-01").klass)).title, QString("4-2"));
        QCOMPARE(roster->Find("taro", u"2027-04-01").klass, -1);
        QCOMPARE(roster->Find("taro", u"2027-04-01").user, 0);
    }

    void matchSetting_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QStringList>("found");   // of taro, M-0003, 7f3c-91aa, TARO
        QTest::newRow("any") << "" << QStringList{"u1", "u3", "7f3c-91aa", "u1"};
        QTest::newRow("sourcedId") << "sourcedId" << QStringList{"", "", "7f3c-91aa", ""};
        QTest::newRow("userMasterIdentifier") << "userMasterIdentifier" << QStringList{"", "u3", "", ""};
        QTest::newRow("username") << "username" << QStringList{"u1", "", "", "u1"};
    }
    void matchSetting()
    {
        QFETCH(QString, setting);
        QFETCH(QStringList, found);
        QTemporaryDir dir;
        const auto roster = report::Roster::Read(Folder(dir, GoodRoster()));
        report::Roster::Match m;
        QVERIFY(report::Roster::ParseMatch(setting, &m));
        roster->SetMatch(m);
        QStringList got;
        for (const char* login : {"taro", "M-0003", "7f3c-91aa", "TARO"}) {
            const int u = roster->Find(login, u"2026-12-08").user;
            got << (u >= 0 ? roster->Users()[size_t(u)].sourcedId : QString());
        }
        QCOMPARE(got, found);
    }

    void badRosters_data()
    {
        QTest::addColumn<QString>("file");      // changed, or "-" + the file left out
        QTest::addColumn<QByteArray>("text");   // its text, appended to it when it begins with "+"
        QTest::addColumn<bool>("zip");
        QTest::addColumn<QString>("line");      // the problem's line, or how it begins
        QTest::addColumn<bool>("usable");
        QTest::newRow("no manifest") << "-manifest.csv" << QByteArray() << true << "the roster has no manifest.csv; not read" << false;
        QTest::newRow("named, not there") << "-orgs.csv" << QByteArray() << true
                                          << "manifest.csv names orgs.csv (bulk) but the roster has no such file" << true;
        QTest::newRow("missing column") << "users.csv" << QByteArray("sourcedId,username,givenName\nu1,taro,太郎\n") << false
                                        << "users.csv has no column familyName; not read" << false;
        QTest::newRow("duplicate user") << "users.csv" << QByteArray("+じろう,次郎,u3,鈴木,jiro2,,,すずき,true\r\n") << true
                                        << "users.csv line 7: a sourcedId given before; left out" << true;
        QTest::newRow("unknown user") << "enrollments.csv" << QByteArray("+e8,,,c31,o1,u9,student,,,,4\n") << true
                                      << "enrollments.csv line 9: userSourcedId names no user of users.csv; left out" << true;
        QTest::newRow("unknown class") << "enrollments.csv" << QByteArray("+e8,,,c99,o1,u1,student,,,,4\n") << false
                                       << "enrollments.csv line 9: classSourcedId names no class of classes.csv; left out" << true;
        QTest::newRow("stray quote") << "users.csv" << QByteArray("+ご\"ろう,五郎,u5,木村,goro,,,きむら,true\r\n") << true
                                     << "users.csv line 7: malformed (a quote out of place); left out" << true;
        QTest::newRow("short row") << "enrollments.csv" << QByteArray("+e8,,,c31,o1\n") << true
                                   << "enrollments.csv line 9: malformed (5 fields for 11 columns); left out" << true;
        QTest::newRow("no number") << "enrollments.csv" << QByteArray("+e8,,,c42,o1,u1,student,,,,二\n") << true
                                   << "enrollments.csv line 9: the 出席番号 is not a number; kept without one" << true;
        QTest::newRow("zip bomb") << "users.csv" << QByteArray(3 << 20, ' ').prepend('+') << true
                                  << "users.csv would expand " << false;
        QTest::newRow("too large") << "classes.csv" << QByteArray(70000, '\n').prepend('+') << false
                                   << "classes.csv is larger than the 65536 bytes a roster file may; not read" << false;
        QTest::newRow("outside the zip") << "../users.csv" << QByteArray("x") << true
                                         << "the zip holds ../users.csv, which leads outside the roster; refused" << true;
        QTest::newRow("link out of the folder") << "=users.csv" << QByteArray() << false
                                                << "users.csv leads outside the roster's folder; refused" << false;
        QTest::newRow("not a zip") << "!" << QByteArray() << true << "cannot open the roster as a zip: Not a zip archive" << false;
    }
    void badRosters()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, text);
        QFETCH(bool, zip);
        QFETCH(QString, line);
        QFETCH(bool, usable);
        Files files = GoodRoster();
        QTemporaryDir dir, elsewhere;
        if (file.startsWith('-'))
            files.remove(file.mid(1));
        else if (file.startsWith('=')) {
            const QString outside = elsewhere.filePath("users.csv");
            QFile empty(outside);
            QVERIFY(empty.open(QIODevice::WriteOnly));
            files.remove(file.mid(1));
            QVERIFY(QFile::link(outside, dir.filePath(file.mid(1))));
        } else if (text.startsWith('+'))
            files[file] += text.mid(1);
        else
            files[file] = text;
        QString path = zip ? Zip(elsewhere, files) : Folder(dir, files);
        if (file == "!") {
            path = dir.filePath("roster.zip");
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("propertyName,value\n") > 0);
        }
        report::RosterLimits limits;
        limits.fileBytes = 65536;
        if (file == "users.csv" && text.size() > (1 << 20))
            limits.fileBytes = 8 << 20;
        const auto roster = report::Roster::Read(path, limits);
        QVERIFY2(std::any_of(roster->Problems().begin(), roster->Problems().end(),
                             [&](const QString& p) { return p.startsWith(line); }),
                 qPrintable(roster->Problems().join('\n')));
        QCOMPARE(roster->Usable(), usable);
        for (const QString& p : roster->Problems())
            for (const QString& name : kNames)
                QVERIFY2(!p.contains(name), qPrintable(p));

        // The report goes on, with the roster's classes where it could be used.
        const Drill drill = MakeDrill();
        report::SummaryBuilder b;
        b.SetRoster(roster);
        for (const QString& f : drill.files)
            b.AddText(f);
        report::Summary s = b.Finish();
        s.roster = roster;
        QCOMPARE(s.rows, 6);
        QCOMPARE(report::RosterSections(s).empty(), !usable);
        QVERIFY(report::Html(s, "t").contains(line.toHtmlEscaped()));
    }

    // Past its share of lines, a file's left-out rows are counted in one.
    void manyBadRowsAreCounted()
    {
        Files files = GoodRoster();
        for (int i = 0; i < 15; ++i)
            files["enrollments.csv"] += "e,,,\n";
        QTemporaryDir dir;
        const auto roster = report::Roster::Read(Folder(dir, files));
        QCOMPARE(roster->Problems().size(), 11);
        QCOMPARE(roster->Problems().last(), QString("enrollments.csv: 5 more rows left out"));
        QCOMPARE(roster->leftOut(), 15);
    }
};

QTEST_GUILESS_MAIN(RosterTest)
#include "tst_roster.moc"
