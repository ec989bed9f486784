// SPDX-License-Identifier: GPL-3.0-or-later
// The numbers of levels 1 to 4.
#include "levels/grade3/LengthAndWater.h"

#include <QTest>
#include <map>

class LengthAndWaterTest : public QObject
{
    Q_OBJECT
private slots:
    void ranges_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("maxD");
        QTest::addColumn<bool>("topTwice");
        QTest::newRow("level 1") << 1 << 6 << false;
        QTest::newRow("level 2") << 2 << 6 << false;
        QTest::newRow("level 3") << 3 << 10 << true;
        QTest::newRow("level 4") << 4 << 10 << true;
    }
    void ranges()
    {
        QFETCH(int, level);
        QFETCH(int, maxD);
        QFETCH(bool, topTwice);
        Random rnd;
        rnd.Seed(1234);
        std::map<int, int> byD;
        const int draws = 40000;
        for (int i = 0; i < draws; ++i) {
            const ProperFraction f = DrawLengthOrWater(rnd, level);
            QVERIFY(f.d >= 2 && f.d <= maxD);
            QVERIFY(f.n >= 1 && f.n < f.d);
            ++byD[f.d];
        }
        QCOMPARE(int(byD.size()), maxD - 1);
        if (topTwice) {
            // 10 and 11 both give 10 before the numerator is drawn, so 10 outweighs 9 clearly
            QVERIFY2(byD[10] > 1.5 * byD[9], qPrintable(QString("%1 vs %2").arg(byD[10]).arg(byD[9])));
        }
    }
};

QTEST_MAIN(LengthAndWaterTest)
#include "tst_length_and_water.moc"
