// SPDX-License-Identifier: GPL-3.0-or-later
// Level 5: colouring n of the d cells of a tape by pressing them.
#include "levels/grade3/ColouringLength.h"
#include "support/Harness.h"
#include "support/Bounds.h"

#include <QElapsedTimer>
#include <QTest>
#include <map>
#include <set>
#include <stdexcept>

using Problems = std::vector<ProperFraction>;
Q_DECLARE_METATYPE(Problems)

namespace {

bool operator==(const ProperFraction& x, const ProperFraction& y)
{
    return x.d == y.d && x.n == y.n;
}

// Random values that make the generation draw the given (d, n) pairs, in order.
class Script
{
public:
    explicit Script(const Problems& draws)
    {
        for (const ProperFraction& p : draws) {
            values_.push_back((p.d - 2 + 0.5) / 8);
            values_.push_back((p.n - 1 + 0.5) / p.d);
        }
    }
    double Next()
    {
        if (used_ == values_.size())
            throw std::out_of_range("the generation wanted more draws than scripted");
        return values_[used_++];
    }
    int DrawsUsed() const { return int(used_ / 2); }

private:
    std::vector<double> values_;
    size_t used_ = 0;
};

Problems Times(int count, ProperFraction p)
{
    return Problems(size_t(count), p);
}

Problems operator+(Problems a, const Problems& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Every problem the level knows, ending with 8/8-1 = 7/8.
Problems AllProblems()
{
    Problems all;
    for (int d = 2; d <= 8; ++d)
        for (int n = 1; n < d; ++n)
            all.push_back({d, n});
    return all;
}

ProperFraction Draw(Random& rnd, const Problems& earlier)
{
    return DrawColouring([&rnd] { return rnd.Rnd(); }, earlier);
}

// The point in the middle of cell i (0-based) of slot s's tape of d cells.
QPoint Cell(int s, int d, int i)
{
    return {int(80 + (i + 0.5) * 500 / d), (s - 1) * 220 + 242};
}

// Counts the cells of the tape whose middle is red.
int RedCells(Harness& h, int s, int d)
{
    int red = 0;
    for (int i = 0; i < d; ++i) {
        const QPoint c = Cell(s, d, i);
        red += (h.panel().image().pixel(c) | 0xff000000u) == colours::Red;
    }
    return red;
}

// Starts slot s of level 5 on a problem that the condition accepts.
void StartSlotWith(Harness& h, int s, const std::function<bool(ProperFraction)>& wanted)
{
    for (uint32_t seed = 1;; ++seed) {
        Random r;
        r.Seed(seed);
        if (wanted(Draw(r, {}))) {
            h.Seed(seed);
            h.PressSlot(s);
            QVERIFY(wanted({h.Rec(s, 1), h.Rec(s, 2)}));
            return;
        }
    }
}

} // namespace

class ColouringLengthTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PrepareTestApplication(); }

    // d is drawn 2..9 and 9 counts as 8; a numerator n >= d sends the draw back to d. So a
    // first problem has d with a weight of (2 for 8, else 1) * (d-1)/d, and n is even over 1..d-1.
    void firstProblemFollowsTheClampedDraw()
    {
        Random rnd;
        rnd.Seed(2024);
        constexpr int draws = 200000;
        std::map<int, int> ds;
        std::map<int, int> nsOfEight;
        for (int i = 0; i < draws; ++i) {
            const ProperFraction p = Draw(rnd, {});
            QVERIFY(p.d >= 2 && p.d <= 8);
            QVERIFY(p.n >= 1 && p.n < p.d);
            ++ds[p.d];
            if (p.d == 8)
                ++nsOfEight[p.n];
        }
        double total = 0;
        for (int d = 2; d <= 8; ++d)
            total += (d == 8 ? 2.0 : 1.0) * (d - 1) / d;
        for (int d = 2; d <= 8; ++d) {
            const double expected = (d == 8 ? 2.0 : 1.0) * (d - 1) / d / total;
            QVERIFY2(qAbs(ds[d] / double(draws) - expected) < 0.005, qPrintable(QString::number(d)));
        }
        for (int n = 1; n <= 7; ++n)
            QVERIFY2(qAbs(nsOfEight[n] / double(ds[8]) - 1.0 / 7) < 0.01, qPrintable(QString::number(n)));
    }

    void repeatAndSimilarityRules_data()
    {
        QTest::addColumn<Problems>("earlier");
        QTest::addColumn<Problems>("draws");
        QTest::addColumn<int>("d");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("drawsUsed");
        const Problems thirds{{3, 1}};
        QTest::newRow("first problem: anything goes") << Problems{} << Problems{{8, 7}} << 8 << 7 << 1;
        QTest::newRow("n >= d draws again") << Problems{} << Problems{{4, 4}, {8, 8}, {2, 1}} << 2 << 1 << 3;
        QTest::newRow("unlike the previous one: taken")
            << thirds << Problems{{6, 4}} << 6 << 4 << 1;
        QTest::newRow("same d taken at the eleventh draw") << thirds << Times(11, {3, 2}) << 3 << 2 << 11;
        QTest::newRow("same n taken at the eleventh draw") << thirds << Times(11, {5, 1}) << 5 << 1 << 11;
        QTest::newRow("ten similar draws are all rejected")
            << thirds << Times(6, {3, 2}) + Times(4, {5, 1}) + Problems{{7, 5}} << 7 << 5 << 11;
        QTest::newRow("an unlike draw ends the rejections early")
            << thirds << Times(4, {3, 2}) + Problems{{4, 3}} << 4 << 3 << 5;
        QTest::newRow("n >= d does not count as similar")
            << thirds << Times(9, {3, 3}) + Times(10, {3, 2}) + Problems{{3, 2}} << 3 << 2 << 20;
        QTest::newRow("no exact repeat of any earlier problem")
            << Problems{{2, 1}, {5, 3}, {7, 2}} << Problems{{2, 1}, {5, 3}, {4, 3}} << 4 << 3 << 3;
        // a repeat of (2,1), also similar to (3,1), must not use up the ten similar rejections
        QTest::newRow("repeats do not count as similar")
            << Problems{{2, 1}, {3, 1}} << Times(5, {2, 1}) + Times(11, {3, 2}) << 3 << 2 << 16;
        QTest::newRow("nor are repeats taken after ten similar")
            << Problems{{2, 1}, {3, 1}} << Times(10, {3, 2}) + Problems{{2, 1}, {3, 2}} << 3 << 2 << 12;
        QTest::newRow("a slot that used every problem starts over")
            << AllProblems() << Problems{{2, 1}} << 2 << 1 << 1;
        QTest::newRow("starting over still avoids the previous numbers")
            << AllProblems() << Problems{{8, 3}, {8, 5}, {2, 1}} << 2 << 1 << 3;
        QTest::newRow("and does not repeat within the new round")
            << AllProblems() + Problems{{2, 1}} << Problems{{2, 1}, {6, 4}} << 6 << 4 << 2;
    }
    void repeatAndSimilarityRules()
    {
        QFETCH(Problems, earlier);
        QFETCH(Problems, draws);
        QFETCH(int, d);
        QFETCH(int, n);
        QFETCH(int, drawsUsed);
        Script script(draws);
        try {
            const ProperFraction p = DrawColouring([&script] { return script.Next(); }, earlier);
            QCOMPARE(p.d, d);
            QCOMPARE(p.n, n);
        } catch (const std::out_of_range& e) {
            QFAIL(e.what());
        }
        QCOMPARE(script.DrawsUsed(), drawsUsed);
    }

    // Each run of 28 problems of a slot shows all 28; after that the slot starts over, and
    // generation ends at once however long the slot goes on.
    void slotShowsEveryProblemOncePerRound()
    {
        for (uint32_t seed = 1; seed <= 30; ++seed) {
            Random rnd;
            rnd.Seed(seed);
            Problems shown;
            QElapsedTimer clock;
            clock.start();
            for (int k = 1; k <= 300; ++k)
                shown.push_back(Draw(rnd, shown));
            QVERIFY(clock.elapsed() < bounds::ScaledMs(2000));
            for (size_t round = 0; round + kColouringProblems <= shown.size(); round += kColouringProblems) {
                std::set<std::pair<int, int>> seen;
                for (size_t i = round; i < round + kColouringProblems; ++i)
                    seen.insert({shown[i].d, shown[i].n});
                QCOMPARE(int(seen.size()), kColouringProblems);
            }
            // the first problem of a new round is never like the last of the old one
            for (size_t k = kColouringProblems; k < shown.size(); k += kColouringProblems)
                QVERIFY(shown[k].d != shown[k - 1].d && shown[k].n != shown[k - 1].n);
        }
    }

    void threeHundredProblemsInOneSlotOfTheWindow()
    {
        Harness h;
        h.StartLevel(5);
        h.Seed(11);
        h.PressSlot(1);
        QElapsedTimer clock;
        clock.start();
        std::set<std::pair<int, int>> firstRound{{h.Rec(1, 1), h.Rec(1, 2)}};
        for (int k = 2; k <= 300; ++k) {
            h.st().CurrentSlot = 1;
            h.form->NewProblem();
            QVERIFY(h.Rec(1, 1) >= 2 && h.Rec(1, 1) <= 8);
            QVERIFY(h.Rec(1, 2) >= 1 && h.Rec(1, 2) < h.Rec(1, 1));
            if (k <= kColouringProblems)
                firstRound.insert({h.Rec(1, 1), h.Rec(1, 2)});
        }
        QVERIFY(clock.elapsed() < bounds::ScaledMs(10000));
        QCOMPARE(int(firstRound.size()), kColouringProblems);
        QCOMPARE(h.Problem(1), AppState::kMaxProblem);
    }

    void tapeIsDrawnWithItsCells()
    {
        Harness h;
        h.StartLevel(5);
        h.PressSlot(2);
        const int d = h.Rec(2, 1);
        const QImage& img = h.panel().image();
        // d-1 dividers inside the tape, on a row through the middle of the cells
        int dividers = 0;
        for (int x = 81; x < 580; ++x)
            dividers += (img.pixel(x, 220 + 242) | 0xff000000u) == colours::Black;
        QCOMPARE(dividers, d - 1);
        QCOMPARE(img.pixel(80, 220 + 242) | 0xff000000u, colours::Black);
        QCOMPARE(img.pixel(580, 220 + 242) | 0xff000000u, colours::Black);
        QCOMPARE(RedCells(h, 2, d), 0);
        QCOMPARE(h.Rec(2, 3), 0);
        QCOMPARE(h.Rec(2, 4), 0);
        QCOMPARE(h.st().PromptText, QStringLiteral("色をぬりましょう。"));
        // the check button of slot 2 on this panel is shown, no keypad is seen
        QVERIFY(h.form->Command5[4]->isVisibleTo(h.form.get()));
        QVERIFY(!h.form->Picture6[1]->isVisibleTo(h.form.get()));
    }

    void pressesColourAndUncolourCells()
    {
        Harness h;
        h.StartLevel(5);
        h.PressSlot(1);
        const int d = h.Rec(1, 1);
        const QImage blank = h.panel().image();
        const QPoint c = Cell(1, d, d - 1);
        h.Click(c.x(), c.y());
        QCOMPARE(RedCells(h, 1, d), 1);
        QCOMPARE(h.panel().image().pixel(c) | 0xff000000u, colours::Red);
        // the whole cell turned red, up to its borders
        const int left = RoundPixel(80 + (d - 1) * 500.0 / d);
        QCOMPARE(CountPixels(h.panel().image(), QRect(left + 1, 231, 579 - left - 1, 24), colours::Red),
                 (579 - left - 1) * 24);
        h.Click(c.x() + 3, c.y() - 5);
        QCOMPARE(h.panel().image(), blank);
    }

    void pressesOffTheCellsChangeNothing_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("a divider") << "divider";
        QTest::newRow("the left outline") << "left";
        QTest::newRow("the top outline") << "top";
        QTest::newRow("above the tape") << "above";
        QTest::newRow("the fraction") << "fraction";
    }
    void pressesOffTheCellsChangeNothing()
    {
        QFETCH(QString, where);
        Harness h;
        h.StartLevel(5);
        StartSlotWith(h, 1, [](ProperFraction p) { return p.d >= 3; });
        const int d = h.Rec(1, 1);
        const QPoint first = Cell(1, d, 0);
        h.Click(first.x(), first.y());   // a red cell next to the presses below
        const QImage before = h.panel().image();
        const std::map<QString, QPoint> at{
            {"divider", QPoint(RoundPixel(80 + 500.0 / d), 242)},
            {"left", QPoint(80, 242)},
            {"top", QPoint(first.x(), 230)},
            {"above", QPoint(first.x(), 228)},
            {"fraction", QPoint(450, 171)},
        };
        h.Click(at.at(where).x(), at.at(where).y());
        QCOMPARE(h.panel().image(), before);
    }

    void checkCountsRedCells_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<QString>("colouring");
        QTest::addColumn<bool>("right");
        QTest::newRow("n cells side by side") << 1 << "adjacent" << true;
        QTest::newRow("n cells apart") << 3 << "apart" << true;
        QTest::newRow("n cells from the right end") << 2 << "from the end" << true;
        QTest::newRow("one cell clicked twice among n") << 1 << "twice" << true;
        QTest::newRow("n+1 cells") << 2 << "one more" << false;
        QTest::newRow("n-1 cells") << 3 << "one fewer" << false;
        QTest::newRow("no cell") << 1 << "none" << false;
    }
    void checkCountsRedCells()
    {
        QFETCH(int, slot);
        QFETCH(QString, colouring);
        QFETCH(bool, right);
        Harness h;
        h.StartLevel(5);
        // "apart" needs room for n cells with gaps between them
        StartSlotWith(h, slot, [&](ProperFraction p) { return colouring != "apart" || 2 * p.n - 1 <= p.d; });
        const int d = h.Rec(slot, 1), n = h.Rec(slot, 2);
        std::vector<int> cells;
        if (colouring == "adjacent" || colouring == "twice")
            for (int i = 0; i < n; ++i)
                cells.push_back(i);
        else if (colouring == "apart")
            for (int i = 0; i < n; ++i)
                cells.push_back(2 * i);
        else if (colouring == "from the end")
            for (int i = 0; i < n; ++i)
                cells.push_back(d - 1 - i);
        else if (colouring == "one more")
            for (int i = 0; i <= n; ++i)
                cells.push_back(i);
        else if (colouring == "one fewer")
            for (int i = 0; i < n - 1; ++i)
                cells.push_back(d - 1 - i);
        if (colouring == "twice") {
            cells.push_back(d - 1);
            cells.push_back(d - 1);
        }
        for (int i : cells)
            h.Click(Cell(slot, d, i).x(), Cell(slot, d, i).y());
        const int red = RedCells(h, slot, d);
        QCOMPARE(red == n, right);
        const QImage coloured = h.panel().image();

        h.Check(slot);
        QCOMPARE(h.platform.beeps, 1);
        QCOMPARE(h.platform.pauses, 2);
        QCOMPARE(h.st().Item(slot, 10 + 10), 1);
        if (right) {
            QCOMPARE(h.MarkOf(slot, 1), 1);
            QCOMPARE(h.Problem(slot), 2);
            QCOMPARE(RedCells(h, slot, h.Rec(slot, 1)), 0);
        } else {
            QCOMPARE(h.MarkOf(slot, 1), 0);
            QCOMPARE(h.Problem(slot), 1);
            // the tape stays as coloured, ready for correction
            const QRect tape(80, (slot - 1) * 220 + 230, 501, 26);
            QCOMPARE(h.panel().image().copy(tape), coloured.copy(tape));
            QCOMPARE(RedCells(h, slot, d), red);
        }
    }

    void correctedTapeGivesTriangle()
    {
        Harness h;
        h.StartLevel(5);
        h.PressSlot(3);
        const int d = h.Rec(3, 1), n = h.Rec(3, 2);
        for (int i = 0; i <= n; ++i)
            h.Click(Cell(3, d, i).x(), Cell(3, d, i).y());
        h.Check(3);
        QCOMPARE(h.Problem(3), 1);
        // "ていせい": press the wrong cell again
        h.Click(Cell(3, d, n).x(), Cell(3, d, n).y());
        h.Check(3);
        QCOMPARE(h.MarkOf(3, 1), 2);
        QCOMPARE(h.Problem(3), 2);
        // the other slots were not touched
        QCOMPARE(h.st().Item(1, 0), 0);
        QCOMPARE(h.st().Item(2, 0), 0);
    }

    void threeWrongChecksGiveCrossAndANewProblem()
    {
        Harness h;
        h.StartLevel(5);
        h.PressSlot(2);
        const ProperFraction first{h.Rec(2, 1), h.Rec(2, 2)};
        for (int t = 1; t <= 3; ++t) {
            QCOMPARE(h.Problem(2), 1);
            h.Check(2);
        }
        QCOMPARE(h.MarkOf(2, 1), 3);
        QCOMPARE(h.Problem(2), 2);
        const ProperFraction second{h.Rec(2, 1), h.Rec(2, 2)};
        QVERIFY(!(second == first));
        // the new problem is answered afresh on a white tape
        QCOMPARE(RedCells(h, 2, second.d), 0);
        for (int i = 0; i < second.n; ++i)
            h.Click(Cell(2, second.d, i).x(), Cell(2, second.d, i).y());
        h.Check(2);
        QCOMPARE(h.MarkOf(2, 2), 1);
    }
};

QTEST_MAIN(ColouringLengthTest)
#include "tst_colouring_length.moc"
