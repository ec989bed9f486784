// SPDX-License-Identifier: GPL-3.0-or-later
// The learning record: its CSV, the rows a drill writes through the real window, the words
// each level gives its problems and answers, the report page and where the record goes.
#include "levels/LevelWords.h"
#include "levels/Mistakes.h"
#include "levels/grade4/Addition.h"
#include "record/Csv.h"
#include "record/RecordingPlatform.h"
#include "record/StoreSettings.h"
#include "report/Report.h"
#include "shell/CommandLine.h"
#include "shell/Texts.h"
#include "support/Harness.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QTest>

namespace {

using Rows = QList<QStringList>;

Rows ParseAll(const QString& text, QList<bool>* broken = nullptr)
{
    Rows rows;
    csv::Parse(text, [&](const std::vector<QString>& f, bool b) {
        rows << QStringList(f.begin(), f.end());
        if (broken)
            *broken << b;
    });
    return rows;
}

// A window whose record goes into memory, from a computer and login of the test's own.
struct RecordedDrill
{
    Harness h;
    QByteArray written;
    std::unique_ptr<Recorder> recorder;
    std::unique_ptr<RecordingPlatform> platform;

    RecordedDrill()
    {
        recorder = std::make_unique<Recorder>([this](const QByteArray& row) { written += row; },
                                              Recorder::Who{"pc-1", "taro"},
                                              [] { return QDateTime(QDate(2026, 12, 8), QTime(9, 30, 5)); });
        platform = std::make_unique<RecordingPlatform>(h.platform, *recorder);
        h.form = std::make_unique<Form1>(*platform);
        h.form->Form_Load();
        h.form->show();
        recorder->Attach(h.form->exercise());
        h.form->recorder = recorder.get();
    }
    ~RecordedDrill() { h.form.reset(); }

    // Starts the level in slot 1 and makes its problem the one with these record items.
    void Start(int level, const QList<int>& items)
    {
        h.StartLevel(level);
        h.PressSlot(1);
        for (int i = 0; i < items.size(); ++i)
            h.st().Item(1, h.Problem(1) * 10 + 1 + i) = items[i];
    }
    void Answer(const QStringList& boxes)
    {
        h.form->Text1[0]->setText(boxes.value(0));
        h.form->Text2[0]->setText(boxes.value(1));
        h.form->Text3[0]->setText(boxes.value(2));
        h.Check(1);
    }
    Rows Written() const { return ParseAll(QString::fromUtf8(written)); }
    QStringList Column(record::Column c) const
    {
        QStringList values;
        for (const QStringList& r : Written())
            values << r.value(c);
        return values;
    }
};

// A record file as the recorder writes it, from rows of (computer, login, level, problem,
// answer, outcome, try, kind, serial[, kind of mistake]).
QString MakeRecord(const QList<QStringList>& rows)
{
    QString text = QChar(0xFEFF) + csv::Row(record::Header());
    for (const QStringList& r : rows) {
        QStringList row(record::ColumnCount);
        row[record::When] = "2026-12-08 09:00:00";
        row[record::Computer] = r[0];
        row[record::Login] = r[1];
        row[record::Level] = r[2];
        row[record::ProblemWords] = r[3];
        row[record::Answer] = r[4];
        row[record::Outcome] = r[5];
        row[record::Try] = r[6];
        row[record::Kind] = r[7];
        row[record::Serial] = r[8];
        row[record::Mistake] = r.value(9);
        text += csv::Row(row);
    }
    return text;
}

const QString C = record::KindCheck, H = record::KindHint, M = record::KindMessage;

} // namespace

Q_DECLARE_METATYPE(report::Counts)

class RecordTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PrepareTestApplication(); }

    void quoting_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("field");
        QTest::newRow("plain") << "3/5 + 1/5" << "3/5 + 1/5";
        QTest::newRow("Japanese") << "3/8 m をぬる" << "3/8 m をぬる";
        QTest::newRow("comma") << "1,2" << "\"1,2\"";
        QTest::newRow("quote") << "say \"hi\"" << "\"say \"\"hi\"\"\"";
        QTest::newRow("quote alone") << "\"" << "\"\"\"\"";
        QTest::newRow("line feed") << "a\nb" << "\"a\nb\"";
        QTest::newRow("carriage return") << "a\rb" << "\"a\rb\"";
        QTest::newRow("empty") << "" << "";
    }
    void quoting()
    {
        QFETCH(QString, text);
        QFETCH(QString, field);
        QCOMPARE(csv::Field(text), field);
        // What is written reads back as it was, between other fields.
        const Rows rows = ParseAll(csv::Row({"x", text, "y"}));
        QCOMPARE(rows, (Rows{QStringList{"x", text, "y"}}));
    }

    void parsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<QList<bool>>("broken");
        QTest::newRow("byte-order mark and CRLF") << QString(QChar(0xFEFF)) + "a,b\r\nc,d\r\n"
                                                  << Rows{{"a", "b"}, {"c", "d"}} << QList<bool>{false, false};
        QTest::newRow("LF and no last line end") << "a,b\nc" << Rows{{"a", "b"}, {"c"}} << QList<bool>{false, false};
        QTest::newRow("empty fields") << ",,\r\n" << Rows{{"", "", ""}} << QList<bool>{false};
        QTest::newRow("blank lines give no row") << "a\r\n\r\nb\r\n" << Rows{{"a"}, {"b"}} << QList<bool>{false, false};
        QTest::newRow("quoted line end") << "\"a\r\nb\",c\r\nd\r\n" << Rows{{"a\r\nb", "c"}, {"d"}}
                                         << QList<bool>{false, false};
        QTest::newRow("quote inside a field") << "a\"b,c\r\nd\r\n" << Rows{{"a\"b", "c"}, {"d"}}
                                              << QList<bool>{true, false};
        QTest::newRow("text after closing quote") << "\"a\"b,c\r\nd\r\n" << Rows{{"a", "c"}, {"d"}}
                                                  << QList<bool>{true, false};
        QTest::newRow("unterminated quote") << "x\r\n\"abc,d\r\n" << Rows{{"x"}, {"abc,d\r\n"}}
                                            << QList<bool>{false, true};
    }
    void parsing()
    {
        QFETCH(QString, text);
        QFETCH(Rows, rows);
        QFETCH(QList<bool>, broken);
        QList<bool> gotBroken;
        QCOMPARE(ParseAll(text, &gotBroken), rows);
        QCOMPARE(gotBroken, broken);
    }

    // One drill per row: the outcome, try, kind and answer of every row written.
    void drillRows_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QList<int>>("items");
        QTest::addColumn<QList<QStringList>>("answers");   // Text1, Text2, Text3 per check
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QStringList>("given");
        QTest::addColumn<QStringList>("outcomes");
        QTest::addColumn<QStringList>("tries");
        QTest::addColumn<QStringList>("kinds");
        QTest::addColumn<QStringList>("mistakes");
        const QString typeAnswer = texts::TypeAnswer;
        QTest::newRow("right at once") << 1 << QList<int>{5, 3} << QList<QStringList>{{"5", "3"}} << "3/5 m"
                                       << QStringList{"3/5"} << QStringList{"○"} << QStringList{"1"}
                                       << QStringList{C} << QStringList{""};
        QTest::newRow("wrong, then right at the second try")
            << 2 << QList<int>{6, 1} << QList<QStringList>{{"5", "1"}, {"6", "1"}} << "1/6 L"
            << QStringList{"1/5", "1/6"} << QStringList{"×", "△"} << QStringList{"1", "2"} << QStringList{C, C}
            << QStringList{mistakes::Other, ""};
        QTest::newRow("three wrong") << 6 << QList<int>{4, 3} << QList<QStringList>{{"3", "4"}, {"4", "2"}, {"8", "6"}}
                                     << "数直線 3/4" << QStringList{"4/3", "2/4", "6/8"}
                                     << QStringList{"×", "×", "×"} << QStringList{"1", "2", "3"}
                                     << QStringList{C, C, C}
                                     << QStringList{mistakes::Swapped, mistakes::Other, mistakes::Other};
        QTest::newRow("typed like a spreadsheet formula")
            << 1 << QList<int>{5, 3} << QList<QStringList>{{"5", "=1+2"}, {"-5", "@3"}} << "3/5 m"
            << QStringList{"'=1+2/5", "'@3/-5"} << QStringList{"×", "×"} << QStringList{"1", "2"}
            << QStringList{C, C} << QStringList{mistakes::Other, mistakes::Other};
        QTest::newRow("empty box: a message, then the first try")
            << 1 << QList<int>{5, 3} << QList<QStringList>{{"", "3"}, {"5", "3"}} << "3/5 m"
            << QStringList{"3/", "3/5"} << QStringList{typeAnswer, "○"} << QStringList{"1", "1"}
            << QStringList{M, C} << QStringList{"", ""};
        QTest::newRow("hint, then right") << 9 << QList<int>{5, 2, 3, 5}
                                          << QList<QStringList>{{"5", "5", ""}, {"5", "5", "1"}} << "2/5 + 3/5"
                                          << QStringList{"5/5", "5/5 = 1"}
                                          << QStringList{"分母と分子が同じ数のときは？", "△"}
                                          << QStringList{"1", "2"} << QStringList{H, C}
                                          << QStringList{mistakes::NotMixed, ""};
        QTest::newRow("improper sum: hint, then mixed number")
            << 17 << QList<int>{7, 3, 6, 9} << QList<QStringList>{{"7", "9", ""}, {"7", "2", "1"}} << "3/7 + 6/7"
            << QStringList{"9/7", "1 2/7"} << QStringList{hints::ImproperSum, "△"} << QStringList{"1", "2"}
            << QStringList{H, C} << QStringList{mistakes::NotMixed, ""};
        QTest::newRow("mixed subtraction, full-width digits")
            << 20 << QList<int>{5, 3, 1, 2, 1} << QList<QStringList>{{"５", "２", "１"}} << "2 3/5 − 1 1/5"
            << QStringList{"１ ２/５"} << QStringList{"○"} << QStringList{"1"} << QStringList{C} << QStringList{""};
        QTest::newRow("a notice before the ×") << 22 << QList<int>{5, 1, 3, 2, 1}
                                              << QList<QStringList>{{"5", "3", "0"}, {"5", "3", ""}}
                                              << "2 1/5 − 1 3/5" << QStringList{"0 3/5", "0 3/5", "3/5"}
                                              << QStringList{hints::ZeroWhole, "×", "△"}
                                              << QStringList{"1", "1", "2"} << QStringList{H, C, C}
                                              << QStringList{mistakes::ZeroWhole, mistakes::ZeroWhole, ""};
        QTest::newRow("whole part first") << 16 << QList<int>{4, 1, 2}
                                          << QList<QStringList>{{"2", "4", "1"}} << "9/4 を帯分数に"
                                          << QStringList{"2 1/4"} << QStringList{"○"} << QStringList{"1"}
                                          << QStringList{C} << QStringList{""};
    }
    void drillRows()
    {
        QFETCH(int, level);
        QFETCH(QList<int>, items);
        QFETCH(QList<QStringList>, answers);
        QFETCH(QString, problem);
        QFETCH(QStringList, given);
        QFETCH(QStringList, outcomes);
        QFETCH(QStringList, tries);
        QFETCH(QStringList, kinds);
        QFETCH(QStringList, mistakes);
        RecordedDrill d;
        d.Start(level, items);
        for (const QStringList& a : answers)
            d.Answer(a);
        const Rows rows = d.Written();
        QCOMPARE(rows.size(), outcomes.size());
        QCOMPARE(d.Column(record::Outcome), outcomes);
        QCOMPARE(d.Column(record::Try), tries);
        QCOMPARE(d.Column(record::Kind), kinds);
        QCOMPARE(d.Column(record::Answer), given);
        QCOMPARE(d.Column(record::Mistake), mistakes);
        for (const QStringList& r : rows) {
            QCOMPARE(r.size(), int(record::ColumnCount));
            QCOMPARE(r[record::ProblemWords], problem);
            QCOMPARE(r[record::Level], QString::number(level));
            QCOMPARE(r[record::LevelName], texts::LevelNames[size_t(level - 1)].left(3));
            QCOMPARE(r[record::Year], level <= 10 ? QString("3") : QString("4"));
            QCOMPARE(r[record::Slot], QString("1"));
            QCOMPARE(r[record::Problem], QString("1"));
            QCOMPARE(r[record::Serial], QString("1"));
            QCOMPARE(r[record::Computer], QString("pc-1"));
            QCOMPARE(r[record::Login], QString("taro"));
            QCOMPARE(r[record::When], QString("2026-12-08 09:30:05"));
        }
    }

    void kindButtons()
    {
        RecordedDrill d;
        d.Start(14, {2, 3, 2, 1});   // mixed number 1 2/3
        QTest::mouseClick(d.h.form->Command3[0], Qt::LeftButton);   // 真分数
        QTest::mouseClick(d.h.form->Command9[0], Qt::LeftButton);   // 帯分数
        QCOMPARE(d.Column(record::Answer), (QStringList{"真分数", "帯分数"}));
        QCOMPARE(d.Column(record::Outcome), (QStringList{"×", "△"}));
        QCOMPARE(d.Column(record::Kind), (QStringList{record::KindButton, record::KindButton}));
        QCOMPARE(d.Column(record::ProblemWords), (QStringList{"1 2/3 の名前", "1 2/3 の名前"}));
    }

    void pictureAnswers()
    {
        RecordedDrill d;
        d.Start(8, {5, 2, 3});   // 2/5 ？ 3/5: ＜ is right
        d.h.Check(1);            // nothing chosen
        d.h.Click(494 + 10, 157 + 10);
        d.h.Check(1);
        d.h.Click(626 + 10, 157 + 10);
        d.h.Check(1);
        QCOMPARE(d.Column(record::Answer), (QStringList{"", "＞", "＜"}));
        QCOMPARE(d.Column(record::Outcome), (QStringList{"×", "×", "△"}));
        QCOMPARE(d.Column(record::ProblemWords).first(), QString("2/5 ？ 3/5"));
    }

    void colouredCells()
    {
        RecordedDrill d;
        d.Start(5, {});   // the tape is drawn for the problem drawn
        const int cells = d.h.Rec(1, 1), n = d.h.Rec(1, 2);
        for (int i = 0; i < n; ++i)
            d.h.Click(int(80 + (i + 0.5) * 500 / cells), 242);
        d.h.Check(1);
        QCOMPARE(d.Column(record::Answer), QStringList{QString("%1 マス").arg(n)});
        QCOMPARE(d.Column(record::Outcome), QStringList{"○"});
        QCOMPARE(d.Column(record::ProblemWords), QStringList{QString("%1/%2 m をぬる").arg(n).arg(cells)});
    }

    // Each problem gets its own serial, also when a new exercise starts its numbers again.
    void serials()
    {
        RecordedDrill d;
        d.Start(1, {5, 3});
        d.Answer({"5", "3"});                       // problem 1 right, problem 2 drawn
        d.h.st().Item(1, 2 * 10 + 1) = 4;
        d.h.st().Item(1, 2 * 10 + 2) = 1;
        d.Answer({"3", "1"});                       // problem 2 wrong
        d.h.platform.answers = {true};
        d.h.form->Command8_Click(0);                // 終わる
        d.Start(1, {6, 5});
        d.Answer({"6", "5"});
        QCOMPARE(d.Column(record::Problem), (QStringList{"1", "2", "1"}));
        QCOMPARE(d.Column(record::Serial), (QStringList{"1", "2", "3"}));
    }

    // Messages outside an exercise are no part of the record.
    void menuMessagesAreNotRecorded()
    {
        RecordedDrill d;
        d.h.form->Command10_Click(0);   // けってい before a level is chosen
        QCOMPARE(d.h.platform.messages, QStringList{texts::ChooseLevelFirst});
        QCOMPARE(d.written, QByteArray());
    }

    void problemWords_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QList<int>>("items");
        QTest::addColumn<QString>("words");
        QTest::newRow("L01") << 1 << QList<int>{5, 3} << "3/5 m";
        QTest::newRow("L02") << 2 << QList<int>{4, 1} << "1/4 L";
        QTest::newRow("L03") << 3 << QList<int>{10, 7} << "7/10 m";
        QTest::newRow("L04") << 4 << QList<int>{9, 2} << "2/9 L";
        QTest::newRow("L05") << 5 << QList<int>{8, 3} << "3/8 m をぬる";
        QTest::newRow("L06") << 6 << QList<int>{7, 2} << "数直線 2/7";
        QTest::newRow("L07 from the record") << 7 << QList<int>{5} << "？/5 = 1";
        QTest::newRow("L08") << 8 << QList<int>{5, 2, 3} << "2/5 ？ 3/5";
        QTest::newRow("L09") << 9 << QList<int>{5, 3, 1, 4} << "3/5 + 1/5";
        QTest::newRow("L10") << 10 << QList<int>{5, 4, 1, 3} << "4/5 − 1/5";
        QTest::newRow("L10 from one") << 10 << QList<int>{5, 5, 2, 3} << "1 − 2/5";
        QTest::newRow("4th L01") << 11 << QList<int>{3, 2, 1} << "1 2/3 L";
        QTest::newRow("4th L01 below one") << 11 << QList<int>{3, 2, 0} << "2/3 L";
        QTest::newRow("4th L02") << 12 << QList<int>{4, 3, 2} << "数直線 2 3/4";
        QTest::newRow("4th L04") << 14 << QList<int>{2, 3, 2, 1} << "1 2/3 の名前";
        QTest::newRow("4th L04 improper") << 14 << QList<int>{1, 3, 7, 0} << "7/3 の名前";
        QTest::newRow("4th L05") << 15 << QList<int>{5, 0, 0, 13} << "2 3/5 を仮分数に";
        QTest::newRow("4th L06") << 16 << QList<int>{4, 1, 2} << "9/4 を帯分数に";
        QTest::newRow("4th L07") << 17 << QList<int>{7, 3, 6, 9} << "3/7 + 6/7";
        QTest::newRow("4th L08") << 18 << QList<int>{5, 3, 4, 1, 2} << "1 3/5 + 2 4/5";
        QTest::newRow("4th L08 proper first") << 18 << QList<int>{5, 3, 4, 0, 2} << "3/5 + 2 4/5";
        QTest::newRow("4th L09") << 19 << QList<int>{9, 12, 5, 7} << "12/9 − 5/9";
        QTest::newRow("4th L10") << 20 << QList<int>{5, 3, 4, 2, 1} << "2 3/5 − 1 4/5";
        QTest::newRow("4th L10 whole second") << 20 << QList<int>{5, 3, 0, 2, 1} << "2 3/5 − 1";
        QTest::newRow("4th L11") << 21 << QList<int>{5, 1, 3, 3} << "1 1/5 − 3/5";
        QTest::newRow("4th L12") << 22 << QList<int>{6, 2, 5, 4, 2} << "4 2/6 − 2 5/6";
    }
    void problemWords()
    {
        QFETCH(int, level);
        QFETCH(QList<int>, items);
        QFETCH(QString, words);
        RecordItems r{};
        for (int i = 0; i < items.size(); ++i)
            r[size_t(i)] = items[i];
        QCOMPARE(ProblemWords(level, r), words);
    }

    // Levels whose record does not hold what the pupil saw say it from the window.
    void problemWordsFromTheWindow()
    {
        for (int attempt = 0; attempt < 20; ++attempt) {
            RecordedDrill d;
            d.h.Seed(uint32_t(attempt));
            d.h.StartLevel(7);
            d.h.PressSlot(1);
            const QString g = QString::number(d.h.Rec(1, 1));
            const bool belowBar = d.h.form->Text1[0]->y() == 180;
            const QString words = RulesFor(7).ProblemInWords(d.h.form->exercise(), 1, 1);
            QCOMPARE(words, belowBar ? g + "/？ = 1" : "？/" + g + " = 1");
        }
        RecordedDrill d;
        d.h.StartLevel(13);
        d.h.PressSlot(2);
        const QString words = RulesFor(13).ProblemInWords(d.h.form->exercise(), 2, 1);
        QVERIFY2(QRegularExpression("^[1-6] [1-9]/([2-9]) ？ [1-6] [1-9]/\\1$").match(words).hasMatch(),
                 qPrintable(words));
    }

    void typedAnswerWords_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QString>("words");
        QTest::newRow("fraction") << 1 << QStringList{"5", "3", ""} << "3/5";
        QTest::newRow("fraction, third box ignored") << 4 << QStringList{"5", "3", "9"} << "3/5";
        QTest::newRow("numerator only") << 6 << QStringList{"", "3", ""} << "3/";
        QTest::newRow("nothing typed") << 19 << QStringList{"", "", ""} << "";
        QTest::newRow("L07 one box") << 7 << QStringList{"4", "", ""} << "4";
        QTest::newRow("L09 the one box alone") << 9 << QStringList{"", "", "1"} << "1";
        QTest::newRow("whole part left") << 18 << QStringList{"7", "2", "1"} << "1 2/7";
        QTest::newRow("whole part first") << 11 << QStringList{"1", "3", "2"} << "1 2/3";
        QTest::newRow("as typed, blanks and letters kept") << 17 << QStringList{" 7", "2a", ""} << "2a/ 7";
    }
    void typedAnswerWords()
    {
        QFETCH(int, level);
        QFETCH(QStringList, boxes);
        QFETCH(QString, words);
        TypedAnswer a;
        a.text1 = boxes[0];
        a.text2 = boxes[1];
        a.text3 = boxes[2];
        QCOMPARE(TypedAnswerWords(level, a), words);
    }

    // Per family of levels, the kinds its wrong answers can have; boxes are Text1, Text2, Text3.
    void mistakeKinds_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QList<int>>("items");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QString>("kind");
        using namespace mistakes;
        QTest::newRow("bar 3/5 as 5/3") << 1 << QList<int>{5, 3} << QStringList{"3", "5", ""} << Swapped;
        QTest::newRow("cup 2/5 as 3/5") << 4 << QList<int>{5, 2} << QStringList{"5", "3", ""} << CountedRest;
        QTest::newRow("number line: nothing left to count") << 6 << QList<int>{5, 2} << QStringList{"5", "3", ""} << Other;
        QTest::newRow("tape: 3 cells of 2/5") << 5 << QList<int>{5, 2} << QStringList{"3", "", ""} << CountedRest;
        QTest::newRow("tape: 4 cells of 2/5") << 5 << QList<int>{5, 2} << QStringList{"4", "", ""} << Other;
        QTest::newRow("1/5 + 2/5 = 3/10") << 9 << QList<int>{5, 1, 2, 3} << QStringList{"10", "3", ""} << AddedDenominators;
        QTest::newRow("2/5 + 3/5 = 5/5 without 1") << 9 << QList<int>{5, 2, 3, 5} << QStringList{"5", "5", ""} << NotMixed;
        QTest::newRow("4/5 + 3/5 = 7/5") << 17 << QList<int>{5, 4, 3, 7} << QStringList{"5", "7", ""} << NotMixed;
        QTest::newRow("2/7 + 3/7 = 7/5") << 17 << QList<int>{7, 2, 3, 5} << QStringList{"5", "7", ""} << Swapped;
        QTest::newRow("1 3/5 + 2 4/5 = 3 7/10") << 18 << QList<int>{5, 3, 4, 1, 2} << QStringList{"10", "7", "3"} << AddedDenominators;
        QTest::newRow("1 3/5 + 2 4/5 = 3 7/5") << 18 << QList<int>{5, 3, 4, 1, 2} << QStringList{"5", "7", "3"} << NotMixed;
        QTest::newRow("4/5 - 1/5 = 3/0") << 10 << QList<int>{5, 4, 1, 3} << QStringList{"0", "3", ""} << SubtractedDenominators;
        QTest::newRow("12/9 - 5/9 = 9/7") << 19 << QList<int>{9, 12, 5, 7} << QStringList{"7", "9", ""} << Swapped;
        QTest::newRow("3 1/5 - 1 3/5 = 2 2/5") << 22 << QList<int>{5, 1, 3, 3, 1} << QStringList{"5", "2", "2"} << Borrowing;
        QTest::newRow("2 3/5 - 1 1/5 = 1 5/2") << 20 << QList<int>{5, 3, 1, 2, 1} << QStringList{"2", "5", "1"} << Swapped;
        QTest::newRow("3 1/5 - 1 3/5 = 2 3/5") << 22 << QList<int>{5, 1, 3, 3, 1} << QStringList{"5", "3", "2"} << WholeNotReduced;
        QTest::newRow("3 1/5 - 1 3/5 = 1 2/5") << 22 << QList<int>{5, 1, 3, 3, 1} << QStringList{"5", "2", "1"} << Other;
        QTest::newRow("2 1/5 - 1 3/5 = 0 3/5") << 22 << QList<int>{5, 1, 3, 2, 1} << QStringList{"5", "3", "0"} << ZeroWhole;
        QTest::newRow("1 1/5 - 3/5 = 1 2/5") << 21 << QList<int>{5, 1, 3, 3} << QStringList{"5", "2", "1"} << Borrowing;
        QTest::newRow("1 1/5 - 3/5 = 2/5") << 21 << QList<int>{5, 1, 3, 3} << QStringList{"5", "2", ""} << Borrowing;
        QTest::newRow("litres 1 2/5 as 1 3/5") << 11 << QList<int>{5, 2, 1} << QStringList{"1", "5", "3"} << CountedRest;
        QTest::newRow("9/4 to mixed as 2 4/1") << 16 << QList<int>{4, 1, 2} << QStringList{"2", "1", "4"} << Swapped;
        QTest::newRow("number line 2 3/4 as 11/4") << 12 << QList<int>{4, 3, 2} << QStringList{"", "4", "11"} << NotMixed;
        QTest::newRow("2 3/5 to improper as 5/5") << 15 << QList<int>{5, 0, 0, 13} << QStringList{"5", "5", ""} << WholeAddedToNumerator;
        QTest::newRow("comparison") << 8 << QList<int>{5, 2, 3} << QStringList{"", "", ""} << Other;
    }
    void mistakeKinds()
    {
        QFETCH(int, level);
        QFETCH(QList<int>, items);
        QFETCH(QStringList, boxes);
        QFETCH(QString, kind);
        RecordItems r{};
        std::copy(items.begin(), items.end(), r.begin());
        TypedAnswer a;
        a.text1 = boxes[0];
        a.text2 = boxes[1];
        a.text3 = boxes[2];
        a.t1 = a.text1.toDouble();
        a.t2 = a.text2.toDouble();
        a.t3 = a.text3.toDouble();
        QCOMPARE(MistakeKind(level, r, a), kind);
    }

    void reportCounts_data()
    {
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::addColumn<QString>("group");
        QTest::addColumn<int>("level");
        QTest::addColumn<report::Counts>("counts");
        QTest::addColumn<int>("skipped");
        // Problem 1 right at once, 2 right at the second try after a hint, 3 wrong three times.
        const QList<QStringList> drill{
            {"pc-1", "taro", "9", "2/5 + 3/5", "5/5", "○", "1", C, "1"},
            {"pc-1", "taro", "9", "2/5 + 2/5", "5/5", "分母と分子が同じ数のときは？", "1", H, "2"},
            {"pc-1", "taro", "9", "2/5 + 2/5", "4/5", "△", "2", C, "2"},
            {"pc-1", "taro", "9", "1/4 + 1/4", "", texts::TypeAnswer, "1", M, "3"},
            {"pc-1", "taro", "9", "1/4 + 1/4", "2/8", "×", "1", C, "3"},
            {"pc-1", "taro", "9", "1/4 + 1/4", "2/8", "×", "2", C, "3"},
            {"pc-1", "taro", "9", "1/4 + 1/4", "1/8", "×", "3", C, "3"},
        };
        QTest::newRow("one drill") << drill << "pc-1 / taro" << 9 << report::Counts{3, 1, 1, 1, 1} << 0;
        QList<QStringList> other = drill;
        other << QStringList{"pc-2", "hanako", "9", "1/3 + 1/3", "2/3", "○", "1", C, "1"};
        QTest::newRow("another computer") << other << "pc-2 / hanako" << 9 << report::Counts{1, 1, 0, 0, 0} << 0;
        QList<QStringList> bad = drill;
        bad << QStringList{"pc-1", "taro", "23", "x", "", "○", "1", C, "4"}      // no such level
            << QStringList{"pc-1", "taro", "9", "x", "", "◎", "1", C, "5"}       // no such mark
            << QStringList{"pc-1", "taro", "9", "x", "", "○", "one", C, "6"}     // try not a number
            << QStringList{"pc-1", "taro", "9", "x", "", "○", "1", "何か", "7"}  // no such kind
            << QStringList{"pc-1", "taro", "9", "x", "", "○", "1", C, ""};       // no serial
        QTest::newRow("bad rows skipped") << bad << "pc-1 / taro" << 9 << report::Counts{3, 1, 1, 1, 1} << 5;
    }
    void reportCounts()
    {
        QFETCH(QList<QStringList>, rows);
        QFETCH(QString, group);
        QFETCH(int, level);
        QFETCH(report::Counts, counts);
        QFETCH(int, skipped);
        const report::Summary s = report::SummarizeTexts({MakeRecord(rows)});
        QCOMPARE(s.byGroup.at(group).at(level), counts);
        QCOMPARE(s.skipped, skipped);
        QCOMPARE(s.rows, rows.size());
        report::Counts all;
        for (const auto& [g, levels] : s.byGroup)
            all += levels.at(level);
        QCOMPARE(s.byLevel.at(level), all);
    }

    void malformedRecords_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("skipped");
        const QString good = MakeRecord({{"pc", "u", "1", "3/5 m", "3/5", "○", "1", C, "1"}});
        QTest::newRow("good") << good << 1 << 0;
        QTest::newRow("too few fields") << good + "a,b,c\r\n" << 2 << 1;
        QTest::newRow("unterminated quote") << good + "\"2026,pc\r\n" << 2 << 1;
        QTest::newRow("cut off in a row") << good + good.mid(good.indexOf("\r\n") + 2).left(20) << 2 << 1;
        QTest::newRow("not a record") << QString("name,score\r\ntaro,3\r\n") << 2 << 2;
        QTest::newRow("empty file") << QString() << 0 << 0;
        QTest::newRow("no byte-order mark") << good.mid(1) << 1 << 0;
    }
    void malformedRecords()
    {
        QFETCH(QString, text);
        QFETCH(int, rows);
        QFETCH(int, skipped);
        const report::Summary s = report::SummarizeTexts({text});
        QCOMPARE(s.rows, rows);
        QCOMPARE(s.skipped, skipped);
    }

    void wrongAnswersMostFrequentFirst()
    {
        const report::Summary s = report::SummarizeTexts({MakeRecord({
            {"a", "u", "17", "3/7 + 6/7", "9/7", hints::ImproperSum, "1", H, "1"},
            {"a", "u", "17", "1/2 + 1/2", "2/4", "×", "1", C, "2"},
            {"b", "v", "17", "3/7 + 6/7", "9/7", hints::ImproperSum, "1", H, "1"},
            {"b", "v", "17", "3/7 + 6/7", "1 2/7", "△", "2", C, "1"},
            {"b", "v", "17", "1/3 + 1/3", "", texts::TypeAnswer, "1", M, "2"},
            // A notice, then the × of the same check: one wrong answer.
            {"b", "v", "22", "2 1/5 − 1 3/5", "0 3/5", hints::ZeroWhole, "1", H, "3"},
            {"b", "v", "22", "2 1/5 − 1 3/5", "0 3/5", "×", "1", C, "3"},
        })});
        QCOMPARE(s.wrongAnswers.at(22).size(), size_t(1));
        QCOMPARE(s.wrongAnswers.at(22)[0].count, 1);
        const auto& list = s.wrongAnswers.at(17);
        QCOMPARE(int(list.size()), 2);
        QCOMPARE(list[0].problem, QString("3/7 + 6/7"));
        QCOMPARE(list[0].answer, QString("9/7"));
        QCOMPARE(list[0].count, 2);
        QCOMPARE(list[1].answer, QString("2/4"));
        QCOMPARE(list[1].count, 1);
    }

    // Wrong tries grouped by their kind: counts, the two most frequent answers as examples,
    // and each pupil's most frequent kinds; a notice and the × of one check count once.
    void mistakesGrouped()
    {
        using namespace mistakes;
        const report::Summary s = report::SummarizeTexts({MakeRecord({
            {"a", "u", "9", "1/5 + 2/5", "3/10", "×", "1", C, "1", AddedDenominators},
            {"a", "u", "9", "1/5 + 2/5", "3/10", "×", "2", C, "1", AddedDenominators},
            {"a", "u", "9", "1/4 + 2/4", "3/8", "×", "1", C, "2", AddedDenominators},
            {"a", "u", "9", "1/3 + 1/3", "2/9", "×", "1", C, "3", AddedDenominators},
            {"a", "u", "9", "2/5 + 3/5", "5/5", "分母と分子が同じ数のときは？", "1", H, "4", NotMixed},
            {"b", "v", "9", "1/5 + 3/5", "5/4", "×", "1", C, "1", Swapped},
            {"b", "v", "9", "1/5 + 3/5", "4/5", "△", "2", C, "1"},
            {"b", "v", "22", "2 1/5 − 1 3/5", "0 3/5", hints::ZeroWhole, "1", H, "2", ZeroWhole},
            {"b", "v", "22", "2 1/5 − 1 3/5", "0 3/5", "×", "1", C, "2", ZeroWhole},
        })});
        const auto& kinds = s.mistakeKinds.at(9);
        QCOMPARE(int(kinds.size()), 3);
        QCOMPARE(kinds[0].kind, AddedDenominators);
        QCOMPARE(kinds[0].count, 4);
        QCOMPARE(int(kinds[0].examples.size()), 2);
        QCOMPARE(kinds[0].examples[0].answer, QString("3/10"));
        QCOMPARE(kinds[0].examples[0].count, 2);
        QCOMPARE(s.mistakeKinds.at(22)[0].count, 1);
        const auto& a = s.groupMistakes.at("a / u");
        QCOMPARE(a[0].kind, AddedDenominators);
        QCOMPARE(a[1].kind, NotMixed);
        QCOMPARE(a[1].count, 1);
        const auto& b = s.groupMistakes.at("b / v");   // one each, in label order
        QCOMPARE(int(b.size()), 2);
        QCOMPARE(b[1].kind, ZeroWhole);
        QCOMPARE(b[1].count, 1);
        QVERIFY(report::Html(s, "t").contains(QString("%1 4、%2 1").arg(AddedDenominators, NotMixed)));
    }

    // A record written before the kind of mistake had its column is read as before.
    void recordWithoutMistakeColumn()
    {
        QString text = MakeRecord({{"a", "u", "1", "3/5 m", "5/3", "×", "1", C, "1", mistakes::Swapped}});
        text.replace(",まちがいのしゅるい\r\n", "\r\n").replace("," + mistakes::Swapped + "\r\n", "\r\n");
        const report::Summary s = report::SummarizeTexts({text});
        QCOMPARE(s.skipped, 0);
        QCOMPARE(s.byLevel.at(1).problems, 1);
        QCOMPARE(s.mistakeKinds.at(1)[0].kind, QString());
    }

    // The class table: a login used on several computers is named with each of them; a
    // share of ○ among the checked problems.
    void classTable()
    {
        const report::Summary s = report::SummarizeTexts({MakeRecord({
            {"pc-1", "student", "1", "3/5 m", "3/5", "○", "1", C, "1"},
            {"pc-2", "student", "1", "3/5 m", "3/5", "○", "1", C, "1"},
            {"pc-2", "hanako", "1", "3/5 m", "3/5", "○", "1", C, "1"},
            {"pc-2", "hanako", "1", "2/5 m", "2/5", "○", "1", C, "2"},
            {"pc-2", "hanako", "1", "1/5 m", "2/5", "×", "1", C, "3"},
        })});
        QStringList names;
        for (const report::Pupil& p : report::Pupils(s))
            names << p.name;
        QCOMPARE(names, (QStringList{"hanako", "student (pc-1)", "student (pc-2)"}));
        QVERIFY(report::Html(s, "t").contains("67% <small>3問</small>"));
    }

    void pageIsSelfContained()
    {
        report::Summary s = report::SummarizeTexts(
            {MakeRecord({{"pc<1>", "a&b", "9", "2/5 + 3/5", "<script>", "×", "1", C, "1"}}) + "broken\"row\r\n"});
        const QString page = report::Html(s, "t");
        QVERIFY(page.contains("<svg"));
        QVERIFY(page.contains("pc&lt;1&gt; / a&amp;b"));
        QVERIFY(page.contains("&lt;script&gt;"));
        QVERIFY(!page.contains("<script", Qt::CaseInsensitive));
        QVERIFY(!page.contains("src=", Qt::CaseInsensitive));
        QVERIFY(!page.contains("@import") && !page.contains("url("));
        QVERIFY(!page.contains("<link"));
        QVERIFY(page.contains("rows skipped as unreadable): 1"));
    }

    void openedFile()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("class/3-1");
        const QDateTime started(QDate(2026, 12, 8), QTime(9, 5, 7));
        QString error;
        auto first = Recorder::Open(folder, started, &error);
        auto second = Recorder::Open(folder, started, &error);
        QVERIFY2(first && second, qPrintable(error));
        QCOMPARE(QFileInfo(first->fileName()).fileName(), QString("porome-20261208-090507.csv"));
        QCOMPARE(QFileInfo(second->fileName()).fileName(), QString("porome-20261208-090507-2.csv"));
        QFile f(first->fileName());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        QCOMPARE(ParseAll(QString::fromUtf8(bytes)), (Rows{record::Header()}));
    }

    void unusableFolder()
    {
        QTemporaryDir dir;
        QFile blocker(dir.filePath("file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        QString error;
        QVERIFY(!Recorder::Open(dir.filePath("file/records"), QDateTime::currentDateTime(), &error));
        QVERIFY(!error.isEmpty());
    }

    void folderPrecedence_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("machineWide");
        QTest::addColumn<QString>("folder");
        QTest::newRow("neither") << "" << "" << "" << "";
        QTest::newRow("settings only") << "" << "/srv/records" << "" << "/srv/records";
        QTest::newRow("command line only") << "/tmp/r" << "" << "" << "/tmp/r";
        QTest::newRow("command line wins") << "/tmp/r" << "/srv/records" << "" << "/tmp/r";
        // Every account's setting, as an installer or the administrator writes it.
        QTest::newRow("machine-wide only") << "" << "" << "/srv/all" << "/srv/all";
        QTest::newRow("the user's own wins") << "" << "/srv/mine" << "/srv/all" << "/srv/mine";
        QTest::newRow("command line beats both") << "/tmp/r" << "/srv/mine" << "/srv/all" << "/tmp/r";
    }
    void folderPrecedence()
    {
        QFETCH(QString, commandLine);
        QFETCH(QString, setting);
        QFETCH(QString, machineWide);
        QFETCH(QString, folder);
        // The program's own settings files, in configuration folders of the test's own.
        QStandardPaths::setTestModeEnabled(true);
        SetApplicationNames();
        QTemporaryDir system;
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, system.path());
        const auto write = [](QSettings&& settings, const QString& value) {
            settings.clear();
            if (!value.isEmpty())
                settings.setValue("record/folder", value);
            settings.sync();
            return settings.fileName();
        };
        const QString userFile = write(QSettings(), setting);
        QVERIFY2(userFile.endsWith("porome/porome.conf"), qPrintable(userFile));
        write(QSettings(QSettings::SystemScope, "porome", "porome"), machineWide);
        QCOMPARE(record::Folder(commandLine, QSettings()), folder);
        QSettings().clear();
    }

    // The report reads with the teacher's own key; a read key for every account is refused.
    void readKeyScopes_data()
    {
        QTest::addColumn<QStringList>("user");
        QTest::addColumn<QStringList>("machine");
        QTest::addColumn<QString>("problem");   // empty: the teacher's key is taken
        const QStringList write{"lrs/key=classroom", "lrs/secret=w"}, read{"lrs/readKey=teacher", "lrs/readSecret=r-sekrit"};
        QTest::newRow("the teacher's own") << read + write << write << "";
        QTest::newRow("write keys only") << write << write << "no key to read";
        QTest::newRow("a read key for every account") << QStringList{} << read << "is refused";
        QTest::newRow("beside the teacher's") << read << QStringList{"lrs/readSecret=r-sekrit"} << "is refused";
    }
    void readKeyScopes()
    {
        QFETCH(QStringList, user);
        QFETCH(QStringList, machine);
        QFETCH(QString, problem);
        QStandardPaths::setTestModeEnabled(true);
        SetApplicationNames();
        QTemporaryDir system;
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, system.path());
        for (QSettings* settings : {new QSettings, new QSettings(QSettings::SystemScope, "porome", "porome")}) {
            settings->clear();
            for (const QString& v : settings->scope() == QSettings::UserScope ? user : machine)
                settings->setValue(v.section('=', 0, 0), v.section('=', 1));
            delete settings;
        }
        const ReadKey got = ReadKey::FromSettings();
        QSettings().clear();
        QCOMPARE(got.key + got.secret, problem.isEmpty() ? QString("teacherr-sekrit") : QString());
        QVERIFY2(problem.isEmpty() ? got.problem.isEmpty() : got.problem.contains(problem), qPrintable(got.problem));
        QVERIFY2(!got.problem.contains("sekrit") && !got.problem.contains('\n'), qPrintable(got.problem));
    }

    // Full-width digits come from the keyboard with the input method on: the boxes ask it
    // for digits, and the check reads them.
    void answerBoxesAskForDigits()
    {
        Harness h;
        for (int s = 0; s < 3; ++s)
            for (QLineEdit* box : {h.form->Text1[s], h.form->Text2[s], h.form->Text3[s]})
                QVERIFY(box->inputMethodHints().testFlags(Qt::ImhDigitsOnly | Qt::ImhPreferNumbers));
        h.StartLevel(1);
        h.PressSlot(1);
        const auto fullWidth = [](int n) {
            QString text;
            for (QChar c : QString::number(n))
                text += QChar(u'０' + c.digitValue());
            return text;
        };
        h.form->Text1[0]->setText(fullWidth(h.Rec(1, 1)));
        h.form->Text2[0]->setText(fullWidth(h.Rec(1, 2)));
        h.Check(1);
        QCOMPARE(h.MarkOf(1, 1), 1);
    }
};

QTEST_MAIN(RecordTest)
#include "tst_record.moc"
