// SPDX-License-Identifier: GPL-3.0-or-later
// Level 11: the water amount in litres as a mixed number.
#include "levels/grade4/WaterLitres.h"
#include "shell/Texts.h"
#include "support/Grade4Drills.h"
#include "support/Harness.h"

#include <QTest>
#include <map>
#include <set>

namespace {

uint32_t SeedFor(int d, int n, int w)
{
    return SeedWhere(DrawWaterLitres, [=](const WaterAmount& a) { return a.d == d && a.n == n && a.w == w; });
}

QRgb PixelAt(Harness& h, int x, int y)
{
    return h.panel().image().pixel(x, y) | 0xff000000u;
}

// After every check the three boxes are empty, the whole-part box receives the keypad
// and the answer bar stands again.
void VerifyBoxesReset(Harness& h, int s)
{
    const int i = s - 1;
    Form1& f = *h.form;
    QVERIFY(f.Text1[i]->text().isEmpty());
    QVERIFY(f.Text2[i]->text().isEmpty());
    QVERIFY(f.Text3[i]->text().isEmpty());
    QCOMPARE(BackColor(f.Text1[i]), colours::Pink);
    QCOMPARE(BackColor(f.Text2[i]), colours::Grey);
    QCOMPARE(BackColor(f.Text3[i]), colours::Grey);
    QCOMPARE(int(h.st().ActiveField[s]), 0);
    const int y0 = (s - 1) * 220;
    for (int x : {630, 635, 693})
        QCOMPARE(PixelAt(h, x, y0 + 167), colours::Black);
}

} // namespace

class WaterLitresTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PrepareTestApplication(); }

    void drawRanges()
    {
        Random rnd;
        rnd.Seed(2024);
        std::map<int, int> byD, byW;
        std::set<std::pair<int, int>> fractions;
        const int draws = 50000;
        for (int i = 0; i < draws; ++i) {
            const WaterAmount a = DrawWaterLitres(rnd);
            QVERIFY(a.d >= 2 && a.d <= 6);
            QVERIFY(a.n >= 1 && a.n < a.d);
            QVERIFY(a.w >= 0 && a.w <= 3);
            ++byD[a.d];
            ++byW[a.w];
            fractions.insert({a.d, a.n});
        }
        QCOMPARE(int(fractions.size()), 1 + 2 + 3 + 4 + 5);
        // the whole litres are drawn once, after the fraction: 0..3 equally often
        QCOMPARE(int(byW.size()), 4);
        for (auto [w, count] : byW)
            QVERIFY2(std::abs(count / double(draws) - 0.25) < 0.01, qPrintable(QString("w %1: %2").arg(w).arg(count)));
        // a numerator equal to d starts over with a new d, so d is kept with chance (d-1)/d
        double weights = 0;
        for (int d = 2; d <= 6; ++d)
            weights += (d - 1.0) / d;
        for (auto [d, count] : byD) {
            const double expected = (d - 1.0) / d / weights;
            QVERIFY2(std::abs(count / double(draws) - expected) < 0.01,
                     qPrintable(QString("d %1: %2, expected %3").arg(d).arg(count / double(draws)).arg(expected)));
        }
    }

    void drawing_data()
    {
        QTest::addColumn<int>("d");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("w");
        QTest::newRow("5/6, no full litre") << 6 << 5 << 0;
        QTest::newRow("1/2 and 3 litres") << 2 << 1 << 3;
        QTest::newRow("3/4 and 1 litre") << 4 << 3 << 1;
        QTest::newRow("1/3 and 2 litres") << 3 << 1 << 2;
        QTest::newRow("2/5 and 3 litres") << 5 << 2 << 3;
    }
    void drawing()
    {
        QFETCH(int, d);
        QFETCH(int, n);
        QFETCH(int, w);
        const uint32_t seed = SeedFor(d, n, w);
        QVERIFY(seed != 0);
        Harness h;
        h.StartLevel(11);
        h.Seed(seed);
        h.PressSlot(2);
        const int y0 = 220;
        QCOMPARE(h.Rec(2, 1), d);
        QCOMPARE(h.Rec(2, 2), n);
        QCOMPARE(h.Rec(2, 3), w);
        QCOMPARE(h.Rec(2, 4), 0);

        // Full containers to the left of the partial one, the first nearest to it:
        // at x 325, 200 and 75, full of water inside a black outline.
        for (int i = 1; i <= 3; ++i) {
            const int x = 450 - 125 * i;
            const bool full = i <= w;
            QCOMPARE(PixelAt(h, x + 60, y0 + 115), full ? colours::Cyan : colours::White);
            QCOMPARE(PixelAt(h, x + 60, y0 + 229), full ? colours::Cyan : colours::White);
            QCOMPARE(PixelAt(h, x, y0 + 170), full ? colours::Black : colours::White);
            QCOMPARE(PixelAt(h, x + 120, y0 + 170), full ? colours::Black : colours::White);
            QCOMPARE(PixelAt(h, x + 60, y0 + 110), full ? colours::Black : colours::White);
            QCOMPARE(PixelAt(h, x - 1, y0 + 170), colours::White);
        }
        // The water of the partial container rises from the bottom to n/d of 120 px.
        const int height = 120 * n / d;
        QCOMPARE(CountPixels(h.panel().image(), QRect(510, y0 + 111, 1, 119), colours::Cyan), height);
        QCOMPARE(PixelAt(h, 510, y0 + 230 - height), colours::Cyan);
        QCOMPARE(PixelAt(h, 510, y0 + 229 - height), colours::White);
        // d scale marks 10 px long on the left side, the last one on the bottom edge
        for (int i = 1; i <= d; ++i)
            QCOMPARE(PixelAt(h, 455, y0 + 110 + i * 120 / d), colours::Black);
        QCOMPARE(CountPixels(h.panel().image(), QRect(455, y0 + 111, 1, 119), colours::Black), d - 1);
        QCOMPARE(CountPixels(h.panel().image(), QRect(465, y0 + 111, 1, 119), colours::Black), 0);
        for (int y : {y0 + 110, y0 + 230})
            QCOMPARE(PixelAt(h, 560, y), colours::Black);
        QCOMPARE(PixelAt(h, 570, y0 + 120), colours::Black);

        // the unit after the answer, and no instruction text of this level
        Sketch expected(h.panel());
        expected.Text(700, y0 + 150, QStringLiteral("ﾘｯﾄﾙ")).Bar(630, y0 + 166, 64);
        QCOMPARE(DifferingPixels(h.panel().image(), expected.image(), QRect(600, y0 + 110, 165, 160)), 0);
        QCOMPARE(CountPixels(h.panel().image(), QRect(30, y0 + 110, 40, 160), colours::White), 40 * 160);
    }

    // Text1 is the whole part, Text3 the numerator above the bar, Text2 the denominator.
    void judging_data()
    {
        QTest::addColumn<int>("d");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("w");
        QTest::addColumn<QString>("whole");
        QTest::addColumn<QString>("numerator");
        QTest::addColumn<QString>("denominator");
        QTest::addColumn<bool>("right");
        QTest::newRow("1/2, whole left empty") << 2 << 1 << 0 << "" << "1" << "2" << true;
        QTest::newRow("1/2, whole 0") << 2 << 1 << 0 << "0" << "1" << "2" << true;
        QTest::newRow("1/2, whole 1") << 2 << 1 << 0 << "1" << "1" << "2" << false;
        QTest::newRow("1/2, as 2/4") << 2 << 1 << 0 << "" << "2" << "4" << false;
        QTest::newRow("1 1/2") << 2 << 1 << 1 << "1" << "1" << "2" << true;
        QTest::newRow("1 1/2 as 0 3/2") << 2 << 1 << 1 << "0" << "3" << "2" << false;
        QTest::newRow("1 1/2 as 3/2") << 2 << 1 << 1 << "" << "3" << "2" << false;
        QTest::newRow("1 1/2 as 1 2/4") << 2 << 1 << 1 << "1" << "2" << "4" << false;
        QTest::newRow("3 5/6") << 6 << 5 << 3 << "3" << "5" << "6" << true;
        QTest::newRow("3 5/6 with leading zeros") << 6 << 5 << 3 << "03" << "05" << "006" << true;
        QTest::newRow("3 5/6 upside down") << 6 << 5 << 3 << "3" << "6" << "5" << false;
        QTest::newRow("3 5/6 whole left empty") << 6 << 5 << 3 << "" << "5" << "6" << false;
        QTest::newRow("3 5/6 no numerator") << 6 << 5 << 3 << "3" << "" << "6" << false;
        QTest::newRow("2 1/3 whole and numerator swapped") << 3 << 1 << 2 << "1" << "2" << "3" << false;
    }
    void judging()
    {
        QFETCH(int, d);
        QFETCH(int, n);
        QFETCH(int, w);
        QFETCH(QString, whole);
        QFETCH(QString, numerator);
        QFETCH(QString, denominator);
        QFETCH(bool, right);
        const uint32_t seed = SeedFor(d, n, w);
        QVERIFY(seed != 0);
        Harness h;
        h.StartLevel(11);
        h.Seed(seed);
        h.PressSlot(1);
        QCOMPARE(h.Rec(1, 1), d);
        h.Type(1, 3, numerator);
        h.Type(1, 2, denominator);
        h.Type(1, 1, whole);
        h.Check(1);
        // an empty whole part is never refused at this level: the check always counts
        QVERIFY(h.platform.messages.isEmpty());
        QCOMPARE(h.st().Item(1, 20), 1);
        QCOMPARE(h.MarkOf(1, 1), right ? 1 : 0);
        QCOMPARE(h.Problem(1), right ? 2 : 1);
        VerifyBoxesReset(h, 1);
    }

    // 'R' types the right answer, 'W' one litre too many.
    void drill_data()
    {
        QTest::addColumn<QString>("answers");
        QTest::addColumn<int>("mark");
        QTest::newRow("right at once") << "R" << 1;
        QTest::newRow("wrong then right") << "WR" << 2;
        QTest::newRow("three wrong") << "WWW" << 3;
    }
    void drill()
    {
        QFETCH(QString, answers);
        QFETCH(int, mark);
        Harness h;
        h.StartLevel(11);
        h.Seed(77);
        h.PressSlot(1);
        h.PressSlot(3);
        const int firstOfSlot1 = h.Rec(1, 1);
        const int d = h.Rec(3, 1), n = h.Rec(3, 2), w = h.Rec(3, 3);
        // a press on the picture of a started slot changes nothing
        h.Click(500, 440 + 170);
        QCOMPARE(h.Problem(3), 1);
        QCOMPARE(h.Rec(3, 1), d);
        QCOMPARE(h.st().Item(3, 20), 0);
        for (int i = 0; i < answers.size(); ++i) {
            QCOMPARE(h.Problem(3), 1);
            h.Type(3, 1, QString::number(answers[i] == 'R' ? w : w + 1));
            h.Type(3, 3, QString::number(n));
            h.Type(3, 2, QString::number(d));
            h.Check(3);
            VerifyBoxesReset(h, 3);
        }
        QCOMPARE(h.MarkOf(3, 1), mark);
        QCOMPARE(h.Problem(3), 2);
        QCOMPARE(h.st().Item(3, 20), int(answers.size()));
        QCOMPARE(h.platform.beeps, int(answers.size()));
        // the next problem stands in slot 3; slot 1 is untouched
        QVERIFY(h.Rec(3, 1) >= 2 && h.Rec(3, 1) <= 6);
        QCOMPARE(h.Problem(1), 1);
        QCOMPARE(h.Rec(1, 1), firstOfSlot1);
        QCOMPARE(h.st().Item(1, 20), 0);
    }
};

QTEST_MAIN(WaterLitresTest)
#include "tst_water_litres.moc"
