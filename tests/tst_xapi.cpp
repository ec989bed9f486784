// SPDX-License-Identifier: GPL-3.0-or-later
// The learning record's xAPI statements: what each recorded row becomes, the exercise's
// score, rows read back from statements, and every level's right answers as the window
// judges them.
#include "levels/grade3/WhichIsLarger.h"
#include "shell/Texts.h"
#include "support/Harness.h"
#include "xapi/Statements.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

Q_DECLARE_METATYPE(record::Row)

namespace {

const QString kBase = "https://porome.github.io/xapi";
const QString kOwn = kBase + "/extensions/";
const QString kJp = "https://w3id.org/japan-xapi/extensions/";
const QString kAnswered = "http://adlnet.gov/expapi/verbs/answered";
const QDateTime kWhen(QDate(2026, 12, 8), QTime(9, 30, 5, 123));   // local time of the test

QString Uuid(uint n)
{
    return QUuid(n, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0).toString(QUuid::WithoutBraces);
}

xapi::Statements Make(xapi::Settings s = {})
{
    s.homePage = "https://school.example.jp";
    s.platform = "ポロメ 1.0.1 Linux";
    return xapi::Statements(s, [n = 0u]() mutable { return QUuid(++n, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0); });
}

// A row as the recorder gives it: "level;problem;answer;outcome;try;kind;serial;mistake;right answers".
record::Row MakeRow(const QString& line, record::Input input = record::Input::Typed)
{
    const QStringList p = line.split(u';');
    const int level = p[0].toInt();
    return {{kWhen.toString("yyyy-MM-dd HH:mm:ss"), "pc-1", "taro", level <= 10 ? "3" : "4",
             texts::LevelNames.at(size_t(level - 1)).left(3), p[0], "2", "4", p[1], p[2], p[3], p[4], p[5], p[6], p[7]},
            kWhen, input, p[8].isEmpty() ? QStringList() : p[8].split(u',')};
}

// The value at a path of keys and array indices, split by '|' (IRIs hold dots).
QJsonValue At(const QJsonObject& o, const QString& path)
{
    QJsonValue v = o;
    for (const QString& key : path.split(u'|'))
        v = v.isArray() ? v.toArray().at(key.toInt()) : v[key];
    return v;
}

// The right answer in words given as a pupil does: into the level's boxes with the keypad
// (whole part, numerator, denominator), on its picture or with its kind button.
void Enter(Harness& h, int level, const QString& words)
{
    if (level == 5) {
        for (int i = 0; i < words.section(u' ', 0, 0).toInt(); ++i)
            h.Click(int(80 + (i + 0.5) * 500 / h.Rec(1, 1)), 242);
    } else if (level == 8 || level == 13) {
        for (const ChoiceBoxPlace& b : kChoiceBoxes)
            if (b.sign == words)
                h.Click(b.left + kChoiceBoxSize / 2, kChoiceBoxTop + kChoiceBoxSize / 2);
    } else if (level == 14) {
        for (QPushButton* b : {h.form->Command3[0], h.form->Command4[0], h.form->Command9[0]})
            if (b->text() == words)
                QTest::mouseClick(b, Qt::LeftButton);
        return;
    } else {
        const bool wholeFirst = level == 11 || level == 12 || level == 16;
        // "w n/d", "n/d", "n/d = w" (level 9) or a number alone (level 7's one box, or a whole part).
        static const QRegularExpression form("^(?:(\\d+) )?(?:(\\d+)/(\\d+))?(?: = )?(\\d+)?$");
        const QRegularExpressionMatch m = form.match(words);
        QVERIFY2(m.hasMatch(), qPrintable(words));
        if (const QString w = m.captured(1) + m.captured(4); !w.isEmpty())
            h.Type(1, level == 7 || wholeFirst ? 1 : 3, w);
        if (m.hasCaptured(2)) {
            h.Type(1, wholeFirst ? 3 : 2, m.captured(2));
            h.Type(1, wholeFirst ? 2 : 1, m.captured(3));
        }
    }
    h.Check(1);
}

} // namespace

class XapiTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PrepareTestApplication(); }

    // One statement per kind of recorded row against what the profile asks, and read back.
    void statementOfRow_data()
    {
        QTest::addColumn<record::Row>("row");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("interaction");   // empty: viewed
        QTest::addColumn<QString>("problem");       // the problem's id below its level's
        using record::Input;
        const QString I = "http://adlnet.gov/expapi/activities/cmi.interaction",
                      P = "http://activitystrea.ms/schema/1.0/page";
        QTest::newRow("check ○") << MakeRow("9;2/5 + 1/5;3/5;○;1;チェック;7;;3/5") << I << "fill-in" << "2-5-1-5";
        QTest::newRow("check △") << MakeRow("11;2/3 L;0 2/3;△;2;チェック;8;;2/3,0 2/3") << I << "fill-in" << "2-3";
        QTest::newRow("check ×") << MakeRow("17;3/5 + 1/5;4/10;×;1;チェック;9;分母どうしもたした;4/5") << I << "fill-in"
                                 << "3-5-1-5";
        QTest::newRow("kind button") << MakeRow("14;2 3/5 の名前;真分数;×;1;ボタン;10;そのほか;帯分数", Input::Button)
                                     << I << "choice" << "2-3-5";
        QTest::newRow("picture") << MakeRow("8;2/5 ？ 3/5;＜;○;1;チェック;11;;＜", Input::Picture) << I << "other"
                                 << "2-5-x-3-5";
        QTest::newRow("hint") << MakeRow("9;2/4 + 2/4;4/4;分母と分子が同じ数のときは？;1;ヒント;12;そのほか;") << P << ""
                              << "2-4-2-4";
        QTest::newRow("message") << MakeRow("7;？/6 = 1;;" + texts::TypeAnswer + ";2;メッセージ;13;;") << P << ""
                                 << "x-6-1";
    }
    void statementOfRow()
    {
        QFETCH(record::Row, row);
        QFETCH(QString, type);
        QFETCH(QString, interaction);
        QFETCH(QString, problem);
        const QStringList& f = row.fields;
        const int level = f[record::Level].toInt();
        xapi::Statements statements = Make();
        statements.Begin(level, kWhen.addSecs(-60), "pc-1", "taro");
        const QJsonObject s = statements.Add(row);
        const bool answered = !interaction.isEmpty(), right = f[record::Outcome] != "×";
        const QString levelId = kBase + "/levels/" + f[record::Level];
        const QJsonValue none(QJsonValue::Undefined);
        const QList<std::pair<QString, QJsonValue>> expected{
            {"verb|id", answered ? kAnswered : "http://id.tincanapi.com/verb/viewed"},
            {"id", Uuid(3)}, {"version", "1.0.0"},
            {"actor|account|homePage", "https://school.example.jp"}, {"actor|account|name", "taro"},
            {"object|definition|type", type},
            {"object|definition|interactionType", answered ? QJsonValue(interaction) : none},
            {"object|definition|name|ja-JP", answered ? f[record::ProblemWords] : f[record::Outcome]},
            {"object|definition|correctResponsesPattern", answered ? QJsonArray::fromStringList(row.correct) : none},
            {"object|definition|extensions|" + kJp + "content-type",
             f[record::Kind] == record::KindHint ? QJsonArray{"hint"} : none},
            {"result|success", answered ? QJsonValue(right) : none},
            {"result|score", answered ? QJsonObject{{"raw", int(right)}, {"min", 0}, {"max", 1}, {"scaled", int(right)}}
                                      : none},
            {"result|response", f[record::Answer].isEmpty() ? none : f[record::Answer]},
            {"result|extensions|" + kOwn + "mark", answered ? f[record::Outcome] : none},
            {"result|extensions|" + kOwn + "try", f[record::Try].toInt()},
            {"result|extensions|" + kOwn + "mistake", f[record::Mistake].isEmpty() ? none : f[record::Mistake]},
            {"context|language", "ja-JP"}, {"context|platform", "ポロメ 1.0.1 Linux"},
            {"context|contextActivities|category|0|id", "https://w3id.org/japan-xapi/profiles/assessment"},
            {"context|contextActivities|grouping|0|id", kBase + "/exercises/" + Uuid(1)},
            {"context|contextActivities|parent|" + QString::number(!answered) + "|id", levelId},
            {"context|contextActivities|parent|" + QString::number(!answered) + "|definition|name|ja-JP",
             texts::LevelNames.at(size_t(level - 1))},
            {answered ? "object|id" : "context|contextActivities|parent|0|id", levelId + "/problems/" + problem},
            {"context|extensions|" + kJp + "subject", QJsonArray{"算数"}},
            {"context|extensions|" + kJp + "unit", QJsonArray{"分数"}},
            {"context|extensions|" + kJp + "grade", QJsonArray{f[record::Year]}},
            {"context|extensions|" + kJp + "assessment-type", QJsonArray{"formative"}},
            {"context|extensions|" + kOwn + "computer", "pc-1"},
            {"context|extensions|" + kOwn + "kind", f[record::Kind]},
        };
        for (const auto& [path, value] : expected)
            QVERIFY2(At(s, path) == value, qPrintable(path + ": " + QJsonDocument(QJsonArray{At(s, path)}).toJson()));
        const QString timestamp = s["timestamp"].toString();
        QVERIFY(QRegularExpression("^2026-12-08T09:30:05\\.123[+-]\\d\\d:\\d\\d$").match(timestamp).hasMatch());
        QCOMPARE(QDateTime::fromString(timestamp, Qt::ISODateWithMs), kWhen);

        // Sent, and read back even with the store's time in UTC, the statement is the row.
        QJsonObject stored = QJsonDocument::fromJson(QJsonDocument(s).toJson()).object();
        stored["timestamp"] = kWhen.toUTC().toString(Qt::ISODateWithMs);
        for (const QJsonObject& back : {s, stored}) {
            const std::optional<record::Row> r = xapi::RowOf(back);
            QVERIFY(r);
            QCOMPARE(r->fields, row.fields);
            QCOMPARE(r->when, row.when);
            QCOMPARE(int(r->input), int(row.input));
            QCOMPARE(r->correct, row.correct);
        }
    }

    // Who the actor is and where the ids sit, as the settings say; the row reads back the same.
    void actorAndBase_data()
    {
        QTest::addColumn<bool>("shared");
        QTest::addColumn<QString>("launch");   // a launch's actor
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("actor");
        QTest::addColumn<QString>("levelId");
        const QString nine = kBase + "/levels/9";
        QTest::newRow("shared logins") << true << "" << "" << "taro@pc-1" << nine;
        QTest::newRow("launch") << true << R"({"account":{"homePage":"https://portal.example.jp","name":"p7"}})" << ""
                                << "p7" << nine;
        QTest::newRow("base with slash") << false << "" << "https://board.example/xapi/" << "taro"
                                         << "https://board.example/xapi/levels/9";
        QTest::newRow("base not an IRI") << false << "" << "board xapi" << "taro" << nine;
    }
    void actorAndBase()
    {
        QFETCH(bool, shared);
        QFETCH(QString, launch);
        QFETCH(QString, base);
        QFETCH(QString, actor);
        QFETCH(QString, levelId);
        xapi::Settings settings{base, {}, {}, Uuid(9), QJsonDocument::fromJson(launch.toUtf8()).object(), shared};
        const record::Row row = MakeRow("9;2/5 + 1/5;3/5;○;1;チェック;1;;");
        const QJsonObject s = Make(settings).Add(row);
        QCOMPARE(At(s, "actor|account|name").toString(), actor);
        QCOMPARE(At(s, "context|contextActivities|parent|0|id").toString(), levelId);
        QCOMPARE(At(s, "context|registration").toString(), Uuid(9));
        QCOMPARE(xapi::RowOf(s)->fields, row.fields);
    }

    // The exercise's score in `completed`: each problem once, with its last mark.
    void completedScore_data()
    {
        QTest::addColumn<QStringList>("marks");   // serial:outcome per row, h for a hint
        QTest::addColumn<QString>("score");
        QTest::newRow("nothing judged") << QStringList{"1:h"} << "{}";
        QTest::newRow("all right") << QStringList{"1:○", "2:○"} << R"({"max":2,"min":0,"raw":2,"scaled":1})";
        QTest::newRow("○, ×△, ×××") << QStringList{"1:○", "2:×", "2:△", "3:×", "3:×", "3:×"}
                                      << R"({"max":3,"min":0,"raw":2,"scaled":0.6666667})";
        QTest::newRow("one of three") << QStringList{"1:×", "1:h", "2:○", "3:×"}
                                      << R"({"max":3,"min":0,"raw":1,"scaled":0.3333333})";
    }
    void completedScore()
    {
        QFETCH(QStringList, marks);
        QFETCH(QString, score);
        xapi::Statements statements = Make();
        QVERIFY(!statements.End(kWhen));
        const QJsonObject attempted = statements.Begin(9, kWhen, "pc-1", "taro");
        QCOMPARE(At(attempted, "verb|id").toString(), "http://adlnet.gov/expapi/verbs/attempted");
        QCOMPARE(At(attempted, "object|definition|type").toString(), "http://adlnet.gov/expapi/activities/assessment");
        QVERIFY(!xapi::RowOf(attempted));
        QSet<QString> ids{attempted["id"].toString()};
        for (const QString& m : marks) {
            const bool hint = m.endsWith('h');
            const QString line = QString("9;2/5 + 1/5;3/5;%1;1;%2;%3;;")
                                     .arg(hint ? "？" : m.section(':', 1), hint ? record::KindHint : record::KindCheck,
                                          m.section(':', 0, 0));
            ids << statements.Add(MakeRow(line))["id"].toString();
        }
        const std::optional<QJsonObject> ended = statements.End(kWhen.addMSecs(723450));
        QVERIFY(ended);
        ids << (*ended)["id"].toString();
        QCOMPARE(ids.size(), marks.size() + 2);
        QCOMPARE(At(*ended, "verb|id").toString(), "http://adlnet.gov/expapi/verbs/completed");
        QCOMPARE(At(*ended, "result|duration").toString(), "PT12M3.45S");
        QVERIFY(At(*ended, "result|completion").toBool());
        QCOMPARE(At(*ended, "context|contextActivities|grouping"), At(attempted, "context|contextActivities|grouping"));
        // A statement without its score does not refer to the profile.
        QCOMPARE(At(*ended, "context|contextActivities|category").isArray(), score != "{}");
        QCOMPARE(QJsonDocument(At(*ended, "result|score").toObject()).toJson(QJsonDocument::Compact), score.toUtf8());
        QVERIFY(!statements.End(kWhen));
        QVERIFY(At(statements.Begin(9, kWhen, "pc-1", "taro"), "context|contextActivities|grouping")
                != At(attempted, "context|contextActivities|grouping"));   // a new exercise, a new grouping
    }

    // Every level's right answer in words, given as a pupil gives it, is marked ○.
    void rightAnswersAreRight_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QList<int>>("items");   // record items forced on a typed level; empty: as drawn
        for (int level = 1; level <= 22; ++level)
            QTest::addRow("level %d", level) << level << QList<int>{};
        QTest::newRow("9: sum of one") << 9 << QList<int>{5, 2, 3, 5};
        QTest::newRow("11: no whole litre") << 11 << QList<int>{4, 3, 0};
        QTest::newRow("17: sum of one") << 17 << QList<int>{5, 2, 3, 5};
        QTest::newRow("17: improper sum") << 17 << QList<int>{5, 4, 3, 7};
        QTest::newRow("18: sum of one") << 18 << QList<int>{5, 2, 3, 1, 2};
        QTest::newRow("18: improper sum") << 18 << QList<int>{5, 4, 3, 1, 2};
        QTest::newRow("22: fractions cancel") << 22 << QList<int>{7, 3, 3, 4, 1};
        QTest::newRow("22: borrow to no whole") << 22 << QList<int>{7, 2, 5, 3, 2};
        QTest::newRow("22: borrow") << 22 << QList<int>{7, 2, 5, 4, 1};
    }
    void rightAnswersAreRight()
    {
        QFETCH(int, level);
        QFETCH(QList<int>, items);
        QStringList forms{""};
        for (int f = 0; f < forms.size(); ++f) {   // each form on the same problem afresh
            Harness h;
            h.Seed(uint32_t(1000 + level));
            h.StartLevel(level);
            h.PressSlot(1);
            const int k = h.Problem(1);
            for (int i = 0; i < items.size(); ++i)
                h.st().Item(1, k * 10 + 1 + i) = items[i];
            forms = RulesFor(level).RightAnswersInWords(h.form->exercise(), 1, k);
            QVERIFY(!forms.isEmpty());
            Enter(h, level, forms[f]);
            QVERIFY2(h.MarkOf(1, k) == 1, qPrintable(forms[f] + ": " + h.platform.messages.join('|')));
        }
        if (level == 11 && !items.isEmpty())
            QCOMPARE(forms, (QStringList{"3/4", "0 3/4"}));
    }
};

QTEST_MAIN(XapiTest)
#include "tst_xapi.moc"
