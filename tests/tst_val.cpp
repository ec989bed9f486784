// SPDX-License-Identifier: GPL-3.0-or-later
// Reading typed answers: whatever a pupil types is read without a crash.
#include "answer/Val.h"

#include <QTest>

class ValTest : public QObject
{
    Q_OBJECT
private slots:
    void reads_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("digits") << "31" << 31.0;
        QTest::newRow("leading zero") << "09" << 9.0;
        QTest::newRow("leading blanks") << "  7" << 7.0;
        QTest::newRow("blanks only") << "   " << 0.0;
        QTest::newRow("trailing letters") << "12ab" << 12.0;
        QTest::newRow("letters") << "abc" << 0.0;
        QTest::newRow("stops at inner blank") << "1 2" << 1.0;
        QTest::newRow("decimal") << "2.5" << 2.5;
        QTest::newRow("negative") << "-3" << -3.0;
        QTest::newRow("plus") << "+4" << 4.0;
        QTest::newRow("sign alone") << "-" << 0.0;
        QTest::newRow("full-width digit") << "３" << 3.0;
        QTest::newRow("full-width digits") << "１２" << 12.0;
        QTest::newRow("full-width and ASCII mixed") << "１2" << 12.0;
        QTest::newRow("full-width after blank") << " ７/" << 7.0;
        QTest::newRow("full-width minus stays a stop") << "－３" << 0.0;
        QTest::newRow("full-width point stays a stop") << "２．５" << 2.0;
        QTest::newRow("40 digits") << "1234567890123456789012345678901234567890" << 1.2345678901234568e39;
        QTest::newRow("thousand digits") << QString(1000, '9') << 0.0;
    }
    void reads()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(Val(text), value);
    }
};

QTEST_MAIN(ValTest)
#include "tst_val.moc"
