// SPDX-License-Identifier: GPL-3.0-or-later
// Levels 19 and 21: differences that are always a proper fraction.
#include "levels/grade4/ProperSubtraction.h"
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

FractionRecord Diff19(int a, int b, int d) { return {d, a, b, a - b, 0}; }
FractionRecord Diff21(int a, int b, int d) { return {d, a, b, a + d - b, 0}; }

LevelAnswers AnswersFor(int level)
{
    return {level,
            [](const FractionRecord& r) { return Boxes{"", QString::number(r.item4), QString::number(r.d)}; },
            nullptr};
}

FractionRecord Draw(int level, Random& rnd, const SlotPast& past)
{
    return level == 19 ? DrawProperDifference(rnd, past) : DrawBorrowingDifference(rnd, past);
}

const std::vector<FractionRecord>& All(int level)
{
    return level == 19 ? AllProperDifferences() : AllBorrowingDifferences();
}

// Leftmost dark pixel of a band of the panel, or -1.
int LeftmostDark(const QImage& img, const QRect& band)
{
    for (int x = band.left(); x <= band.right(); ++x)
        if (DarkPixels(img, QRect(x, band.top(), 1, band.height())) > 0)
            return x;
    return -1;
}

} // namespace

class ProperSubtractionTest : public QObject
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
        const auto R = Verdict::Right, W = Verdict::Wrong;
        auto row = [](const char* name, FractionRecord r, QString whole, QString num, QString den, Verdict v) {
            QTest::newRow(name) << r << whole << num << den << v;
        };
        row("13/5-9/5 as 4/5", Diff19(13, 9, 5), "", "4", "5", R);
        row("13/5-9/5 as 04/5", Diff19(13, 9, 5), "", "04", "5", R);
        row("13/5-9/5 as 4/05", Diff19(13, 9, 5), "", "4", "05", R);
        row("13/5-9/5 denominator empty", Diff19(13, 9, 5), "", "4", "", W);
        row("13/5-9/5 as 5/4", Diff19(13, 9, 5), "", "5", "4", W);
        row("13/5-9/5 with 0 in the hidden box", Diff19(13, 9, 5), "0", "4", "5", W);
        row("13/5-9/5 with a blank in the hidden box", Diff19(13, 9, 5), " ", "4", "5", W);
        row("13/5-9/5 as 22/5", Diff19(13, 9, 5), "", "22", "5", W);
        row("7/4-5/4 as 2/4", Diff19(7, 5, 4), "", "2", "4", R);
        row("7/4-5/4 as 1/2", Diff19(7, 5, 4), "", "1", "2", W);
        row("6/3-1/3 as 5/3", Diff19(6, 1, 3), "", "5", "3", R);
        row("1 2/7-5/7 as 4/7", Diff21(2, 5, 7), "", "4", "7", R);
        row("1 2/7-5/7 as 1 4/7", Diff21(2, 5, 7), "1", "4", "7", W);
        row("1 2/7-5/7 as 3/7", Diff21(2, 5, 7), "", "3", "7", W);
        row("1 2/7-5/7 as 11/7", Diff21(2, 5, 7), "", "11", "7", W);
        row("1 1/3-2/3 as 2/3", Diff21(1, 2, 3), "", "2", "3", R);
        row("1 1/3-2/3 empty", Diff21(1, 2, 3), "", "", "", W);
    }
    void judging()
    {
        QFETCH(FractionRecord, record);
        QFETCH(QString, whole);
        QFETCH(QString, num);
        QFETCH(QString, den);
        QFETCH(Verdict, verdict);
        const Judgement j = JudgeProperDifference(record, Typed({whole, num, den}));
        QCOMPARE(j.verdict, verdict);
        QVERIFY(j.message.isEmpty());   // these levels give no hints
    }

    void problemSets()
    {
        QCOMPARE(int(AllProperDifferences().size()), 456);
        std::map<int, int> perDenominator;
        for (const FractionRecord& r : AllBorrowingDifferences())
            ++perDenominator[r.d];
        QCOMPARE(perDenominator, (std::map<int, int>{{3, 1}, {4, 3}, {5, 6}, {6, 10}, {7, 15}, {8, 21}, {9, 28}}));
        QCOMPARE(int(AllBorrowingDifferences().size()), 84);
    }

    void drawsCoverEveryProblem_data()
    {
        QTest::addColumn<int>("level");
        QTest::newRow("19") << 19;
        QTest::newRow("21") << 21;
    }
    void drawsCoverEveryProblem()
    {
        QFETCH(int, level);
        Random rnd;
        rnd.Seed(uint32_t(level));
        std::set<Key> seen;
        const SlotPast empty;
        for (int i = 0; i < 100000; ++i) {
            const FractionRecord r = Draw(level, rnd, empty);
            if (level == 19) {
                QVERIFY(r.d >= 2 && r.d <= 9 && r.a != r.d && r.b != r.d && r.b >= 1 && r.a <= 18);
                QVERIFY(r.a > r.b && r.a - r.b < r.d);
                QCOMPARE(r.item4, r.a - r.b);
            } else {
                QVERIFY(r.d >= 3 && r.d <= 9 && r.a >= 1 && r.a < r.b && r.b < r.d);
                QCOMPARE(r.item4, r.a + r.d - r.b);
            }
            QVERIFY(r.item4 >= 1 && r.item4 < r.d);
            seen.insert(KeyOf(r));
        }
        std::set<Key> all;
        for (const FractionRecord& r : All(level))
            all.insert(KeyOf(r));
        QCOMPARE(seen, all);
    }

    // A draw turned down starts again from the denominator, so denominators that reject
    // more draws come out less often than their clamped share.
    void denominatorShares_data()
    {
        QTest::addColumn<int>("level");
        QTest::newRow("19") << 19;
        QTest::newRow("21") << 21;
    }
    void denominatorShares()
    {
        QFETCH(int, level);
        std::map<int, double> expected;
        double total = 0;
        if (level == 19) {
            // d from Int(Rnd*9+2) clamped at 9; numerators from Int(Rnd*19) raised to 1
            for (int d = 2; d <= 9; ++d) {
                int accepted = 0;
                for (int i = 0; i < 19; ++i)
                    for (int j = 0; j < 19; ++j) {
                        const int a = std::max(i, 1), b = std::max(j, 1);
                        if (a != d && b != d && a != b && std::abs(a - b) < d)
                            ++accepted;
                    }
                expected[d] = (d == 9 ? 2.0 : 1.0) * accepted;
            }
        } else {
            // d from Int(Rnd*9+3) clamped at 9: a draw of d survives with ((d-2)/d)^2
            for (int d = 3; d <= 9; ++d)
                expected[d] = (d == 9 ? 3.0 : 1.0) * (d - 2) * (d - 2) / double(d * d);
        }
        for (auto& [d, w] : expected)
            total += w;
        Random rnd;
        rnd.Seed(99);
        const SlotPast empty;
        std::map<int, int> seen;
        const int n = 200000;
        for (int i = 0; i < n; ++i)
            ++seen[Draw(level, rnd, empty).d];
        for (auto& [d, w] : expected) {
            const double share = double(seen[d]) / n, want = w / total;
            QVERIFY2(std::abs(share - want) < 0.1 * want + 0.001,
                     qPrintable(QString("d=%1 share %2 expected %3").arg(d).arg(share).arg(want)));
        }
    }

    // Level 21: a and b are swapped into order, so a pair (x, y) with x >= 2 can come from
    // two draws, a pair (1, y) only from one.
    void pairsWithOneAreHalfAsLikely()
    {
        Random rnd;
        rnd.Seed(21);
        const SlotPast empty;
        std::map<Key, int> seen;
        for (int i = 0; i < 200000; ++i) {
            const FractionRecord r = DrawBorrowingDifference(rnd, empty);
            if (r.d == 9)
                ++seen[KeyOf(r)];
        }
        int withOne = 0, withoutOne = 0, nWith = 0, nWithout = 0;
        for (auto& [key, n] : seen) {
            if (std::get<1>(key) == 1) {
                withOne += n;
                ++nWith;
            } else {
                withoutOne += n;
                ++nWithout;
            }
        }
        QCOMPARE(nWith, 7);
        QCOMPARE(nWithout, 21);
        const double ratio = (double(withoutOne) / nWithout) / (double(withOne) / nWith);
        QVERIFY2(ratio > 1.85 && ratio < 2.15, qPrintable(QString::number(ratio)));
    }

    // 300 problems in one slot: no repeat within a round, and the previous problem is
    // seldom like the new one.
    void slotHistory_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<uint>("seed");
        QTest::newRow("19 seed 3") << 19 << 3u;
        QTest::newRow("19 seed 4") << 19 << 4u;
        QTest::newRow("21 seed 3") << 21 << 3u;
        QTest::newRow("21 seed 4") << 21 << 4u;
    }
    void slotHistory()
    {
        QFETCH(int, level);
        QFETCH(uint, seed);
        const int round = int(All(level).size());
        Random rnd;
        rnd.Seed(seed);
        std::vector<FractionRecord> slot;
        int similar = 0;
        QElapsedTimer timer;
        timer.start();
        for (int k = 1; k <= 300; ++k) {
            const FractionRecord r = Draw(level, rnd, PastOf(slot, round));
            for (int j = HistoryStart(k, round); j < k; ++j)
                QVERIFY2(!slot[size_t(j - 1)].SameFractions(r), qPrintable(QString("%1 repeats %2").arg(k).arg(j)));
            if (!slot.empty()) {
                const FractionRecord& p = slot.back();
                if (r.a + r.b == p.b || r.d == p.d || r.a == p.a || r.b == p.b)
                    ++similar;
            }
            slot.push_back(r);
        }
        QVERIFY(timer.elapsed() < bounds::ScaledMs(5000));
        // level 21 has so few problems that late in a round most of those left are similar
        QVERIFY2(similar < (level == 19 ? 10 : 40), qPrintable(QString::number(similar)));
        if (level == 21) {
            // every round of 84 shows every problem once
            for (int start = 0; start + 84 <= 300; start += 84) {
                std::set<Key> roundKeys;
                for (int i = start; i < start + 84; ++i)
                    roundKeys.insert(KeyOf(slot[size_t(i)]));
                QCOMPARE(int(roundKeys.size()), 84);
            }
        }
    }

    // One problem left in the round, like the one before it, or rarely drawn: it comes.
    void lastProblemOfRoundComes_data()
    {
        QTest::addColumn<FractionRecord>("last");
        QTest::addColumn<FractionRecord>("previous");
        QTest::newRow("1 1/9 - 2/9 after 1 1/9 - 3/9") << Diff21(1, 2, 9) << Diff21(1, 3, 9);
        QTest::newRow("1 1/8 - 7/8 after 1 1/8 - 6/8") << Diff21(1, 7, 8) << Diff21(1, 6, 8);
        QTest::newRow("1 1/3 - 2/3 after 1 1/4 - 3/4") << Diff21(1, 2, 3) << Diff21(1, 3, 4);
    }
    void lastProblemOfRoundComes()
    {
        QFETCH(FractionRecord, last);
        QFETCH(FractionRecord, previous);
        std::vector<FractionRecord> used;
        for (const FractionRecord& r : AllBorrowingDifferences())
            if (!r.SameFractions(last) && !r.SameFractions(previous))
                used.push_back(r);
        used.push_back(previous);
        QCOMPARE(int(used.size()), 83);
        const SlotPast past = PastOf(used, 84);
        for (uint seed = 0; seed < 10; ++seed) {
            Random rnd;
            rnd.Seed(seed);
            QCOMPARE(KeyOf(DrawBorrowingDifference(rnd, past)), KeyOf(last));
        }
    }

    void manyProblemsInOneSlot_data()
    {
        QTest::addColumn<int>("level");
        QTest::newRow("19") << 19;
        QTest::newRow("21") << 21;
    }
    void manyProblemsInOneSlot()
    {
        QFETCH(int, level);
        Harness h;
        h.Seed(301);
        h.StartLevel(level);
        h.PressSlot(2);
        std::vector<Key> shown{KeyOf(CurrentRecord(h, 2))};
        QElapsedTimer timer;
        timer.start();
        for (int i = 2; i <= 300; ++i) {
            h.st().CurrentSlot = 2;
            h.form->NewProblem();
            const FractionRecord r = CurrentRecord(h, 2);
            QVERIFY(r.item4 >= 1 && r.item4 < r.d);
            shown.push_back(KeyOf(r));
        }
        QVERIFY2(timer.elapsed() < bounds::ScaledMs(10000), qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(h.Problem(2), 99);
        const int distinct = level == 19 ? 99 : 84;
        QCOMPARE(int(std::set<Key>(shown.begin(), shown.begin() + distinct).size()), distinct);
    }

    void drill_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("path");
        QTest::addColumn<int>("slot");
        for (int level : {19, 21}) {
            QTest::addRow("%d right at once", level) << level << int(DrillPath::RightAtOnce) << 1;
            QTest::addRow("%d wrong then right", level) << level << int(DrillPath::WrongThenRight) << 2;
            QTest::addRow("%d three wrong", level) << level << int(DrillPath::ThreeWrong) << 3;
        }
    }
    void drill()
    {
        QFETCH(int, level);
        QFETCH(int, path);
        QFETCH(int, slot);
        RunDrill(AnswersFor(level), DrillPath(path), slot, uint32_t(level + path));
    }

    // Text left in the whole-part box by an earlier exercise does not spoil a right answer:
    // starting a slot empties the hidden box.
    void hiddenBoxStartsEmpty_data()
    {
        QTest::addColumn<int>("level");
        QTest::newRow("19") << 19;
        QTest::newRow("21") << 21;
    }
    void hiddenBoxStartsEmpty()
    {
        QFETCH(int, level);
        Harness h;
        h.StartLevel(18);
        h.PressSlot(1);
        h.Type(1, 3, "7");
        QCOMPARE(h.form->Text3[0]->text(), QStringLiteral("7"));
        h.platform.answers = {true};
        h.form->Command8_Click(0);
        h.StartLevel(level);
        h.PressSlot(1);
        QVERIFY(!h.form->Text3[0]->isVisibleTo(h.form.get()));
        QVERIFY(h.form->Text3[0]->text().isEmpty());
        const FractionRecord r = CurrentRecord(h, 1);
        Answer(h, 1, {"", QString::number(r.item4), QString::number(r.d)});
        h.Check(1);
        QCOMPARE(h.MarkOf(1, 1), 1);
        QCOMPARE(h.platform.messages, QStringList{texts::ConfirmFinish});
    }

    void emptyAnswerIsJudged()
    {
        Harness h;
        h.StartLevel(21);
        h.PressSlot(1);
        h.Type(1, 2, "1");
        h.Check(1);   // the denominator box is empty
        QVERIFY(h.platform.messages.isEmpty());
        QCOMPARE(h.st().Item(1, 20), 1);
        QCOMPARE(h.platform.beeps, 1);
    }

    void boxesAroundTheAnswerBar()
    {
        Harness h;
        h.StartLevel(19);
        h.PressSlot(3);
        Form1& f = *h.form;
        QCOMPARE(f.Text2[2]->pos(), QPoint(450, 440 + 115));
        QCOMPARE(f.Text1[2]->pos(), QPoint(450, 440 + 180));
        QVERIFY(!f.Text3[2]->isVisibleTo(&f));
        QCOMPARE(CountPixels(h.panel().image(), QRect(440, 440 + 166, 64, 3), colours::Black), 64 * 3);
    }

    // Numerators of two digits start 10 pixels further left than those of one digit.
    void numeratorLayout_data()
    {
        QTest::addColumn<bool>("wideA");
        QTest::addColumn<bool>("wideB");
        QTest::newRow("a and b one digit") << false << false;
        QTest::newRow("a two digits") << true << false;
        QTest::newRow("a and b two digits") << true << true;
    }
    void numeratorLayout()
    {
        QFETCH(bool, wideA);
        QFETCH(bool, wideB);
        Harness h;
        h.Seed(19);
        h.StartLevel(19);
        h.PressSlot(2);
        QVERIFY(ProblemUntil(h, 2, [&](const FractionRecord& r) { return (r.a >= 10) == wideA && (r.b >= 10) == wideB; }));
        const int y0 = 220;
        const QImage& img = h.panel().image();
        const int leftA = LeftmostDark(img, QRect(160, y0 + 132, 60, 30));
        const int leftB = LeftmostDark(img, QRect(310, y0 + 132, 60, 30));
        QVERIFY2(wideA ? leftA >= 170 && leftA < 180 : leftA >= 180, qPrintable(QString::number(leftA)));
        QVERIFY2(wideB ? leftB >= 320 && leftB < 330 : leftB >= 330, qPrintable(QString::number(leftB)));
        // denominators stay at 180 and 330, over 45-pixel bars
        QVERIFY(LeftmostDark(img, QRect(160, y0 + 182, 60, 30)) >= 180);
        QVERIFY(LeftmostDark(img, QRect(310, y0 + 182, 60, 30)) >= 330);
        QCOMPARE(CountPixels(img, QRect(165, y0 + 170, 45, 3), colours::Black), 45 * 3);
        QCOMPARE(CountPixels(img, QRect(315, y0 + 170, 45, 3), colours::Black), 45 * 3);
        QCOMPARE(CountPixels(img, QRect(440, y0 + 166, 64, 3), colours::Black), 64 * 3);
        QVERIFY(DarkPixels(img, QRect(250, y0 + 152, 32, 32)) > 10);   // －
        QVERIFY(DarkPixels(img, QRect(380, y0 + 152, 32, 32)) > 10);   // ＝
        QCOMPARE(DarkPixels(img, QRect(100, y0 + 120, 55, 80)), 0);    // no whole part
    }

    void wholeOneOfLevel21()
    {
        Harness h;
        h.StartLevel(21);
        h.PressSlot(3);
        const int y0 = 440;
        const QImage& img = h.panel().image();
        QVERIFY(DarkPixels(img, QRect(130, y0 + 160, 16, 30)) > 10);
        QVERIFY(LeftmostDark(img, QRect(160, y0 + 132, 60, 30)) >= 180);
    }
};

QTEST_MAIN(ProperSubtractionTest)
#include "tst_proper_subtraction.moc"
