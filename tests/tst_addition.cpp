// SPDX-License-Identifier: GPL-3.0-or-later
// Levels 17 and 18: adding fractions with one denominator.
#include "levels/grade4/Addition.h"
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

LevelAnswers AnswersFor(int level)
{
    if (level == 17)
        return {17,
                [](const FractionRecord& r) {
                    const int sum = r.a + r.b;
                    if (sum < r.d)
                        return Boxes{"", QString::number(sum), QString::number(r.d)};
                    if (sum == r.d)
                        return Boxes{"1", "", ""};
                    return Boxes{"1", QString::number(sum - r.d), QString::number(r.d)};
                },
                [](const FractionRecord& r) -> std::optional<std::pair<Boxes, QString>> {
                    const int sum = r.a + r.b;
                    if (sum < r.d)
                        return std::nullopt;
                    return std::pair{Boxes{"", QString::number(sum), QString::number(r.d)},
                                     sum == r.d ? hints::SameNumbers : hints::ImproperSum};
                }};
    return {18,
            [](const FractionRecord& r) {
                const int sum = r.a + r.b, whole = r.item4 + r.item5;
                if (sum < r.d)
                    return Boxes{QString::number(whole), QString::number(sum), QString::number(r.d)};
                if (sum == r.d)
                    return Boxes{QString::number(whole + 1), "", ""};
                return Boxes{QString::number(whole + 1), QString::number(sum - r.d), QString::number(r.d)};
            },
            [](const FractionRecord& r) -> std::optional<std::pair<Boxes, QString>> {
                const int sum = r.a + r.b, whole = r.item4 + r.item5;
                if (sum < r.d)
                    return std::nullopt;
                return std::pair{Boxes{QString::number(whole), QString::number(sum), QString::number(r.d)},
                                 sum == r.d ? hints::SameNumbers : hints::NumeratorTooLarge};
            }};
}

FractionRecord Sum17(int d, int a, int b) { return {d, a, b, a + b, 0}; }
FractionRecord Sum18(int w1, int a, int w2, int b, int d) { return {d, a, b, w1, w2}; }

} // namespace

class AdditionTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PrepareTestApplication(); }

    void judging_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<FractionRecord>("record");
        QTest::addColumn<QString>("whole");
        QTest::addColumn<QString>("num");
        QTest::addColumn<QString>("den");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<QString>("message");
        const auto R = Verdict::Right, W = Verdict::Wrong, H = Verdict::Hint;
        const QString none;
        auto row = [&](const char* name, int level, FractionRecord r, QString whole, QString num, QString den,
                       Verdict v, QString msg) {
            QTest::newRow(name) << level << r << whole << num << den << v << msg;
        };
        // 1/2 + 1/2: the sum is one whole
        row("1/2+1/2 as 1", 17, Sum17(2, 1, 1), "1", "", "", R, none);
        row("1/2+1/2 as 01", 17, Sum17(2, 1, 1), "01", "", "", R, none);
        row("1/2+1/2 as 2/2", 17, Sum17(2, 1, 1), "", "2", "2", H, hints::SameNumbers);
        row("1/2+1/2 as 0 2/2", 17, Sum17(2, 1, 1), "0", "2", "2", W, none);
        row("1/2+1/2 as 1 with numerator", 17, Sum17(2, 1, 1), "1", "2", "", W, none);
        row("1/2+1/2 as 1 with denominator", 17, Sum17(2, 1, 1), "1", "", "2", W, none);
        row("1/2+1/2 as 1 2/2", 17, Sum17(2, 1, 1), "1", "2", "2", W, none);
        row("1/2+1/2 as 1/1", 17, Sum17(2, 1, 1), "", "1", "1", W, none);
        row("1/2+1/2 empty", 17, Sum17(2, 1, 1), "", "", "", W, none);
        // 4/7 + 5/7: the sum is improper
        row("4/7+5/7 as 1 2/7", 17, Sum17(7, 4, 5), "1", "2", "7", R, none);
        row("4/7+5/7 as 1 2/07", 17, Sum17(7, 4, 5), "1", "2", "07", R, none);
        row("4/7+5/7 as 9/7", 17, Sum17(7, 4, 5), "", "9", "7", H, hints::ImproperSum);
        row("4/7+5/7 as 0 9/7", 17, Sum17(7, 4, 5), "0", "9", "7", H, hints::ImproperSum);
        row("4/7+5/7 as 1 9/7", 17, Sum17(7, 4, 5), "1", "9", "7", W, none);
        row("4/7+5/7 as 2/7", 17, Sum17(7, 4, 5), "", "2", "7", W, none);
        row("4/7+5/7 as 2 2/7", 17, Sum17(7, 4, 5), "2", "2", "7", W, none);
        row("4/7+5/7 empty", 17, Sum17(7, 4, 5), "", "", "", W, none);
        // 2/9 + 3/9 and 1/6 + 2/6: proper sums, never reduced, no whole part
        row("2/9+3/9 as 5/9", 17, Sum17(9, 2, 3), "", "5", "9", R, none);
        row("2/9+3/9 as 0 5/9", 17, Sum17(9, 2, 3), "0", "5", "9", W, none);
        row("2/9+3/9 as 1 5/9", 17, Sum17(9, 2, 3), "1", "5", "9", W, none);
        row("2/9+3/9 as 9/5", 17, Sum17(9, 2, 3), "", "9", "5", W, none);
        row("1/6+2/6 as 3/6", 17, Sum17(6, 1, 2), "", "3", "6", R, none);
        row("1/6+2/6 as 1/2", 17, Sum17(6, 1, 2), "", "1", "2", W, none);
        row("1/6+2/6 letters", 17, Sum17(6, 1, 2), "", "x3", "6", W, none);
        // 2 3/5 + 1 2/5: the fractions make a whole; only the whole part counts
        row("2 3/5+1 2/5 as 4", 18, Sum18(2, 3, 1, 2, 5), "4", "", "", R, none);
        row("2 3/5+1 2/5 as 4 9/9", 18, Sum18(2, 3, 1, 2, 5), "4", "9", "9", R, none);
        row("2 3/5+1 2/5 as 3 5/5", 18, Sum18(2, 3, 1, 2, 5), "3", "5", "5", H, hints::SameNumbers);
        row("2 3/5+1 2/5 as 3", 18, Sum18(2, 3, 1, 2, 5), "3", "", "", W, none);
        row("2 3/5+1 2/5 as 5/5", 18, Sum18(2, 3, 1, 2, 5), "", "5", "5", W, none);
        // 4/6 + 2 5/6: no whole part in front of the first number
        row("4/6+2 5/6 as 3 3/6", 18, Sum18(0, 4, 2, 5, 6), "3", "3", "6", R, none);
        row("4/6+2 5/6 as 2 9/6", 18, Sum18(0, 4, 2, 5, 6), "2", "9", "6", H, hints::NumeratorTooLarge);
        row("4/6+2 5/6 as 3 9/6", 18, Sum18(0, 4, 2, 5, 6), "3", "9", "6", W, none);
        row("4/6+2 5/6 as 9/6", 18, Sum18(0, 4, 2, 5, 6), "", "9", "6", W, none);
        row("4/6+2 5/6 as 3 1/2", 18, Sum18(0, 4, 2, 5, 6), "3", "1", "2", W, none);
        row("4/6+2 5/6 as 21/6", 18, Sum18(0, 4, 2, 5, 6), "", "21", "6", W, none);
        // 1 1/5 + 2 2/5: a proper fraction part
        row("1 1/5+2 2/5 as 3 3/5", 18, Sum18(1, 1, 2, 2, 5), "3", "3", "5", R, none);
        row("1 1/5+2 2/5 as 03 3/05", 18, Sum18(1, 1, 2, 2, 5), "03", "3", "05", R, none);
        row("1 1/5+2 2/5 as 3/5", 18, Sum18(1, 1, 2, 2, 5), "", "3", "5", W, none);
        row("1 1/5+2 2/5 as 4 3/5", 18, Sum18(1, 1, 2, 2, 5), "4", "3", "5", W, none);
        row("1 1/5+2 2/5 empty", 18, Sum18(1, 1, 2, 2, 5), "", "", "", W, none);
    }
    void judging()
    {
        QFETCH(int, level);
        QFETCH(FractionRecord, record);
        QFETCH(QString, whole);
        QFETCH(QString, num);
        QFETCH(QString, den);
        QFETCH(Verdict, verdict);
        QFETCH(QString, message);
        const TypedAnswer typed = Typed({whole, num, den});
        const Judgement j = level == 17 ? JudgeProperSum(record, typed) : JudgeMixedSum(record, typed);
        QCOMPARE(j.verdict, verdict);
        QCOMPARE(j.message, message);
    }

    void drawsCoverEveryProblem_data()
    {
        QTest::addColumn<int>("level");
        QTest::newRow("17") << 17;
        QTest::newRow("18") << 18;
    }
    void drawsCoverEveryProblem()
    {
        QFETCH(int, level);
        QCOMPARE(int(AllAdditions().size()), 204);
        Random rnd;
        rnd.Seed(17);
        std::set<Key> seen;
        const SlotPast empty;
        for (int i = 0; i < 60000; ++i) {
            const FractionRecord r = level == 17 ? DrawProperSum(rnd, empty) : DrawMixedSum(rnd, empty);
            QVERIFY(r.d >= 2 && r.d <= 9);
            QVERIFY(r.a >= 1 && r.a < r.d);
            QVERIFY(r.b >= 1 && r.b < r.d);
            if (level == 17) {
                QCOMPARE(r.item4, r.a + r.b);
            } else {
                QVERIFY(r.item4 >= 0 && r.item4 <= 3);
                QVERIFY(r.item5 >= 1 && r.item5 <= 4);
            }
            seen.insert(KeyOf(r));
        }
        std::set<Key> all;
        for (const FractionRecord& r : AllAdditions())
            all.insert(KeyOf(r));
        QCOMPARE(seen, all);
    }

    // Clamped draws: 9 as denominator twice as often; numerators pile up on the clamp ends.
    void skewOfClampedDraws()
    {
        Random rnd;
        rnd.Seed(4);
        const SlotPast empty;
        std::map<int, int> dens, numsOf9, numsOf3, w1s, w2s;
        const int n = 200000;
        for (int i = 0; i < n; ++i) {
            const FractionRecord r = DrawMixedSum(rnd, empty);
            ++dens[r.d];
            if (r.d == 9)
                ++numsOf9[r.a];
            if (r.d == 3)
                ++numsOf3[r.b];
            ++w1s[r.item4];
            ++w2s[r.item5];
        }
        for (int d = 2; d <= 8; ++d) {
            const double ratio = double(dens[9]) / dens[d];
            QVERIFY2(ratio > 1.85 && ratio < 2.15, qPrintable(QString("d=%1 ratio %2").arg(d).arg(ratio)));
        }
        for (int a = 2; a <= 8; ++a) {
            const double ratio = double(numsOf9[1]) / numsOf9[a];
            QVERIFY2(ratio > 1.8 && ratio < 2.2, qPrintable(QString("a=%1 ratio %2").arg(a).arg(ratio)));
        }
        // d = 3: Int(Rnd*9) gives 0 and 1 -> 1, 2..8 -> 2
        const double ratio3 = double(numsOf3[2]) / numsOf3[1];
        QVERIFY2(ratio3 > 3.2 && ratio3 < 3.8, qPrintable(QString::number(ratio3)));
        for (int w = 0; w <= 3; ++w) {
            QVERIFY(std::abs(w1s[w] - n / 4) < n / 40);
            QVERIFY(std::abs(w2s[w + 1] - n / 4) < n / 40);
        }
    }

    // A slot of 300 problems: no (d, a, b) twice within a round of 204, and hardly ever
    // a problem like the one before it in level 17.
    void slotHistory_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<uint>("seed");
        QTest::newRow("17 seed 1") << 17 << 1u;
        QTest::newRow("17 seed 2") << 17 << 2u;
        QTest::newRow("18 seed 1") << 18 << 1u;
        QTest::newRow("18 seed 2") << 18 << 2u;
    }
    void slotHistory()
    {
        QFETCH(int, level);
        QFETCH(uint, seed);
        Random rnd;
        rnd.Seed(seed);
        std::vector<FractionRecord> slot;
        int similar = 0, sameWholesDifferentFractions = 0;
        QElapsedTimer timer;
        timer.start();
        for (int k = 1; k <= 300; ++k) {
            const SlotPast past = PastOf(slot, 204);
            const FractionRecord r = level == 17 ? DrawProperSum(rnd, past) : DrawMixedSum(rnd, past);
            const int roundStart = HistoryStart(k, 204);
            for (int j = roundStart; j < k; ++j)
                QVERIFY2(!slot[size_t(j - 1)].SameFractions(r), qPrintable(QString("problem %1 repeats %2").arg(k).arg(j)));
            if (!slot.empty()) {
                const FractionRecord& p = slot.back();
                if (p.item4 == r.item4 || p.d == r.d || p.a == r.a || p.b == r.b)
                    ++similar;
                if (p.item4 == r.item4 && p.item5 == r.item5)
                    ++sameWholesDifferentFractions;
            }
            slot.push_back(r);
        }
        QVERIFY(timer.elapsed() < bounds::ScaledMs(5000));
        if (level == 17)
            QVERIFY2(similar < 15, qPrintable(QString::number(similar)));
        else   // no similarity rule in level 18: neighbours often share something
            QVERIFY2(similar > 100, qPrintable(QString::number(similar)));
    }

    // Only one problem left in the round, and it is like the previous one: it still comes.
    void lastProblemOfRoundComes()
    {
        const FractionRecord last = Sum17(8, 1, 1);
        std::vector<FractionRecord> used;
        for (const FractionRecord& r : AllAdditions())
            if (!r.SameFractions(last) && !r.SameFractions(Sum17(8, 1, 2)))
                used.push_back(r);
        used.push_back(Sum17(8, 1, 2));   // the previous problem: same d and a as the last one
        QCOMPARE(int(used.size()), 203);
        const SlotPast past = PastOf(used, 204);
        for (uint seed = 0; seed < 20; ++seed) {
            Random rnd;
            rnd.Seed(seed);
            QCOMPARE(KeyOf(DrawProperSum(rnd, past)), KeyOf(last));
            QCOMPARE(KeyOf(DrawMixedSum(rnd, past)), KeyOf(last));
        }
        // and the next round starts afresh
        used.push_back(last);
        QVERIFY(PastOf(used, 204).earlier.empty());
    }

    void manyProblemsInOneSlot_data()
    {
        QTest::addColumn<int>("level");
        QTest::newRow("17") << 17;
        QTest::newRow("18") << 18;
    }
    void manyProblemsInOneSlot()
    {
        QFETCH(int, level);
        Harness h;
        h.Seed(300);
        h.StartLevel(level);
        h.PressSlot(3);
        std::set<Key> first99;
        first99.insert(KeyOf(CurrentRecord(h, 3)));
        QElapsedTimer timer;
        timer.start();
        for (int i = 2; i <= 300; ++i) {
            h.st().CurrentSlot = 3;
            h.form->NewProblem();
            const FractionRecord r = CurrentRecord(h, 3);
            QVERIFY(r.d >= 2 && r.d <= 9 && r.a >= 1 && r.a < r.d && r.b >= 1 && r.b < r.d);
            if (i <= 99)
                first99.insert(KeyOf(r));
        }
        QVERIFY2(timer.elapsed() < bounds::ScaledMs(10000), qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(h.Problem(3), 99);
        QCOMPARE(int(first99.size()), 99);
    }

    void drill_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("path");
        QTest::addColumn<int>("slot");
        const char* names[] = {"right at once", "hint then right", "wrong then right", "three wrong"};
        for (int level : {17, 18})
            for (int p = 0; p < 4; ++p)
                QTest::addRow("%d %s", level, names[p]) << level << p << 1 + (p + level) % 3;
    }
    void drill()
    {
        QFETCH(int, level);
        QFETCH(int, path);
        QFETCH(int, slot);
        RunDrill(AnswersFor(level), DrillPath(path), slot, uint32_t(level * 10 + path));
    }

    // No "こたえをタイプしてください。": an empty answer is judged wrong and uses a try.
    void emptyAnswerIsJudged_data()
    {
        QTest::addColumn<int>("level");
        QTest::newRow("17") << 17;
        QTest::newRow("18") << 18;
    }
    void emptyAnswerIsJudged()
    {
        QFETCH(int, level);
        Harness h;
        h.StartLevel(level);
        h.PressSlot(1);
        h.Check(1);
        QVERIFY(h.platform.messages.isEmpty());
        QCOMPARE(h.st().Item(1, 20), 1);
        QCOMPARE(h.platform.beeps, 1);
        QCOMPARE(h.Problem(1), 1);
    }

    void boxesAroundTheAnswerBar()
    {
        Harness h;
        h.StartLevel(17);
        h.PressSlot(2);
        Form1& f = *h.form;
        QVERIFY(f.Text3[1]->isVisibleTo(&f));
        QCOMPARE(f.Text3[1]->pos(), QPoint(450, 220 + 147));
        QCOMPARE(f.Text2[1]->pos(), QPoint(510, 220 + 115));
        QCOMPARE(f.Text1[1]->pos(), QPoint(510, 220 + 180));
        QCOMPARE(BackColor(f.Text1[1]), colours::Pink);
        // the answer bar stands between the boxes
        QCOMPARE(CountPixels(h.panel().image(), QRect(500, 220 + 166, 64, 3), colours::Black), 64 * 3);
    }

    // Level 17: two fractions over 45-pixel bars, "＋", "＝" and the answer bar.
    void drawingOfProperSum()
    {
        Harness h;
        h.Seed(5);
        h.StartLevel(17);
        h.PressSlot(3);
        const int y0 = 440;
        const QImage& img = h.panel().image();
        QCOMPARE(CountPixels(img, QRect(165, y0 + 170, 45, 3), colours::Black), 45 * 3);
        QCOMPARE(CountPixels(img, QRect(315, y0 + 170, 45, 3), colours::Black), 45 * 3);
        QCOMPARE(CountPixels(img, QRect(500, y0 + 166, 64, 3), colours::Black), 64 * 3);
        QCOMPARE(img.pixel(164, y0 + 171) | 0xff000000u, colours::White);
        QCOMPARE(img.pixel(210, y0 + 171) | 0xff000000u, colours::White);
        // numerators above, denominators below the bars, signs between
        for (QRect r : {QRect(180, y0 + 132, 16, 32), QRect(330, y0 + 132, 16, 32), QRect(180, y0 + 182, 16, 30),
                        QRect(330, y0 + 182, 16, 30), QRect(250, y0 + 152, 32, 32), QRect(410, y0 + 152, 32, 32)})
            QVERIFY2(DarkPixels(img, r) > 10, qPrintable(QString("%1,%2").arg(r.x()).arg(r.y())));
        // nothing left of the first fraction and no whole part
        QCOMPARE(DarkPixels(img, QRect(100, y0 + 120, 60, 80)), 0);
    }

    // Level 18: the first number has a whole part in front only when w1 > 0.
    void drawingOfMixedSum_data()
    {
        QTest::addColumn<bool>("withWhole");
        QTest::newRow("w1 = 0") << false;
        QTest::newRow("w1 > 0") << true;
    }
    void drawingOfMixedSum()
    {
        QFETCH(bool, withWhole);
        Harness h;
        h.Seed(8);
        h.StartLevel(18);
        h.PressSlot(2);
        QVERIFY(ProblemUntil(h, 2, [&](const FractionRecord& r) { return (r.item4 > 0) == withWhole; }));
        const int y0 = 220;
        const QImage& img = h.panel().image();
        QCOMPARE(DarkPixels(img, QRect(140, y0 + 152, 20, 30)) > 10, withWhole);
        QCOMPARE(CountPixels(img, QRect(165, y0 + 166, 64, 3), colours::Black), 64 * 3);
        QCOMPARE(CountPixels(img, QRect(335, y0 + 166, 64, 3), colours::Black), 64 * 3);
        QCOMPARE(CountPixels(img, QRect(500, y0 + 166, 64, 3), colours::Black), 64 * 3);
        for (QRect r : {QRect(190, y0 + 129, 16, 32), QRect(360, y0 + 129, 16, 32), QRect(190, y0 + 179, 16, 30),
                        QRect(360, y0 + 179, 16, 30), QRect(310, y0 + 154, 16, 30), QRect(255, y0 + 152, 32, 32),
                        QRect(410, y0 + 152, 32, 32)})
            QVERIFY2(DarkPixels(img, r) > 10, qPrintable(QString("%1,%2").arg(r.x()).arg(r.y())));
    }
};

QTEST_MAIN(AdditionTest)
#include "tst_addition.moc"
