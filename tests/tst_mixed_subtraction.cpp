// SPDX-License-Identifier: GPL-3.0-or-later
// Levels 20 and 22: subtracting mixed numbers with one denominator.
#include "levels/grade4/MixedSubtraction.h"
#include "shell/Texts.h"
#include "support/FractionSums.h"
#include "support/Bounds.h"

#include <QElapsedTimer>
#include <QTest>
#include <map>
#include <set>

Q_DECLARE_METATYPE(FractionRecord)
Q_DECLARE_METATYPE(Verdict)

namespace {

using Key = std::tuple<int, int, int>;
Key KeyOf(const FractionRecord& r) { return {r.d, r.a, r.b}; }

// w1 a/d - w2 b/d
FractionRecord Mixed(int w1, int a, int w2, int b, int d) { return {d, a, b, w1, w2}; }

QString Num(int n) { return n == 0 ? QString() : QString::number(n); }

LevelAnswers AnswersFor(int level)
{
    return {level,
            [](const FractionRecord& r) {
                const int p = r.a - r.b, whole = r.item4 - r.item5;
                if (p > 0)
                    return Boxes{QString::number(whole), QString::number(p), QString::number(r.d)};
                if (p == 0)
                    return Boxes{QString::number(whole), "", ""};
                return Boxes{Num(whole - 1), QString::number(p + r.d), QString::number(r.d)};
            },
            [](const FractionRecord& r) -> std::optional<std::pair<Boxes, QString>> {
                const int p = r.a - r.b, whole = r.item4 - r.item5;
                if (p >= 0 || whole < 2)
                    return std::nullopt;
                return std::pair{Boxes{QString::number(whole), QString::number(p + r.d), QString::number(r.d)},
                                 hints::Borrow};
            }};
}

bool BrokenUpWithoutWhole(const FractionRecord& r)
{
    return r.a < r.b && r.item4 - r.item5 == 1;
}

} // namespace

class MixedSubtractionTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PrepareTestApplication(); }

    void judging_data()
    {
        QTest::addColumn<FractionRecord>("record");
        QTest::addColumn<QString>("whole");
        QTest::addColumn<QString>("num");
        QTest::addColumn<QString>("den");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<QString>("message");
        const auto R = Verdict::Right, W = Verdict::Wrong, H = Verdict::Hint;
        const QString none;
        auto row = [](const char* name, FractionRecord r, QString whole, QString num, QString den, Verdict v,
                      QString msg) { QTest::newRow(name) << r << whole << num << den << v << msg; };
        // no whole to break up
        row("3 4/7-1 2/7 as 2 2/7", Mixed(3, 4, 1, 2, 7), "2", "2", "7", R, none);
        row("3 4/7-1 2/7 as 02 2/7", Mixed(3, 4, 1, 2, 7), "02", "2", "7", R, none);
        row("3 4/7-1 2/7 as 2/7", Mixed(3, 4, 1, 2, 7), "", "2", "7", W, none);
        row("3 4/7-1 2/7 as 2 2/", Mixed(3, 4, 1, 2, 7), "2", "2", "", W, none);
        row("3 4/7-1 2/7 as 1 9/7", Mixed(3, 4, 1, 2, 7), "1", "9", "7", W, none);
        row("4 3/5-2 as 2 3/5", Mixed(4, 3, 2, 0, 5), "2", "3", "5", R, none);
        row("4 3/5-2 as 2", Mixed(4, 3, 2, 0, 5), "2", "", "", W, none);
        row("4 3/5-2 as 1 8/5", Mixed(4, 3, 2, 0, 5), "1", "8", "5", W, none);
        row("3 5/6-1 2/6 as 2 3/6", Mixed(3, 5, 1, 2, 6), "2", "3", "6", R, none);
        row("3 5/6-1 2/6 as 2 1/2", Mixed(3, 5, 1, 2, 6), "2", "1", "2", W, none);
        row("empty", Mixed(3, 5, 1, 2, 6), "", "", "", W, none);
        // the fractions cancel: only the whole part is looked at
        row("3 4/6-1 4/6 as 2", Mixed(3, 4, 1, 4, 6), "2", "", "", R, none);
        row("3 4/6-1 4/6 as 2 0/6", Mixed(3, 4, 1, 4, 6), "2", "0", "6", R, none);
        row("3 4/6-1 4/6 as 2 6/6", Mixed(3, 4, 1, 4, 6), "2", "6", "6", R, none);
        row("3 4/6-1 4/6 as 1 6/6", Mixed(3, 4, 1, 4, 6), "1", "6", "6", W, none);
        row("3 4/6-1 4/6 empty", Mixed(3, 4, 1, 4, 6), "", "", "", W, none);
        // one whole broken up
        row("4 2/7-1 5/7 as 2 4/7", Mixed(4, 2, 1, 5, 7), "2", "4", "7", R, none);
        row("4 2/7-1 5/7 as 3 4/7", Mixed(4, 2, 1, 5, 7), "3", "4", "7", H, hints::Borrow);
        row("4 2/7-1 5/7 as 2 11/7", Mixed(4, 2, 1, 5, 7), "2", "11", "7", W, none);
        row("4 2/7-1 5/7 as 3 3/7", Mixed(4, 2, 1, 5, 7), "3", "3", "7", W, none);
        row("4 2/7-1 5/7 as 2 4/", Mixed(4, 2, 1, 5, 7), "2", "4", "", W, none);
        // ... leaving no whole part
        row("3 2/5-2 4/5 as 3/5", Mixed(3, 2, 2, 4, 5), "", "3", "5", R, none);
        row("3 2/5-2 4/5 as 0 3/5", Mixed(3, 2, 2, 4, 5), "0", "3", "5", W, hints::ZeroWhole);
        row("3 2/5-2 4/5 as 00 3/5", Mixed(3, 2, 2, 4, 5), "00", "3", "5", W, none);
        row("3 2/5-2 4/5 as 1 3/5", Mixed(3, 2, 2, 4, 5), "1", "3", "5", W, none);
        row("3 2/5-2 4/5 as 0 and nothing", Mixed(3, 2, 2, 4, 5), "0", "", "", W, hints::ZeroWhole);
        row("3 2/5-2 4/5 as 8/5", Mixed(3, 2, 2, 4, 5), "", "8", "5", W, none);
        row("3 2/5-2 4/5 as 3/", Mixed(3, 2, 2, 4, 5), "", "3", "", W, none);
    }
    void judging()
    {
        QFETCH(FractionRecord, record);
        QFETCH(QString, whole);
        QFETCH(QString, num);
        QFETCH(QString, den);
        QFETCH(Verdict, verdict);
        QFETCH(QString, message);
        const Judgement j = JudgeMixedDifference(record, Typed({whole, num, den}));
        QCOMPARE(j.verdict, verdict);
        QCOMPARE(j.message, message);
    }

    void drawsCoverEveryProblem_data()
    {
        QTest::addColumn<int>("level");
        QTest::newRow("20") << 20;
        QTest::newRow("22") << 22;
    }
    void drawsCoverEveryProblem()
    {
        QFETCH(int, level);
        QCOMPARE(int(AllMixedDifferences().size()), 112);
        Random rnd;
        rnd.Seed(uint32_t(level));
        const SlotPast empty;
        std::set<Key> seen;
        for (int i = 0; i < 60000; ++i) {
            const FractionRecord r =
                level == 20 ? DrawMixedDifference(rnd, empty) : DrawMixedDifferenceWithBorrowing(rnd, empty);
            QVERIFY(r.d >= 3 && r.d <= 9);
            QVERIFY(r.a >= 2 && r.a < r.d);
            QVERIFY(r.b >= 0 && r.b < r.d);
            QVERIFY(r.item4 >= 2 && r.item4 <= 4);
            QVERIFY(r.item5 >= 1 && r.item5 < r.item4);
            if (level == 20 || r.b < 2)   // b of 0 or 1 only from the level-20 draw
                QVERIFY(r.b < r.a);
            seen.insert(KeyOf(r));
        }
        std::set<Key> all;
        for (const FractionRecord& r : AllMixedDifferences())
            all.insert(KeyOf(r));
        if (level == 22)   // its own draw adds b >= a, with both numerators 2..d-1
            for (int d = 3; d <= 9; ++d)
                for (int a = 2; a < d; ++a)
                    for (int b = a; b < d; ++b)
                        all.insert({d, a, b});
        QCOMPARE(int(all.size()), level == 20 ? 112 : 196);
        QCOMPARE(seen, all);
    }

    // a = Int(Rnd*d + 2) is clamped at d-1, and the draw is kept only when b < a: with
    // d = 9, a = 8 has three times the share of a = 2 and four times its chance of b < a.
    void skewOfLevel20()
    {
        Random rnd;
        rnd.Seed(20);
        const SlotPast empty;
        std::map<int, int> numerators;
        std::map<std::pair<int, int>, int> wholes;
        const int n = 120000;
        for (int i = 0; i < n; ++i) {
            const FractionRecord r = DrawMixedDifference(rnd, empty);
            if (r.d == 9)
                ++numerators[r.a];
            ++wholes[{r.item4, r.item5}];
        }
        const double ratio = double(numerators[8]) / numerators[2];
        QVERIFY2(ratio > 10.5 && ratio < 13.5, qPrintable(QString::number(ratio)));
        QCOMPARE(int(wholes.size()), 6);
        for (auto& [pair, count] : wholes)
            QVERIFY2(std::abs(count - n / 6) < n / 60, qPrintable(QString::number(count)));
    }

    // Level 22 keeps its own draw when w1 > w2 (6 of 16): then a <= b as often as two
    // clamped numerators allow; otherwise the level-20 draw with a > b.
    void shareOfOwnDraws()
    {
        double expected = 0;
        for (int d = 3; d <= 9; ++d) {
            std::map<int, double> p;   // numerator distribution of Int(Rnd*d + 2) clamped at d-1
            for (int i = 2; i <= d + 1; ++i)
                p[std::min(i, d - 1)] += 1.0 / d;
            double notAbove = 0;
            for (auto& [a, pa] : p)
                for (auto& [b, pb] : p)
                    if (a <= b)
                        notAbove += pa * pb;
            expected += (d == 9 ? 3.0 : 1.0) / 9 * notAbove;
        }
        expected *= 6.0 / 16;
        Random rnd;
        rnd.Seed(22);
        const SlotPast empty;
        int notAbove = 0;
        const int n = 100000;
        for (int i = 0; i < n; ++i) {
            const FractionRecord r = DrawMixedDifferenceWithBorrowing(rnd, empty);
            if (r.a <= r.b)
                ++notAbove;
        }
        const double share = double(notAbove) / n;
        QVERIFY2(std::abs(share - expected) < 0.01, qPrintable(QString("%1 vs %2").arg(share).arg(expected)));
    }

    // Within a slot's 99 problems: no (d, a, b) twice, and level 20 never shows the same
    // second numerator twice in a row. 300 problems end quickly even past every round.
    void slotHistory_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<uint>("seed");
        QTest::newRow("20 seed 5") << 20 << 5u;
        QTest::newRow("20 seed 6") << 20 << 6u;
        QTest::newRow("22 seed 5") << 22 << 5u;
        QTest::newRow("22 seed 6") << 22 << 6u;
    }
    void slotHistory()
    {
        QFETCH(int, level);
        QFETCH(uint, seed);
        Random rnd;
        rnd.Seed(seed);
        std::vector<FractionRecord> slot;
        QElapsedTimer timer;
        timer.start();
        for (int k = 1; k <= 300; ++k) {
            const SlotPast past = PastOf(slot, 112);
            const FractionRecord r =
                level == 20 ? DrawMixedDifference(rnd, past) : DrawMixedDifferenceWithBorrowing(rnd, past);
            QVERIFY(r.item4 > r.item5);
            if (k <= 99) {
                for (const FractionRecord& e : slot)
                    QVERIFY2(!e.SameFractions(r), qPrintable(QString("problem %1 repeats").arg(k)));
                if (level == 20 && !slot.empty())
                    QVERIFY2(slot.back().b != r.b, qPrintable(QString("problem %1 has the same b").arg(k)));
            }
            slot.push_back(r);
        }
        QVERIFY(timer.elapsed() < bounds::ScaledMs(5000));
    }

    // Every problem left breaks the second-numerator rule: that rule gives way, the
    // no-repeat rule holds.
    void secondNumeratorRuleGivesWay()
    {
        const FractionRecord last = Mixed(0, 3, 0, 1, 5);
        std::vector<FractionRecord> used;
        for (const FractionRecord& r : AllMixedDifferences())
            if (!r.SameFractions(last) && !r.SameFractions(Mixed(0, 4, 0, 1, 6)))
                used.push_back(Mixed(3, r.a, 1, r.b, r.d));
        used.push_back(Mixed(4, 4, 2, 1, 6));   // the previous problem, b = 1
        QCOMPARE(int(used.size()), 111);
        const SlotPast past = PastOf(used, 112);
        for (uint seed = 0; seed < 5; ++seed) {
            Random rnd;
            rnd.Seed(seed);
            const FractionRecord r = DrawMixedDifference(rnd, past);
            QCOMPARE(KeyOf(r), KeyOf(last));
            QVERIFY(r.item4 > r.item5 && r.item5 >= 1 && r.item4 <= 4);
            const FractionRecord own = DrawMixedDifferenceWithBorrowing(rnd, past);
            QVERIFY(!past.Used(own));
        }
    }

    void manyProblemsInOneSlot_data()
    {
        QTest::addColumn<int>("level");
        QTest::newRow("20") << 20;
        QTest::newRow("22") << 22;
    }
    void manyProblemsInOneSlot()
    {
        QFETCH(int, level);
        Harness h;
        h.Seed(302);
        h.StartLevel(level);
        h.PressSlot(1);
        std::set<Key> first99{KeyOf(CurrentRecord(h, 1))};
        QElapsedTimer timer;
        timer.start();
        for (int i = 2; i <= 300; ++i) {
            h.st().CurrentSlot = 1;
            h.form->NewProblem();
            const FractionRecord r = CurrentRecord(h, 1);
            QVERIFY(r.d >= 3 && r.d <= 9 && r.item4 > r.item5);
            if (i <= 99)
                first99.insert(KeyOf(r));
        }
        QVERIFY2(timer.elapsed() < bounds::ScaledMs(10000), qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(h.Problem(1), 99);
        QCOMPARE(int(first99.size()), 99);
    }

    void drill_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("path");
        QTest::addColumn<int>("slot");
        QTest::newRow("20 right at once") << 20 << int(DrillPath::RightAtOnce) << 1;
        QTest::newRow("20 wrong then right") << 20 << int(DrillPath::WrongThenRight) << 2;
        QTest::newRow("20 three wrong") << 20 << int(DrillPath::ThreeWrong) << 3;
        QTest::newRow("22 right at once") << 22 << int(DrillPath::RightAtOnce) << 3;
        QTest::newRow("22 hint then right") << 22 << int(DrillPath::HintThenRight) << 1;
        QTest::newRow("22 wrong then right") << 22 << int(DrillPath::WrongThenRight) << 2;
        QTest::newRow("22 three wrong") << 22 << int(DrillPath::ThreeWrong) << 1;
    }
    void drill()
    {
        QFETCH(int, level);
        QFETCH(int, path);
        QFETCH(int, slot);
        RunDrill(AnswersFor(level), DrillPath(path), slot, uint32_t(level * 3 + path));
    }

    // The cases only level 22 has, answered right with the keypad: fractions that cancel
    // (the numerator box is not looked at) and a broken-up whole that leaves no whole part.
    void drillOfLevel22Cases_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("fractions cancel") << 0;
        QTest::newRow("broken up, no whole part") << 1;
    }
    void drillOfLevel22Cases()
    {
        QFETCH(int, kind);
        Harness h;
        h.Seed(2222);
        h.StartLevel(22);
        h.PressSlot(2);
        QVERIFY(ProblemUntil(h, 2, [&](const FractionRecord& r) { return kind == 0 ? r.a == r.b : BrokenUpWithoutWhole(r); }));
        const int k = h.Problem(2);
        const FractionRecord r = CurrentRecord(h, 2);
        Answer(h, 2, AnswersFor(22).right(r));
        if (kind == 0)
            h.Type(2, 2, "9");   // the numerator box is not looked at
        h.Check(2);
        QVERIFY(h.platform.messages.isEmpty());
        QCOMPARE(h.MarkOf(2, k), 1);
    }

    // "0" in the whole-part box of an answer without one: the message, then ×.
    void zeroWholeIsToldThenWrong()
    {
        Harness h;
        h.Seed(220);
        h.StartLevel(22);
        h.PressSlot(3);
        QVERIFY(ProblemUntil(h, 3, BrokenUpWithoutWhole));
        const int k = h.Problem(3);
        const FractionRecord r = CurrentRecord(h, 3);
        Answer(h, 3, {"0", QString::number(r.a - r.b + r.d), QString::number(r.d)});
        h.Check(3);
        QCOMPARE(h.platform.messages, QStringList{hints::ZeroWhole});
        QCOMPARE(h.platform.beeps, 1);   // the × was shown
        QCOMPARE(h.Problem(3), k);
        QCOMPARE(h.st().Item(3, k * 10 + 10), 1);
        VerifyBoxesReset(h, 3);
        if (QTest::currentTestFailed())
            return;
        Answer(h, 3, {"", QString::number(r.a - r.b + r.d), QString::number(r.d)});
        h.Check(3);
        QCOMPARE(h.MarkOf(3, k), 2);
        QCOMPARE(h.platform.messages.size(), 1);
    }

    void emptyAnswerIsJudged_data()
    {
        QTest::addColumn<int>("level");
        QTest::newRow("20") << 20;
        QTest::newRow("22") << 22;
    }
    void emptyAnswerIsJudged()
    {
        QFETCH(int, level);
        Harness h;
        h.StartLevel(level);
        h.PressSlot(2);
        h.Type(2, 3, "1");
        h.Check(2);   // numerator and denominator empty
        QVERIFY(h.platform.messages.isEmpty());
        QCOMPARE(h.st().Item(2, 20), 1);
        QCOMPARE(h.platform.beeps, 1);
    }

    // With b = 0 the second number is the whole number alone: no fraction behind it.
    void drawingOfSecondNumber_data()
    {
        QTest::addColumn<bool>("wholeOnly");
        QTest::newRow("b = 0") << true;
        QTest::newRow("b > 0") << false;
    }
    void drawingOfSecondNumber()
    {
        QFETCH(bool, wholeOnly);
        Harness h;
        h.Seed(7);
        h.StartLevel(20);
        h.PressSlot(2);
        QVERIFY(ProblemUntil(h, 2, [&](const FractionRecord& r) { return (r.b == 0) == wholeOnly; }));
        const int y0 = 220;
        const QImage& img = h.panel().image();
        QCOMPARE(CountPixels(img, QRect(335, y0 + 166, 64, 3), colours::Black), wholeOnly ? 0 : 64 * 3);
        QCOMPARE(DarkPixels(img, QRect(345, y0 + 120, 60, 44)) > 10, !wholeOnly);   // b
        QCOMPARE(DarkPixels(img, QRect(345, y0 + 172, 60, 40)) > 10, !wholeOnly);   // d
        QVERIFY(DarkPixels(img, QRect(310, y0 + 154, 16, 30)) > 10);                // w2
        QVERIFY(DarkPixels(img, QRect(140, y0 + 152, 16, 30)) > 10);                // w1
        QCOMPARE(CountPixels(img, QRect(165, y0 + 166, 64, 3), colours::Black), 64 * 3);
        QCOMPARE(CountPixels(img, QRect(500, y0 + 166, 64, 3), colours::Black), 64 * 3);
        QVERIFY(DarkPixels(img, QRect(255, y0 + 152, 32, 32)) > 10);   // －
        QVERIFY(DarkPixels(img, QRect(410, y0 + 152, 32, 32)) > 10);   // ＝
        QCOMPARE(h.form->Text3[1]->pos(), QPoint(450, y0 + 147));
    }
};

QTEST_MAIN(MixedSubtractionTest)
#include "tst_mixed_subtraction.moc"
