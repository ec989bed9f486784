// SPDX-License-Identifier: GPL-3.0-or-later
// Level 7: the missing number of g/? = 1 or ?/g = 1.
#include "levels/grade3/MakingOne.h"
#include "shell/Texts.h"
#include "support/Harness.h"
#include "support/LinesDrills.h"

#include <QTest>
#include <limits>
#include <map>

namespace {

const QString kPrompt = QStringLiteral("１になるように数字をいれましょう。");

uint32_t SeedFor(int g, bool numeratorGiven)
{
    return SeedWhere(DrawMakingOne, [=](const MakingOneProblem& p) {
        return p.g == g && NumeratorIsGiven(p.r) == numeratorGiven;
    });
}

} // namespace

class MakingOneTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PrepareTestApplication(); }

    void draws()
    {
        Random rnd;
        rnd.Seed(77);
        constexpr int kDraws = 50000;
        std::map<int, int> byG;
        int numeratorGiven = 0;
        for (int i = 0; i < kDraws; ++i) {
            const MakingOneProblem p = DrawMakingOne(rnd);
            QVERIFY2(p.g >= 2 && p.g <= 9, qPrintable(QString::number(p.g)));
            QVERIFY(p.r >= 0 && p.r < 1);
            ++byG[p.g];
            numeratorGiven += NumeratorIsGiven(p.r);
        }
        QCOMPARE(int(byG.size()), 8);
        // 9 and 10 both give 9: 2/9 of the draws against 1/9 for each of 2..8.
        for (int g = 2; g <= 8; ++g)
            QVERIFY2(std::abs(double(byG[g]) / kDraws - 1.0 / 9) < 0.006, qPrintable(QString::number(g)));
        QVERIFY2(std::abs(double(byG[9]) / kDraws - 2.0 / 9) < 0.008, qPrintable(QString::number(byG[9])));
        QVERIFY(std::abs(double(numeratorGiven) / kDraws - 0.5) < 0.01);
    }

    void coinToss_data()
    {
        QTest::addColumn<double>("r");
        QTest::addColumn<bool>("numeratorGiven");
        QTest::newRow("0") << 0.0 << true;
        QTest::newRow("just below one half") << 0.5 - 1.0 / 16777216 << true;
        QTest::newRow("exactly one half") << 0.5 << true;
        QTest::newRow("just above one half") << 0.5 + 1.0 / 16777216 << false;
        QTest::newRow("largest draw") << 1.0 - 1.0 / 16777216 << false;
    }
    void coinToss()
    {
        QFETCH(double, r);
        QFETCH(bool, numeratorGiven);
        QCOMPARE(NumeratorIsGiven(r), numeratorGiven);
    }

    // What the slot shows for each side of the coin, and where the one box stands.
    void picture_data()
    {
        QTest::addColumn<int>("g");
        QTest::addColumn<bool>("numeratorGiven");
        QTest::addColumn<int>("slot");
        QTest::newRow("9 given as numerator") << 9 << true << 1;
        QTest::newRow("9 given as denominator") << 9 << false << 2;
        QTest::newRow("2 given as numerator") << 2 << true << 3;
        QTest::newRow("5 given as denominator") << 5 << false << 1;
    }
    void picture()
    {
        QFETCH(int, g);
        QFETCH(bool, numeratorGiven);
        QFETCH(int, slot);
        const uint32_t seed = SeedFor(g, numeratorGiven);
        QVERIFY(seed != 0);
        Harness h;
        h.StartLevel(7);
        h.Seed(seed);
        h.PressSlot(slot);
        const int top = (slot - 1) * 220;
        QCOMPARE(h.Rec(slot, 1), g);
        for (int i = 2; i <= 4; ++i)
            QCOMPARE(h.Rec(slot, i), 0);
        QCOMPARE(h.st().PromptText, kPrompt);
        QLineEdit* text1 = h.form->Text1[slot - 1];
        QVERIFY(text1->isVisible());
        QVERIFY(!h.form->Text2[slot - 1]->isVisible());
        QVERIFY(!h.form->Text3[slot - 1]->isVisible());
        QCOMPARE(text1->pos(), QPoint(620, top + (numeratorGiven ? 180 : 120)));
        const QImage want = lines::Expected(h.panel(), [&](Surface& p) {
            lines::PrintAt(p, 80, top + 120, kPrompt);
            lines::PrintAt(p, 630, top + (numeratorGiven ? 120 : 180), QString::number(g));
            p.FilledBox(608, top + 170, 67, 3, colours::Black);
            lines::PrintAt(p, 686, top + 150, QStringLiteral("＝ １"));
        });
        QCOMPARE(DifferingPixels(h.panel().image(), want, lines::ProblemArea(slot)), 0);
    }

    void check_data()
    {
        QTest::addColumn<int>("g");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("9") << 9 << "9" << "right";
        QTest::newRow("09 for 9") << 9 << "09" << "right";
        QTest::newRow("1 is not the missing number") << 9 << "1" << "wrong";
        QTest::newRow("90") << 9 << "90" << "wrong";
        QTest::newRow("nothing typed") << 9 << "" << "refused";
        QTest::newRow("2") << 2 << "2" << "right";
        QTest::newRow("3 for 2") << 2 << "3" << "wrong";
    }
    void check()
    {
        QFETCH(int, g);
        QFETCH(QString, typed);
        QFETCH(QString, outcome);
        for (bool numeratorGiven : {true, false}) {
            Harness h;
            h.StartLevel(7);
            h.Seed(SeedFor(g, numeratorGiven));
            h.PressSlot(2);
            h.Type(2, 1, typed);
            h.Check(2);
            if (outcome == "refused") {
                QCOMPARE(h.platform.messages, QStringList{texts::TypeAnswer});
                QCOMPARE(h.Rec(2, 10), 0);
                continue;
            }
            QVERIFY(h.platform.messages.isEmpty());
            QCOMPARE(h.Problem(2), outcome == "right" ? 2 : 1);
            if (outcome == "right") {
                QCOMPARE(h.MarkOf(2, 1), 1);
            } else {
                QVERIFY(h.form->Text1[1]->text().isEmpty());
                QCOMPARE(BackColor(h.form->Text1[1]), colours::Pink);
            }
        }
    }

    void threeWrongGiveCross()
    {
        Harness h;
        h.StartLevel(7);
        h.PressSlot(1);
        for (int t = 1; t <= 3; ++t) {
            QCOMPARE(h.Problem(1), 1);
            h.Type(1, 1, "1");
            h.Check(1);
        }
        QCOMPARE(h.MarkOf(1, 1), 3);
        QCOMPARE(h.Problem(1), 2);
        // The next problem is answered at the first try and keeps the single box.
        QVERIFY(!h.form->Text2[0]->isVisible());
        h.Type(1, 1, QString::number(h.Rec(1, 1)));
        h.Check(1);
        QCOMPARE(h.MarkOf(1, 2), 1);
    }
};

QTEST_MAIN(MakingOneTest)
#include "tst_making_one.moc"
