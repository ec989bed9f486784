// SPDX-License-Identifier: GPL-3.0-or-later
// Levels 9 and 10: a/d + b/d and a/d - b/d.
#include "levels/grade3/SameDenominator.h"
#include "shell/Texts.h"
#include "support/Harness.h"
#include "support/LinesDrills.h"
#include "support/Bounds.h"

#include <QElapsedTimer>
#include <QTest>
#include <map>
#include <set>

using Problem = SameDenominatorProblem;
Q_DECLARE_METATYPE(Verdict)

namespace {

const QString kHint = QStringLiteral("分母と分子が同じ数のときは？");

// Chance of each (d, a, b) by the written draws: d from Int(Rnd*9+2) with 10 counted as 9;
// in level 9 a and b from Int(Rnd*d) with 0 counted as 1; in level 10 a from Int(Rnd*d+1)
// and b as level 9's. Draws that break the level's bound are drawn again.
std::map<std::tuple<int, int, int>, double> ExpectedChances(int level)
{
    std::map<std::tuple<int, int, int>, double> chances;
    double total = 0;
    for (int d = 2; d <= 9; ++d) {
        const double pd = (d == 9 ? 2.0 : 1.0) / 9;
        for (int a = 1; a <= d; ++a) {
            const double pa = level == 9 ? (a == d ? 0 : (a == 1 ? 2.0 : 1.0) / d) : 1.0 / d;
            for (int b = 1; b < d; ++b) {
                const double pb = (b == 1 ? 2.0 : 1.0) / d;
                const bool fits = level == 9 ? a + b <= d : a - b >= 1;
                if (fits && pa > 0)
                    total += chances[{d, a, b}] = pd * pa * pb;
            }
        }
    }
    for (auto& [key, p] : chances)
        p /= total;
    return chances;
}

std::set<std::pair<int, int>> AllPairs(int level)
{
    std::set<std::pair<int, int>> pairs;
    for (int d = 2; d <= 9; ++d)
        for (int a = level == 9 ? 1 : 2; a <= (level == 9 ? d - 1 : d); ++a)
            pairs.insert({d, a});
    return pairs;
}

Problem Make(int level, int d, int a, int b)
{
    return {d, a, b, level == 9 ? a + b : a - b};
}

uint32_t SeedFor(int level, int d, int a, int b)
{
    return SeedWhere([level](Random& r) { return DrawSameDenominatorCandidate(r, level); },
                                  [=](const Problem& p) { return p.d == d && p.a == a && p.b == b; });
}

// A level started with the first problem of slot 1 given.
struct Drill
{
    Harness h;
    Drill(int level, int d, int a, int b, int slot = 1)
    {
        h.StartLevel(level);
        h.Seed(SeedFor(level, d, a, b));
        h.PressSlot(slot);
    }
};

} // namespace

class SameDenominatorTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PrepareTestApplication(); }

    // The clamped draws: 9 twice as often among the denominators, 1 among the numerators,
    // before the bound throws draws away; compared with the exact chances.
    void candidateDraws_data()
    {
        QTest::addColumn<int>("level");
        QTest::newRow("level 9") << 9;
        QTest::newRow("level 10") << 10;
    }
    void candidateDraws()
    {
        QFETCH(int, level);
        Random rnd;
        rnd.Seed(900 + level);
        constexpr int kDraws = 200000;
        std::map<int, int> byD, byA9, byB9;
        std::set<std::pair<int, int>> pairs;
        for (int i = 0; i < kDraws; ++i) {
            const Problem p = DrawSameDenominatorCandidate(rnd, level);
            QVERIFY(p.d >= 2 && p.d <= 9);
            QVERIFY(p.b >= 1 && p.b <= p.d - 1);
            if (level == 9) {
                QVERIFY(p.a >= 1 && p.a <= p.d - 1);
                QVERIFY(p.a + p.b <= p.d);
                QCOMPARE(p.result, p.a + p.b);
            } else {
                QVERIFY(p.a >= 2 && p.a <= p.d);
                QVERIFY(p.a - p.b >= 1);
                QCOMPARE(p.result, p.a - p.b);
            }
            pairs.insert({p.d, p.a});
            ++byD[p.d];
            if (p.d == 9) {
                ++byA9[p.a];
                ++byB9[p.b];
            }
        }
        QCOMPARE(pairs, AllPairs(level));
        std::map<int, double> wantD, wantA9, wantB9;
        for (auto [key, p] : ExpectedChances(level)) {
            const auto [d, a, b] = key;
            wantD[d] += p;
            if (d == 9) {
                wantA9[a] += p;
                wantB9[b] += p;
            }
        }
        const auto close = [](int seen, double want) {
            const double expected = want * kDraws;
            return std::abs(seen - expected) < 5 * std::sqrt(expected) + 1;
        };
        for (auto [d, p] : wantD)
            QVERIFY2(close(byD[d], p), qPrintable(QString("d %1: %2 vs %3").arg(d).arg(byD[d]).arg(p * kDraws)));
        for (auto [a, p] : wantA9)
            QVERIFY2(close(byA9[a], p), qPrintable(QString("a %1 of ninths").arg(a)));
        for (auto [b, p] : wantB9)
            QVERIFY2(close(byB9[b], p), qPrintable(QString("b %1 of ninths").arg(b)));
        // The end value of the clamped second numerator stands out.
        QVERIFY(byB9[1] > 1.8 * byB9[2]);
    }

    // Scripted draws against the previous problem 5/8 + 1/8 (level 9) or 5/8 - 1/8 (level
    // 10), with 3/4 and 2/6 and the previous one used in the round.
    void choice_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QList<QList<int>>>("draws");   // d, a, b of each draw in order
        QTest::addColumn<int>("accepted");                // index of the accepted draw
        const QList<int> fresh9{7, 2, 3}, fresh10{7, 4, 3};
        const QList<int> sameD{8, 2, 1}, sameA{6, 5, 1}, used9{4, 3, 1}, used10{6, 2, 1};
        const auto times = [](int n, const QList<int>& draw) { return QList<QList<int>>(n, draw); };
        for (int level : {9, 10}) {
            const QList<int> fresh = level == 9 ? fresh9 : fresh10;
            const QList<int> used = level == 9 ? used9 : used10;
            const QByteArray l = QByteArray::number(level);
            QTest::newRow(l + " unlike the previous") << level << QList<QList<int>>{fresh} << 0;
            QTest::newRow(l + " same d three times") << level << (times(3, sameD) << fresh) << 3;
            QTest::newRow(l + " same a nine times") << level << (times(9, sameA) << fresh) << 9;
            QTest::newRow(l + " similar after ten similar") << level << times(11, sameD) << 10;
            QTest::newRow(l + " used pairs do not count as similar draws")
                << level << (times(5, used) + times(11, sameA)) << 15;
            QTest::newRow(l + " a used pair stays refused after ten similar")
                << level << (times(10, sameD) << QList<int>{8, 5, 1} << used << sameA) << 12;
            QTest::newRow(l + " the previous problem itself never again")
                << level << (times(12, QList<int>{8, 5, 1}) << fresh) << 12;
        }
        // The third likeness: the same answer numerator, 6 in level 9 and 4 in level 10.
        QTest::newRow("9 same sum") << 9 << QList<QList<int>>{{7, 2, 4}, fresh9} << 1;
        QTest::newRow("10 same difference") << 10 << QList<QList<int>>{{9, 6, 2}, fresh10} << 1;
        // The second numerator alone is not compared.
        QTest::newRow("9 same b only") << 9 << QList<QList<int>>{{9, 2, 1}} << 0;
        QTest::newRow("10 same b only") << 10 << QList<QList<int>>{{9, 3, 1}} << 0;
    }
    void choice()
    {
        QFETCH(int, level);
        QFETCH(QList<QList<int>>, draws);
        QFETCH(int, accepted);
        SlotPast past;
        past.used = {{4, 3}, {6, 2}, {8, 5}};
        past.previous = Make(level, 8, 5, 1);
        int next = 0;
        const auto draw = [&]() {
            if (next >= draws.size())
                return Make(level, 2, level == 9 ? 1 : 2, 1);   // past the script: shows as a wrong index
            const QList<int>& v = draws[next++];
            return Make(level, v[0], v[1], v[2]);
        };
        Random rnd;
        const Problem p = ChooseSameDenominator(level, past, draw, rnd);
        QCOMPARE(next, accepted + 1);
        const QList<int>& want = draws[accepted];
        QCOMPARE(QList<int>({p.d, p.a, p.b}), want);
    }

    // Once draws have been refused too often, a pair the round has not used is taken.
    void cappedChoice_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("d");
        QTest::addColumn<int>("a");
        QTest::newRow("9: 8/9 + 1/9 left") << 9 << 9 << 8;
        QTest::newRow("9: 1/2 + 1/2 left") << 9 << 2 << 1;
        QTest::newRow("10: 2/9 - 1/9 left") << 10 << 9 << 2;
        QTest::newRow("10: 1 - b/9 left") << 10 << 9 << 9;
    }
    void cappedChoice()
    {
        QFETCH(int, level);
        QFETCH(int, d);
        QFETCH(int, a);
        SlotPast past;
        for (auto pair : AllPairs(level))
            if (pair != std::pair{d, a})
                past.used.push_back(pair);
        past.previous = Make(level, past.used.back().first, past.used.back().second, 1);
        Random rnd;
        for (uint32_t seed = 1; seed <= 20; ++seed) {
            rnd.Seed(seed);
            // With no room for refusals the free pair comes at once ...
            int draws = 0;
            const Problem direct = ChooseSameDenominator(
                level, past, [&] { ++draws; return DrawSameDenominatorCandidate(rnd, level); }, rnd, 0);
            QCOMPARE(draws, 0);
            // ... and by the ordinary draws it comes too.
            const Problem drawn = ChooseSameDenominator(
                level, past, [&] { return DrawSameDenominatorCandidate(rnd, level); }, rnd);
            for (const Problem& p : {direct, drawn}) {
                QCOMPARE(p.d, d);
                QCOMPARE(p.a, a);
                QVERIFY(p.b >= 1);
                QVERIFY(level == 9 ? p.a + p.b <= p.d : p.a - p.b >= 1);
                QCOMPARE(p.result, level == 9 ? p.a + p.b : p.a - p.b);
            }
        }
    }

    // Many problems in one slot of the real window: every draw ends, each round of 36
    // problems shows every pair once, and after the table is full the history still holds.
    void manyProblemsInOneSlot_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<uint>("seed");
        QTest::newRow("level 9") << 9 << 1u;
        QTest::newRow("level 9 again") << 9 << 2024u;
        QTest::newRow("level 10") << 10 << 1u;
        QTest::newRow("level 10 again") << 10 << 777u;
    }
    void manyProblemsInOneSlot()
    {
        QFETCH(int, level);
        QFETCH(uint, seed);
        Harness h;
        h.StartLevel(level);
        h.Seed(seed);
        h.PressSlot(2);
        std::vector<std::pair<int, int>> shown{{h.Rec(2, 1), h.Rec(2, 2)}};
        int similarInARow = 0;
        QElapsedTimer clock;
        clock.start();
        for (int i = 2; i <= 300; ++i) {
            const Problem before{h.Rec(2, 1), h.Rec(2, 2), h.Rec(2, 3), h.Rec(2, 4)};
            h.st().CurrentSlot = 2;
            h.form->NewProblem();
            const Problem p{h.Rec(2, 1), h.Rec(2, 2), h.Rec(2, 3), h.Rec(2, 4)};
            QCOMPARE(p.result, level == 9 ? p.a + p.b : p.a - p.b);
            QVERIFY(p.d >= 2 && p.d <= 9 && p.b >= 1 && p.result >= 1 && p.result <= p.d);
            similarInARow += IsSimilar(before, p);
            shown.emplace_back(p.d, p.a);
        }
        QVERIFY2(clock.elapsed() < bounds::ScaledMs(5000), qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(h.Problem(2), 99);
        for (int round = 0; round < 2; ++round) {
            const std::set<std::pair<int, int>> pairs(shown.begin() + round * 36, shown.begin() + round * 36 + 36);
            QCOMPARE(pairs, AllPairs(level));
        }
        // From the 99th problem on the table keeps the last 98; the round then holds the
        // 26 problems before the current one.
        for (size_t i = 98; i < shown.size(); ++i)
            for (size_t j = i - 26; j < i; ++j)
                QVERIFY2(shown[i] != shown[j], qPrintable(QString("problems %1 and %2").arg(j + 1).arg(i + 1)));
        // A problem like the one before is the exception, not the rule.
        QVERIFY2(similarInARow < 20, qPrintable(QString::number(similarInARow)));
    }

    void judgeSum_data()
    {
        QTest::addColumn<int>("d");
        QTest::addColumn<int>("result");
        QTest::addColumn<double>("t1");
        QTest::addColumn<double>("t2");
        QTest::addColumn<double>("t3");
        QTest::addColumn<Verdict>("verdict");
        QTest::newRow("1/2+1/2: 2 over 2 and 1") << 2 << 2 << 2.0 << 2.0 << 1.0 << Verdict::Right;
        QTest::newRow("1/2+1/2: 2 over 2 without 1") << 2 << 2 << 2.0 << 2.0 << 0.0 << Verdict::Hint;
        QTest::newRow("1/2+1/2: 2 over 2 and 2") << 2 << 2 << 2.0 << 2.0 << 2.0 << Verdict::Hint;
        QTest::newRow("1/2+1/2: 1 over 1 and 1") << 2 << 2 << 1.0 << 1.0 << 1.0 << Verdict::Wrong;
        QTest::newRow("3/7+2/7: 5 over 7") << 7 << 5 << 7.0 << 5.0 << 0.0 << Verdict::Right;
        QTest::newRow("3/7+2/7: 5 over 7 and 1") << 7 << 5 << 7.0 << 5.0 << 1.0 << Verdict::Right;
        QTest::newRow("3/7+2/7: 5 over 7 and 9") << 7 << 5 << 7.0 << 5.0 << 9.0 << Verdict::Right;
        QTest::newRow("3/7+2/7: swapped") << 7 << 5 << 5.0 << 7.0 << 0.0 << Verdict::Wrong;
        QTest::newRow("3/8+1/8: 4 over 8") << 8 << 4 << 8.0 << 4.0 << 0.0 << Verdict::Right;
        QTest::newRow("3/8+1/8: 1 over 2") << 8 << 4 << 2.0 << 1.0 << 0.0 << Verdict::Wrong;
        QTest::newRow("5/9+4/9: 9 over 9 and 1") << 9 << 9 << 9.0 << 9.0 << 1.0 << Verdict::Right;
        QTest::newRow("5/9+4/9: 9 over 9") << 9 << 9 << 9.0 << 9.0 << 0.0 << Verdict::Hint;
        QTest::newRow("5/9+4/9: 8 over 9 and 1") << 9 << 9 << 9.0 << 8.0 << 1.0 << Verdict::Wrong;
    }
    void judgeSum()
    {
        QFETCH(int, d);
        QFETCH(int, result);
        QFETCH(double, t1);
        QFETCH(double, t2);
        QFETCH(double, t3);
        QFETCH(Verdict, verdict);
        QCOMPARE(JudgeSum(d, result, t1, t2, t3), verdict);
    }

    // The expression as the pupil sees it, first term, sign, second term, "＝" and the bar.
    void picture_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("d");
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<int>("slot");
        QTest::newRow("2/7 + 3/7") << 9 << 7 << 2 << 3 << 1;
        QTest::newRow("1/2 + 1/2") << 9 << 2 << 1 << 1 << 3;
        QTest::newRow("5/8 - 2/8") << 10 << 8 << 5 << 2 << 2;
        QTest::newRow("1 - 3/5") << 10 << 5 << 5 << 3 << 1;
        QTest::newRow("1 - 4/5") << 10 << 5 << 5 << 4 << 3;
    }
    void picture()
    {
        QFETCH(int, level);
        QFETCH(int, d);
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(int, slot);
        Drill drill(level, d, a, b, slot);
        Harness& h = drill.h;
        const int top = (slot - 1) * 220;
        QCOMPARE(h.Rec(slot, 1), d);
        QCOMPARE(h.Rec(slot, 2), a);
        QCOMPARE(h.Rec(slot, 3), b);
        QCOMPARE(h.Rec(slot, 4), level == 9 ? a + b : a - b);
        const QImage want = lines::Expected(h.panel(), [&](Surface& p) {
            if (a == d && level == 10) {
                lines::PrintAt(p, 180, top + 160, "1");
            } else {
                lines::PrintAt(p, 180, top + 180, QString::number(d));
                lines::PrintAt(p, 180, top + 130, QString::number(a));
                p.FilledBox(165, top + 170, 45, 3, colours::Black);
            }
            lines::PrintAt(p, 330, top + 180, QString::number(d));
            lines::PrintAt(p, 330, top + 130, QString::number(b));
            p.FilledBox(315, top + 170, 45, 3, colours::Black);
            lines::PrintAt(p, 250, top + 152, level == 9 ? QStringLiteral("＋") : QStringLiteral("－"));
            lines::PrintAt(p, 410, top + 152, QStringLiteral("＝"));
            p.FilledBox(450, top + 166, 64, 3, colours::Black);
        });
        QCOMPARE(DifferingPixels(h.panel().image(), want, lines::ProblemArea(slot)), 0);
        QCOMPARE(h.form->Text3[slot - 1]->isVisible(), level == 9);
    }

    // Level 9 on 1/2 + 1/2, one check per row.
    void sumOfOne_data()
    {
        QTest::addColumn<QString>("numerator");
        QTest::addColumn<QString>("denominator");
        QTest::addColumn<QString>("whole");
        QTest::addColumn<QString>("outcome");   // right, wrong, hint or refused
        QTest::newRow("2 over 2 with 1") << "2" << "2" << "1" << "right";
        QTest::newRow("2 over 2 with 01") << "2" << "2" << "01" << "right";
        QTest::newRow("2 over 2 without 1") << "2" << "2" << "" << "hint";
        QTest::newRow("2 over 2 with 2") << "2" << "2" << "2" << "hint";
        QTest::newRow("1 alone") << "" << "" << "1" << "refused";
        QTest::newRow("1 over 1 with 1") << "1" << "1" << "1" << "wrong";
        QTest::newRow("1 over 2 with 1") << "1" << "2" << "1" << "wrong";
    }
    void sumOfOne()
    {
        QFETCH(QString, numerator);
        QFETCH(QString, denominator);
        QFETCH(QString, whole);
        QFETCH(QString, outcome);
        Drill drill(9, 2, 1, 1);
        Harness& h = drill.h;
        Form1& f = *h.form;
        // Text3 typed last, so it is the pink box when the check is pressed.
        h.Type(1, 1, denominator);
        h.Type(1, 2, numerator);
        h.Type(1, 3, whole);
        QCOMPARE(BackColor(f.Text3[0]), colours::Pink);
        const QImage before = h.panel().image().copy();
        const int beepsBefore = h.platform.beeps;
        h.Check(1);
        if (outcome == "refused" || outcome == "hint") {
            QCOMPARE(h.platform.messages, QStringList{outcome == "hint" ? kHint : texts::TypeAnswer});
            QCOMPARE(h.Rec(1, 10), outcome == "hint" ? 1 : 0);   // a hint uses up a try
            QCOMPARE(h.Problem(1), 1);
            QCOMPARE(h.MarkOf(1, 1), 0);
            QCOMPARE(h.platform.beeps, beepsBefore);   // no mark shown
            QCOMPARE(h.panel().image(), before);
            QCOMPARE(f.Text1[0]->text(), denominator);
            QCOMPARE(f.Text2[0]->text(), numerator);
            QCOMPARE(f.Text3[0]->text(), whole);
            return;
        }
        QVERIFY(h.platform.messages.isEmpty());
        if (outcome == "right") {
            QCOMPARE(h.MarkOf(1, 1), 1);
            QCOMPARE(h.Problem(1), 2);
            QVERIFY(f.Text3[0]->text().isEmpty());
        } else {
            QCOMPARE(h.Problem(1), 1);
            QCOMPARE(f.Text3[0]->text(), whole);   // the whole number stays for the next try
        }
        QVERIFY(f.Text1[0]->text().isEmpty());
        QVERIFY(f.Text2[0]->text().isEmpty());
        QCOMPARE(BackColor(f.Text1[0]), colours::Pink);
        QCOMPARE(BackColor(f.Text2[0]), colours::Grey);
        QCOMPARE(BackColor(f.Text3[0]), colours::Grey);
        QCOMPARE(h.st().ActiveField[1], int16_t(0));
    }

    // A hint, then the full answer: the hint's try makes the mark a triangle.
    void hintThenRight()
    {
        Drill drill(9, 2, 1, 1);
        Harness& h = drill.h;
        h.Type(1, 2, "2");
        h.Type(1, 1, "2");
        h.Check(1);
        QCOMPARE(h.platform.messages, QStringList{kHint});
        h.Type(1, 3, "1");
        h.Check(1);
        QCOMPARE(h.MarkOf(1, 1), 2);
        QCOMPARE(h.Problem(1), 2);
        QCOMPARE(h.platform.messages.size(), 1);
    }

    void threeWrongGiveCross_data()
    {
        QTest::addColumn<int>("level");
        QTest::newRow("level 9") << 9;
        QTest::newRow("level 10") << 10;
    }
    void threeWrongGiveCross()
    {
        QFETCH(int, level);
        Harness h;
        h.StartLevel(level);
        h.PressSlot(3);
        const int d = h.Rec(3, 1);
        for (int t = 1; t <= 3; ++t) {
            QCOMPARE(h.Problem(3), 1);
            h.Type(3, 2, "0");
            h.Type(3, 1, QString::number(d));
            h.Check(3);
        }
        QCOMPARE(h.MarkOf(3, 1), 3);
        QCOMPARE(h.Problem(3), 2);
        QVERIFY(h.platform.messages.isEmpty());
        QVERIFY(h.form->Text1[2]->text().isEmpty());
        QCOMPARE(BackColor(h.form->Text1[2]), colours::Pink);
        QVERIFY(!(h.Rec(3, 1) == d && h.Rec(3, 2) == h.st().Item(3, 12)));   // the pair is not repeated
    }

    void difference_data()
    {
        QTest::addColumn<int>("d");
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<QString>("numerator");
        QTest::addColumn<QString>("denominator");
        QTest::addColumn<bool>("right");
        QTest::newRow("1 - 3/5 = 2/5") << 5 << 5 << 3 << "2" << "5" << true;
        QTest::newRow("1 - 4/5 = 1/5") << 5 << 5 << 4 << "1" << "5" << true;
        QTest::newRow("1 - 4/5 is not 4/5") << 5 << 5 << 4 << "4" << "5" << false;
        QTest::newRow("6/7 - 2/7 with 07") << 7 << 6 << 2 << "4" << "07" << true;
        QTest::newRow("6/8 - 2/8 is not 1/2") << 8 << 6 << 2 << "1" << "2" << false;
        QTest::newRow("6/8 - 2/8 = 4/8") << 8 << 6 << 2 << "4" << "8" << true;
        QTest::newRow("swapped") << 7 << 6 << 2 << "7" << "4" << false;
        QTest::newRow("only the denominator") << 7 << 6 << 2 << "" << "7" << false;
    }
    void difference()
    {
        QFETCH(int, d);
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(QString, numerator);
        QFETCH(QString, denominator);
        QFETCH(bool, right);
        Drill drill(10, d, a, b);
        Harness& h = drill.h;
        h.Type(1, 2, numerator);
        h.Type(1, 1, denominator);
        h.Check(1);
        QVERIFY(h.platform.messages.isEmpty());
        QCOMPARE(h.Problem(1), right ? 2 : 1);
        QCOMPARE(h.MarkOf(1, 1), right ? 1 : 0);
        QCOMPARE(h.Rec(1, 10), right ? 0 : 1);
        QVERIFY(h.form->Text1[0]->text().isEmpty());
        QVERIFY(h.form->Text2[0]->text().isEmpty());
        QCOMPARE(BackColor(h.form->Text1[0]), colours::Pink);
        QVERIFY(!h.form->Text3[0]->isVisible());
    }
};

QTEST_MAIN(SameDenominatorTest)
#include "tst_same_denominator.moc"
