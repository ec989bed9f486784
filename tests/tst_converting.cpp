// SPDX-License-Identifier: GPL-3.0-or-later
// Levels 15 and 16: a mixed number to an improper fraction and back.
#include "levels/grade4/Converting.h"
#include "shell/Texts.h"
#include "support/Grade4Drills.h"
#include "support/Harness.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <map>
#include <set>

namespace {

uint32_t SeedFor(int d, int n, int w)
{
    return SeedWhere(DrawConversion, [=](const MixedNumber& m) { return m.d == d && m.n == n && m.w == w; });
}

QRgb PixelAt(Harness& h, int x, int y)
{
    return h.panel().image().pixel(x, y) | 0xff000000u;
}

// A window at level 15 or 16 whose slot s shows the wanted problem.
void StartWith(Harness& h, int level, int s, int d, int n, int w)
{
    const uint32_t seed = SeedFor(d, n, w);
    QVERIFY(seed != 0);
    h.StartLevel(level);
    h.Seed(seed);
    h.PressSlot(s);
}

// The answer bar right of "＝": (670, y0+166) in level 15, (630, y0+166) in level 16.
void VerifyAnswerBar(Harness& h, int level, int s)
{
    const int left = level == 15 ? 670 : 630;
    const int y0 = (s - 1) * 220;
    for (int x : {left, left + 5, left + 63})
        for (int y : {y0 + 166, y0 + 168})
            QCOMPARE(PixelAt(h, x, y), colours::Black);
    QCOMPARE(PixelAt(h, left + 64, y0 + 167), colours::White);
    QCOMPARE(PixelAt(h, left - 1, y0 + 167), colours::White);
}

} // namespace

class ConvertingTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PrepareTestApplication(); }

    void drawRanges()
    {
        Random rnd;
        rnd.Seed(555);
        std::map<int, int> byD, byW;
        std::set<std::pair<int, int>> fractions;
        int smallest = 1000, largest = 0, repeats = 0;
        MixedNumber last{0, 0, 0};
        const int draws = 60000;
        for (int i = 0; i < draws; ++i) {
            const MixedNumber m = DrawConversion(rnd);
            QVERIFY(m.d >= 2 && m.d <= 9);
            QVERIFY(m.n >= 1 && m.n < m.d);
            QVERIFY(m.w >= 1 && m.w <= 9);
            ++byD[m.d];
            ++byW[m.w];
            fractions.insert({m.d, m.n});
            smallest = std::min(smallest, m.ImproperNumerator());
            largest = std::max(largest, m.ImproperNumerator());
            repeats += m.d == last.d && m.n == last.n && m.w == last.w;
            last = m;
        }
        QCOMPARE(int(fractions.size()), 36);
        QCOMPARE(smallest, 3);    // 1 1/2
        QCOMPARE(largest, 89);    // 9 8/9
        // no rule against repeats: the same problem comes twice in a row now and then
        QVERIFY(repeats > 0);
        QCOMPARE(int(byW.size()), 9);
        for (auto [w, count] : byW)
            QVERIFY2(std::abs(count / double(draws) - 1 / 9.0) < 0.008,
                     qPrintable(QString("w %1: %2").arg(w).arg(count)));
        // n = d starts over with a new denominator: d stays with chance (d-1)/d
        double weights = 0;
        for (int d = 2; d <= 9; ++d)
            weights += (d - 1.0) / d;
        for (auto [d, count] : byD) {
            const double expected = (d - 1.0) / d / weights;
            QVERIFY2(std::abs(count / double(draws) - expected) < 0.008,
                     qPrintable(QString("d %1: %2, expected %3").arg(d).arg(count / double(draws)).arg(expected)));
        }
    }

    void drawing_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("d");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("w");
        QTest::newRow("15: 2 1/3") << 15 << 3 << 1 << 2;
        QTest::newRow("15: 9 8/9") << 15 << 9 << 8 << 9;
        QTest::newRow("16: 7/2") << 16 << 2 << 1 << 3;
        QTest::newRow("16: 9/4") << 16 << 4 << 1 << 2;
        QTest::newRow("16: 10/3") << 16 << 3 << 1 << 3;
        QTest::newRow("16: 89/9") << 16 << 9 << 8 << 9;
    }
    void drawing()
    {
        QFETCH(int, level);
        QFETCH(int, d);
        QFETCH(int, n);
        QFETCH(int, w);
        Harness h;
        StartWith(h, level, 3, d, n, w);
        const int y0 = 440;
        const int improper = w * d + n;
        Sketch expected(h.panel());
        if (level == 15) {
            QCOMPARE(h.Rec(3, 1), d);
            QCOMPARE(h.Rec(3, 2), 0);
            QCOMPARE(h.Rec(3, 3), 0);
            QCOMPARE(h.Rec(3, 4), improper);
            expected.Text(70, y0 + 150, QStringLiteral("仮分数になおしましょう。"))
                .Number(560, y0 + 150, w)
                .Number(600, y0 + 175, d)
                .Number(600, y0 + 125, n)
                .Bar(585, y0 + 165, 45)
                .Text(634, y0 + 150, QStringLiteral("＝"))
                .Bar(670, y0 + 166, 64);
        } else {
            QCOMPARE(h.Rec(3, 1), d);
            QCOMPARE(h.Rec(3, 2), n);
            QCOMPARE(h.Rec(3, 3), w);
            QCOMPARE(h.Rec(3, 4), 0);
            // two digits: the numerator 5 px left, the denominator 2 px right, a wider bar
            const bool wide = improper > 9;
            expected.Text(70, y0 + 150, QStringLiteral("帯分数になおしましょう。"))
                .Number(wide ? 502 : 500, y0 + 175, d)
                .Number(wide ? 495 : 500, y0 + 125, improper)
                .Bar(485, y0 + 165, wide ? 50 : 45)
                .Text(540, y0 + 150, QStringLiteral("＝"))
                .Bar(630, y0 + 166, 64);
        }
        QCOMPARE(DifferingPixels(h.panel().image(), expected.image(), QRect(30, y0 + 110, 730, 160)), 0);
    }

    void boxesAtStart_data()
    {
        QTest::addColumn<int>("level");
        QTest::newRow("15") << 15;
        QTest::newRow("16") << 16;
    }
    void boxesAtStart()
    {
        QFETCH(int, level);
        Harness h;
        h.StartLevel(level);
        h.PressSlot(2);
        Form1& f = *h.form;
        const int y0 = 220;
        if (level == 15) {
            QCOMPARE(f.Text2[1]->pos(), QPoint(680, y0 + 115));
            QCOMPARE(f.Text1[1]->pos(), QPoint(680, y0 + 180));
            QVERIFY(!f.Text3[1]->isVisibleTo(&f));
        } else {
            QCOMPARE(f.Text3[1]->pos(), QPoint(640, y0 + 115));
            QCOMPARE(f.Text2[1]->pos(), QPoint(640, y0 + 180));
            QCOMPARE(f.Text1[1]->pos(), QPoint(580, y0 + 147));
            QVERIFY(f.Text3[1]->isVisibleTo(&f));
            QCOMPARE(BackColor(f.Text3[1]), colours::Grey);
        }
        QCOMPARE(BackColor(f.Text1[1]), colours::Pink);
        QCOMPARE(BackColor(f.Text2[1]), colours::Grey);
        QVERIFY(f.Command5[1]->isVisibleTo(&f));
        QVERIFY(f.Picture6[1]->isVisibleTo(&f));
        VerifyAnswerBar(h, level, 2);
        // a press on the drawing changes nothing
        const int before = h.Rec(2, 1);
        h.Click(300, y0 + 200);
        QCOMPARE(h.Problem(2), 1);
        QCOMPARE(h.Rec(2, 1), before);
    }

    // Level 15: Text1 the denominator below the bar, Text2 the numerator above it.
    void judgingImproper_data()
    {
        QTest::addColumn<int>("d");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("w");
        QTest::addColumn<QString>("denominator");
        QTest::addColumn<QString>("numerator");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("2 1/3 as 7/3") << 3 << 1 << 2 << "3" << "7" << "right";
        QTest::newRow("2 1/3 as 3/7") << 3 << 1 << 2 << "7" << "3" << "wrong";
        QTest::newRow("2 1/3 as 1/3") << 3 << 1 << 2 << "3" << "1" << "wrong";
        QTest::newRow("2 1/3 with leading zeros") << 3 << 1 << 2 << "03" << "007" << "right";
        QTest::newRow("9 8/9 as 89/9") << 9 << 8 << 9 << "9" << "89" << "right";
        QTest::newRow("9 8/9 as 98/9") << 9 << 8 << 9 << "9" << "98" << "wrong";
        QTest::newRow("1 2/4 as 6/4") << 4 << 2 << 1 << "4" << "6" << "right";
        QTest::newRow("1 2/4 reduced to 3/2") << 4 << 2 << 1 << "2" << "3" << "wrong";
        QTest::newRow("1 1/2 as 3/2") << 2 << 1 << 1 << "2" << "3" << "right";
        QTest::newRow("2 1/3, numerator empty") << 3 << 1 << 2 << "3" << "" << "wrong";
        QTest::newRow("2 1/3, denominator empty") << 3 << 1 << 2 << "" << "7" << "refused";
        QTest::newRow("both empty") << 3 << 1 << 2 << "" << "" << "refused";
    }
    void judgingImproper()
    {
        QFETCH(int, d);
        QFETCH(int, n);
        QFETCH(int, w);
        QFETCH(QString, denominator);
        QFETCH(QString, numerator);
        QFETCH(QString, outcome);
        Harness h;
        StartWith(h, 15, 1, d, n, w);
        Form1& f = *h.form;
        h.Type(1, 2, numerator);
        h.Type(1, 1, denominator);
        // the hidden third box is never looked at, and is emptied after a right answer
        f.Text3[0]->setText("5");
        SetBackColor(f.Text3[0], colours::Pink);
        h.Check(1);
        if (outcome == "refused") {
            QCOMPARE(h.platform.messages, QStringList{texts::TypeAnswer});
            QCOMPARE(h.st().Item(1, 20), 0);
            QCOMPARE(h.platform.beeps, 0);
            QCOMPARE(f.Text2[0]->text(), numerator);
            return;
        }
        const bool right = outcome == "right";
        QVERIFY(h.platform.messages.isEmpty());
        QCOMPARE(h.st().Item(1, 20), 1);
        QCOMPARE(h.MarkOf(1, 1), right ? 1 : 0);
        QCOMPARE(h.Problem(1), right ? 2 : 1);
        QVERIFY(f.Text1[0]->text().isEmpty());
        QVERIFY(f.Text2[0]->text().isEmpty());
        QCOMPARE(BackColor(f.Text1[0]), colours::Pink);
        QCOMPARE(BackColor(f.Text2[0]), colours::Grey);
        if (right) {
            QVERIFY(f.Text3[0]->text().isEmpty());
            QCOMPARE(BackColor(f.Text3[0]), colours::Grey);
        }
        VerifyAnswerBar(h, 15, 1);
    }

    // Level 16: Text1 the whole part, Text3 the numerator above the bar, Text2 below it.
    void judgingMixed_data()
    {
        QTest::addColumn<int>("d");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("w");
        QTest::addColumn<QString>("whole");
        QTest::addColumn<QString>("numerator");
        QTest::addColumn<QString>("denominator");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("7/3 as 2 1/3") << 3 << 1 << 2 << "2" << "1" << "3" << "right";
        QTest::newRow("7/3 as 2 1/3 with leading zeros") << 3 << 1 << 2 << "02" << "01" << "03" << "right";
        QTest::newRow("7/3, whole part empty") << 3 << 1 << 2 << "" << "1" << "3" << "refused";
        QTest::newRow("7/3 as 1 4/3") << 3 << 1 << 2 << "1" << "4" << "3" << "wrong";
        QTest::newRow("7/3 as 2 3/1") << 3 << 1 << 2 << "2" << "3" << "1" << "wrong";
        QTest::newRow("7/3, numerator empty") << 3 << 1 << 2 << "2" << "" << "3" << "wrong";
        QTest::newRow("7/3, denominator empty") << 3 << 1 << 2 << "2" << "1" << "" << "wrong";
        QTest::newRow("7/3, whole part typed as numerator") << 3 << 1 << 2 << "1" << "2" << "3" << "wrong";
        QTest::newRow("10/4 as 2 2/4") << 4 << 2 << 2 << "2" << "2" << "4" << "right";
        QTest::newRow("10/4 reduced to 2 1/2") << 4 << 2 << 2 << "2" << "1" << "2" << "wrong";
        QTest::newRow("89/9 as 9 8/9") << 9 << 8 << 9 << "9" << "8" << "9" << "right";
        QTest::newRow("3/2 as 1 1/2") << 2 << 1 << 1 << "1" << "1" << "2" << "right";
        QTest::newRow("3/2 left as 3/2") << 2 << 1 << 1 << "0" << "3" << "2" << "wrong";
    }
    void judgingMixed()
    {
        QFETCH(int, d);
        QFETCH(int, n);
        QFETCH(int, w);
        QFETCH(QString, whole);
        QFETCH(QString, numerator);
        QFETCH(QString, denominator);
        QFETCH(QString, outcome);
        Harness h;
        StartWith(h, 16, 2, d, n, w);
        Form1& f = *h.form;
        h.Type(2, 3, numerator);
        h.Type(2, 2, denominator);
        h.Type(2, 1, whole);
        h.Check(2);
        if (outcome == "refused") {
            // the whole part must always be typed: no try is used and nothing is emptied
            QCOMPARE(h.platform.messages, QStringList{texts::TypeAnswer});
            QCOMPARE(h.st().Item(2, 20), 0);
            QCOMPARE(h.Problem(2), 1);
            QCOMPARE(h.platform.beeps, 0);
            QCOMPARE(f.Text3[1]->text(), numerator);
            QCOMPARE(f.Text2[1]->text(), denominator);
            return;
        }
        const bool right = outcome == "right";
        QVERIFY(h.platform.messages.isEmpty());
        QCOMPARE(h.st().Item(2, 20), 1);
        QCOMPARE(h.MarkOf(2, 1), right ? 1 : 0);
        QCOMPARE(h.Problem(2), right ? 2 : 1);
        // after every check all three boxes are empty and the whole part receives the keypad
        QVERIFY(f.Text1[1]->text().isEmpty());
        QVERIFY(f.Text2[1]->text().isEmpty());
        QVERIFY(f.Text3[1]->text().isEmpty());
        QCOMPARE(BackColor(f.Text1[1]), colours::Pink);
        QCOMPARE(BackColor(f.Text2[1]), colours::Grey);
        QCOMPARE(BackColor(f.Text3[1]), colours::Grey);
        QCOMPARE(int(h.st().ActiveField[2]), 0);
        VerifyAnswerBar(h, 16, 2);
    }

    // Text typed with the keyboard into the whole-part box of level 16, for 7/3 = 2 1/3:
    // the check reads the leading number of the text, and nothing typed makes it fail.
    void keyboardTextInWholeBox_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("right");
        QTest::newRow("leading blanks") << "  2" << true;
        QTest::newRow("letters after the number") << "2ab" << true;
        QTest::newRow("letters first") << "ab2" << false;
        QTest::newRow("full-width digit") << "\uFF12" << true;   // as the input method types 2
        QTest::newRow("full-width minus") << "\uFF0D\uFF12" << false;
        QTest::newRow("negative") << "-2" << false;
        QTest::newRow("decimal part") << "2.5" << false;
        QTest::newRow("blank only") << " " << false;
        QTest::newRow("huge number") << "123456789012345678901234567890" << false;
    }
    void keyboardTextInWholeBox()
    {
        QFETCH(QString, typed);
        QFETCH(bool, right);
        Harness h;
        StartWith(h, 16, 1, 3, 1, 2);
        h.Type(1, 3, "1");
        h.Type(1, 2, "3");
        // key events carrying the characters, as an input method delivers full-width ones
        for (QChar c : typed) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(h.form->Text1[0], &press);
        }
        QCOMPARE(h.form->Text1[0]->text(), typed);
        h.Check(1);
        QVERIFY(h.platform.messages.isEmpty());
        QCOMPARE(h.MarkOf(1, 1), right ? 1 : 0);
        QCOMPARE(h.Problem(1), right ? 2 : 1);
    }

    // 'R' types the right answer, 'W' an answer with the numerator one too large.
    void drill_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("answers");
        QTest::addColumn<int>("mark");
        for (int level : {15, 16}) {
            QTest::addRow("%d right at once", level) << level << "R" << 1;
            QTest::addRow("%d wrong then right", level) << level << "WR" << 2;
            QTest::addRow("%d two wrong then right", level) << level << "WWR" << 2;
            QTest::addRow("%d three wrong", level) << level << "WWW" << 3;
        }
    }
    void drill()
    {
        QFETCH(int, level);
        QFETCH(QString, answers);
        QFETCH(int, mark);
        Harness h;
        h.StartLevel(level);
        h.Seed(4242);
        h.PressSlot(2);
        h.PressSlot(1);
        const int slot2First = h.Rec(2, 1);
        for (int i = 0; i < answers.size(); ++i) {
            QCOMPARE(h.Problem(1), 1);
            const int wrong = answers[i] == 'W' ? 1 : 0;
            if (level == 15) {
                h.Type(1, 1, QString::number(h.Rec(1, 1)));
                h.Type(1, 2, QString::number(h.Rec(1, 4) + wrong));
            } else {
                h.Type(1, 1, QString::number(h.Rec(1, 3)));
                h.Type(1, 2, QString::number(h.Rec(1, 1)));
                h.Type(1, 3, QString::number(h.Rec(1, 2) + wrong));
            }
            h.Check(1);
            VerifyAnswerBar(h, level, 1);
            QCOMPARE(BackColor(h.form->Text1[0]), colours::Pink);
            QCOMPARE(BackColor(h.form->Text2[0]), colours::Grey);
        }
        QCOMPARE(h.MarkOf(1, 1), mark);
        QCOMPARE(h.Problem(1), 2);
        QCOMPARE(h.st().Item(1, 20), int(answers.size()));
        QCOMPARE(h.platform.beeps, int(answers.size()));
        QVERIFY(h.platform.messages.isEmpty());
        // the next problem is fully recorded; slot 2 is untouched
        QVERIFY(h.Rec(1, 1) >= 2 && h.Rec(1, 1) <= 9);
        if (level == 15)
            QVERIFY(h.Rec(1, 4) >= 3 && h.Rec(1, 4) <= 89);
        else
            QVERIFY(h.Rec(1, 3) >= 1 && h.Rec(1, 3) <= 9);
        QCOMPARE(h.Problem(2), 1);
        QCOMPARE(h.Rec(2, 1), slot2First);
        QCOMPARE(h.st().Item(2, 20), 0);
    }
};

QTEST_MAIN(ConvertingTest)
#include "tst_converting.moc"
