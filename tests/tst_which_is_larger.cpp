// SPDX-License-Identifier: GPL-3.0-or-later
// Levels 8 and 13: choosing "＞", "＝" or "＜" by pressing one of three boxes.
#include "levels/grade3/WhichIsLarger.h"
#include "support/Harness.h"

#include <QPainter>
#include <QTest>
#include <map>

Q_DECLARE_METATYPE(ChoiceBox)

namespace {

QRect Inside(ChoiceBox box, int s)
{
    const int left = kChoiceBoxes.at(size_t(box)).left;
    return {left + 1, (s - 1) * 220 + kChoiceBoxTop + 1, kChoiceBoxSize - 1, kChoiceBoxSize - 1};
}

// A press in the middle of a box, made as a real mouse press on the panel.
void Choose(Harness& h, int s, ChoiceBox box)
{
    h.Click(Inside(box, s).center().x(), Inside(box, s).center().y());
}

// The box the current problem of slot s wants, from what the level recorded.
ChoiceBox RightBoxOf(Harness& h, int s)
{
    if (h.st().Level == 13)
        return BoxFor(h.Rec(s, 1));
    return BoxFor(CompareOverSameDenominator(0, h.Rec(s, 2), 0, h.Rec(s, 3), h.Rec(s, 1)));
}

ChoiceBox AnotherBox(ChoiceBox box)
{
    return box == ChoiceBox::Less ? ChoiceBox::Greater : ChoiceBox::Less;
}

QRgb TestPoint(Harness& h, int s, ChoiceBox box)
{
    const int left = kChoiceBoxes.at(size_t(box)).left;
    return h.panel().image().pixel(left + 2, (s - 1) * 220 + 159) | 0xff000000u;
}

// The gap between the numbers, where the chosen sign is shown.
QImage Gap(Harness& h, int s)
{
    return h.panel().image().copy(250, (s - 1) * 220 + 200, 40, 40);
}

// The gap as it looks when it shows this sign.
QImage GapShowing(Harness& h, const QString& sign)
{
    Surface reference;
    reference.setFont(h.panel().font());
    reference.resizeImage(40, 40);
    reference.FilledBox(0, 0, 40, 40, colours::White);
    reference.CurrentX = 0;
    reference.CurrentY = 2;
    reference.ForeColor = colours::Black;
    reference.Print(sign);
    return reference.image().copy(0, 0, 40, 40);
}

} // namespace

class WhichIsLargerTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PrepareTestApplication(); }

    // d 2..9 with 9 drawn twice as often; a and b 1..d-1 with 1 twice as often.
    void drawnNumbersAreSkewedTowardsTheClampedEnds()
    {
        Random rnd;
        rnd.Seed(4242);
        constexpr int draws = 200000;
        std::map<int, int> ds, asOfNine, bsOfNine;
        int equalPairs = 0;
        for (int i = 0; i < draws; ++i) {
            const auto [d, a, b] = DrawSameDenominatorPair(rnd);
            QVERIFY(d >= 2 && d <= 9);
            QVERIFY(a >= 1 && a < d);
            QVERIFY(b >= 1 && b < d);
            if (d == 2)
                QVERIFY(a == 1 && b == 1);
            ++ds[d];
            if (d == 9) {
                ++asOfNine[a];
                ++bsOfNine[b];
            }
            equalPairs += a == b;
        }
        for (int d = 2; d <= 9; ++d)
            QVERIFY2(qAbs(ds[d] / double(draws) - (d == 9 ? 2.0 : 1.0) / 9) < 0.005, qPrintable(QString::number(d)));
        const int nines = ds[9];
        for (int a = 1; a <= 8; ++a) {
            const double expected = (a == 1 ? 2.0 : 1.0) / 9;
            QVERIFY2(qAbs(asOfNine[a] / double(nines) - expected) < 0.01, qPrintable(QString::number(a)));
            QVERIFY2(qAbs(bsOfNine[a] / double(nines) - expected) < 0.01, qPrintable(QString::number(a)));
        }
        QVERIFY(equalPairs > 0);
    }

    void comparison_data()
    {
        QTest::addColumn<int>("w1");
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("w2");
        QTest::addColumn<int>("e");
        QTest::addColumn<int>("d");
        QTest::addColumn<int>("result");
        QTest::addColumn<ChoiceBox>("box");
        QTest::newRow("fractions: left larger") << 0 << 2 << 0 << 1 << 3 << 1 << ChoiceBox::Greater;
        QTest::newRow("fractions: equal") << 0 << 1 << 0 << 1 << 2 << 0 << ChoiceBox::Equal;
        QTest::newRow("fractions: right larger") << 0 << 3 << 0 << 7 << 9 << -1 << ChoiceBox::Less;
        QTest::newRow("larger whole part wins over the fractions") << 3 << 1 << 2 << 8 << 9 << 1 << ChoiceBox::Greater;
        QTest::newRow("smaller whole part loses over the fractions") << 1 << 5 << 2 << 1 << 6 << -1 << ChoiceBox::Less;
        QTest::newRow("equal whole parts: fractions decide >") << 4 << 5 << 4 << 2 << 7 << 1 << ChoiceBox::Greater;
        QTest::newRow("equal whole parts: fractions decide <") << 6 << 1 << 6 << 2 << 3 << -1 << ChoiceBox::Less;
        QTest::newRow("equal only when both parts are") << 5 << 3 << 5 << 3 << 8 << 0 << ChoiceBox::Equal;
    }
    void comparison()
    {
        QFETCH(int, w1);
        QFETCH(int, a);
        QFETCH(int, w2);
        QFETCH(int, e);
        QFETCH(int, d);
        QFETCH(int, result);
        QFETCH(ChoiceBox, box);
        QCOMPARE(CompareOverSameDenominator(w1, a, w2, e, d), result);
        QCOMPARE(BoxFor(result), box);
    }

    void anyOtherStoredResultMeansLess() { QCOMPARE(BoxFor(2), ChoiceBox::Less); }

    // Level 13 records only the comparison of the numbers it draws: d, a, e as level 8,
    // then the whole parts 1..6. A parallel source replays the draws, also past the 99th
    // problem of a slot.
    void mixedLevelStoresTheComparison()
    {
        Harness h;
        h.StartLevel(13);
        h.Seed(77);
        Random replay;
        replay.Seed(77);
        std::map<int, int> results;
        h.PressSlot(2);
        for (int i = 0; i < 150; ++i) {
            if (i > 0) {
                h.st().CurrentSlot = 2;
                h.form->NewProblem();
            }
            const auto [d, a, e] = DrawSameDenominatorPair(replay);
            const int w1 = int(replay.Rnd() * 6) + 1;
            const int w2 = int(replay.Rnd() * 6) + 1;
            QVERIFY(w1 >= 1 && w1 <= 6 && w2 >= 1 && w2 <= 6);
            const int result = CompareOverSameDenominator(w1, a, w2, e, d);
            QCOMPARE(h.Rec(2, 1), result);
            for (int item = 2; item <= 7; ++item)
                QCOMPARE(h.Rec(2, item), 0);
            ++results[result];
        }
        QCOMPARE(results.size(), size_t(3));
    }

    // Every box can be chosen on both levels: it alone turns red, as a whole (its sign does
    // not cut the fill point off), and its sign appears between the numbers.
    void choosingPaintsOnlyThatBox_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("slot");
        QTest::addColumn<ChoiceBox>("box");
        for (int level : {8, 13})
            for (ChoiceBox box : {ChoiceBox::Greater, ChoiceBox::Equal, ChoiceBox::Less}) {
                const int slot = 1 + int(box);
                QTest::addRow("level %d, slot %d, box %d", level, slot, int(box)) << level << slot << box;
            }
    }
    void choosingPaintsOnlyThatBox()
    {
        QFETCH(int, level);
        QFETCH(int, slot);
        QFETCH(ChoiceBox, box);
        Harness h;
        h.StartLevel(level);
        h.PressSlot(slot);
        const QImage before = h.panel().image();
        for (ChoiceBox b : {ChoiceBox::Greater, ChoiceBox::Equal, ChoiceBox::Less})
            QVERIFY(CountPixels(before, Inside(b, slot), colours::Black) > 20);   // the sign

        Choose(h, slot, AnotherBox(box));
        Choose(h, slot, box);
        const QImage& img = h.panel().image();
        for (ChoiceBox b : {ChoiceBox::Greater, ChoiceBox::Equal, ChoiceBox::Less}) {
            const QRect r = Inside(b, slot);
            if (b == box) {
                QCOMPARE(CountPixels(img, r, colours::White), 0);
                QVERIFY(CountPixels(img, r, colours::Red) > r.width() * r.height() * 3 / 4);
            } else {
                // white again and exactly as first drawn: the sign has not frayed
                QCOMPARE(img.copy(r), before.copy(r));
            }
            QCOMPARE(CountPixels(img, r, colours::Black), CountPixels(before, r, colours::Black));
            QCOMPARE(TestPoint(h, slot, b), b == box ? colours::Red : colours::White);
        }
        QCOMPARE(Gap(h, slot), GapShowing(h, kChoiceBoxes.at(size_t(box)).sign));
        // nothing outside the boxes and the gap changed
        QImage outside = img.copy(20, (slot - 1) * 220 + 70, 750, 210);
        QImage was = before.copy(20, (slot - 1) * 220 + 70, 750, 210);
        for (QImage* i : {&outside, &was}) {
            QPainter p(i);
            p.fillRect(QRect(474, 87, 200, 41), Qt::blue);
            p.fillRect(QRect(230, 130, 40, 40), Qt::blue);
        }
        QCOMPARE(outside, was);
    }

    void greaterThenLessLeavesOnlyLess()
    {
        Harness h;
        h.StartLevel(8);
        h.PressSlot(1);
        Choose(h, 1, ChoiceBox::Greater);
        QCOMPARE(Gap(h, 1), GapShowing(h, QStringLiteral("＞")));
        Choose(h, 1, ChoiceBox::Less);
        QCOMPARE(TestPoint(h, 1, ChoiceBox::Greater), colours::White);
        QCOMPARE(TestPoint(h, 1, ChoiceBox::Equal), colours::White);
        QCOMPARE(TestPoint(h, 1, ChoiceBox::Less), colours::Red);
        QCOMPARE(Gap(h, 1), GapShowing(h, QStringLiteral("＜")));
    }

    void pressOutsideTheBoxesChangesNothing_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QPoint>("at");
        for (int level : {8, 13}) {
            QTest::addRow("level %d, on the left outline", level) << level << QPoint(494, 177);
            QTest::addRow("level %d, between two boxes", level) << level << QPoint(547, 177);
            QTest::addRow("level %d, on the top outline", level) << level << QPoint(580, 157);
            QTest::addRow("level %d, below a box", level) << level << QPoint(580, 197);
            QTest::addRow("level %d, on the numbers", level) << level << QPoint(185, 200);
            QTest::addRow("level %d, on the gap", level) << level << QPoint(270, 220);
        }
    }
    void pressOutsideTheBoxesChangesNothing()
    {
        QFETCH(int, level);
        QFETCH(QPoint, at);
        Harness h;
        h.StartLevel(level);
        h.PressSlot(1);
        Choose(h, 1, ChoiceBox::Equal);
        const QImage before = h.panel().image();
        h.Click(at.x(), at.y());
        QCOMPARE(h.panel().image(), before);
        QCOMPARE(h.Problem(1), 1);
    }

    void checkJudgesTheChosenBox_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("slot");
        QTest::addColumn<QString>("choice");   // right, wrong, none, wrong then right
        QTest::addColumn<bool>("right");
        for (int level : {8, 13}) {
            QTest::addRow("level %d: right box", level) << level << 1 << "right" << true;
            QTest::addRow("level %d: wrong box", level) << level << 3 << "wrong" << false;
            QTest::addRow("level %d: no box chosen", level) << level << 2 << "none" << false;
            QTest::addRow("level %d: the last press counts", level) << level << 3 << "wrong then right" << true;
            QTest::addRow("level %d: right then wrong", level) << level << 1 << "right then wrong" << false;
        }
    }
    void checkJudgesTheChosenBox()
    {
        QFETCH(int, level);
        QFETCH(int, slot);
        QFETCH(QString, choice);
        QFETCH(bool, right);
        Harness h;
        h.StartLevel(level);
        h.PressSlot(slot);
        const ChoiceBox want = RightBoxOf(h, slot);
        if (choice == "right")
            Choose(h, slot, want);
        else if (choice == "wrong")
            Choose(h, slot, AnotherBox(want));
        else if (choice == "wrong then right") {
            Choose(h, slot, AnotherBox(want));
            Choose(h, slot, want);
        } else if (choice == "right then wrong") {
            Choose(h, slot, want);
            Choose(h, slot, AnotherBox(want));
        }
        const QImage chosen = h.panel().image();
        h.Check(slot);
        QCOMPARE(h.platform.beeps, 1);
        QCOMPARE(h.platform.pauses, 2);
        QCOMPARE(h.st().Item(slot, 1 * 10 + 10), 1);
        if (right) {
            QCOMPARE(h.MarkOf(slot, 1), 1);
            QCOMPARE(h.Problem(slot), 2);
            for (ChoiceBox b : {ChoiceBox::Greater, ChoiceBox::Equal, ChoiceBox::Less})
                QCOMPARE(CountPixels(h.panel().image(), Inside(b, slot), colours::Red), 0);
        } else {
            QCOMPARE(h.MarkOf(slot, 1), 0);
            QCOMPARE(h.Problem(slot), 1);
            // the boxes keep their colours for another try; the mark is wiped
            QCOMPARE(h.panel().image(), chosen);
        }
    }

    void secondTryGivesTriangle()
    {
        Harness h;
        h.StartLevel(13);
        h.PressSlot(3);
        const ChoiceBox want = RightBoxOf(h, 3);
        Choose(h, 3, AnotherBox(want));
        h.Check(3);
        QCOMPARE(h.Problem(3), 1);
        Choose(h, 3, want);
        h.Check(3);
        QCOMPARE(h.MarkOf(3, 1), 2);
        QCOMPARE(h.Problem(3), 2);
    }

    void threeWrongChecksGiveCrossAndANewProblem_data()
    {
        QTest::addColumn<int>("level");
        QTest::newRow("level 8") << 8;
        QTest::newRow("level 13") << 13;
    }
    void threeWrongChecksGiveCrossAndANewProblem()
    {
        QFETCH(int, level);
        Harness h;
        h.StartLevel(level);
        h.PressSlot(2);
        Choose(h, 2, AnotherBox(RightBoxOf(h, 2)));
        for (int t = 1; t <= 3; ++t) {
            QCOMPARE(h.Problem(2), 1);
            h.Check(2);
        }
        QCOMPARE(h.MarkOf(2, 1), 3);
        QCOMPARE(h.Problem(2), 2);
        QCOMPARE(h.platform.beeps, 3);
        for (ChoiceBox b : {ChoiceBox::Greater, ChoiceBox::Equal, ChoiceBox::Less})
            QCOMPARE(TestPoint(h, 2, b), colours::White);
        // the new problem is answered afresh
        Choose(h, 2, RightBoxOf(h, 2));
        h.Check(2);
        QCOMPARE(h.MarkOf(2, 2), 1);
    }

    // d = 2 leaves only 1/2 against 1/2.
    void halvesAreEqual()
    {
        uint32_t seed = 0;
        for (;; ++seed) {
            Random r;
            r.Seed(seed);
            if (DrawSameDenominatorPair(r).d == 2)
                break;
        }
        Harness h;
        h.StartLevel(8);
        h.Seed(seed);
        h.PressSlot(1);
        QCOMPARE(h.Rec(1, 1), 2);
        QCOMPARE(h.Rec(1, 2), 1);
        QCOMPARE(h.Rec(1, 3), 1);
        QCOMPARE(h.Rec(1, 4), 0);
        Choose(h, 1, ChoiceBox::Greater);
        h.Check(1);
        QCOMPARE(h.Problem(1), 1);
        Choose(h, 1, ChoiceBox::Equal);
        h.Check(1);
        QCOMPARE(h.MarkOf(1, 1), 2);
    }

    void problemIsDrawnInItsSlot_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("rightBarLeft");
        QTest::newRow("level 8") << 8 << 315;
        QTest::newRow("level 13") << 13 << 345;
    }
    void problemIsDrawnInItsSlot()
    {
        QFETCH(int, level);
        QFETCH(int, rightBarLeft);
        Harness h;
        h.StartLevel(level);
        h.PressSlot(3);
        const QImage& img = h.panel().image();
        const int y0 = 440;
        QCOMPARE(h.st().PromptText, QStringLiteral("どちらが、大きいですか？"));
        QCOMPARE(CountPixels(img, QRect(165, y0 + 220, 45, 3), colours::Black), 45 * 3);
        QCOMPARE(CountPixels(img, QRect(rightBarLeft, y0 + 220, 45, 3), colours::Black), 45 * 3);
        // box outlines 40 by 40, closed
        for (const ChoiceBoxPlace& b : kChoiceBoxes)
            QCOMPARE(CountPixels(img, QRect(b.left, y0 + kChoiceBoxTop, 41, 41), colours::Black)
                         - CountPixels(img, QRect(b.left + 1, y0 + kChoiceBoxTop + 1, 39, 39), colours::Black),
                     160);
        // the gap is empty until a box is chosen
        QCOMPARE(CountPixels(img, QRect(250, y0 + 200, 40, 40), colours::White), 1600);
        // the other slots are still waiting
        QCOMPARE(h.st().Item(1, 0), 0);
        QCOMPARE(h.st().Item(2, 0), 0);
    }
};

QTEST_MAIN(WhichIsLargerTest)
#include "tst_which_is_larger.moc"
