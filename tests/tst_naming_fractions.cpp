// SPDX-License-Identifier: GPL-3.0-or-later
// Level 14: naming a drawn fraction with the kind buttons.
#include "levels/grade4/NamingFractions.h"
#include "support/Grade4Drills.h"
#include "support/Harness.h"
#include "support/Bounds.h"

#include <QElapsedTimer>
#include <QTest>
#include <map>
#include <set>

namespace {

QPushButton* KindButton(Harness& h, int s, int kind)
{
    const int i = s - 1;
    return kind == 0 ? h.form->Command3[i] : kind == 1 ? h.form->Command4[i] : h.form->Command9[i];
}

void PressKind(Harness& h, int s, int kind)
{
    QTest::mouseClick(KindButton(h, s, kind), Qt::LeftButton);
}

uint32_t SeedFor(FractionKind kind, int d, int n, int w)
{
    return SeedWhere(DrawNamedFraction, [=](const NamedFraction& f) {
        return f.kind == kind && f.d == d && f.n == n && f.w == w;
    });
}

} // namespace

class NamingFractionsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PrepareTestApplication(); }

    void eachKindKeepsItsRange()
    {
        Random rnd;
        rnd.Seed(4711);
        std::set<std::pair<int, int>> proper, improper, mixed;
        std::map<int, int> wholes;
        for (int i = 0; i < 60000; ++i) {
            const NamedFraction f = DrawNamedFraction(rnd);
            QVERIFY(f.d >= 2 && f.d <= 9);
            switch (f.kind) {
            case FractionKind::Proper:
                QVERIFY(f.n >= 1 && f.n < f.d);
                QCOMPARE(f.w, 0);
                proper.insert({f.d, f.n});
                break;
            case FractionKind::Improper:
                // strictly greater: d over d is never drawn
                QVERIFY2(f.n > f.d && f.n <= 19, qPrintable(QString("%1/%2").arg(f.n).arg(f.d)));
                QCOMPARE(f.w, 0);
                improper.insert({f.d, f.n});
                break;
            case FractionKind::Mixed:
                QVERIFY(f.n >= 1 && f.n < f.d);
                QVERIFY(f.w >= 1 && f.w <= 9);
                mixed.insert({f.d, f.n});
                ++wholes[f.w];
                break;
            default:
                QFAIL("kind out of range");
            }
        }
        // 1 + 2 + ... + 8 proper fractions over 2..9; improper ones d+1..19 over each d
        QCOMPARE(int(proper.size()), 36);
        QCOMPARE(int(mixed.size()), 36);
        QCOMPARE(int(improper.size()), 17 + 16 + 15 + 14 + 13 + 12 + 11 + 10);
        QVERIFY(improper.count({9, 19}) && improper.count({2, 3}));
        // the whole part is drawn once, after the fraction, so 1..9 come equally often
        QCOMPARE(int(wholes.size()), 9);
        int mixedCount = 0;
        for (auto [w, count] : wholes)
            mixedCount += count;
        for (auto [w, count] : wholes)
            QVERIFY2(std::abs(count - mixedCount / 9.0) < 0.08 * mixedCount / 9.0,
                     qPrintable(QString("whole %1: %2 of %3").arg(w).arg(count).arg(mixedCount)));
    }

    void rejectedDrawStartsOverFromTheKind()
    {
        // A numerator that does not suit the kind throws the kind away too. Improper
        // fractions are rejected more often (n <= d of 0..19) than the others (n = d of
        // 1..d), so they come less often than a third: 0.675 against 0.771 acceptance.
        Random rnd;
        rnd.Seed(99);
        std::map<FractionKind, int> byKind;
        const int draws = 60000;
        for (int i = 0; i < draws; ++i)
            ++byKind[DrawNamedFraction(rnd).kind];
        double sumInverse = 0;
        for (int d = 2; d <= 9; ++d)
            sumInverse += 1.0 / d;
        const double properAccept = (8 - sumInverse) / 8;
        const double improperAccept = (17 + 16 + 15 + 14 + 13 + 12 + 11 + 10) / 20.0 / 8;
        const double total = 2 * properAccept + improperAccept;
        const std::map<FractionKind, double> expected{{FractionKind::Proper, properAccept / total},
                                                      {FractionKind::Improper, improperAccept / total},
                                                      {FractionKind::Mixed, properAccept / total}};
        for (auto [kind, share] : expected) {
            const double seen = byKind[kind] / double(draws);
            QVERIFY2(std::abs(seen - share) < 0.01,
                     qPrintable(QString("kind %1: %2, expected %3").arg(int(kind)).arg(seen).arg(share)));
        }
    }

    void drawing_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("d");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("w");
        QTest::addColumn<bool>("wide");
        QTest::newRow("proper 3/7") << 0 << 7 << 3 << 0 << false;
        QTest::newRow("proper 1/2") << 0 << 2 << 1 << 0 << false;
        QTest::newRow("improper 9/4, one digit") << 1 << 4 << 9 << 0 << false;
        QTest::newRow("improper 10/3, two digits") << 1 << 3 << 10 << 0 << true;
        QTest::newRow("improper 19/9") << 1 << 9 << 19 << 0 << true;
        QTest::newRow("mixed 9 8/9") << 2 << 9 << 8 << 9 << false;
        QTest::newRow("mixed 1 1/2") << 2 << 2 << 1 << 1 << false;
    }
    void drawing()
    {
        QFETCH(int, kind);
        QFETCH(int, d);
        QFETCH(int, n);
        QFETCH(int, w);
        QFETCH(bool, wide);
        const uint32_t seed = SeedFor(FractionKind(kind), d, n, w);
        QVERIFY(seed != 0);
        Harness h;
        h.StartLevel(14);
        h.Seed(seed);
        h.PressSlot(2);
        QCOMPARE(h.Rec(2, 1), kind);
        QCOMPARE(h.Rec(2, 2), d);
        QCOMPARE(h.Rec(2, 3), n);
        QCOMPARE(h.Rec(2, 4), w);

        // The question, the whole part of a mixed number, and the fraction: a two-digit
        // numerator 5 px further left, the denominator 2 px further right, a wider bar.
        const int y0 = 220;
        Sketch expected(h.panel());
        expected.Text(70, y0 + 110, QStringLiteral("次の分数の名前は何ですか？"));
        if (w != 0)
            expected.Number(240, y0 + 205, w);
        expected.Number(wide ? 282 : 280, y0 + 230, d)
            .Number(wide ? 275 : 280, y0 + 180, n)
            .Bar(265, y0 + 220, wide ? 50 : 45);
        const QRect area(30, y0 + 110, 730, 165);
        QCOMPARE(DifferingPixels(h.panel().image(), expected.image(), area), 0);
        QCOMPARE(h.panel().image().pixel(265 + (wide ? 49 : 44), y0 + 221) | 0xff000000u, colours::Black);
        QCOMPARE(h.panel().image().pixel(265 + (wide ? 50 : 45), y0 + 221) | 0xff000000u, colours::White);
    }

    void startShowsOnlyTheKindButtonsOfTheSlot()
    {
        Harness h;
        h.StartLevel(14);
        h.PressSlot(2);
        Form1& f = *h.form;
        for (int i = 0; i < 3; ++i) {
            const bool started = i == 1;
            QCOMPARE(f.Command3[i]->isVisibleTo(&f), started);
            QCOMPARE(f.Command4[i]->isVisibleTo(&f), started);
            QCOMPARE(f.Command9[i]->isVisibleTo(&f), started);
        }
        for (QPushButton* b : f.Command5)
            QVERIFY(!b->isVisibleTo(&f));
        for (QWidget* pad : f.Picture6)
            QVERIFY(!pad->isVisibleTo(&f));
        // a check button press on this level changes nothing
        for (int16_t i = 0; i < 6; ++i)
            f.Command5_Click(i);
        QCOMPARE(h.st().Item(2, 20), 0);
        QCOMPARE(h.platform.beeps, 0);
        // nor does a press on the drawing
        const int kind = h.Rec(2, 1);
        h.Click(300, 220 + 200);
        QCOMPARE(h.Problem(2), 1);
        QCOMPARE(h.Rec(2, 1), kind);
    }

    // 'R' presses the right button, 'W' and 'V' the two wrong ones.
    void answering_data()
    {
        QTest::addColumn<QString>("presses");
        QTest::addColumn<int>("mark");
        QTest::addColumn<int>("problem");
        QTest::newRow("right at once") << "R" << 1 << 2;
        QTest::newRow("wrong then right") << "WR" << 2 << 2;
        QTest::newRow("other wrong then right") << "VR" << 2 << 2;
        QTest::newRow("two wrong then right") << "WVR" << 2 << 2;
        QTest::newRow("two wrong stay") << "WW" << 0 << 1;
        QTest::newRow("same wrong three times") << "WWW" << 3 << 2;
        QTest::newRow("three different wrong") << "WVW" << 3 << 2;
    }
    void answering()
    {
        QFETCH(QString, presses);
        QFETCH(int, mark);
        QFETCH(int, problem);
        Harness h;
        h.StartLevel(14);
        h.Seed(31);
        for (int s = 1; s <= 3; ++s)
            h.PressSlot(s);
        const std::array<int, 4> kindBefore{0, h.Rec(1, 1), h.Rec(2, 1), h.Rec(3, 1)};
        // the slot used last was 3; the buttons of slot 2 judge slot 2 all the same
        const int right = h.Rec(2, 1);
        for (QChar c : presses) {
            const int kind = c == 'R' ? right : c == 'W' ? (right + 1) % 3 : (right + 2) % 3;
            PressKind(h, 2, kind);
            QCOMPARE(int(h.st().CurrentSlot), 2);
        }
        QCOMPARE(h.MarkOf(2, 1), mark);
        QCOMPARE(h.Problem(2), problem);
        if (problem == 1)
            QCOMPARE(h.st().Item(2, 20), int(presses.size()));
        QCOMPARE(h.platform.beeps, int(presses.size()));
        QCOMPARE(h.platform.pauses, 2 * int(presses.size()));
        // the other slots are untouched
        for (int s : {1, 3}) {
            QCOMPARE(h.Problem(s), 1);
            QCOMPARE(h.st().Item(s, 20), 0);
            QCOMPARE(h.st().Item(s, 18), 0);
            QCOMPARE(h.Rec(s, 1), kindBefore[s]);
        }
        QVERIFY(h.platform.messages.isEmpty());
    }

    void threeHundredProblemsInOneSlot()
    {
        Harness h;
        h.StartLevel(14);
        h.PressSlot(1);
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < 300; ++i)
            PressKind(h, 1, h.Rec(1, 1));
        QVERIFY2(timer.elapsed() < bounds::ScaledMs(10000), qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(h.Problem(1), 99);
        QCOMPARE(h.MarkOf(1, 98), 1);
        QCOMPARE(h.MarkOf(1, 99), 0);
        const int kind = h.Rec(1, 1);
        QVERIFY(kind >= 0 && kind <= 2);
        QVERIFY(h.Rec(1, 2) >= 2 && h.Rec(1, 2) <= 9);
    }
};

QTEST_MAIN(NamingFractionsTest)
#include "tst_naming_fractions.moc"
