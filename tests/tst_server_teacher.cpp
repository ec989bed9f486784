// SPDX-License-Identifier: GPL-3.0-or-later
// The teacher's class report of porome-server: who counts as a teacher, the report token and
// its class, the report's period, and a store that answers more than the class: only the
// class of the token is shown, and a pupil's session is refused.
#include "server/Crypto.h"
#include "server/Server.h"
#include "server/TeacherReport.h"

#include "support/Bounds.h"

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QUrlQuery>

namespace {

const QString kIss = QStringLiteral("https://portal-a.example.jp");
const QString kBase = QStringLiteral("https://porome.github.io/xapi");
const QString kLis = QStringLiteral("http://purl.imsglobal.org/vocab/lis/v2/");

QString GroupingOf(const QString& context)
{
    return kIss + QStringLiteral("/context/") + QString::fromLatin1(QUrl::toPercentEncoding(context));
}

// A right first check of problem 1 at level 3 by `pupil` in the class `grouping`.
QJsonObject Checked(const QString& pupil, const QString& grouping)
{
    const auto ext = [](const char* name) { return kBase + QStringLiteral("/extensions/") + QLatin1String(name); };
    return QJsonObject{
        {"id", QUuid::createUuid().toString(QUuid::WithoutBraces)},
        {"actor", QJsonObject{{"objectType", "Agent"}, {"account", QJsonObject{{"homePage", kIss}, {"name", pupil}}}}},
        {"verb", QJsonObject{{"id", "http://adlnet.gov/expapi/verbs/answered"}}},
        {"object", QJsonObject{{"id", kBase + "/levels/3/problems/1"}, {"objectType", "Activity"}}},
        {"timestamp", QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
        {"result", QJsonObject{{"response", "1/2"}, {"extensions", QJsonObject{{ext("try"), 1}, {ext("mark"), "○"}}}}},
        {"context", QJsonObject{{"contextActivities", QJsonObject{{"parent", QJsonArray{QJsonObject{{"id", kBase + "/levels/3"}}}},
                                                                 {"grouping", QJsonArray{QJsonObject{{"id", grouping}}}}}},
                                {"extensions", QJsonObject{{ext("kind"), "チェック"}, {ext("serial"), 1}, {ext("computer"), "web"},
                                                           {ext("slot"), 1}, {ext("problem-number"), 1}}}}}};
}

} // namespace

class ServerTeacher : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    crypto::Key toolKey_ = crypto::NewRsaKey();
    QHttpServer store_;
    quint16 storePort_ = 0;
    QStringList asked_;   // the activity of each query the store was asked
    std::unique_ptr<server::Server> server_;
    QNetworkAccessManager net_;

    std::pair<int, QByteArray> Get(const QString& path, const QByteArray& header, const QByteArray& value)
    {
        QNetworkRequest r(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_->Port()).arg(path)));
        r.setRawHeader(header, value);
        QNetworkReply* reply = net_.get(r);
        QSignalSpy finished(reply, &QNetworkReply::finished);
        if (!reply->isFinished())
            finished.wait(bounds::EventMs);
        const std::pair<int, QByteArray> a{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
        reply->deleteLater();
        return a;
    }
    // The server with the store of the test and `more` settings.
    void Start(const QByteArray& more)
    {
        const QByteArray ini = "[server]\nlisten = 127.0.0.1:0\npublic = http://127.0.0.1:8080\npage = " + dir_.path().toUtf8()
            + "\nkey = " + dir_.filePath("tool.pem").toUtf8() + "\n[lrs]\nendpoint = http://127.0.0.1:"
            + QByteArray::number(storePort_) + "/xapi/\nkey = k\nsecret = s\n" + more + "[platform.a]\nissuer = "
            + kIss.toUtf8() + "\nclientId = c1\nauthUrl = https://portal-a.example.jp/auth\n"
              "jwksUrl = https://portal-a.example.jp/jwks\ndeploymentIds = S_A\n";
        QString why;
        const auto settings = server::ParseSettings(ini, &why);
        QVERIFY2(settings, qPrintable(why));
        server_ = std::make_unique<server::Server>(*settings, toolKey_);
        server_->SetLog([](const QString&) {});
        QVERIFY2(server_->Start(&why), qPrintable(why));
    }
    QByteArray GrantFor(const QString& context, qint64 expires) const
    {
        server::Grant g{kIss, "c1", "teacher-1", kIss, GroupingOf(context), "3-1", {}, expires};
        return server::MakeGrant(server::GrantKey(toolKey_), g);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        QFile page(dir_.filePath("index.html"));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<!doctype html><html><head></head><body></body></html>");
        page.close();
        // A store that answers every query with both classes' statements.
        store_.route("/xapi/statements", [this](const QHttpServerRequest& request) {
            asked_ << request.query().queryItemValue("activity", QUrl::FullyDecoded);
            const QJsonArray statements{Checked("pupil-of-3-1", GroupingOf("3-1")), Checked("pupil-of-4-2", GroupingOf("4-2"))};
            return QHttpServerResponse("application/json",
                                       QJsonDocument(QJsonObject{{"statements", statements}, {"more", ""}}).toJson());
        });
        storePort_ = store_.listen(QHostAddress::LocalHost);
        QVERIFY(storePort_ != 0);
        Start({});
    }
    void roles_data()
    {
        QTest::addColumn<QStringList>("roles");
        QTest::addColumn<bool>("teacher");
        QTest::newRow("context Instructor") << QStringList{kLis + "membership#Instructor"} << true;
        QTest::newRow("short Instructor") << QStringList{"Instructor"} << true;
        QTest::newRow("institution Faculty") << QStringList{kLis + "institution/person#Faculty"} << true;
        QTest::newRow("institution Instructor") << QStringList{kLis + "institution/person#Instructor"} << true;
        QTest::newRow("Learner and Instructor") << QStringList{kLis + "membership#Learner", "Instructor"} << true;
        QTest::newRow("Learner, Student") << QStringList{kLis + "membership#Learner", kLis + "institution/person#Student"} << false;
        QTest::newRow("short Learner") << QStringList{"Learner"} << false;
        QTest::newRow("a longer name") << QStringList{kLis + "membership#InstructorX"} << false;
        QTest::newRow("another vocabulary") << QStringList{"http://example.jp/roles#Instructor"} << false;
        QTest::newRow("sub-role") << QStringList{kLis + "membership/Instructor#TeachingAssistant"} << false;
        QTest::newRow("none") << QStringList{} << false;
    }
    void roles()
    {
        QFETCH(QStringList, roles);
        QFETCH(bool, teacher);
        QCOMPARE(server::IsInstructor(QJsonArray::fromStringList(roles)), teacher);
    }

    void grants_data()
    {
        QTest::addColumn<QByteArray>("token");
        QTest::addColumn<QString>("grouping");   // empty: refused
        const qint64 now = 1'800'000'000;
        const QByteArray key = server::GrantKey(toolKey_);
        const QByteArray good = server::MakeGrant(key, {kIss, "c1", "t", kIss, GroupingOf("3-1"), "", {}, now + 60});
        const QByteArray other = server::MakeGrant(key, {kIss, "c1", "t", kIss, GroupingOf("4-2"), "", {}, now + 60});
        const QList<QByteArray> g = good.split('.'), o = other.split('.');
        QTest::newRow("its own class") << good << GroupingOf("3-1");
        QTest::newRow("another class's claims, this mac") << o[0] + '.' + o[1] + '.' + g[2] << QString();
        QTest::newRow("expired") << server::MakeGrant(key, {kIss, "c1", "t", kIss, GroupingOf("3-1"), "", {}, now}) << QString();
        QTest::newRow("another tool's key")
            << server::MakeGrant(server::GrantKey(crypto::NewRsaKey()), {kIss, "c1", "t", kIss, GroupingOf("3-1"), "", {}, now + 60})
            << QString();
        QTest::newRow("no class") << server::MakeGrant(key, {kIss, "c1", "t", kIss, {}, "", {}, now + 60}) << QString();
        QTest::newRow("a pupil's session") << server_->MakeSession({kIss, "c1", "p", kIss, GroupingOf("3-1"), "d", {}, now + 60})
                                           << QString();
        QTest::newRow("empty") << QByteArray() << QString();
    }
    void grants()
    {
        QFETCH(QByteArray, token);
        QFETCH(QString, grouping);
        const auto g = server::ReadGrant(server::GrantKey(toolKey_), token, 1'800'000'000);
        QCOMPARE(g ? g->grouping : QString(), grouping);
    }

    void period_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDateTime>("since");
        const QTimeZone tokyo("Asia/Tokyo");
        const QDateTime thursday(QDate(2026, 12, 10), QTime(9, 0), tokyo);
        QTest::newRow("this week from Monday") << "week" << thursday << QDateTime(QDate(2026, 12, 7), QTime(0, 0), tokyo);
        QTest::newRow("a Monday's week") << "week" << QDateTime(QDate(2026, 12, 7), QTime(0, 30), tokyo)
                                         << QDateTime(QDate(2026, 12, 7), QTime(0, 0), tokyo);
        QTest::newRow("30 days") << "30d" << thursday << thursday.addDays(-30);
        QTest::newRow("school year in December") << "year" << thursday << QDateTime(QDate(2026, 4, 1), QTime(0, 0), tokyo);
        QTest::newRow("school year in March") << "year" << QDateTime(QDate(2027, 3, 31), QTime(23, 0), tokyo)
                                              << QDateTime(QDate(2026, 4, 1), QTime(0, 0), tokyo);
        QTest::newRow("its first day") << "year" << QDateTime(QDate(2027, 4, 1), QTime(8, 0), tokyo)
                                       << QDateTime(QDate(2027, 4, 1), QTime(0, 0), tokyo);
        QTest::newRow("in Tokyo, not UTC") << "year" << QDateTime(QDate(2027, 3, 31), QTime(16, 0), QTimeZone::utc())
                                           << QDateTime(QDate(2027, 4, 1), QTime(0, 0), tokyo);
    }
    void period()
    {
        QFETCH(QString, choice);
        QFETCH(QDateTime, now);
        QFETCH(QDateTime, since);
        QCOMPARE(server::SinceOf(server::SinceChoice(choice), now).toMSecsSinceEpoch(), since.toMSecsSinceEpoch());
    }

    // The store answers both classes; the page has only the token's, asked by its grouping.
    void onlyItsClass_data()
    {
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("hidden");
        QTest::newRow("3-1") << "3-1" << "pupil-of-3-1" << "pupil-of-4-2";
        QTest::newRow("4-2") << "4-2" << "pupil-of-4-2" << "pupil-of-3-1";
    }
    void onlyItsClass()
    {
        QFETCH(QString, context);
        QFETCH(QString, shown);
        QFETCH(QString, hidden);
        asked_.clear();
        const auto [status, page] = Get("/report?since=week&context=3-1", "Cookie",
                                        "porome_report=" + GrantFor(context, QDateTime::currentSecsSinceEpoch() + 600));
        QCOMPARE(status, 200);
        QVERIFY(page.contains(shown.toUtf8()));
        QVERIFY(!page.contains(hidden.toUtf8()));
        QCOMPARE(asked_, QStringList{GroupingOf(context)});
    }

    // With the settings' roster: the class's section in 出席番号 order, names from the roster,
    // and its pupil who never drilled marked.
    void roster()
    {
        QTemporaryDir folder;
        const QMap<QString, QByteArray> files{
            {"manifest.csv", "propertyName,value\nmanifest.version,1.0\noneroster.version,1.2_JP\nfile.academicSessions,bulk\n"
                             "file.classes,bulk\nfile.enrollments,bulk\nfile.orgs,bulk\nfile.users,bulk\nfile.roles,absent\n"},
            {"academicSessions.csv", "sourcedId,status,title,type,startDate,endDate,schoolYear\n"
                                     "sy,,年度,schoolYear,2000-04-01,2099-03-31,2026\n"},
            {"orgs.csv", "sourcedId,status,name,type\no1,,ひがし小学校,school\n"},
            {"classes.csv", "sourcedId,status,title,classType,schoolSourcedId,termSourcedIds\nc31,,3-1,homeroom,o1,sy\n"},
            {"users.csv", "sourcedId,status,username,givenName,familyName,metadata.jp.kanaGivenName,metadata.jp.kanaFamilyName,"
                          "enabledUser\npupil-of-3-1,,a,太郎,山田,たろう,やまだ,true\nu2,,b,花子,佐藤,はなこ,さとう,true\n"},
            {"enrollments.csv", "sourcedId,status,classSourcedId,schoolSourcedId,userSourcedId,role,metadata.jp.ShussekiNo\n"
                                "e1,,c31,o1,pupil-of-3-1,student,7\ne2,,c31,o1,u2,student,3\n"},
        };
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            QFile f(folder.filePath(it.key()));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(it.value()) == it.value().size());
        }
        Start("[report]\nroster = " + folder.path().toUtf8() + "\n");
        const auto [status, bytes] = Get("/report", "Cookie", "porome_report=" + GrantFor("3-1", QDateTime::currentSecsSinceEpoch() + 600));
        const QString page = QString::fromUtf8(bytes);
        QCOMPARE(status, 200);
        const qsizetype notYet = page.indexOf(QStringLiteral("<td class=\"n\">3</td><td class=\"who\">佐藤　花子（さとう　はなこ）</td>"
                                                             "<td class=\"notyet\""));
        const qsizetype drilled = page.indexOf(QStringLiteral("<td class=\"n\">7</td><td class=\"who\">山田　太郎（やまだ　たろう）</td>"));
        QVERIFY2(notYet > 0 && drilled > notYet, qPrintable(page.mid(page.indexOf("<table class=\"class\">"), 800)));
        QVERIFY(!page.contains(QStringLiteral("pupil-of-4-2")));
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("status");
        const qint64 later = QDateTime::currentSecsSinceEpoch() + 600;
        const QByteArray pupil = server_->MakeSession({kIss, "c1", "p", kIss, GroupingOf("3-1"), "d", {}, later});
        QTest::newRow("a pupil's session as Bearer") << QByteArray("Authorization") << "Bearer " + pupil << 403;
        QTest::newRow("a pupil's session as the cookie") << QByteArray("Cookie") << "porome_report=" + pupil << 403;
        QTest::newRow("an expired report token") << QByteArray("Cookie")
                                                 << "porome_report=" + GrantFor("3-1", later - 1200) << 401;
        QTest::newRow("none") << QByteArray("X-None") << QByteArray("1") << 401;
    }
    void refused()
    {
        QFETCH(QByteArray, header);
        QFETCH(QByteArray, value);
        QFETCH(int, status);
        asked_.clear();
        const auto [got, page] = Get("/report", header, value);
        QCOMPARE(got, status);
        QVERIFY(!page.contains("pupil-of"));
        QVERIFY(asked_.isEmpty());
    }
};

QTEST_MAIN(ServerTeacher)
#include "tst_server_teacher.moc"
